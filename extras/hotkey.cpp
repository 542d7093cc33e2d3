// The global hotkey Ctrl+Alt+letter and the "Set Hotkey" dialog.
#include "hotkey.h"
#include "../app/busy.h"
#include "../app/boxes.h"

void SetHotkey(int flag) {
    // Windows keeps an earlier combination under the same id beside a new one: the old letter is released
    // first, so that only the current one ever acts.
    UnregisterHotKey(Settings.MainWindow, HOTKEY_ID);
    if (flag)
        RegisterHotKey(Settings.MainWindow, HOTKEY_ID, MOD_ALT | MOD_CONTROL, (BYTE)Settings.HotKey[0]);
}

static bool ValidateHotkeyLetter() {
    if (!Settings.HotkeyFlag)
        return true;
    GetDlgItemTextA(Settings.HotkeyDialog, IDC_HOTKEYLETTER, Settings.HotKey, sizeof Settings.HotKey);
    if (Settings.HotKey[0] && IsCharAlphaA(Settings.HotKey[0]))
        return true;
    ShowError("Please enter a letter (A-Z)");
    return false;
}

static void EnableLetter(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_HOTKEYLETTER), Settings.HotkeyFlag ? TRUE : FALSE);
}

static int HotkeyStep(HWND, int command) {
    // A close ends the dialog without asking for a letter.
    if (command == WM_CLOSE)
        return 1;
    if (!ValidateHotkeyLetter())
        return 0;
    // Under an armed timed exit the hotkey stays released; the cancel or the exit registers it.
    if (command == IDOK)
        SetHotkey(Settings.HotkeyFlag && !Settings.TimerActive);
    return 1;
}

INT_PTR CALLBACK HotkeyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        Settings.HotkeyDialog = dialog;
        SetDlgItemTextA(dialog, IDC_HOTKEYLETTER, Settings.HotKey);
        CheckDlgButton(dialog, IDC_USEHOTKEY, CheckState(Settings.HotkeyFlag));
        EnableLetter(dialog);
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: RunDialogStep(BusyHotkeyStep, HotkeyStep, dialog, LOWORD(wParam)); break;
        case IDC_USEHOTKEY:
            Settings.HotkeyFlag = Toggled(Settings.HotkeyFlag);
            EnableLetter(dialog);
            if (Settings.HotkeyFlag)
                SetDlgItemTextA(dialog, IDC_HOTKEYLETTER, Settings.HotKey);
            break;
        }
        break;
    case WM_CLOSE: RunDialogStep(BusyHotkeyStep, HotkeyStep, dialog, WM_CLOSE); break;
    }
    return FALSE;
}
