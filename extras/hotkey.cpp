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

void MakeHotkeyLetterUsable() {
    CharUpperA(Settings.HotKey);
    if (!IsCharAlphaA(Settings.HotKey[0]))
        lstrcpyA(Settings.HotKey, "X");
}

// A letter that is refused leaves the one in use: only a good one replaces it.
static bool ValidateHotkeyLetter() {
    if (!Settings.HotkeyFlag)
        return true;
    char letter[HOTKEY_SIZE];
    GetDlgItemTextA(Settings.HotkeyDialog, IDC_HOTKEYLETTER, letter, sizeof letter);
    if (letter[0] && IsCharAlphaA(letter[0])) {
        lstrcpyA(Settings.HotKey, letter);
        return true;
    }
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

static void InitHotkeyDialog(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_HOTKEYLETTER, Settings.HotKey);
    CheckDlgButton(dialog, IDC_USEHOTKEY, CheckState(Settings.HotkeyFlag));
    EnableLetter(dialog);
}

// The check box changes the flag at once; only OK brings the registration in line with it.
static void HotkeyCommand(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) != IDC_USEHOTKEY)
        return;
    Settings.HotkeyFlag = Toggled(Settings.HotkeyFlag);
    EnableLetter(dialog);
    if (Settings.HotkeyFlag) {
        MakeHotkeyLetterUsable();
        SetDlgItemTextA(dialog, IDC_HOTKEYLETTER, Settings.HotKey);
    }
}

// A close ends the dialog without asking for a letter: its step is WM_CLOSE rather than Cancel.
static const DialogParts HotkeyDialog = {
    &Settings.HotkeyDialog, InitHotkeyDialog, BusyHotkeyStep, HotkeyStep, NULL, WM_CLOSE, HotkeyCommand};

INT_PTR CALLBACK HotkeyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleDialogMessage(HotkeyDialog, dialog, message, wParam);
}
