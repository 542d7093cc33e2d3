// The global hotkey Ctrl+Alt+letter and its dialog.
#ifndef KELTO_HOTKEY_H
#define KELTO_HOTKEY_H
#include "../app/settings.h"

// Releases the hotkey, then registers Ctrl+Alt+HotKey[0] for the main window when flag is non-zero.
void SetHotkey(int flag);
INT_PTR CALLBACK HotkeyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
