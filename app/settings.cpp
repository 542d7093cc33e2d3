// The settings record and its start-up values.
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

INT32 Toggled(INT32 flag) {
    return flag == 0 ? 1 : 0;
}

UINT CheckState(INT32 flag) {
    return flag ? BST_CHECKED : BST_UNCHECKED;
}
