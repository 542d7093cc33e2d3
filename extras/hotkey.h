// The global hotkey Ctrl+Alt+letter and its dialog.
#ifndef KELTO_HOTKEY_H
#define KELTO_HOTKEY_H
#include "../app/settings.h"

// Releases the hotkey, then registers Ctrl+Alt+HotKey[0] for the main window when flag is non-zero.
void SetHotkey(int flag);
// Makes HotKey a letter the hotkey can use: a capital, or X when it holds no letter. The command line and
// the dialog's check box turn the hotkey on with the same letter, so that what is saved starts as it was.
void MakeHotkeyLetterUsable();
INT_PTR CALLBACK HotkeyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
