// The exit timer, the warning that opens the countdown window, and the countdown itself.
#include "timer_internal.h"
#include "../app/trayicon.h"
#include "../exit/exit.h"
#include "../exit/exittype.h"
#include "../extras/hotkey.h"

static const INT32 OneDayMs = 86400000;
static const INT32 LowestCount = -2147483647 - 1;
static const INT32 PostponeMs = 300000;

static void ArmWarning();
static void CALLBACK OnExitTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
static void CALLBACK OnWarningTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
static void CALLBACK OnCountdownTick(HWND window, UINT message, UINT_PTR id, DWORD time);

// Kills whatever timers of a timed exit run and closes the countdown window, without the
// icon and hotkey bookkeeping of a cancel.
static void StopTimers() {
    KillTimer(NULL, Settings.ExitTimerId);
    KillTimer(NULL, Settings.CountdownTimerId);
    if (Settings.CountdownWindow)
        DestroyWindow(Settings.CountdownWindow);
}

int ParseAtTime() {
    INT32 value = DecimalValue(Settings.AtValue);
    // Hour 00 is read as hour 24: the time is always the one after the coming midnight.
    if (value < 10000)
        value += 240000;
    Settings.AtHour = (UINT32)value / 10000;
    Settings.AtMinute = ((UINT32)value % 10000) / 100;
    Settings.AtSecond = (UINT32)value % 100;
    if (value < 0 || Settings.AtHour > 24 || Settings.AtMinute > 59 || Settings.AtSecond > 59)
        return 0;
    SYSTEMTIME now;
    GetLocalTime(&now);
    INT32 target = (INT32)(Settings.AtHour * 3600 + Settings.AtMinute * 60 + Settings.AtSecond);
    INT32 current = now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
    Settings.ExitDelayMs = (target - current) * 1000;
    // A passed time means tomorrow. This never touches a running exit timer: one may be armed.
    if (Settings.ExitDelayMs < 0)
        Settings.ExitDelayMs += OneDayMs;
    return 1;
}

int ArmingRefused() {
    // An exit on its way (one of its boxes open) is not overtaken by a second one armed from inside a box.
    return IsOnItsWay(WayExit);
}

void ReportTimerNotStarted() {
    ShowError("Timer not started (Invalid time ?)");
}

// A timeout of 1 to 999,999 seconds and a countdown of 1 second up to the whole delay are what a user can
// mean; a stored or typed 0 or -1 would otherwise exit at once or wrap round to some 49 days.
static bool TimesInRange() {
    if (Settings.TimerFlag && (Settings.TimeoutSeconds < 1 || Settings.TimeoutSeconds > MAX_TIMER_SECONDS))
        return false;
    return !Settings.WarnFlag || (Settings.WarnSeconds >= 1 && Settings.WarnSeconds <= MAX_TIMER_SECONDS);
}

void StartTimedExit() {
    if (ArmingRefused())
        return;
    if (Settings.AtFlag && !ParseAtTime())
        return;
    if (!TimesInRange()) {
        ReportTimerNotStarted();
        return;
    }
    if (Settings.TimerFlag)
        Settings.ExitDelayMs = (INT32)(Settings.TimeoutSeconds * 1000u);
    UINT_PTR timer = SetTimer(NULL, 0, (UINT)Settings.ExitDelayMs, OnExitTimer);
    if (!timer) {
        // An arming that cannot be made leaves an earlier one as it was.
        if (!Settings.TimerActive)
            Settings.ExitTimerId = 0;
        return;
    }
    // Armed again (the hotkey after an arming at start-up): the earlier timers must not run on unkillable.
    if (Settings.TimerActive)
        StopTimers();
    Settings.ExitTimerId = timer;
    Settings.TimerActive = timer;
    Settings.ExitDueTick = GetTickCount() + (DWORD)Settings.ExitDelayMs;
    Settings.TimerCancelled = 0;
    ShowTimedExitIcon();
    SetHotkey(0);
    if (Settings.WarnFlag)
        ArmWarning();
}

static void ArmWarning() {
    INT32 delay = (INT32)((UINT32)Settings.ExitDelayMs - Settings.WarnSeconds * 1000u);
    if (delay < 0) {
        // The message box runs its own loop: an exit timer falling due under it would perform the exit.
        KillTimer(NULL, Settings.ExitTimerId);
        ShowError("Warning time is bigger than timeout");
        CancelTimedExit();
        // A one-shot program with nothing armed ends; before its loop runs (the command line, start-up),
        // start-up ends it, so that no quit message is pending when a caller reports the failure in a box.
        if (Settings.RunOnceFlag && Settings.MainWindow)
            PostQuitMessage(0);
        return;
    }
    Settings.CountdownTimerId = SetTimer(NULL, 0, (UINT)delay, OnWarningTimer);
}

void CancelTimedExit() {
    Settings.TimerActive = 0;
    StopTimers();
    SetHotkey(Settings.HotkeyFlag);
    // Selecting the exit type again puts its own icon back; nothing but an exit type is ever posted as one.
    if (IsExitType(Settings.ExitType))
        PostMessageA(Settings.MainWindow, WM_COMMAND, (WPARAM)Settings.ExitType, 0);
}

static void PostponeTimedExit() {
    if (!Settings.TimerActive)
        return;
    // The tick count wraps after 49.7 days; the difference stays right across the wrap.
    INT32 left = (INT32)(Settings.ExitDueTick - GetTickCount());
    if (left < 0)
        left = 0;
    // Beyond this the difference above would no longer be a positive number.
    if (left > 0x7FFFFFFF - PostponeMs)
        return;
    UINT delay = (UINT)(left + PostponeMs);
    // The new timer first: when it cannot be made, the exit stays due when it was.
    UINT_PTR timer = SetTimer(NULL, 0, delay, OnExitTimer);
    if (!timer)
        return;
    KillTimer(NULL, Settings.ExitTimerId);
    Settings.ExitTimerId = timer;
    Settings.TimerActive = timer;
    Settings.ExitDueTick = GetTickCount() + delay;
    // The window goes on counting from the new time; ShowCountdown takes one second off as it shows.
    if (Settings.CountdownRemaining < 0)
        Settings.CountdownRemaining = 0;
    Settings.CountdownRemaining += PostponeMs / 1000 + 1;
    ShowCountdown();
}

static void CALLBACK OnExitTimer(HWND, UINT, UINT_PTR, DWORD) {
    CancelTimedExit();
    ExecuteExit();
    if (Settings.RunOnceFlag)
        PostMessageA(Settings.MainWindow, WM_QUIT, 0, 0);
}

static void CALLBACK OnWarningTimer(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(NULL, Settings.CountdownTimerId);
    Settings.CountdownTimerId = SetTimer(NULL, 0, 1000, OnCountdownTick);
    if (!Settings.CountdownTimerId)
        return;
    Settings.CountdownRemaining = (INT32)(Settings.WarnSeconds + 1);
    CreateDialogParamA(Settings.Instance, MAKEINTRESOURCEA(IDD_COUNTDOWN), Settings.MainWindow,
                       CountdownDlgProc, 0);
}

static void CALLBACK OnCountdownTick(HWND, UINT, UINT_PTR, DWORD) {
    ShowCountdown();
}

void ShowCountdown() {
    // Ticks that outlast the count must not wrap it round to the highest number.
    if (Settings.CountdownRemaining != LowestCount)
        Settings.CountdownRemaining--;
    // A tick that comes after the count reached zero shows zero, not a wrapped number.
    UINT32 seconds = Settings.CountdownRemaining < 0 ? 0 : (UINT32)Settings.CountdownRemaining;
    char text[16];
    wsprintfA(text, "%02u:%02u", seconds / 60, seconds % 60);
    if (!Settings.CountdownWindow)
        return;
    SetDlgItemTextA(Settings.CountdownWindow, IDC_COUNTDOWNTIME, text);
    SetDlgItemTextA(Settings.CountdownWindow, IDC_COUNTDOWNTEXT, Settings.WarningText);
}

INT_PTR CALLBACK CountdownDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        Settings.CountdownWindow = dialog;
        ShowCountdown();
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_COUNTDOWNCLOSE: DestroyWindow(Settings.CountdownWindow); break;
        case IDC_COUNTDOWNPOSTPONE: PostponeTimedExit(); break;
        case IDC_COUNTDOWNABORT:
            CancelTimedExit();
            DestroyWindow(Settings.CountdownWindow);
            break;
        }
        break;
    case WM_CLOSE: DestroyWindow(Settings.CountdownWindow); break;
    case WM_DESTROY:
        // Forget the handle: a later window may be given the same one, and a cancel must not destroy it.
        if (Settings.CountdownWindow == dialog)
            Settings.CountdownWindow = NULL;
        break;
    }
    return FALSE;
}

void MakeDefaultWarningText() {
    lstrcpyA(Settings.WarningText, "Counting down to ");
    const ExitTypeRow* type = FindExitType(Settings.ExitType);
    if (type)
        lstrcatA(Settings.WarningText, type->countdownName);
    Settings.WarningTextIsDefault = 1;
}
