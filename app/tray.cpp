// The tray icon, its two popup menus and the dispatch of every command.
#include "tray.h"
#include "main.h"
#include "../exit/exit.h"
#include "../exit/runbefore.h"
#include "../timer/timer.h"
#include "../timer/timerdlg.h"
#include "../config/regdlg.h"
#include "../extras/hotkey.h"
#include "../extras/shortcut.h"
#include "../extras/about.h"

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

static void StopTaskbarWatch() {
    if (Settings.TaskbarWatchTimerId)
        KillTimer(NULL, Settings.TaskbarWatchTimerId);
    Settings.TaskbarWatchTimerId = 0;
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

void WatchForNewTaskbar(HWND oldTaskbar) {
    if (!Settings.TrayIconWanted || !Settings.MainWindow)
        return;
    StopTaskbarWatch();
    Settings.OldTaskbar = oldTaskbar;
    Settings.TaskbarWatchTicksLeft = TaskbarWatchTicks;
    Settings.TaskbarWatchTimerId = SetTimer(NULL, 0, TaskbarWatchIntervalMs, OnTaskbarWatchTick);
}

void CALLBACK OnTaskbarWatchTick(HWND, UINT, UINT_PTR, DWORD) {
    HWND taskbar = FindWindowA("Shell_TrayWnd", NULL);
    // Window handles are soon reused on Windows 9x: once the old taskbar was seen gone, any one is new.
    if (taskbar != Settings.OldTaskbar)
        Settings.OldTaskbar = NULL;
    if ((taskbar && !Settings.OldTaskbar && AddTrayIconAgain()) || --Settings.TaskbarWatchTicksLeft <= 0)
        StopTaskbarWatch();
}

// Shows a popup menu at the cursor; with TPM_RETURNCMD the choice is returned instead of posted.
static UINT ShowMenu(HMENU menu, UINT flags) {
    // The owner must be in the foreground, or the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(Settings.MainWindow);
    POINT point;
    point.x = 0;
    point.y = 0;
    GetCursorPos(&point);
    UINT chosen = (UINT)TrackPopupMenuEx(menu, flags, point.x, point.y, Settings.MainWindow, NULL);
    PostMessageA(Settings.MainWindow, WM_NULL, 0, 0);
    return chosen;
}

// The exit-type menu of a Shift-click: its own choice is selected and performed. The choice is taken from
// the menu itself, not from a command in the queue: the menu's loop dispatches the timers, and a command
// posted there (a timed exit cancelled or fired) must never count as the choice.
static void ShowQuickMenu() {
    Settings.QuickMenuFlag = 1;
    UpdateExitTypeMenu();
    UINT chosen = ShowMenu(Settings.ExitTypeMenu, TPM_RETURNCMD);
    // The choice's own action is the exit's first step: a click under its message starts no second exit.
    if (chosen)
        ExecuteExit(OnCommand, (int)chosen);
    Settings.QuickMenuFlag = 0;
}

void OnTrayMessage(WPARAM, LPARAM lParam) {
    switch ((UINT)lParam) {
    case WM_LBUTTONDOWN:
        if (GetAsyncKeyState(VK_SHIFT) & 0x8000) {
            ShowQuickMenu();
        } else {
            Settings.QuickMenuFlag = 0;
            if (Settings.ClickFlag)
                OnTrayClick();
        }
        break;
    case WM_LBUTTONDBLCLK:
        if (!Settings.ClickFlag)
            OnTrayClick();
        break;
    case WM_RBUTTONDOWN:
        UpdateMainMenu();
        ShowMenu(Settings.MainMenu, 0);
        break;
    }
}

void OnTrayClick() {
    if (Settings.TimerActive) {
        Settings.TimerCancelled = 1;
        CancelTimedExit();
    } else if (Settings.TimerFlag) {
        StartTimedExit();
    } else {
        ExecuteExit();
    }
}

static void ResetMenu(HMENU menu, int count) {
    for (int position = 0; position < count; position++) {
        EnableMenuItem(menu, position, MF_BYPOSITION | MF_ENABLED);
        CheckMenuItem(menu, position, MF_BYPOSITION | MF_UNCHECKED);
    }
    CheckMenuItem(menu, Settings.ExitType, MF_BYCOMMAND | MF_CHECKED);
}

static void GrayWhileArmed(HMENU menu, int count) {
    if (!Settings.TimerActive)
        return;
    for (int position = 0; position < count; position++)
        EnableMenuItem(menu, position, MF_BYPOSITION | MF_GRAYED);
}

static void CheckFlag(UINT id, INT32 flag) {
    CheckMenuItem(Settings.MainMenu, id, MF_BYCOMMAND | (flag ? MF_CHECKED : MF_UNCHECKED));
}

void UpdateMainMenu() {
    // Positions 0 to 14 are the exit types, Options and Toggles; Change Settings, About and Exit stay usable.
    ResetMenu(Settings.MainMenu, 15);
    CheckFlag(IDM_SINGLECLICK, Settings.ClickFlag);
    CheckFlag(IDM_FORCE, Settings.ForceFlag);
    CheckFlag(IDM_EJECT, Settings.EjectFlag);
    CheckFlag(IDM_BLOCK, Settings.BlockFlag);
    CheckFlag(IDM_CONFIRM, Settings.ConfirmFlag);
    GrayWhileArmed(Settings.MainMenu, 15);
}

void UpdateExitTypeMenu() {
    ResetMenu(Settings.ExitTypeMenu, 10);
    GrayWhileArmed(Settings.ExitTypeMenu, 10);
}

static void SelectExitType(INT32 exitType) {
    Settings.ExitType = exitType;
    SetTrayIcon(LoadIconA(Settings.Instance, ExitTypeIcon(exitType)), ExitTypeTip(exitType));
}

// One copy of each dialog: the menus stay usable under a modal dialog, and its command then brings the
// open one to the front. The handle is forgotten when the dialog has ended.
static void RunDialog(int id, DLGPROC procedure, HWND* openDialog) {
    if (*openDialog) {
        SetForegroundWindow(*openDialog);
        return;
    }
    DialogBoxParamA(Settings.Instance, MAKEINTRESOURCEA(id), Settings.MainWindow, procedure, 0);
    *openDialog = NULL;
}

// While a timed exit is armed the menus gray all but these; the same holds for an accelerator typed in
// the countdown window and for a posted command.
static bool OpenWhileArmed(int id) {
    return id == IDM_SETTINGS || id == IDM_ABOUT || id == IDM_EXITPROGRAM;
}

static void AskToHideIcon() {
    if (MessageBoxA(NULL, "Are you sure you want to hide the tray icon ?", "Confirm", QuestionBoxStyle) !=
        IDYES)
        return;
    RemoveTrayIcon(Settings.MainWindow);
    // Hidden for the rest of this run: no new taskbar brings it back.
    Settings.TrayIconWanted = 0;
    StopTaskbarWatch();
}

void OnCommand(int id) {
    if (Settings.TimerActive && !OpenWhileArmed(id))
        return;
    switch (id) {
    case IDM_SHUTDOWN:
    case IDM_REBOOT:
    case IDM_RESTART:
    case IDM_LOGOFF:
    case IDM_EXITTODOS:
    case IDM_STANDBY:
    case IDM_POWEROFF:
    case IDM_RESTARTSHELL: SelectExitType(id); break;
    case IDM_SCREENSAVER:
        SelectExitType(id);
        if (Settings.ForceFlag)
            RejectForcedScreensaver();
        break;
    case IDM_SINGLECLICK: Settings.ClickFlag = Toggled(Settings.ClickFlag); break;
    case IDM_ABOUT: RunDialog(IDD_ABOUT, AboutDlgProc, &Settings.AboutDialog); break;
    case IDM_EXITPROGRAM: PostMessageA(Settings.MainWindow, WM_CLOSE, 0, 0); break;
    case IDM_FORCE:
        Settings.ForceFlag = Toggled(Settings.ForceFlag);
        if (Settings.ForceFlag && Settings.ExitType == IDM_SCREENSAVER)
            RejectForcedScreensaver();
        break;
    case IDM_EJECT: Settings.EjectFlag = Toggled(Settings.EjectFlag); break;
    case IDM_HOTKEY: RunDialog(IDD_HOTKEY, HotkeyDlgProc, &Settings.HotkeyDialog); break;
    case IDM_TIMEDEXIT: RunDialog(IDD_TIMEDEXIT, TimedExitDlgProc, &Settings.TimedExitDialogWindow); break;
    case IDM_RUNBEFORE: RunDialog(IDD_RUNBEFORE, RunBeforeDlgProc, &Settings.RunBeforeDialog); break;
    case IDM_BLOCK: Settings.BlockFlag = Toggled(Settings.BlockFlag); break;
    case IDM_SHORTCUT: RunDialog(IDD_SHORTCUT, ShortcutDlgProc, &Settings.ShortcutDialog); break;
    case IDM_CONFIRM: Settings.ConfirmFlag = Toggled(Settings.ConfirmFlag); break;
    case IDM_HIDEICON:
        if (TakeWay(WayHideIconQuestion)) {
            AskToHideIcon();
            LeaveWay(WayHideIconQuestion);
        }
        break;
    case IDM_SETTINGS: RunDialog(IDD_REGISTRY, RegistryDlgProc, &Settings.RegistryDialogWindow); break;
    }
}
