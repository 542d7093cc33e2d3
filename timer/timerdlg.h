// The timed exit options and warning text dialogs.
#ifndef KELTO_TIMERDLG_H
#define KELTO_TIMERDLG_H
#include "../app/settings.h"

INT_PTR CALLBACK TimedExitDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
