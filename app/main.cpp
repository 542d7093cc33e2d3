// Start-up, the hidden main window and the message loop.
#include "main_internal.h"
#include "boxes.h"
#include "text.h"
#include "tray.h"
#include "trayicon.h"
#include "../exit/exit.h"
#include "../exit/exittype.h"
#include "../timer/timer.h"
#include "../config/cmdline.h"
#include "../extras/hotkey.h"
#include "libraries.h"

#ifdef KELTO_WIN32
static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record Windows 95 expects");
#endif

static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static void CreateMainWindow() {
    if (Settings.MainWindow)
        return;
    WNDCLASSA windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = Settings.Instance;
    windowClass.hIcon = LoadIconA(Settings.Instance, "Icon_1");
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = "Kelto95";
    RegisterClassA(&windowClass);
    Settings.MainWindow =
        CreateWindowExA(0, "Kelto95", "Kelto95", WS_SYSMENU, 0, 0, 0, 0, NULL, NULL, Settings.Instance, NULL);
    Settings.TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
}

int ArmTimedExitOfCommandLine() {
    // The timers belong to the main window, so a timed exit of the command line (a time of day, which the
    // parser has found good, or a one-shot timeout) is armed once the window is there.
    CreateMainWindow();
    if (Settings.ProgramEndFlag)
        return StartWaitingForProgram();
    if (!Settings.AtFlag && !(Settings.RunOnceFlag && Settings.TimerFlag))
        return 1;
    StartTimedExit();
    if (Settings.TimerActive)
        return 1;
    // A one-shot timeout has shown its own box, if any; a time of day is reported as the parser would.
    if (Settings.AtFlag)
        ReportTimerNotStarted();
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = 0;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        ShowError("This program cannot run on Windows NT");
        return 0;
    }

    SetStartupValues(instance);
    CopyText(Settings.OriginalCommandLine, sizeof Settings.OriginalCommandLine, commandLine);
    CharLowerA(commandLine);
    if (!ParseCommandLine(commandLine))
        return 0;

    if (Settings.RunOnceFlag && !Settings.TimerFlag && !Settings.AtFlag && !Settings.ProgramEndFlag) {
        ExecuteExit();
        return 0;
    }

    if (!ArmTimedExitOfCommandLine())
        return 0;
    // An exit armed from the command line has the hotkey released already.
    if (Settings.HotkeyFlag && !Settings.TimerActive)
        SetHotkey(1);
    const char* icon = ExitTypeIcon(Settings.ExitType);
    if (icon)
        AddTrayIcon(Settings.MainWindow, LoadIconA(Settings.Instance, icon), ExitTypeTip(Settings.ExitType));
    if (Settings.TimerActive)
        ShowArmedIcon();

    Settings.MainMenu = GetSubMenu(LoadMenuA(Settings.Instance, "Kelto1"), 0);
    Settings.ExitTypeMenu = GetSubMenu(LoadMenuA(Settings.Instance, "Kelto2"), 0);
    Settings.AcceleratorTable = LoadAcceleratorsA(Settings.Instance, "Kelto3");
    UpdateMainMenu();
    StartCom();

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0)) {
        if (!TranslateAcceleratorA(Settings.MainWindow, Settings.AcceleratorTable, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    RemoveTrayIcon(Settings.MainWindow);
    SetHotkey(0);
    EndCom();
    return (int)message.wParam;
}

static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == Settings.TaskbarCreatedMessage && message) {
        RestoreTrayIcon();
        return 0;
    }
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        DestroyMenu(Settings.MainMenu);
        DestroyMenu(Settings.ExitTypeMenu);
        return 0;
    case WM_QUERYENDSESSION: return Settings.BlockFlag ? 0 : 1;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
    case WM_HOTKEY:
        if (wParam == HOTKEY_ID) {
            if (Settings.TimerFlag || Settings.AtFlag)
                StartTimedExit();
            else
                ExecuteExit();
        }
        return 0;
    case WM_TRAYNOTIFY: OnTrayMessage(wParam, lParam); return 0;
    // The clock was set: a time of day keeps its wall time, a timeout its elapsed time.
    case WM_TIMECHANGE: CheckTimedExit(); return 0;
    case WM_POWERBROADCAST: OnPowerBroadcast(wParam); return TRUE;
    case WM_SHELLRESTARTED: WatchForNewTaskbar((HWND)wParam); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
