// The tray icon's clicks, its two popup menus and the dispatch of every command.
#include "tray.h"
#include "busy.h"
#include "boxes.h"
#include "trayicon.h"
#include "../exit/exit.h"
#include "../exit/exittype.h"
#include "../exit/runbefore.h"
#include "../timer/timer.h"
#include "../timer/timerdlg.h"
#include "../config/regdlg.h"
#include "../extras/hotkey.h"
#include "../extras/shortcut.h"
#include "../extras/about.h"

static void UpdateExitTypeMenu();
static void OnTrayClick();

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
    UpdateExitTypeMenu();
    UINT chosen = ShowMenu(Settings.ExitTypeMenu, TPM_RETURNCMD);
    // The choice's own action is the exit's first step: a click under its message starts no second exit.
    if (chosen)
        ExecuteExit(OnCommand, (int)chosen);
}

void OnTrayMessage(WPARAM, LPARAM lParam) {
    switch ((UINT)lParam) {
    case WM_LBUTTONDOWN:
        if (GetAsyncKeyState(VK_SHIFT) & 0x8000)
            ShowQuickMenu();
        else if (Settings.ClickFlag)
            OnTrayClick();
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

static void OnTrayClick() {
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

// The positions a menu resets, and grays while armed: those before Change Settings, which with About and
// Exit Program below it stays usable; the whole quick menu, which has no such item.
static int PositionsToReset(HMENU menu) {
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; position++)
        if (GetMenuItemID(menu, position) == IDM_SETTINGS)
            return position;
    return count < 0 ? 0 : count;
}

void UpdateMainMenu() {
    int positions = PositionsToReset(Settings.MainMenu);
    ResetMenu(Settings.MainMenu, positions);
    CheckFlag(IDM_SINGLECLICK, Settings.ClickFlag);
    CheckFlag(IDM_FORCE, Settings.ForceFlag);
    CheckFlag(IDM_EJECT, Settings.EjectFlag);
    CheckFlag(IDM_BLOCK, Settings.BlockFlag);
    CheckFlag(IDM_CONFIRM, Settings.ConfirmFlag);
    GrayWhileArmed(Settings.MainMenu, positions);
}

static void UpdateExitTypeMenu() {
    int positions = PositionsToReset(Settings.ExitTypeMenu);
    ResetMenu(Settings.ExitTypeMenu, positions);
    GrayWhileArmed(Settings.ExitTypeMenu, positions);
}

static void SelectExitType(INT32 exitType) {
    Settings.ExitType = exitType;
    ShowExitTypeIcon(exitType);
}

// One copy of each dialog: the menus stay usable under a modal dialog, and its command then brings the
// open one to the front. The handle is forgotten when the dialog has ended.
static void RunDialog(int id, DLGPROC procedure, HWND* openDialog) {
    if (*openDialog) {
        SetForegroundWindow(*openDialog);
        return;
    }
    // Under an exit's question a dialog would hold back its answer until it closed: the answer acts at once.
    if (IsBusy(BusyExit))
        return;
    DialogBoxParamA(Settings.Instance, MAKEINTRESOURCEA(id), Settings.MainWindow, procedure, 0);
    *openDialog = NULL;
}

// While a timed exit is armed the menus gray all but these; the same holds for an accelerator typed in
// the countdown window and for a posted command.
static bool OpenWhileArmed(int id) {
    return id == IDM_SETTINGS || id == IDM_ABOUT || id == IDM_EXITPROGRAM;
}

static void AskToHideIcon() {
    if (!AskConfirm("Are you sure you want to hide the tray icon ?"))
        return;
    // A timed exit armed while the question was open keeps its icon: a click on it is the way to cancel.
    if (Settings.TimerActive)
        return;
    HideTrayIcon();
}

void OnCommand(int id) {
    if (Settings.TimerActive && !OpenWhileArmed(id))
        return;
    if (IsExitType(id)) {
        SelectExitType(id);
        RefuseForceWhereItCannotApply();
        return;
    }
    switch (id) {
    case IDM_SINGLECLICK: Settings.ClickFlag = Toggled(Settings.ClickFlag); break;
    case IDM_ABOUT: RunDialog(IDD_ABOUT, AboutDlgProc, &Settings.AboutDialog); break;
    case IDM_EXITPROGRAM: PostMessageA(Settings.MainWindow, WM_CLOSE, 0, 0); break;
    case IDM_FORCE:
        Settings.ForceFlag = Toggled(Settings.ForceFlag);
        RefuseForceWhereItCannotApply();
        break;
    case IDM_EJECT: Settings.EjectFlag = Toggled(Settings.EjectFlag); break;
    case IDM_HOTKEY: RunDialog(IDD_HOTKEY, HotkeyDlgProc, &Settings.HotkeyDialog); break;
    case IDM_TIMEDEXIT: RunDialog(IDD_TIMEDEXIT, TimedExitDlgProc, &Settings.TimedExitDialogWindow); break;
    case IDM_RUNBEFORE: RunDialog(IDD_RUNBEFORE, RunBeforeDlgProc, &Settings.RunBeforeDialog); break;
    case IDM_BLOCK: Settings.BlockFlag = Toggled(Settings.BlockFlag); break;
    case IDM_SHORTCUT: RunDialog(IDD_SHORTCUT, ShortcutDlgProc, &Settings.ShortcutDialog); break;
    case IDM_CONFIRM: Settings.ConfirmFlag = Toggled(Settings.ConfirmFlag); break;
    case IDM_HIDEICON:
        if (!IsBusy(BusyExit) && EnterBusy(BusyHideIconQuestion)) {
            AskToHideIcon();
            LeaveBusy(BusyHideIconQuestion);
        }
        break;
    case IDM_SETTINGS: RunDialog(IDD_REGISTRY, RegistryDlgProc, &Settings.RegistryDialogWindow); break;
    }
}
