// The "Kelto.lnk" shortcut.
#ifndef KELTO_SHORTCUT_H
#define KELTO_SHORTCUT_H
#include "../app/settings.h"

INT_PTR CALLBACK ShortcutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
