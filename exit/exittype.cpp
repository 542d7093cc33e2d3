// The nine exit types and what each asks of the system. A tenth is one more row here, with its command id,
// menu item and icon in the resources.
#include "exittype.h"

// Restart Windows and Exit to DOS need the 16-bit USER calls, which the companion library makes.
static void RequestRestart(BOOL) {
    WinExec("Rundll.exe KeltoDLL.dll,CallExitWindows", SW_HIDE);
}

static void RequestExitToDos(BOOL) {
    WinExec("Rundll.exe KeltoDLL.dll,CallExitWindowsExec", SW_HIDE);
}

static void RequestShutdown(BOOL) {
    ExitWindowsEx(EWX_SHUTDOWN, 0);
}

static void RequestReboot(BOOL) {
    ExitWindowsEx(EWX_REBOOT, 0);
}

static void RequestLogoff(BOOL) {
    ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF);
}

static void RequestStandby(BOOL forced) {
    BroadcastSystemMessage(BSF_NOHANG, NULL, WM_POWERBROADCAST, PBT_APMSTANDBY, 0);
    SetSystemPowerState(TRUE, forced);
}

static void RequestPowerOff(BOOL) {
    ExitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, 0);
}

static void RequestScreensaver(BOOL) {
    PostMessageA(GetDesktopWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0);
}

static void RequestRestartShell(BOOL) {
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    HWND shell = FindWindowA("Progman", NULL);
    if (shell)
        PostMessageA(shell, WM_QUIT, 0, 0);
    char command[MAX_PATH];
    GetPrivateProfileStringA("boot", "shell", "explorer.exe", command, sizeof command, "system.ini");
    WinExec(command, SW_SHOW);
    // The new shell's taskbar starts without our icon; the main window watches for it. Sent, not posted:
    // the watch must be running before a "TaskbarCreated" of the new shell, which stops it, is taken.
    if (Settings.MainWindow)
        SendMessageA(Settings.MainWindow, WM_SHELLRESTARTED, (WPARAM)taskbar, 0);
}

// In the menus' order, which is also the command line's. Power-off shows Icon_7 and Standby Icon_6: the
// icon numbers predate the menus' groups.
const ExitTypeRow ExitTypes[] = {
    {IDM_SHUTDOWN, "/e:s", "Shutdown", "Icon_1", "Shutdown", "shutdown", ForceClosesPrograms, NULL, false,
     false, RequestShutdown},
    {IDM_REBOOT, "/e:b", "Reboot", "Icon_2", "Reboot", "reboot", ForceClosesPrograms, NULL, false, false,
     RequestReboot},
    {IDM_RESTART, "/e:r", "Restart (Windows, not the machine)", "Icon_3", "Restart", "restart",
     ForceBroadcastsEnd, NULL, false, true, RequestRestart},
    {IDM_EXITTODOS, "/e:d", "Exit to DOS", "Icon_4", "Exit to DOS", "exit to DOS", ForceBroadcastsEnd, NULL,
     false, true, RequestExitToDos},
    {IDM_LOGOFF, "/e:l", "Logoff", "Icon_5", "Logoff", "logoff", ForceClosesPrograms, NULL, false, true,
     RequestLogoff},
    {IDM_POWEROFF, "/e:p", "Power-off", "Icon_7", "Power-off", "power-off", ForceClosesPrograms, NULL, false,
     false, RequestPowerOff},
    {IDM_STANDBY, "/x:h", "Standby", "Icon_6", "Standby", "standby", ForceAsksNoProgram, NULL, true, false,
     RequestStandby},
    {IDM_SCREENSAVER, "/x:s", "Screensaver", "Icon_A", "Screensaver", "screensaver", ForceRefused,
     "Screensaver cannot be forced", true, false, RequestScreensaver},
    {IDM_RESTARTSHELL, "/x:r", "Restart Shell", "Icon_B", "Restart Shell", "restart shell", ForceIgnored,
     NULL, false, false, RequestRestartShell},
};

const int ExitTypeCount = sizeof ExitTypes / sizeof ExitTypes[0];

const ExitTypeRow* FindExitType(INT32 id) {
    for (int i = 0; i < ExitTypeCount; i++)
        if (ExitTypes[i].id == id)
            return &ExitTypes[i];
    return NULL;
}

bool IsExitType(INT32 value) {
    return FindExitType(value) != NULL;
}

const char* ExitTypeIcon(INT32 exitType) {
    const ExitTypeRow* row = FindExitType(exitType);
    return row ? row->icon : NULL;
}

const char* ExitTypeTip(INT32 exitType) {
    const ExitTypeRow* row = FindExitType(exitType);
    return row ? row->tip : NULL;
}
