// The nine exit types and what each asks of the system. A tenth is one more row here, with its command id,
// menu item and icon in the resources.
#include "exittype.h"

#ifdef KELTO_WIN32
// Windows 95's user32 exports only the undecorated name; the headers would map it to the A form.
#undef BroadcastSystemMessage
extern "C" __declspec(dllimport) LONG WINAPI
    BroadcastSystemMessage(DWORD flags, LPDWORD recipients, UINT message, WPARAM wParam, LPARAM lParam);
#endif

static void BroadcastEndSession() {
    DWORD recipients = BSM_APPLICATIONS;
    BroadcastSystemMessage(BSF_FORCEIFHUNG | BSF_IGNORECURRENTTASK, &recipients, WM_ENDSESSION, 1, 0);
}

static void QuitProgram() {
    PostMessageA(Settings.MainWindow, WM_QUIT, 0, 0);
}

// Restart Windows and Exit to DOS need the 16-bit USER calls, which the companion library makes.
static void RunCompanion(const char* commandLine) {
    if (Settings.ForceFlag)
        BroadcastEndSession();
    WinExec(commandLine, SW_HIDE);
    QuitProgram();
}

static void RequestShutdown() {
    ExitWindowsEx(EWX_SHUTDOWN, 0);
}

static void RequestReboot() {
    ExitWindowsEx(EWX_REBOOT, 0);
}

static void RequestRestart() {
    RunCompanion("Rundll.exe KeltoDLL.dll,CallExitWindows");
}

static void RequestLogoff() {
    ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF);
    QuitProgram();
}

static void RequestExitToDos() {
    RunCompanion("Rundll.exe KeltoDLL.dll,CallExitWindowsExec");
}

static void RequestStandby() {
    BroadcastSystemMessage(BSF_NOHANG, NULL, WM_POWERBROADCAST, PBT_APMSTANDBY, 0);
    SetSystemPowerState(TRUE, Settings.ForceFlag);
}

static void RequestPowerOff() {
    ExitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, 0);
}

static void RequestScreensaver() {
    PostMessageA(GetDesktopWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0);
}

static void RequestRestartShell() {
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
    // id, option, icon, tip, countdown name, force closes programs, force refused, keeps media, request
    {IDM_SHUTDOWN, "/e:s", "Icon_1", "Shutdown", "shutdown", true, false, false, RequestShutdown},
    {IDM_REBOOT, "/e:b", "Icon_2", "Reboot", "reboot", true, false, false, RequestReboot},
    {IDM_RESTART, "/e:r", "Icon_3", "Restart", "restart", false, false, false, RequestRestart},
    {IDM_EXITTODOS, "/e:d", "Icon_4", "Exit to DOS", "exit to DOS", false, false, false, RequestExitToDos},
    {IDM_LOGOFF, "/e:l", "Icon_5", "Logoff", "logoff", true, false, false, RequestLogoff},
    {IDM_POWEROFF, "/e:p", "Icon_7", "Power-off", "power-off", true, false, false, RequestPowerOff},
    {IDM_STANDBY, "/x:h", "Icon_6", "Standby", "standby", false, false, true, RequestStandby},
    {IDM_SCREENSAVER, "/x:s", "Icon_A", "Screensaver", "screensaver", false, true, true, RequestScreensaver},
    {IDM_RESTARTSHELL, "/x:r", "Icon_B", "Restart Shell", "restart shell", false, false, false,
     RequestRestartShell},
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
