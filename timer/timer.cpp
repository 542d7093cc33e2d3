// The armed exit: when it falls due, the countdown window before it, and the exit itself.
//
// The exit timer does not run for the whole delay: Windows 95 documents no interval above 65,535 ms, and a
// delay counted once would go wrong when the clock is set or the machine sleeps. The timer wakes the program
// at least once a minute instead, and each wake works out the time left from the clocks: the tick count for a
// timeout, the local date and time for a time of day.
#include "timer_internal.h"
#include "../app/busy.h"
#include "../app/boxes.h"
#include "../app/text.h"
#include "../app/trayicon.h"
#include "../exit/exit.h"
#include "../exit/exittype.h"
#include "../extras/hotkey.h"
#include "programs.h"

static const INT32 OneDayMs = 86400000;
static const INT32 PostponeMs = 300000;
static const UINT WakeMs = 60000;
// Found this much past its time, the exit was not missed by a late tick: the clock jumped or the machine
// slept.
static const INT32 OverdueMs = 5000;
// The countdown before such an exit, and before one after a program's end, when none was chosen.
static const UINT32 UnplannedCountdownSeconds = 60;
// How often a program waited for is looked at: its end is noticed within this.
static const UINT ProgramPollMs = 2000;

static void CALLBACK OnExitTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
static void CALLBACK OnCountdownTick(HWND window, UINT message, UINT_PTR id, DWORD time);

// ---- The local clock as one number

// Days since 1 January 1970 of a date of the Gregorian calendar (the year taken from March, so that a leap
// day ends it).
static INT32 DayNumber(int year, int month, int day) {
    year -= month <= 2;
    INT32 era = year / 400;
    INT32 yearOfEra = year - era * 400;
    INT32 dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    INT32 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

static void DateOfDayNumber(INT32 days, SYSTEMTIME* date) {
    days += 719468;
    INT32 era = days / 146097;
    INT32 dayOfEra = days - era * 146097;
    INT32 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    INT32 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    INT32 monthFromMarch = (5 * dayOfYear + 2) / 153;
    INT32 month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    date->wYear = (WORD)(yearOfEra + era * 400 + (month <= 2));
    date->wMonth = (WORD)month;
    date->wDay = (WORD)(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    date->wDayOfWeek = (WORD)((days - 719468 + 4) % 7); // 1 January 1970 was a Thursday
}

static long long MsOfLocalTime(const SYSTEMTIME& time) {
    INT32 ms = ((time.wHour * 60 + time.wMinute) * 60 + time.wSecond) * 1000 + time.wMilliseconds;
    return (long long)DayNumber(time.wYear, time.wMonth, time.wDay) * OneDayMs + ms;
}

static long long LocalClockMs() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return MsOfLocalTime(now);
}

static INT32 ClampMs(long long ms) {
    if (ms > 0x7FFFFFFF)
        return 0x7FFFFFFF;
    if (ms < -0x7FFFFFFF)
        return -0x7FFFFFFF;
    return (INT32)ms;
}

// ---- When it falls due

int ParseAtTime() {
    INT32 value = DecimalValue(Settings.AtValue);
    Settings.AtHour = (UINT32)value / 10000;
    Settings.AtMinute = ((UINT32)value % 10000) / 100;
    Settings.AtSecond = (UINT32)value % 100;
    bool valid = value >= 0 && Settings.AtHour <= 24 && Settings.AtMinute <= 59 && Settings.AtSecond <= 59;
    // Hour 24 is midnight, as hour 0.
    if (Settings.AtHour == 24)
        Settings.AtHour = 0;
    if (!valid)
        return 0;
    SYSTEMTIME now;
    GetLocalTime(&now);
    INT32 target = (INT32)(Settings.AtHour * 3600 + Settings.AtMinute * 60 + Settings.AtSecond);
    INT32 current = now.wHour * 3600 + now.wMinute * 60 + now.wSecond;
    // Its next occurrence: today's when it has not passed yet, else tomorrow's. This never touches an armed
    // exit: one may be armed while the dialog shows the time.
    INT32 delay = (target - current) * 1000;
    long long midnight = (long long)DayNumber(now.wYear, now.wMonth, now.wDay) * OneDayMs;
    Settings.AtDueLocal = midnight + (long long)target * 1000;
    if (delay < 0) {
        delay += OneDayMs;
        Settings.AtDueLocal += OneDayMs;
    }
    Settings.ExitDelayMs = delay;
    return 1;
}

static INT32 TimeLeftMs() {
    if (Settings.DueByClock)
        return ClampMs(Settings.ExitDueLocal - LocalClockMs());
    // The difference stays right across the tick count's wrap after 49.7 days.
    return (INT32)(Settings.ExitDueTick - GetTickCount());
}

static void DueInMs(INT32 ms) {
    Settings.DueByClock = 0;
    Settings.ExitDueTick = GetTickCount() + (DWORD)ms;
}

// The next wake: at the latest in a minute, and exactly when the countdown or the exit is due; 0 when one of
// them is due now.
static UINT NextWakeMs(INT32 left, bool countdownOpened) {
    INT32 next = WakeMs;
    if (Settings.WarnFlag && !countdownOpened) {
        INT32 untilCountdown = left - (INT32)(Settings.WarnSeconds * 1000u);
        if (untilCountdown < next)
            next = untilCountdown;
    }
    if (left < next)
        next = left;
    return next < 0 ? 0 : (UINT)next;
}

// Sets the exit timer to this interval; false when it cannot be made (an armed one then runs on as it was).
static bool SetExitTimer(UINT ms) {
    if (!SetTimer(Settings.MainWindow, ExitTimer, ms, OnExitTimer))
        return false;
    Settings.ExitWakeMs = ms;
    return true;
}

static void WakeIn(UINT ms) {
    // The same interval needs no new timer: it wakes no later than asked, and every wake looks again.
    if (ms != Settings.ExitWakeMs)
        SetExitTimer(ms);
}

// ---- The tray icon while armed

// "Timed Exit: Power-off at 23:00:00", with " on " and the short date when that is not today; the date is
// left out where the tip would pass its 63 characters.
static void MakeArmedTip(char* tip, int capacity) {
    const char* typeTip = ExitTypeTip(Settings.ExitType);
    if (Settings.WaitedProgram) {
        // "Timed Exit: Shutdown when DEFRAG.EXE", cut to the tip's length.
        char text[32 + MAX_PATH];
        wsprintfA(text, "Timed Exit: %s when %s", typeTip ? typeTip : "", Settings.WaitedProgramName);
        CopyText(tip, capacity, text);
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    INT32 left = Settings.DueByClock ? ClampMs(Settings.ExitDueLocal - MsOfLocalTime(now)) : TimeLeftMs();
    // From today's midnight: within 32 bits for any delay a 32-bit count of milliseconds can hold.
    UINT32 fromMidnight =
        (UINT32)(((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds) +
        (UINT32)(left > 0 ? left : 0);
    UINT32 days = fromMidnight / OneDayMs;
    UINT32 seconds = fromMidnight % OneDayMs / 1000;
    char text[160];
    wsprintfA(text, "Timed Exit: %s at %02u:%02u:%02u", typeTip ? typeTip : "", seconds / 3600,
              seconds / 60 % 60, seconds % 60);
    if (days) {
        SYSTEMTIME date;
        ZeroFill(&date, sizeof date);
        DateOfDayNumber(DayNumber(now.wYear, now.wMonth, now.wDay) + (INT32)days, &date);
        char shortDate[80];
        int length =
            GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, NULL, shortDate, sizeof shortDate);
        if (length > 0 && lstrlenA(text) + 4 + lstrlenA(shortDate) <= TRAY_TIP_LENGTH) {
            lstrcatA(text, " on ");
            lstrcatA(text, shortDate);
        }
    }
    CopyText(tip, capacity, text);
}

void ShowArmedIcon() {
    char tip[TRAY_TIP_LENGTH + 1];
    MakeArmedTip(tip, sizeof tip);
    ShowTimedExitIcon(tip);
}

// ---- Arming

int ArmingRefused() {
    // An exit on its way (one of its boxes open) is not overtaken by a second one armed from inside a box.
    return IsBusy(BusyExit);
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

int TimedExitCanStart() {
    if (Settings.AtFlag && !ParseAtTime())
        return 0;
    if (!TimesInRange()) {
        ReportTimerNotStarted();
        return 0;
    }
    if (Settings.TimerFlag)
        Settings.ExitDelayMs = (INT32)(Settings.TimeoutSeconds * 1000u);
    if (Settings.WarnFlag && (INT32)((UINT32)Settings.ExitDelayMs - Settings.WarnSeconds * 1000u) < 0) {
        ShowError("Warning time is bigger than timeout");
        // Nothing was armed before: the arming fails as a whole, and a one-shot program with nothing armed
        // ends; before its loop runs (the command line), start-up ends it.
        if (!Settings.TimerActive && Settings.MainWindow) {
            CancelTimedExit();
            if (Settings.RunOnceFlag)
                PostQuitMessage(0);
        }
        return 0;
    }
    return 1;
}

static void StopWaitingForProgram() {
    if (Settings.WaitedProgram)
        CloseHandle(Settings.WaitedProgram);
    Settings.WaitedProgram = NULL;
}

static void StopCountdown() {
    if (Settings.CountdownTimerId)
        KillTimer(Settings.MainWindow, CountdownTimer);
    Settings.CountdownTimerId = 0;
    if (Settings.CountdownWindow)
        DestroyWindow(Settings.CountdownWindow);
}

// An arming whose exit timer runs: it replaces an earlier one whole (the hotkey under an arming of start-up),
// its countdown and its wait included.
static void BeginArming() {
    if (Settings.TimerActive)
        StopCountdown();
    StopWaitingForProgram();
    Settings.TimerActive = ExitTimer;
    Settings.CountdownOpened = 0;
    Settings.SuspendNoted = 0;
    Settings.TimerCancelled = 0;
}

// Once it knows what comes when: the icon says so, and the hotkey is released while it is armed.
static void EndArming() {
    ShowArmedIcon();
    SetHotkey(0);
}

void StartTimedExit() {
    if (ArmingRefused())
        return;
    // Everything is worked out before anything changes: an arming that cannot be made leaves an earlier one
    // exactly as it was.
    if (!TimedExitCanStart())
        return;
    bool byClock = !Settings.TimerFlag; // a timeout wins where both are set
    INT32 left = byClock ? ClampMs(Settings.AtDueLocal - LocalClockMs()) : Settings.ExitDelayMs;
    if (!SetExitTimer(NextWakeMs(left, false)))
        return;
    BeginArming();
    if (byClock) {
        Settings.DueByClock = 1;
        Settings.ExitDueLocal = Settings.AtDueLocal;
    } else {
        DueInMs(left);
    }
    EndArming();
}

int StartWaitingForProgram() {
    if (ArmingRefused())
        return 0;
    // Opened to be waited for, or refused: a program is never polled blindly.
    RunningProgram program;
    if (!FindRunningProgram(NULL, Settings.ProgramToWaitFor, &program)) {
        ReportProgram("Program not running: ", Settings.WaitedProgramName);
        return 0;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, Settings.ProgramToWaitFor);
    if (!process) {
        ReportProgram("Cannot wait for program: ", Settings.WaitedProgramName);
        return 0;
    }
    if (!SetExitTimer(ProgramPollMs)) {
        CloseHandle(process);
        return 0;
    }
    BeginArming();
    Settings.WaitedProgram = process;
    CopyText(Settings.WaitedProgramName, sizeof Settings.WaitedProgramName, program.name);
    EndArming();
    return 1;
}

void ReportProgram(const char* message, const char* name) {
    char text[40 + MAX_PATH];
    lstrcpyA(text, message);
    lstrcatA(text, name);
    ShowError(text);
}

void CancelTimedExit() {
    if (Settings.TimerActive)
        KillTimer(Settings.MainWindow, ExitTimer);
    StopWaitingForProgram();
    Settings.TimerActive = 0;
    Settings.ExitWakeMs = 0;
    Settings.CountdownOpened = 0;
    StopCountdown();
    SetHotkey(Settings.HotkeyFlag);
    // Selecting the exit type again puts its own icon back; nothing but an exit type is ever posted as one.
    if (IsExitType(Settings.ExitType) && Settings.MainWindow)
        PostMessageA(Settings.MainWindow, WM_COMMAND, (WPARAM)Settings.ExitType, 0);
}

// ---- The countdown window

static void OpenCountdown() {
    Settings.CountdownOpened = 1;
    // The window counts by its own second; without it there is no count to show.
    if (!Settings.CountdownTimerId) {
        if (!SetTimer(Settings.MainWindow, CountdownTimer, 1000, OnCountdownTick))
            return;
        Settings.CountdownTimerId = CountdownTimer;
        Settings.CountdownTickMs = 1000;
    }
    if (Settings.CountdownWindow)
        ShowCountdown();
    else
        CreateDialogParamA(Settings.Instance, MAKEINTRESOURCEA(IDD_COUNTDOWN), Settings.MainWindow,
                           CountdownDlgProc, 0);
}

// The next tick comes when the count is to change: late ticks (Windows 9x's come on its 55 ms tick) do not
// add up to a count that lags behind.
static void ScheduleCountdownTick(INT32 left) {
    UINT next = left <= 0 ? 1000 : (UINT)(left - 1) % 1000 + 1;
    if (Settings.CountdownTimerId && next != Settings.CountdownTickMs &&
        SetTimer(Settings.MainWindow, CountdownTimer, next, OnCountdownTick))
        Settings.CountdownTickMs = next;
}

void ShowCountdown() {
    // The real time left, whole seconds rounded up: merged or late ticks never make the count drift.
    INT32 left = Settings.TimerActive ? TimeLeftMs() : 0;
    ScheduleCountdownTick(left);
    UINT32 seconds = left <= 0 ? 0 : ((UINT32)left + 999) / 1000;
    Settings.CountdownRemaining = (INT32)seconds;
    char text[16];
    wsprintfA(text, "%02u:%02u", seconds / 60, seconds % 60);
    if (!Settings.CountdownWindow)
        return;
    SetDlgItemTextA(Settings.CountdownWindow, IDC_COUNTDOWNTIME, text);
    SetDlgItemTextA(Settings.CountdownWindow, IDC_COUNTDOWNTEXT, Settings.WarningText);
}

static void PostponeTimedExit() {
    if (!Settings.TimerActive)
        return;
    INT32 left = TimeLeftMs();
    if (left < 0)
        left = 0;
    // Beyond this the time left would no longer be a positive number of milliseconds.
    if (left > 0x7FFFFFFF - PostponeMs)
        return;
    // The timer first: when it cannot be made, the exit stays due when it was.
    if (!SetExitTimer(NextWakeMs(left + PostponeMs, Settings.CountdownOpened != 0)))
        return;
    if (Settings.DueByClock)
        Settings.ExitDueLocal = LocalClockMs() + left + PostponeMs;
    else
        DueInMs(left + PostponeMs);
    ShowCountdown();
    ShowArmedIcon();
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
        // Forget the handle: a later window may be given the same one, and a cancel must not destroy it. The
        // count has nothing more to show.
        if (Settings.CountdownWindow == dialog) {
            Settings.CountdownWindow = NULL;
            if (Settings.CountdownTimerId)
                KillTimer(Settings.MainWindow, CountdownTimer);
            Settings.CountdownTimerId = 0;
        }
        break;
    }
    return FALSE;
}

// ---- Falling due

static void PerformTimedExit() {
    CancelTimedExit();
    ExecuteExit();
    if (Settings.RunOnceFlag)
        PostMessageA(Settings.MainWindow, WM_QUIT, 0, 0);
}

void CheckTimedExit() {
    if (!Settings.TimerActive)
        return;
    if (Settings.WaitedProgram) {
        if (WaitForSingleObject(Settings.WaitedProgram, 0) == WAIT_TIMEOUT)
            return;
        // The job is done. The exit never follows it at once: it gets its countdown, and stays armed.
        StopWaitingForProgram();
        INT32 countdownMs =
            (INT32)((Settings.WarnFlag ? Settings.WarnSeconds : UnplannedCountdownSeconds) * 1000u);
        DueInMs(countdownMs);
        OpenCountdown();
        ShowArmedIcon();
        WakeIn(NextWakeMs(countdownMs, true));
        return;
    }
    INT32 left = TimeLeftMs();
    if (left < -OverdueMs) {
        // The clock was set forward or the machine slept past the time: the exit nobody expected never comes
        // at once. It gets its countdown first, and stays armed meanwhile.
        UINT32 seconds = Settings.WarnFlag ? Settings.WarnSeconds : UnplannedCountdownSeconds;
        left = (INT32)(seconds * 1000u);
        DueInMs(left);
        OpenCountdown();
    } else if (left <= 0) {
        PerformTimedExit();
        return;
    } else if (Settings.WarnFlag && !Settings.CountdownOpened &&
               (UINT32)left <= Settings.WarnSeconds * 1000u) {
        OpenCountdown();
    }
    ShowArmedIcon();
    WakeIn(NextWakeMs(left, Settings.CountdownOpened != 0));
}

static void CALLBACK OnExitTimer(HWND, UINT, UINT_PTR, DWORD) {
    CheckTimedExit();
}

static void CALLBACK OnCountdownTick(HWND, UINT, UINT_PTR, DWORD) {
    ShowCountdown();
}

void OnPowerBroadcast(WPARAM event) {
    switch (event) {
    case PBT_APMSUSPEND:
        Settings.SuspendNoted = 1;
        Settings.SuspendTick = GetTickCount();
        Settings.SuspendLocal = LocalClockMs();
        break;
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMECRITICAL:
    case PBT_APMRESUMEAUTOMATIC:
        // A timeout counts the standby it was told of by the local clock: whether the tick count went on
        // while the machine slept is documented nowhere.
        if (Settings.SuspendNoted && Settings.TimerActive && !Settings.DueByClock) {
            long long slept = LocalClockMs() - Settings.SuspendLocal;
            long long ticked = (DWORD)(GetTickCount() - Settings.SuspendTick);
            if (slept > ticked)
                Settings.ExitDueTick -= (DWORD)ClampMs(slept - ticked);
        }
        Settings.SuspendNoted = 0;
        CheckTimedExit();
        break;
    }
}

void MakeDefaultWarningText() {
    lstrcpyA(Settings.WarningText, "Counting down to ");
    const ExitTypeRow* type = FindExitType(Settings.ExitType);
    if (type)
        lstrcatA(Settings.WarningText, type->countdownName);
    Settings.WarningTextIsDefault = 1;
}
