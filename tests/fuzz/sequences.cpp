// Whole sequences of what a user and the machine do, played against the running program on the simulated
// machine, with the program's promises checked after every step.
//
// Input: a start, then events of two bytes each (a kind and a parameter) until the input ends.
//   byte 0     the machine: bit 0 the first Windows 95 release (no "TaskbarCreated", the older Get Media ID),
//              bit 1 a 55 ms timer tick, bit 2 another program's thread timer is there first, bit 3 Notepad
//              runs
//   bytes 1-3  the local time: hour (bit 7: the minutes around midnight instead), minute, second
//   byte 4     how many stored values follow (up to 17), each a pair: the value (% 17) and its text from the
//              value's own vocabulary of valid, edge and hostile texts
//   byte       how many command-line options follow (up to 6), each an index into the options' vocabulary
// Whatever opens is played by the same events: the main loop at rest, a message box (its buttons), a modal
// dialog (its edits, buttons, close box), a popup menu (its commands), the file dialog. Events that mean
// nothing where they land let time pass instead. After 64 events, or when the input ends, the user ends the
// program, answering what is open with its cancelling button. "End the program" starts it again over the same
// registry.
#include "fuzz_support.h"
#include "exit/exittype.h"

#include <algorithm>
#include <optional>

namespace {

const int ValueCount = 17;
const char* const ValueNames[ValueCount] = {
    "ForceFlag",  "ClickFlag", "ConfirmFlag",   "EjectFlag",     "ExitType",   "TimerFlag",
    "TimerValue", "AtFlag",    "AtValue",       "WarnFlag",      "WarnValue",  "BlockFlag",
    "HotkeyFlag", "HotKey",    "RunBeforeExit", "ProgramsToRun", "WarningText"};

const std::vector<std::string>& Vocabulary(int value) {
    static const std::vector<std::string> flags = {"0", "1", "2", "-1", "", "x", "01"};
    static const std::vector<std::string> exitTypes = {"10", "20", "30", "40", "50",  "60", "70",
                                                       "80", "90", "0",  "15", "100", "-10"};
    static const std::vector<std::string> seconds = {"30",  "1", "0",  "999999", "1000000",
                                                     "abc", "",  "90", "5"};
    static const std::vector<std::string> times = {"000030", "235959", "240000", "1200", "0", "120100", "x"};
    static const std::vector<std::string> letters = {"X", "q", "1", "", "XY", "\x7f", "K"};
    static const std::vector<std::string> programs = {
        "backup.exe;", "a.exe;b.bat;", "", std::string(1100, 'p'), "x;;;;;y", "c:\\tools\\sync.exe;"};
    static const std::vector<std::string> texts = {"Save your work", "", std::string(150, 'w'), "%s%n"};
    switch (value) {
    case 4: return exitTypes;
    case 6:
    case 10: return seconds;
    case 8: return times;
    case 13: return letters;
    case 15: return programs;
    case 16: return texts;
    default: return flags;
    }
}

const char* const Options[] = {"/e:s", "/e:b",      "/e:r",           "/e:d",      "/e:l",  "/e:p",
                               "/x:h", "/x:s",      "/x:r",           "/f:f",      "/f:d",  "/f:e",
                               "/f:b", "/f:c",      "/f:h",           "/h:k",      "/h:x",  "/t:30",
                               "/t:1", "/t:999999", "/a:000100",      "/a:120010", "/w:10", "/w:60",
                               "/n",   "/z",        "/p:notepad.exe", "/p:",       "/h",    "/?"};

// What a user types into an edit.
const char* const Typed[] = {
    "30", "0", "999999", "1000000", "120005",     "235959",      "240000",    "x",           "",
    "K",  "q", "1",      "10",      "backup.exe", "a.exe b.exe", "Going now", "NOTEPAD.EXE", "5"};

// Time passing, from a moment to days.
const DWORD Durations[] = {0,     1,     54,    55,    999,    1000,    1001,     4999,
                           10000, 59999, 60000, 61000, 600000, 3600000, 86400000, 3 * 86400000u};
const long long Shifts[] = {-3600000, 3600000, -60000, 60000, -86400000, 86400000, 1000, -1000};

enum Kind {
    Click,
    ShiftClick,
    DoubleClick,
    RightClick,
    Hotkey,
    TimePasses,
    ClockSet,
    Standby,
    Taskbar,
    SessionEnd,
    ProgramEnds,
    NextProgram,
    Type,
    Press,
    Close,
    EndProgram,
    KindCount
};

struct Event {
    uint8_t kind, param;
};

const char* const KindNames[KindCount] = {
    "click",   "shift-click", "double click", "right click",  "hotkey", "time",  "clock set", "standby",
    "taskbar", "session end", "program ends", "next program", "type",   "press", "close",     "end program"};

// SEQUENCE_TRACE=1 prints the sequence as it is played, to replay a crash by hand.
void Trace(const char* format, ...) {
    static const bool on = std::getenv("SEQUENCE_TRACE") != nullptr;
    if (!on)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "[%8u ms] ", (unsigned)sim::now());
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\n");
    va_end(arguments);
}

// ---- The player's state
// -------------------------------------------------------------------------------------------------

// A sequence is one sitting of a user at the program, not a machine's lifetime: the first 64 events.
const int MaxEvents = 64;

struct Player {
    fuzz::Input* input = nullptr;
    int events = 0;
    bool windows95 = false;
    bool ended = false;                 // the input has run out: the user ends the program
    bool exitPosted = false;            // ... and has asked it to end
    bool endAsked = false;              // an event asked to end the program and start it again
    std::vector<std::string> openBoxes; // the boxes open now, the newest last
    size_t regCallsSeen = 0;
    int asks = 0;                  // clicks, hotkeys, quick-menu choices, one-shot starts and armings
    std::vector<INT32> unanswered; // the exit type each ask chose, until a request answers it
    int exits = 0;                 // exit requests seen
    size_t requestsSeen = 0;
    bool taskbarLost = false; // the shell's taskbar went and no "TaskbarCreated" has come since
    bool iconHidden = false;  // Yes to Hide Tray Icon's question
    bool taskbarPresent = true;
    UINT_PTR armed = 0; // TimerActive as last seen
    // An armed timeout: the awake time it was armed at; a time of day: the local instant it falls due.
    size_t timerCallsSeen = 0;
    bool exitTimerRuns = false;
    bool armedTimeout = false, armedAtTime = false;
    long long armedElapsed = 0, timeoutMs = 0, atDueLocal = 0;
    // A standby announced while the tick count stood still: the program counts it from the local clock.
    long long sleepCounted = 0;
    // The last jump of the clocks (a clock set, a standby) that left an armed exit overdue by more than 5 s:
    // the tick count after it.
    bool jumpedOverdue = false;
    DWORD jumpTick = 0;
    // The last save: the registry then, the record then, the moment.
    bool saved = false;
    std::vector<std::pair<std::string, sim::RegValue>> savedValues;
    SettingsRecord savedRecord;
    int savedHour = 0, savedMinute = 0, savedSecond = 0;
};
Player P;

long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

long long LocalNowMs() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return (DaysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400LL + t.wHour * 3600 + t.wMinute * 60 +
            t.wSecond) *
               1000 +
           t.wMilliseconds;
}

// The time a timeout counts: the tick count, and a standby the program was told of.
long long ElapsedMs() {
    return (long long)sim::now() + P.sleepCounted;
}

// Events played over the whole run, printed at its end for scripts/fuzz.
unsigned long long EventsPlayed = 0;
void PrintEventsPlayed() {
    std::fprintf(stderr, "events: %llu\n", EventsPlayed);
}

std::optional<Event> NextEvent() {
    if (P.ended || P.input->left() < 2 || P.events == MaxEvents) {
        P.ended = true;
        return std::nullopt;
    }
    P.events++;
    EventsPlayed++;
    Event event;
    event.kind = P.input->byte() % KindCount;
    event.param = P.input->byte();
    Trace("%s %u", KindNames[event.kind], event.param);
    return event;
}

// ---- The promises
// -------------------------------------------------------------------------------------------------------

// An ask, for the exit type it chose.
void Ask(INT32 exitType) {
    P.asks++;
    P.unanswered.push_back(exitType);
}

// The exit type an exit request is for, or 0 when the request is no exit of its own.
INT32 ExitOf(const sim::Request& request) {
    if (request.kind == "ExitWindowsEx") {
        switch (fuzz::ExpectedDecimal(request.args.at(0).c_str()) & ~EWX_FORCE) {
        case EWX_SHUTDOWN: return IDM_SHUTDOWN;
        case EWX_REBOOT: return IDM_REBOOT;
        case EWX_LOGOFF: return IDM_LOGOFF;
        case EWX_SHUTDOWN | EWX_POWEROFF: return IDM_POWEROFF;
        default: return -1;
        }
    }
    if (request.kind == "WinExec") {
        const std::string& line = request.args.at(0);
        if (line.find("CallExitWindowsExec") != std::string::npos)
            return IDM_EXITTODOS;
        if (line.find("CallExitWindows") != std::string::npos)
            return IDM_RESTART;
        return IDM_RESTARTSHELL;
    }
    if (request.kind == "SetSystemPowerState")
        return IDM_STANDBY;
    if (request.kind == "PostMessageA" && request.args.at(0) == "<desktop>" && request.args.at(1) == "274")
        return IDM_SCREENSAVER;
    return 0;
}

// An arming: the exit timer set while it was not running. Its moment on the clocks, and what it was armed
// for, as the record says now.
void Armed(const sim::TimerCall& call) {
    Ask(Settings.ExitType);
    P.jumpedOverdue = false;
    P.armedTimeout = !Settings.AtFlag && !Settings.ProgramEndFlag && Settings.TimerFlag;
    P.armedAtTime = Settings.AtFlag && !Settings.ProgramEndFlag;
    long long ago = (long long)sim::now() - call.time;
    P.armedElapsed = ElapsedMs() - ago;
    P.timeoutMs = (long long)Settings.TimeoutSeconds * 1000;
    if (P.armedAtTime) {
        // The next occurrence of the time of day on the local clock.
        long long then = LocalNowMs() - ago, day = 86400000;
        long long at =
            ((long long)Settings.AtHour * 3600 + Settings.AtMinute * 60 + Settings.AtSecond) * 1000;
        long long due = then - then % day + at;
        if (due < then - 1000)
            due += day;
        P.atDueLocal = due;
    }
    Trace("armed: timeout %d (%lld ms), time of day %d, program %d", P.armedTimeout, P.timeoutMs,
          P.armedAtTime, Settings.ProgramEndFlag);
}

// The exit timer's calls up to a moment: armings and their ends.
void FollowTimerCalls(DWORD upTo) {
    const std::vector<sim::TimerCall>& calls = sim::timerCalls();
    for (; P.timerCallsSeen < calls.size() && calls[P.timerCallsSeen].time <= upTo; P.timerCallsSeen++) {
        const sim::TimerCall& call = calls[P.timerCallsSeen];
        if (call.id != ExitTimer || !call.window || call.window != Settings.MainWindow)
            continue;
        if (call.setting && call.result && !P.exitTimerRuns)
            Armed(call);
        if (call.setting && call.result)
            P.exitTimerRuns = true;
        if (!call.setting) {
            P.exitTimerRuns = false;
            P.armedTimeout = P.armedAtTime = P.jumpedOverdue = false;
        }
    }
}

// One exit for one ask, and a timed exit never before its time.
void CheckRequests() {
    const std::vector<sim::Request>& requests = sim::requests();
    for (; P.requestsSeen < requests.size(); P.requestsSeen++) {
        const sim::Request& request = requests[P.requestsSeen];
        FollowTimerCalls(request.time);
        Trace("request %s", request.str().c_str());
        INT32 type = ExitOf(request);
        if (!type)
            continue;
        FUZZ_CHECK(type > 0, "the exit request %s is for no exit type", request.str().c_str());
        P.exits++;
        FUZZ_CHECK(P.exits <= P.asks, "exit request %d, %s, after %d asks", P.exits, request.str().c_str(),
                   P.asks);
        auto asked = std::find(P.unanswered.begin(), P.unanswered.end(), type);
        FUZZ_CHECK(asked != P.unanswered.end(), "the request %s is for an exit type no ask chose",
                   request.str().c_str());
        P.unanswered.erase(asked);
        long long ago = (long long)sim::now() - request.time;
        if (P.armedTimeout)
            FUZZ_CHECK(ElapsedMs() - ago >= P.armedElapsed + P.timeoutMs - 1000,
                       "a timeout of %lld ms armed at %lld ms came at %lld ms: %s", P.timeoutMs,
                       P.armedElapsed, ElapsedMs() - ago, request.str().c_str());
        if (P.armedTimeout || P.armedAtTime)
            FUZZ_CHECK(!P.jumpedOverdue || request.time >= P.jumpTick + 500,
                       "the exit came at once after the clocks jumped past its time: %s",
                       request.str().c_str());
        if (P.armedAtTime)
            FUZZ_CHECK(LocalNowMs() - ago >= P.atDueLocal - 1000,
                       "a time of day due at %lld came at %lld: %s", P.atDueLocal, LocalNowMs() - ago,
                       request.str().c_str());
    }
    FollowTimerCalls(sim::now());
}

bool LiveOrNull(HWND window) {
    return !window || sim::isWindow(window);
}

void NoteSave();

// The promises that hold after every step, whatever is open.
void CheckPromises() {
    CheckRequests();
    NoteSave();
    fuzz::CheckTextFieldsTerminated();

    // One copy of each dialog; every handle kept is live or null.
    std::vector<int> open;
    for (const sim::WindowInfo& window : sim::windows())
        if (window.alive && !window.foreign && window.dialogId) {
            FUZZ_CHECK(std::count(open.begin(), open.end(), window.dialogId) == 0, "two dialogs %d open",
                       window.dialogId);
            open.push_back(window.dialogId);
        }
    const struct {
        const char* name;
        HWND window;
    } kept[] = {{"TimedExitDialogWindow", Settings.TimedExitDialogWindow},
                {"CountdownWindow", Settings.CountdownWindow},
                {"AboutDialog", Settings.AboutDialog},
                {"RunBeforeDialog", Settings.RunBeforeDialog},
                {"WarningTextDialogWindow", Settings.WarningTextDialogWindow},
                {"HotkeyDialog", Settings.HotkeyDialog},
                {"RegistryDialogWindow", Settings.RegistryDialogWindow},
                {"ShortcutDialog", Settings.ShortcutDialog}};
    for (const auto& [name, window] : kept)
        FUZZ_CHECK(LiveOrNull(window), "%s is kept after its window has gone", name);
    // The main window's handle outlives the window only while the program ends: Exit Program chosen under a
    // box destroys it, and the box's loop then ends on the quit message.

    // Never more than one hotkey.
    FUZZ_CHECK(sim::hotkeys().size() <= 1, "%zu hotkeys registered", sim::hotkeys().size());

    // No timer runs that the program holds no id of.
    for (const sim::TimerInfo& timer : sim::timers()) {
        if (sim::windowInfo(timer.window).foreign)
            continue;
        FUZZ_CHECK(timer.window, "a timer without a window, id %u", (unsigned)timer.id);
        if (timer.window != Settings.MainWindow)
            continue;
        bool held = (timer.id == ExitTimer && Settings.TimerActive == ExitTimer) ||
                    (timer.id == CountdownTimer && Settings.CountdownTimerId == CountdownTimer) ||
                    (timer.id == TaskbarWatchTimer && Settings.TaskbarWatchTimerId == TaskbarWatchTimer);
        FUZZ_CHECK(held, "the main window's timer %u runs without its id held", (unsigned)timer.id);
    }

    // The tray tells the truth.
    std::vector<sim::TrayIcon> icons = sim::trayIcons();
    FUZZ_CHECK(icons.size() <= 1, "%zu tray icons", icons.size());
    if (!icons.empty()) {
        const sim::TrayIcon& icon = icons[0];
        FUZZ_CHECK(Settings.MainWindow && icon.window == Settings.MainWindow,
                   "an icon of no live main window");
        if (Settings.TimerActive) {
            FUZZ_CHECK(icon.iconName == "Icon_9" && icon.tip.rfind("Timed Exit", 0) == 0,
                       "armed, the icon shows %s \"%s\"", icon.iconName.c_str(), icon.tip.c_str());
        } else if (!Settings.Busy) {
            FUZZ_CHECK(ExitTypeIcon(Settings.ExitType) && icon.iconName == ExitTypeIcon(Settings.ExitType) &&
                           icon.tip == ExitTypeTip(Settings.ExitType),
                       "exit type %d, the icon shows %s \"%s\"", Settings.ExitType, icon.iconName.c_str(),
                       icon.tip.c_str());
        }
    } else if (Settings.MainWindow && !P.taskbarLost) {
        // Gone only where it was never added (one-shot, Hide Icon on the command line) or Hide Tray Icon took
        // it.
        FUZZ_CHECK(Settings.HideIconFlag || Settings.RunOnceFlag || P.iconHidden,
                   "no icon, though the taskbar is there and the icon is %s",
                   Settings.TimerActive ? "armed" : "wanted");
    }
}

// At rest in the main loop: nothing armed, no window open, no taskbar awaited: nothing wakes the program.
void CheckAtRest() {
    bool windowOpen = Settings.TimedExitDialogWindow || Settings.CountdownWindow || Settings.AboutDialog ||
                      Settings.RunBeforeDialog || Settings.WarningTextDialogWindow || Settings.HotkeyDialog ||
                      Settings.RegistryDialogWindow || Settings.ShortcutDialog;
    if (!Settings.TimerActive && !windowOpen && !Settings.TaskbarWatchTimerId)
        for (const sim::TimerInfo& timer : sim::timers())
            FUZZ_CHECK(sim::windowInfo(timer.window).foreign, "at rest, timer %u still runs",
                       (unsigned)timer.id);
    // The check box of Set Hotkey changes the flag at once and only OK registers: the flag alone does not
    // say what is registered. While an exit is armed, nothing is.
    if (Settings.MainWindow && Settings.TimerActive)
        FUZZ_CHECK(sim::hotkeys().empty(), "a hotkey registered while an exit is armed");
}

// A save stored the settings: what a start over them at that moment must find.
void NoteSave() {
    const std::vector<sim::RegCall>& calls = sim::regCalls();
    bool stored = false;
    for (; P.regCallsSeen < calls.size(); P.regCallsSeen++)
        stored = stored || (calls[P.regCallsSeen].function == "RegSetValueExA" &&
                            calls[P.regCallsSeen].value == "ExitType");
    if (!stored)
        return;
    P.saved = true;
    P.savedValues.clear();
    for (const std::string& name : sim::regValueNames(HKEY_LOCAL_MACHINE, SETTINGS_KEY))
        P.savedValues.push_back({name, *sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, name)});
    P.savedRecord = Settings;
    SYSTEMTIME t;
    GetLocalTime(&t);
    P.savedHour = t.wHour;
    P.savedMinute = t.wMinute;
    P.savedSecond = t.wSecond;
}

// ---- Playing events
// -----------------------------------------------------------------------------------------------------

// Time passing in the loop of whatever is open; once that loop has ended (the box closed on a quit message,
// the dialog ended), the hook that plays it stops: nobody clicks a box that is gone.
bool LoopEnded = false;
void Advance(DWORD ms) {
    if (!sim::advance(ms))
        LoopEnded = true;
}

// Entered by each hook: whether the loop it plays has ended, kept apart from the hooks around it.
struct HookLoop {
    bool outer = LoopEnded;
    HookLoop() { LoopEnded = false; }
    ~HookLoop() { LoopEnded = outer; }
};

void Post(std::function<void()> input) {
    input();
    Advance(0);
}

// A letter registered earlier in the sequence, or X when none was.
UINT EarlierLetter(unsigned pick) {
    std::vector<UINT> letters;
    for (const sim::HotkeyCall& call : sim::hotkeyCalls())
        if (call.registering)
            letters.push_back(call.hotkey.virtualKey);
    return letters.empty() ? 'X' : letters[pick % letters.size()];
}

bool HoldsHotkey(UINT key) {
    for (const sim::Hotkey& hotkey : sim::hotkeys())
        if (hotkey.virtualKey == key && hotkey.modifiers == (MOD_ALT | MOD_CONTROL))
            return true;
    return false;
}

// A jump of the clocks: when it leaves an armed exit overdue by more than 5 s, the exit must not come at
// once.
void Jump(const std::function<void()>& jump) {
    long long elapsed = ElapsedMs(), local = LocalNowMs();
    jump();
    long long timeoutDue = P.armedElapsed + P.timeoutMs;
    bool overdue = (P.armedTimeout && elapsed < timeoutDue && ElapsedMs() > timeoutDue + 5000) ||
                   (P.armedAtTime && local < P.atDueLocal && LocalNowMs() > P.atDueLocal + 5000);
    if (overdue) {
        P.jumpedOverdue = true;
        P.jumpTick = sim::now();
    }
}

// What happens the same wherever the program is: the tray, the hotkey, time, the system.
void PlayAnywhere(const Event& event) {
    switch (event.kind) {
    case Click:
    case ShiftClick:
    case DoubleClick:
    case RightClick: {
        if (sim::trayIcons().empty())
            break;
        static const UINT messages[] = {WM_LBUTTONDOWN, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN};
        if (event.kind != RightClick && event.kind != ShiftClick)
            Ask(Settings.ExitType);
        sim::setShiftHeld(event.kind == ShiftClick);
        Post([&] { sim::clickTray(messages[event.kind]); });
        sim::setShiftHeld(false);
        break;
    }
    case Hotkey: {
        UINT key = event.param % 2 == 0 ? (UINT)(BYTE)Settings.HotKey[0] : EarlierLetter(event.param / 2);
        if (HoldsHotkey(key)) {
            Ask(Settings.ExitType);
            Post([&] { sim::pressHotkey(MOD_ALT | MOD_CONTROL, key); });
        }
        break;
    }
    case ClockSet:
        Jump([&] {
            sim::shiftLocalTime(Shifts[event.param % 8]);
            if (event.param & 0x80)
                sim::broadcastTimeChange();
        });
        Advance(0);
        break;
    case Standby: {
        sim::Standby standby;
        standby.ms = Durations[event.param % 16];
        standby.announced = !(event.param & 0x10);
        standby.tickCountsSleep = (event.param & 0x20) != 0;
        if (event.param & 0x40)
            standby.resume = 0;
        if (standby.announced && !standby.tickCountsSleep)
            P.sleepCounted += standby.ms;
        Jump([&] { sim::standby(standby); });
        break;
    }
    case Taskbar:
        if (event.param % 2 == 0) {
            sim::setTaskbar(false);
            P.taskbarLost = true;
            P.taskbarPresent = false;
        } else {
            sim::setTaskbar(true);
            P.taskbarPresent = true;
            if (!P.windows95 && sim::broadcastTaskbarCreated())
                P.taskbarLost = false;
        }
        Advance(0);
        break;
    case SessionEnd:
        sim::querySessionEnd();
        Advance(0);
        break;
    case ProgramEnds: {
        std::vector<DWORD> running;
        for (const sim::ProcessInfo& process : sim::processes())
            if (process.alive && process.pid != sim::ownProcessId())
                running.push_back(process.pid);
        if (!running.empty())
            sim::stopProcess(running[event.param % running.size()]);
        Advance(0);
        break;
    }
    case NextProgram: {
        sim::ProcessPlan plan;
        // The longest outlasts any sequence: for the user, a program that never ends.
        static const DWORD runs[] = {0, 1000, 60000, 3600000, 3600000, 1000, 0, 7 * 86400000u};
        plan.runsMs = runs[(event.param & 0x0F) % 8];
        plan.starts = !(event.param & 0x10);
        sim::planProcess(plan);
        if (event.param & 0x20) {
            // A click and the hotkey while that program runs before the exit: queued, taken after the wait.
            sim::whileWaiting([] {
                if (!sim::trayIcons().empty()) {
                    Ask(Settings.ExitType);
                    sim::clickTray(WM_LBUTTONDOWN);
                }
                if (Settings.HotKey[0] && HoldsHotkey((BYTE)Settings.HotKey[0])) {
                    Ask(Settings.ExitType);
                    sim::pressHotkey(MOD_ALT | MOD_CONTROL, (BYTE)Settings.HotKey[0]);
                }
            });
        }
        break;
    }
    case EndProgram:
        P.endAsked = true;
        Advance(0);
        break;
    default: Advance(Durations[event.param % 16]); break;
    }
}

// The countdown window, modeless: its buttons and keys.
bool PlayCountdown(const Event& event) {
    sim::Dialog countdown = sim::findDialog(IDD_COUNTDOWN);
    if (!countdown || (event.kind != Press && event.kind != Close && event.kind != Type))
        return false;
    if (event.kind == Press) {
        static const int buttons[] = {IDC_COUNTDOWNCLOSE, IDC_COUNTDOWNPOSTPONE, IDC_COUNTDOWNABORT};
        countdown.click(buttons[event.param % 3]);
    } else if (event.kind == Close) {
        countdown.close();
    } else {
        static const char keys[] = {13, 27, 'p', ' '}; // Enter, Esc
        sim::typeChar(keys[event.param % 4], countdown.hwnd());
    }
    Advance(0);
    return true;
}

// The main loop at rest: one event, or, when the input has ended, the program asked to end.
bool PlayIdle() {
    HookLoop loop;
    Trace("at rest: armed %u, exit type %d, hotkey %d %c, icon %zu", (unsigned)Settings.TimerActive,
          Settings.ExitType, Settings.HotkeyFlag, Settings.HotKey[0] ? Settings.HotKey[0] : '-',
          sim::trayIcons().size());
    CheckPromises();
    CheckAtRest();
    if (P.endAsked) {
        if (P.exitPosted)
            return false;
        P.exitPosted = true;
        PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        return true;
    }
    std::optional<Event> event = NextEvent();
    if (!event) {
        P.endAsked = true;
        return true;
    }
    if (!PlayCountdown(*event))
        PlayAnywhere(*event);
    return true;
}

// Edits and buttons of a dialog, in template order.
std::vector<int> Controls(sim::Dialog& dialog, bool edits) {
    std::vector<int> found;
    for (int id : dialog.controlIds()) {
        std::string className = sim::windowInfo(dialog.control(id)).className;
        bool isEdit = className == "Edit" || className == "EDIT" || className == "edit";
        bool isButton = className == "Button" || className == "BUTTON" || className == "button";
        if ((edits && isEdit) || (!edits && isButton))
            found.push_back(id);
    }
    return found;
}

// Typing, a button or the close box of a dialog; false for any other event.
bool PlayInDialog(sim::Dialog& dialog, const Event& event) {
    if (event.kind == Type) {
        std::vector<int> edits = Controls(dialog, true);
        if (!edits.empty())
            dialog.type(edits[event.param % edits.size()], Typed[event.param / 8 % 18]);
    } else if (event.kind == Press) {
        std::vector<int> buttons = Controls(dialog, false);
        if (!buttons.empty())
            dialog.click(buttons[event.param % buttons.size()]);
        if (dialog.id() == IDD_TIMEDEXIT && (event.param & 0x80) && dialog.exists()) {
            dialog.dropDown(IDC_PROGRAMLIST);
            dialog.choose(IDC_PROGRAMLIST, "");
        }
    } else if (event.kind == Close) {
        dialog.close();
    } else {
        return false;
    }
    Advance(0);
    return true;
}

// The newest modal dialog of the program still open: a box without an owner leaves it usable beneath.
sim::Dialog DialogBeneath() {
    const std::vector<sim::DialogRecord>& opened = sim::dialogsOpened();
    for (auto record = opened.rbegin(); record != opened.rend(); ++record)
        if (record->modal && sim::Dialog(record->window).exists())
            return sim::Dialog(record->window);
    return sim::Dialog();
}

void PlayDialog(sim::Dialog& dialog) {
    HookLoop loop;
    int id = dialog.id();
    Trace("dialog %d", id);
    while (dialog.exists()) {
        CheckPromises();
        std::optional<Event> event = P.endAsked || LoopEnded ? std::nullopt : NextEvent();
        if (!event) {
            dialog.close();
            if (dialog.exists())
                dialog.click(IDCANCEL);
            if (dialog.exists())
                Advance(0);
            return;
        }
        if (!PlayInDialog(dialog, *event))
            PlayAnywhere(*event);
    }
}

int PlayBox(const sim::MessageBoxCall& box) {
    HookLoop loop;
    static const std::vector<int> buttonsOf[] = {
        {IDOK}, {IDOK, IDCANCEL}, {3, 4, 5}, {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO}, {4, IDCANCEL}};
    const std::vector<int>& buttons = buttonsOf[std::min(box.style & 0x0F, 5u)];
    // No second copy of what is on its way: the exit's question and Hide Tray Icon's never open again under
    // themselves. A message that refuses something (Force Exit, a time) answers one ask; another ask beneath
    // it is refused anew.
    bool question = box.text == "Are you sure you want to exit ?" ||
                    box.text == "Are you sure you want to hide the tray icon ?";
    FUZZ_CHECK(!question || std::find(P.openBoxes.begin(), P.openBoxes.end(), box.text) == P.openBoxes.end(),
               "\"%s\" opened again under itself", box.text.c_str());
    P.openBoxes.push_back(box.text);
    struct Closed {
        ~Closed() { P.openBoxes.pop_back(); }
    } closed;
    Trace("box \"%s\"", box.text.c_str());
    for (;;) {
        CheckPromises();
        std::optional<Event> event = P.endAsked || LoopEnded ? std::nullopt : NextEvent();
        if (!event)
            return buttons.size() == 1 ? IDOK : buttons.back() == IDCANCEL ? IDCANCEL : IDNO;
        sim::Dialog beneath = event->param & 0x40 ? DialogBeneath() : sim::Dialog();
        if (beneath && (event->kind == Press || event->kind == Type)) {
            PlayInDialog(beneath, *event);
            continue;
        }
        if (event->kind == Press || event->kind == Type) {
            int answer = buttons[event->param % buttons.size()];
            if (answer == IDYES && box.text == "Are you sure you want to hide the tray icon ?")
                P.iconHidden = true;
            return answer;
        }
        if (event->kind == Close && buttons.back() == IDCANCEL)
            return IDCANCEL;
        PlayAnywhere(*event);
    }
}

UINT PlayMenu(sim::Menu& menu) {
    HookLoop loop;
    bool quick = !menu.find(IDM_EXITPROGRAM);
    std::vector<UINT> commands;
    std::function<void(const std::vector<sim::MenuItem>&)> collect =
        [&](const std::vector<sim::MenuItem>& items) {
            for (const sim::MenuItem& item : items) {
                if (!item.separator && !item.popup && !item.grayed && !item.disabled && item.id)
                    commands.push_back(item.id);
                collect(item.children);
            }
        };
    collect(menu.items);
    Trace("%s menu", quick ? "quick" : "main");
    for (;;) {
        CheckPromises();
        std::optional<Event> event = P.endAsked || LoopEnded ? std::nullopt : NextEvent();
        if (!event || event->kind == Close)
            return 0;
        if (event->kind == Press || event->kind == Type) {
            if (commands.empty() || event->param % (commands.size() + 1) == commands.size())
                return 0;
            UINT chosen = commands[event->param % (commands.size() + 1)];
            if (quick)
                Ask((INT32)chosen);
            return chosen;
        }
        if (event->kind == EndProgram) {
            P.endAsked = true;
            return 0;
        }
        // A popup menu holds the mouse: a click anywhere outside it, the tray included, only dismisses it.
        if (event->kind == Click || event->kind == ShiftClick || event->kind == DoubleClick ||
            event->kind == RightClick)
            return 0;
        PlayAnywhere(*event);
    }
}

BOOL PlayOpenFile(OPENFILENAMEA& request) {
    std::optional<Event> event = P.endAsked || LoopEnded ? std::nullopt : NextEvent();
    if (!event || event->param % 3 == 0)
        return FALSE;
    sim::chooseFile(request,
                    event->param % 3 == 1 ? "C:\\TOOLS\\BACKUP.EXE" : "D:\\" + std::string(250, 'L'));
    return TRUE;
}

// After the program has ended: no hotkey is left registered, and nothing it started waits.
void CheckEnded() {
    CheckRequests();
    FUZZ_CHECK(sim::hotkeys().empty(), "%zu hotkeys left registered after the program ended",
               sim::hotkeys().size());
}

sim::User TheUser() {
    sim::User user;
    user.idle = PlayIdle;
    user.box = PlayBox;
    user.dialog = PlayDialog;
    user.menu = PlayMenu;
    user.openFile = PlayOpenFile;
    return user;
}

void Run(const std::string& line) {
    std::memset(&Settings, 0, sizeof Settings);
    P.exitTimerRuns = false;
    P.armedTimeout = P.armedAtTime = false;
    P.exitPosted = false;
    P.endAsked = false;
    P.iconHidden = false;
    P.taskbarLost = !P.taskbarPresent; // a new start adds its icon to the taskbar there is
    sim::RunResult result = sim::runProgram(line.c_str());
    FUZZ_CHECK(result.ending != sim::Ending::Runaway, "a loop that does not end");
    if (result.ending == sim::Ending::Returned)
        Ask(Settings.ExitType); // a one-shot start, or a refused one, which asks for nothing
    CheckEnded();
    sim::endProcess();
}

// What is saved starts: a start over the saved registry, at the moment of the save, with no command line,
// shows no box and loads what the user saw.
void CheckSavedStarts() {
    fuzz::FreshMachine();
    sim::setTimerGranularity(0);
    sim::setLocalTime(P.savedHour, P.savedMinute, P.savedSecond);
    sim::regCreateKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    for (const auto& [name, value] : P.savedValues)
        sim::regSetValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, name, value.type, value.bytes);
    bool checked = false;
    sim::User user;
    user.idle = [&checked] {
        if (checked)
            return false;
        checked = true;
        const SettingsRecord& was = P.savedRecord;
        const SettingsRecord& is = Settings;
        bool timerOff = was.TimerCancelled;
        FUZZ_CHECK(is.ForceFlag == was.ForceFlag && is.ClickFlag == was.ClickFlag &&
                       is.ConfirmFlag == was.ConfirmFlag && is.EjectFlag == was.EjectFlag &&
                       is.ExitType == was.ExitType && is.BlockFlag == was.BlockFlag &&
                       is.HotkeyFlag == was.HotkeyFlag && is.RunBeforeExit == was.RunBeforeExit,
                   "a flag or the exit type saved is not what starts");
        // A cancelling click stores Exit at and the countdown off; the choice of a program's end is never
        // stored, and the timer choice stored before it stays.
        if (!was.ProgramEndFlag)
            FUZZ_CHECK(is.TimerFlag == was.TimerFlag && is.AtFlag == (timerOff ? 0 : was.AtFlag) &&
                           is.WarnFlag == (timerOff ? 0 : was.WarnFlag),
                       "the timer flags saved (%d %d %d, cancelled %d) start as %d %d %d", was.TimerFlag,
                       was.AtFlag, was.WarnFlag, was.TimerCancelled, is.TimerFlag, is.AtFlag, is.WarnFlag);
        FUZZ_CHECK(!std::strcmp(is.TimerValue, was.TimerValue) && !std::strcmp(is.AtValue, was.AtValue) &&
                       !std::strcmp(is.WarnValue, was.WarnValue) && !std::strcmp(is.HotKey, was.HotKey),
                   "a number or the letter saved is not what starts");
        FUZZ_CHECK(!std::strcmp(is.ProgramsToRun, was.ProgramsToRun),
                   "the program list saved is not what starts");
        FUZZ_CHECK(is.ProgramEndFlag == 0, "the choice of a program's end was stored");
        PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        return true;
    };
    sim::setUser(user);
    std::memset(&Settings, 0, sizeof Settings);
    sim::RunResult result = sim::runProgram("");
    for (const sim::MessageBoxCall& box : sim::boxes())
        FUZZ_CHECK(false, "a start over what was saved shows \"%s\"", box.text.c_str());
    FUZZ_CHECK(checked || result.ending == sim::Ending::Returned,
               "the start over what was saved never rested");
}

int RunInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    P = Player();
    P.input = &input;
    uint8_t machine = input.byte();
    P.windows95 = machine & 1;
    if (P.windows95)
        sim::setVwin32FirstRelease(true);
    if (machine & 2)
        sim::setTimerGranularity(55);
    if (machine & 4)
        sim::addForeignTimer();
    if (machine & 8)
        sim::addProcess("C:\\WINDOWS\\NOTEPAD.EXE");
    uint8_t hour = input.byte(), minute = input.byte(), second = input.byte();
    if (hour & 0x80)
        sim::setLocalTime(minute & 1 ? 23 : 0, minute & 1 ? 59 - minute % 3 : minute % 3, second % 60);
    else
        sim::setLocalTime(hour % 24, minute % 60, second % 60);

    int values = std::min<int>(input.byte(), ValueCount);
    for (int i = 0; i < values; i++) {
        int value = input.byte() % ValueCount;
        const std::vector<std::string>& vocabulary = Vocabulary(value);
        const std::string& text = vocabulary[input.byte() % vocabulary.size()];
        sim::regSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, ValueNames[value], text);
        Trace("stored %s \"%.40s\"", ValueNames[value], text.c_str());
    }
    std::string line;
    int options = std::min<int>(input.byte(), 6);
    for (int i = 0; i < options; i++) {
        if (!line.empty())
            line += ' ';
        line += Options[input.byte() % (sizeof Options / sizeof *Options)];
    }
    if (line.find("/?") != std::string::npos)
        return 0; // the list of options, answered by a box and nothing more

    sim::setUser(TheUser());
    // Days of waiting for a program to end are polled every few seconds.
    sim::setDispatchLimit(4000000);
    {
        SYSTEMTIME t;
        GetLocalTime(&t);
        Trace("start \"%s\" on Windows %s at %02u:%02u:%02u", line.c_str(), P.windows95 ? "95" : "98",
              t.wHour, t.wMinute, t.wSecond);
    }
    Run(line);
    for (int starts = 1; !P.ended && starts < 8; starts++)
        Run("");
    if (P.saved)
        CheckSavedStarts();
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // As in the other targets: the machine is made fresh after an input, so that each input frees what it
    // allocated.
    static const bool firstInput = (fuzz::FreshMachine(), std::atexit(PrintEventsPlayed), true);
    (void)firstInput;
    int result = RunInput(data, size);
    fuzz::FreshMachine();
    return result;
}
