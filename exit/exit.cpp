// Performing the selected exit: the one place where the program acts on the session.
#include "exit.h"
#include "eject.h"
#include "runbefore.h"
#include "../app/tray.h"

#ifdef KELTO_WIN32
// Windows 95's user32 exports only the undecorated name; the headers would map it to the A form.
#undef BroadcastSystemMessage
extern "C" __declspec(dllimport) LONG WINAPI
    BroadcastSystemMessage(DWORD flags, LPDWORD recipients, UINT message, WPARAM wParam, LPARAM lParam);
#endif

static const DWORD ForceCloseTimeoutMs = 500;

BOOL CALLBACK ForceCloseWindow(HWND window, LPARAM) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId())
        return TRUE;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, WM_ENDSESSION, 1, 0, SMTO_ABORTIFHUNG, ForceCloseTimeoutMs, &answer) &&
        process) {
        // A hung window gets one more chance to end on its own before it is terminated.
        if (WaitForSingleObject(process, ForceCloseTimeoutMs) != WAIT_OBJECT_0)
            TerminateProcess(process, 0);
    }
    if (process)
        CloseHandle(process);
    return TRUE;
}

void RejectForcedScreensaver() {
    ShowError("Screensaver cannot be forced");
    Settings.ForceFlag = 0;
}

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

static void RestartShell() {
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    HWND shell = FindWindowA("Progman", NULL);
    if (shell)
        PostMessageA(shell, WM_QUIT, 0, 0);
    char command[MAX_PATH];
    GetPrivateProfileStringA("boot", "shell", "explorer.exe", command, sizeof command, "system.ini");
    WinExec(command, SW_SHOW);
    // The new shell's taskbar starts without our icon.
    WatchForNewTaskbar(taskbar);
}

static void RequestExit() {
    switch (Settings.ExitType) {
    case IDM_SHUTDOWN: ExitWindowsEx(EWX_SHUTDOWN, 0); break;
    case IDM_REBOOT: ExitWindowsEx(EWX_REBOOT, 0); break;
    case IDM_RESTART: RunCompanion("Rundll.exe KeltoDLL.dll,CallExitWindows"); break;
    case IDM_LOGOFF:
        ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF);
        QuitProgram();
        break;
    case IDM_EXITTODOS: RunCompanion("Rundll.exe KeltoDLL.dll,CallExitWindowsExec"); break;
    case IDM_STANDBY:
        BroadcastSystemMessage(BSF_NOHANG, NULL, WM_POWERBROADCAST, PBT_APMSTANDBY, 0);
        SetSystemPowerState(TRUE, Settings.ForceFlag);
        break;
    case IDM_POWEROFF: ExitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, 0); break;
    case IDM_SCREENSAVER: PostMessageA(GetDesktopWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0); break;
    case IDM_RESTARTSHELL: RestartShell(); break;
    }
}

// Everything after the confirmation, in order, ending in the exit type's request.
static void PerformExit() {
    if (Settings.RunBeforeExit)
        RunProgramsBeforeExit();
    INT32 type = Settings.ExitType;
    if (Settings.ForceFlag &&
        (type == IDM_SHUTDOWN || type == IDM_REBOOT || type == IDM_POWEROFF || type == IDM_LOGOFF))
        EnumWindows(ForceCloseWindow, 0);
    if (Settings.EjectFlag)
        EjectRemovableMedia();
    // Our own answer to the end-of-session query must not refuse the exit we are about to ask for.
    Settings.BlockFlag = 0;
    RequestExit();
}

void ExecuteExit(ExitStep firstStep, int argument) {
    // The one way of every exit, whatever started it: a click, the hotkey, a quick-menu choice, a timer
    // falling due. The boxes on the way ("Screensaver cannot be forced", the question) run loops of their
    // own, where a second trigger arrives and is refused.
    if (Settings.TimerActive || !TakeWay(WayExit))
        return;
    if (firstStep)
        firstStep(argument);
    if (!Settings.ConfirmFlag || AskConfirm("Are you sure you want to exit ?"))
        PerformExit();
    LeaveWay(WayExit);
}

void ExecuteExit() {
    ExecuteExit(NULL, 0);
}
