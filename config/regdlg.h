// The registry dialog: stored settings, auto-run and the two start-menu policies.
#ifndef KELTO_REGDLG_H
#define KELTO_REGDLG_H
#include "../app/settings.h"

#define RUN_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUN_VALUE "Kelto 95/98"
#define POLICIES_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer"

INT_PTR CALLBACK RegistryDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
