// The tray icon: its request record, and its return on a new taskbar.
#include "trayicon_internal.h"
#include "text.h"
#include "../exit/exittype.h"

static void SetTip(const char* tip) {
    CopyText(Settings.TrayIconData.szTip, sizeof Settings.TrayIconData.szTip, tip);
}

BOOL AddTrayIcon(HWND window, HICON icon, const char* tip) {
    if (Settings.RunOnceFlag || Settings.HideIconFlag)
        return FALSE;
    TrayIconRecord& data = Settings.TrayIconData;
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = (UINT)(UINT_PTR)Settings.Instance;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYNOTIFY;
    data.hIcon = icon;
    SetTip(tip);
    Settings.TrayIconWanted = 1;
    return Shell_NotifyIconA(NIM_ADD, (PNOTIFYICONDATAA)&data);
}

BOOL SetTrayIcon(HICON icon, const char* tip) {
    TrayIconRecord& data = Settings.TrayIconData;
    data.uFlags = NIF_ICON | NIF_TIP;
    data.hIcon = icon;
    SetTip(tip);
    return Shell_NotifyIconA(NIM_MODIFY, (PNOTIFYICONDATAA)&data);
}

BOOL RemoveTrayIcon(HWND window) {
    TrayIconRecord& data = Settings.TrayIconData;
    data.hWnd = window;
    data.uID = (UINT)(UINT_PTR)Settings.Instance;
    return Shell_NotifyIconA(NIM_DELETE, (PNOTIFYICONDATAA)&data);
}

void ShowExitTypeIcon(INT32 exitType) {
    SetTrayIcon(LoadIconA(Settings.Instance, ExitTypeIcon(exitType)), ExitTypeTip(exitType));
}

void ShowTimedExitIcon(const char* tip) {
    HICON icon = LoadIconA(Settings.Instance, "Icon_9");
    // Asked again at every wake of an armed exit: the shell is asked only when something changed.
    if (icon == Settings.TrayIconData.hIcon && lstrcmpA(tip, Settings.TrayIconData.szTip) == 0)
        return;
    SetTrayIcon(icon, tip);
}

static void StopTaskbarWatch() {
    if (Settings.TaskbarWatchTimerId)
        KillTimer(Settings.MainWindow, TaskbarWatchTimer);
    Settings.TaskbarWatchTimerId = 0;
}

void HideTrayIcon() {
    RemoveTrayIcon(Settings.MainWindow);
    Settings.TrayIconWanted = 0;
    StopTaskbarWatch();
}

// Adds the icon again as it is now: the record keeps the picture and tip of the last request, the exit
// type's or the armed timer's, even those that failed while there was no taskbar.
static BOOL AddTrayIconAgain() {
    if (!Settings.TrayIconWanted)
        return FALSE;
    Settings.TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return Shell_NotifyIconA(NIM_ADD, (PNOTIFYICONDATAA)&Settings.TrayIconData);
}

// A new taskbar starts without our icon (Explorer restarted, after a crash or by Restart Shell).
void RestoreTrayIcon() {
    StopTaskbarWatch();
    AddTrayIconAgain();
}

// After Restart Shell: a shell that broadcasts nothing when its taskbar starts (the first Windows 95
// release) is watched for a minute, until a new taskbar window takes the icon.
static const UINT TaskbarWatchIntervalMs = 500;
static const INT32 TaskbarWatchTicks = 120;

static void CALLBACK OnTaskbarWatchTick(HWND, UINT, UINT_PTR, DWORD) {
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    // Window handles are soon reused on Windows 9x: once the old taskbar was seen gone, any one is new.
    if (taskbar != Settings.OldTaskbar)
        Settings.OldTaskbar = NULL;
    if ((taskbar && !Settings.OldTaskbar && AddTrayIconAgain()) || --Settings.TaskbarWatchTicksLeft <= 0)
        StopTaskbarWatch();
}

void WatchForNewTaskbar(HWND oldTaskbar) {
    if (!Settings.TrayIconWanted || !Settings.MainWindow)
        return;
    StopTaskbarWatch();
    Settings.OldTaskbar = oldTaskbar;
    Settings.TaskbarWatchTicksLeft = TaskbarWatchTicks;
    if (SetTimer(Settings.MainWindow, TaskbarWatchTimer, TaskbarWatchIntervalMs, OnTaskbarWatchTick))
        Settings.TaskbarWatchTimerId = TaskbarWatchTimer;
}
