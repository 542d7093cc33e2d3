// The global hotkey Ctrl+Alt+letter and its dialog.
#ifndef KELTO_HOTKEY_H
#define KELTO_HOTKEY_H
#include "../app/settings.h"

void SetHotkey(int flag);
bool ValidateHotkeyLetter();
INT_PTR CALLBACK HotkeyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
