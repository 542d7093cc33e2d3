// The settings record and the small helpers every part of the program shares.
#include "settings.h"

SettingsRecord Settings;

void SetStartupValues(HINSTANCE instance) {
    Settings.ExitType = IDM_SHUTDOWN;
    Settings.ClickFlag = 1;
    Settings.WarningTextIsDefault = 0;
    Settings.WarningTextChanged = 0;
    Settings.RunBeforeExit = 0;
    Settings.BlockFlag = 0;
    Settings.HideIconFlag = 0;
    Settings.EjectFlag = 0;
    Settings.ForceFlag = 0;
    Settings.HotkeyFlag = 0;
    Settings.RunOnceFlag = 0;
    Settings.QuickMenuFlag = 0;
    Settings.InitialAutorun = 0;
    Settings.AtFlag = 0;
    Settings.TimerActive = 0;
    Settings.TimerFlag = 0;
    Settings.WarnFlag = 0;
    Settings.ConfirmFlag = 0;
    Settings.TimerCancelled = 0;
    lstrcpyA(Settings.HotKey, "X");
    lstrcpyA(Settings.AtValue, "230000");
    lstrcpyA(Settings.TimerValue, "30");
    lstrcpyA(Settings.WarnValue, "10");
    Settings.Instance = instance;
}

static bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

INT32 DecimalValue(const char* text) {
    while (IsBlank(*text))
        text++;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        text++;
    }
    // Unsigned arithmetic wraps like the 32-bit conversion users know, without overflow traps.
    UINT32 value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + (UINT32)(*text - '0');
        text++;
    }
    if (negative)
        value = 0u - value;
    return (INT32)value;
}

void CopyText(char* field, int capacity, const char* text) {
    if (capacity <= 0)
        return;
    lstrcpynA(field, text ? text : "", capacity);
}

INT32 Toggled(INT32 flag) {
    return flag == 0 ? 1 : 0;
}

void ShowError(const char* text) {
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxA(NULL, text, NULL, ErrorBoxStyle);
}

int AskConfirm(const char* text) {
    return MessageBoxA(NULL, text, "Confirm", QuestionBoxStyle) == IDYES;
}

void ReportOutcome(int success, const char* successText, const char* failureText) {
    if (success) {
        MessageBeep(MB_ICONEXCLAMATION);
        MessageBoxA(NULL, successText, "Ok", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    } else {
        MessageBeep(MB_ICONASTERISK);
        MessageBoxA(NULL, failureText, NULL, ErrorBoxStyle);
    }
}

int TakeWay(UINT32 way) {
    if (Settings.OnItsWay & way)
        return 0;
    Settings.OnItsWay |= way;
    return 1;
}

void LeaveWay(UINT32 way) {
    Settings.OnItsWay &= ~way;
}

int IsOnItsWay(UINT32 way) {
    return (Settings.OnItsWay & way) != 0;
}

void RunDialogStep(UINT32 way, DialogStep step, HWND dialog, int command) {
    if (!TakeWay(way))
        return;
    int end = step(dialog, command);
    LeaveWay(way);
    if (end)
        EndDialog(dialog, 0);
}
