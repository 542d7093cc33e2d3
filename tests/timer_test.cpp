// The timed exit: arming by timeout and time of day, the countdown window, cancelling, and the dialogs that
// set it up.
#include "support.h"
#include "app/tray.h"
#include "config/cmdline.h"
#include "config/store.h"
#include "timer/timer_internal.h"
#include "timer/timerdlg_internal.h"

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;

class TimedExit : public ProgramTest {};

TEST_F(TimedExit, TimeoutWithoutWarning) {
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_9");
        EXPECT_EQ(sim::trayIcon()->tip, "Timed Exit");
        EXPECT_THAT(sim::hotkeys(), IsEmpty());
        sim::advance(29999);
        EXPECT_THAT(sim::requests(), IsEmpty());
        sim::advance(1);
        EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_1");
        EXPECT_EQ(sim::hotkeys().size(), 1u);
    });
    sim::runProgram("/t:30 /h");
}

TEST_F(TimedExit, WarningOpensTheCountdownAndCountsDown) {
    Store("WarningText", "Save your work");
    sim::whenIdle([] {
        sim::advance(19999);
        EXPECT_FALSE(sim::findDialog(IDD_COUNTDOWN));
        sim::advance(1);
        sim::Dialog countdown = sim::findDialog(IDD_COUNTDOWN);
        ASSERT_TRUE(countdown);
        EXPECT_EQ(countdown.caption(), "Countdown");
        EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), "00:10");
        EXPECT_EQ(countdown.text(IDC_COUNTDOWNTEXT), "Save your work");
        sim::advance(1000);
        EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), "00:09");
        sim::advance(8000);
        EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), "00:01");
        sim::advance(999);
        EXPECT_THAT(sim::requests(), IsEmpty());
    });
    sim::RunResult result = sim::runProgram("/t:30 /w:10 /n");
    EXPECT_EQ(result.ending, sim::Ending::Quit);
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
    EXPECT_EQ(sim::requests().at(0).time, 30000u);
    EXPECT_FALSE(sim::findDialog(IDD_COUNTDOWN)) << "closed when the exit fired";
}

TEST_F(TimedExit, WarningAsLongAsTheDelayOpensAtOnce) {
    sim::whenIdle([] {
        sim::advance(0);
        ASSERT_TRUE(sim::findDialog(IDD_COUNTDOWN));
        EXPECT_EQ(sim::findDialog(IDD_COUNTDOWN).text(IDC_COUNTDOWNTIME), "00:05");
    });
    sim::runProgram("/t:5 /w:5 /n");
    EXPECT_EQ(sim::requests().at(0).time, 5000u);
}

TEST_F(TimedExit, CountFormats) {
    StartupValues();
    const struct {
        INT32 count;
        const char* shown;
    } cases[] = {{60, "01:00"}, {61, "01:01"}, {3600, "60:00"}, {6000, "100:00"}, {125, "02:05"},
                 {59, "00:59"}, {0, "00:00"},  {-1, "00:00"},   {-500, "00:00"},  {1000000, "16666:40"}};
    Settings.WarnSeconds = 1;
    Settings.CountdownRemaining = 2;
    HWND window =
        CreateDialogParamA(sim::instance(), MAKEINTRESOURCEA(IDD_COUNTDOWN), NULL, CountdownDlgProc, 0);
    ASSERT_TRUE(window);
    sim::Dialog countdown(window);
    for (const auto& c : cases) {
        Settings.CountdownRemaining = c.count + 1;
        ShowCountdown();
        EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), c.shown) << c.count;
    }
}

TEST_F(TimedExit, CloseHidesAbortCancels) {
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(20000);
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNCLOSE);
        EXPECT_FALSE(sim::findDialog(IDD_COUNTDOWN));
        EXPECT_NE(Settings.TimerActive, 0u);
    });
    sim::runProgram("/t:30 /w:10");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << "the exit still comes after Close";

    sim::Machine machine;
    std::memset(&Settings, 0, sizeof Settings);
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(20000);
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNABORT);
        sim::advance(0);
        EXPECT_FALSE(sim::findDialog(IDD_COUNTDOWN));
        EXPECT_EQ(Settings.TimerActive, 0u);
        EXPECT_EQ(Settings.TimerCancelled, 0) << "only a click on the icon counts as cancelled";
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_2");
        EXPECT_EQ(sim::hotkeys().size(), 1u);
        sim::advance(60000);
    });
    sim::runProgram("/t:30 /w:10 /h /e:b");
    EXPECT_THAT(sim::requests(), IsEmpty());
}

// Postpone moves the exit by the time that was left plus five minutes, whatever the count shows, and the
// window counts on from the new time. Nothing that was stored changes.
TEST_F(TimedExit, PostponeAddsFiveMinutesToWhatWasLeft) {
    const struct {
        const char* line;
        DWORD ticks; // GetTickCount at the start
        DWORD pressAt;
        int presses;
        const char* shown; // at once after the presses
        const char* next;  // a second later
        DWORD exitAt;
    } cases[] = {
        {"/t:30 /w:10 /n", 3600000, 23000, 1, "05:07", "05:06", 330000},
        {"/t:30 /w:10 /n", 3600000, 23000, 2, "10:07", "10:06", 630000},
        // Part of a second left: the count shows 00:01, the exit comes 300 s after it was due.
        {"/t:30 /w:10 /n", 3600000, 29999, 1, "05:01", "05:00", 330000},
        // The tick count wraps round in between.
        {"/t:30 /w:10 /n", 0xFFFFFFFFu - 25000, 23000, 1, "05:07", "05:06", 330000},
        // A time of day comes five minutes after its time.
        {"/a:120030 /w:10 /n", 3600000, 23000, 1, "05:07", "05:06", 330000},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setLocalTime(12, 0, 0);
        sim::setTickCount(c.ticks);
        sim::whenIdle([&] {
            sim::advance(c.pressAt);
            sim::Dialog countdown = sim::findDialog(IDD_COUNTDOWN);
            ASSERT_TRUE(countdown) << c.line;
            for (int i = 0; i < c.presses; i++)
                countdown.click(IDC_COUNTDOWNPOSTPONE);
            EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), c.shown) << c.line;
            sim::advance(1000);
            EXPECT_TRUE(sim::findDialog(IDD_COUNTDOWN)) << "the window stays open";
            EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), c.next) << c.line << ": it counts on";
            EXPECT_FALSE(sim::trayIcon()) << "one-shot: still no icon";
            EXPECT_EQ(sim::timers().size(), 2u) << c.line << ": the exit timer and the tick, no other";
        });
        sim::RunResult result = sim::runProgram(c.line);
        EXPECT_EQ(result.ending, sim::Ending::Quit) << c.line << ": one-shot ends after the postponed exit";
        ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << c.line;
        EXPECT_EQ(sim::requests().at(0).time, c.exitAt) << c.line;
        EXPECT_STREQ(Settings.TimerValue, "30") << c.line;
        EXPECT_STREQ(Settings.AtValue, std::strstr(c.line, "/a:") ? "120030" : "230000") << c.line;
    }
}

// A new exit timer that cannot be made leaves the exit when it was due, and the count as it was.
TEST_F(TimedExit, PostponeThatCannotMakeItsTimerChangesNothing) {
    sim::whenIdle([] {
        sim::advance(23000);
        UINT_PTR armed = Settings.TimerActive;
        sim::failTimers([](UINT elapse) { return elapse == 307000; });
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNPOSTPONE);
        EXPECT_EQ(sim::findDialog(IDD_COUNTDOWN).text(IDC_COUNTDOWNTIME), "00:07");
        EXPECT_EQ(Settings.CountdownRemaining, 7);
        EXPECT_EQ(Settings.TimerActive, armed);
        EXPECT_EQ(Settings.ExitTimerId, armed);
    });
    sim::runProgram("/t:30 /w:10 /n");
    ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
    EXPECT_EQ(sim::requests().at(0).time, 30000u);
}

TEST_F(TimedExit, AbortAfterPostponeCancels) {
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(23000);
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNPOSTPONE);
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNABORT);
        sim::advance(0);
        EXPECT_EQ(Settings.TimerActive, 0u);
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_1");
        EXPECT_THAT(sim::timers(), IsEmpty());
        sim::advance(700000);
    });
    sim::runProgram("/t:30 /w:10");
    EXPECT_THAT(sim::requests(), IsEmpty());
}

TEST_F(TimedExit, OneShotQuitsEvenWhenTheConfirmationIsDeclined) {
    sim::expectBox("Are you sure you want to exit ?", IDNO);
    sim::RunResult result = sim::runProgram("/t:3 /f:c /n");
    EXPECT_EQ(result.ending, sim::Ending::Quit);
    EXPECT_THAT(sim::requests(), IsEmpty());
}

TEST_F(TimedExit, AbortInOneShotModeLeavesItRunningWithoutAnIcon) {
    sim::whenIdle([] {
        sim::advance(0);
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNABORT);
        sim::advance(100000);
        EXPECT_THAT(sim::trayIcons(), IsEmpty());
    });
    sim::RunResult result = sim::runProgram("/t:10 /w:10 /n");
    EXPECT_EQ(result.ending, sim::Ending::Idle);
    EXPECT_THAT(sim::requests(), IsEmpty());
}

TEST_F(TimedExit, TimeOfDay) {
    const struct {
        int hour, minute, second;
        const char* value;
        bool valid;
        INT32 delay;
    } cases[] = {
        {22, 59, 30, "230000", true, 30000},  {23, 0, 1, "230000", true, 86399000},
        {12, 0, 0, "240000", true, 43200000}, {12, 0, 0, "000000", true, 43200000},
        {12, 0, 0, "", true, 43200000},       {12, 0, 0, "250000", false, 0},
        {12, 0, 0, "236000", false, 0},       {12, 0, 0, "230060", false, 0},
        {12, 0, 0, "235959", true, 43199000}, {23, 0, 0, "003000", true, 5400000},
        {0, 10, 0, "003000", true, 87600000}, {12, 0, 0, "1500", true, 44100000},
        {12, 0, 0, "-5", false, 0},           {12, 0, 0, "120000", true, 0},
        {12, 0, 0, "245959", true, 46799000},
    };
    for (const auto& c : cases) {
        sim::reset();
        std::memset(&Settings, 0, sizeof Settings);
        StartupValues();
        sim::setLocalTime(c.hour, c.minute, c.second);
        lstrcpyA(Settings.AtValue, c.value);
        Settings.ExitDelayMs = -7;
        EXPECT_EQ(ParseAtTime(), c.valid ? 1 : 0) << c.value;
        EXPECT_EQ(Settings.ExitDelayMs, c.valid ? c.delay : -7)
            << c.value << " at " << c.hour << ":" << c.minute;
    }
}

TEST_F(TimedExit, BothFlagsTakeTheTimeoutButNeedAValidTime) {
    StartupValues();
    Settings.TimerFlag = 1;
    Settings.AtFlag = 1;
    Settings.TimeoutSeconds = 45;
    StartTimedExit();
    EXPECT_NE(Settings.TimerActive, 0u);
    EXPECT_EQ(Settings.ExitDelayMs, 45000);
    CancelTimedExit();
    lstrcpyA(Settings.AtValue, "250000");
    StartTimedExit();
    EXPECT_EQ(Settings.TimerActive, 0u);
}

TEST_F(TimedExit, WarningLongerThanTheDelayIsRefused) {
    sim::setLocalTime(22, 59, 50);
    sim::expectBox("Warning time is bigger than timeout", IDOK);
    // The time of day from the line is then not armed, which the line's own check reports.
    sim::expectBox("Timer not started (Invalid time ?)", IDOK);
    sim::RunResult result = sim::runProgram("/a:230000 /w:11 /n");
    EXPECT_EQ(result.ending, sim::Ending::Returned);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(sim::requests(), IsEmpty());
    EXPECT_EQ(Settings.TimerActive, 0u);
    for (const sim::MessageBoxCall& box : sim::boxes())
        EXPECT_FALSE(box.closedByQuit) << box.text << ": each box stays until answered";
}

// A timeout or countdown no user can have meant arms nothing, whichever road it comes by: never an exit at
// once in place of a timed one, never an interval wrapped round.
TEST_F(TimedExit, OutOfRangeArmsNothing) {
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> stored;
        const char*
            typed;   // a timeout typed before a refused OK; null: the dialog is only opened and cancelled
        bool hotkey; // armed by the hotkey instead of a click
    } rows[] = {
        {"a stored 0 converted by the dialog's opening", {{"TimerValue", "0"}}, nullptr, false},
        {"a stored -1, which would wrap round to 49 days", {{"TimerValue", "-1"}}, nullptr, false},
        {"a typed 0 that OK refused, over a stored 0", {{"TimerValue", "0"}}, "0", false},
        {"a typed -1 that OK refused, over a stored -1", {{"TimerValue", "-1"}}, "-1", false},
        {"a stored 0 and the hotkey", {{"TimerValue", "0"}}, nullptr, true},
        {"a stored countdown of 0", {{"WarnFlag", "1"}, {"WarnValue", "0"}}, nullptr, false},
        {"a stored countdown of -1", {{"WarnFlag", "1"}, {"WarnValue", "-1"}}, nullptr, false},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Store("TimerFlag", "1");
        for (const auto& [name, value] : row.stored)
            Store(name, value);
        const char* typed = row.typed;
        sim::onDialog(IDD_TIMEDEXIT, [typed](sim::Dialog& dialog) {
            if (typed) {
                dialog.type(IDC_TIMEOUTVALUE, typed);
                dialog.click(IDOK);
            }
            dialog.click(IDCANCEL);
        });
        if (typed)
            sim::expectBox("Invalid time", IDOK);
        sim::expectBox("Timer not started (Invalid time ?)", IDOK);
        bool hotkey = row.hotkey;
        sim::whenIdle([hotkey] {
            OnCommand(IDM_TIMEDEXIT);
            if (hotkey)
                sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X');
            else
                sim::clickTray(WM_LBUTTONDOWN);
            sim::advance(100000);
            EXPECT_EQ(Settings.TimerActive, 0u);
            EXPECT_EQ(sim::trayIcon()->tip, "Shutdown");
            PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        });
        sim::runProgram("/h");
        EXPECT_THAT(sim::requests(), IsEmpty()) << row.what;
        EXPECT_THAT(sim::timers(), IsEmpty()) << row.what;
        sim::checkScriptsUsed();
    }
}

// Armed at start-up, the hotkey stays registered; pressing it arms again. The earlier timers must not be
// left running where nothing can kill them.
TEST_F(TimedExit, ArmingAgainLeavesOnlyOneTimer) {
    sim::setLocalTime(12, 0, 0);
    sim::whenIdle([] {
        sim::advance(1000);
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
        sim::advance(0);
        sim::clickTray(WM_LBUTTONDOWN); // cancels
        sim::advance(0);
        EXPECT_EQ(Settings.TimerActive, 0u);
        sim::advance(2 * 3600 * 1000);
        EXPECT_FALSE(sim::findDialog(IDD_COUNTDOWN)) << "no stray warning opens the window";
    });
    sim::runProgram("/a:130000 /w:30 /h");
    EXPECT_THAT(sim::requests(), IsEmpty()) << "no stray exit timer fired";
}

// A re-arming whose timer cannot be made leaves the earlier arming running, icon and all.
TEST_F(TimedExit, ArmingAgainThatFailsKeepsTheEarlierArming) {
    sim::setLocalTime(12, 0, 0);
    sim::whenIdle([] {
        UINT_PTR armed = Settings.TimerActive;
        ASSERT_NE(armed, 0u);
        sim::failTimers([](UINT) { return true; });
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
        sim::advance(0);
        EXPECT_EQ(Settings.TimerActive, armed);
        EXPECT_EQ(Settings.ExitTimerId, armed);
        EXPECT_EQ(sim::trayIcon()->tip, "Timed Exit");
        sim::advance(3600 * 1000);
    });
    sim::runProgram("/a:130000 /h");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << "the earlier arming still fires";
}

TEST_F(TimedExit, DefaultWarningText) {
    StartupValues();
    const struct {
        INT32 exitType;
        const char* text;
    } cases[] = {{10, "Counting down to shutdown"},
                 {20, "Counting down to reboot"},
                 {30, "Counting down to restart"},
                 {40, "Counting down to logoff"},
                 {50, "Counting down to exit to DOS"},
                 {60, "Counting down to standby"},
                 {70, "Counting down to power-off"},
                 {80, "Counting down to screensaver"},
                 {90, "Counting down to restart shell"},
                 {0, "Counting down to "},
                 {55, "Counting down to "},
                 {100, "Counting down to "}};
    for (const auto& c : cases) {
        Settings.ExitType = c.exitType;
        Settings.WarningTextIsDefault = 0;
        MakeDefaultWarningText();
        EXPECT_STREQ(Settings.WarningText, c.text) << c.exitType;
        EXPECT_EQ(Settings.WarningTextIsDefault, 1);
    }
}

class TimedExitDialog : public ProgramTest {
  protected:
    // Opens the options dialog from the menu of a resident program and runs script in it.
    // after runs once the dialog has closed, before the program is ended.
    static void Open(
        std::function<void(sim::Dialog&)> script, const char* line = "",
        std::function<void()> after = [] {}) {
        sim::onDialog(IDD_TIMEDEXIT, script);
        sim::whenIdle([after] {
            OnCommand(IDM_TIMEDEXIT);
            after();
            PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        });
        sim::runProgram(line);
    }
    // Fills the dialog as a user does before OK: the clicks, then the edits.
    static void Fill(sim::Dialog& dialog, const std::vector<int>& clicked,
                     const std::vector<std::pair<int, std::string>>& typed) {
        for (int id : clicked)
            dialog.click(id);
        for (const auto& [id, text] : typed)
            dialog.type(id, text);
    }
};

TEST_F(TimedExitDialog, OpeningWithNothingSelected) {
    Open([](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.caption(), "Timed Exit Options");
        EXPECT_TRUE(dialog.checked(IDC_NOTIMEDEXIT));
        EXPECT_FALSE(dialog.checked(IDC_WARN));
        EXPECT_FALSE(dialog.enabled(IDC_WARN));
        EXPECT_FALSE(dialog.enabled(IDC_EDITWARNINGTEXT));
        for (int edit : {IDC_TIMEOUTVALUE, IDC_ATVALUE, IDC_WARNVALUE})
            EXPECT_EQ(dialog.text(edit), "") << edit;
        dialog.click(IDCANCEL);
    });
    EXPECT_EQ(Settings.WarnFlag, 0);
}

TEST_F(TimedExitDialog, OpeningShowsNormalisedValues) {
    Store("TimerValue", "0042x");
    Open(
        [](sim::Dialog& dialog) {
            EXPECT_TRUE(dialog.checked(IDC_TIMEOUT));
            EXPECT_EQ(dialog.text(IDC_TIMEOUTVALUE), "42");
            EXPECT_EQ(dialog.text(IDC_ATVALUE), "");
            dialog.click(IDC_ATTIME);
            EXPECT_EQ(dialog.text(IDC_ATVALUE), "230000");
            EXPECT_FALSE(dialog.enabled(IDC_TIMEOUTVALUE));
            dialog.click(IDCANCEL);
        },
        "/t");
    sim::Machine machine;
    std::memset(&Settings, 0, sizeof Settings);
    Store("AtFlag", "1");
    Store("AtValue", "1500");
    // The stored time of day is armed at start-up, and the menus gray the dialog's command then: a click
    // cancels first, and the hotkey arms it again underneath the open dialog.
    sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
        EXPECT_TRUE(dialog.checked(IDC_ATTIME));
        EXPECT_EQ(dialog.text(IDC_ATVALUE), "001500");
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
        dialog.advance(0);
        EXPECT_NE(Settings.TimerActive, 0u);
        dialog.click(IDC_NOTIMEDEXIT);
        dialog.click(IDOK);
    });
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        OnCommand(IDM_TIMEDEXIT);
        PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
    });
    sim::runProgram("/h");
    EXPECT_EQ(Settings.TimerActive, 0u) << "No timed exit cancels the time of day armed underneath";
}

TEST_F(TimedExitDialog, NegativeEntriesShowBoundedAndSensibly) {
    Store("TimerValue", "-5");
    Store("WarnValue", "-99999");
    Open(
        [](sim::Dialog& dialog) {
            EXPECT_EQ(dialog.text(IDC_TIMEOUTVALUE), "-5");
            dialog.click(IDCANCEL);
        },
        "/t");
    EXPECT_TRUE(Terminated(Settings.NumberText, sizeof Settings.NumberText));
    StartupValues();
    Settings.TimedExitDialogWindow = NULL;
    lstrcpyA(Settings.WarnValue, "-99999");
    ShowWarnValue();
    EXPECT_STREQ(Settings.NumberText, "-99999");
}

struct ApplyCase {
    const char* name;
    std::vector<std::pair<int, std::string>> typed; // edits typed before OK
    std::vector<int> clicked;                       // clicks before typing
    bool accepted;
    INT32 timerFlag, atFlag, warnFlag;
    bool armed;
};

TEST_F(TimedExitDialog, OkOutcomes) {
    const ApplyCase cases[] = {
        {"timeout", {{IDC_TIMEOUTVALUE, "30"}}, {IDC_TIMEOUT}, true, 1, 0, 0, false},
        {"timeout typed to its limit", {{IDC_TIMEOUTVALUE, "1234567"}}, {IDC_TIMEOUT}, true, 1, 0, 0, false},
        // A refused OK keeps the flags it found: here, nothing selected.
        {"timeout zero", {{IDC_TIMEOUTVALUE, "0"}}, {IDC_TIMEOUT}, false, 0, 0, 0, false},
        {"timeout empty", {{IDC_TIMEOUTVALUE, ""}}, {IDC_TIMEOUT}, false, 0, 0, 0, false},
        {"timeout negative", {{IDC_TIMEOUTVALUE, "-3"}}, {IDC_TIMEOUT}, false, 0, 0, 0, false},
        {"warning = timeout",
         {{IDC_TIMEOUTVALUE, "30"}, {IDC_WARNVALUE, "30"}},
         {IDC_TIMEOUT, IDC_WARN},
         true,
         1,
         0,
         1,
         false},
        {"warning > timeout",
         {{IDC_TIMEOUTVALUE, "30"}, {IDC_WARNVALUE, "31"}},
         {IDC_TIMEOUT, IDC_WARN},
         false,
         0,
         0,
         0,
         false},
        {"warning zero",
         {{IDC_TIMEOUTVALUE, "30"}, {IDC_WARNVALUE, "0"}},
         {IDC_TIMEOUT, IDC_WARN},
         false,
         0,
         0,
         0,
         false},
        {"time of day", {{IDC_ATVALUE, "130000"}}, {IDC_ATTIME}, true, 0, 1, 0, true},
        {"time of day 2400", {{IDC_ATVALUE, "2400"}}, {IDC_ATTIME}, true, 0, 1, 0, true},
        {"invalid time", {{IDC_ATVALUE, "256000"}}, {IDC_ATTIME}, false, 0, 0, 0, false},
        {"no timed exit", {}, {IDC_NOTIMEDEXIT}, true, 0, 0, 0, false},
    };
    for (const ApplyCase& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setLocalTime(12, 0, 0);
        if (!c.accepted) {
            sim::expectBox([](const sim::MessageBoxCall& box) {
                EXPECT_EQ(box.text, "Invalid time");
                return IDOK;
            });
        }
        Open(
            [&](sim::Dialog& dialog) {
                Fill(dialog, c.clicked, c.typed);
                dialog.click(IDOK);
                EXPECT_EQ(dialog.exists(), !c.accepted) << c.name;
                if (dialog.exists())
                    dialog.click(IDCANCEL);
            },
            "", [&] { EXPECT_EQ(Settings.TimerActive != 0, c.armed) << c.name; });
        EXPECT_EQ(Settings.TimerFlag, c.timerFlag) << c.name;
        EXPECT_EQ(Settings.AtFlag, c.atFlag) << c.name;
        EXPECT_EQ(Settings.WarnFlag, c.warnFlag) << c.name;
        EXPECT_TRUE(Terminated(Settings.TimerValue, sizeof Settings.TimerValue)) << c.name;
    }
}

// The timer settings as a save stores them and the next start reads them back.
std::string TimerSettings() {
    return "TimerFlag=" + std::to_string(Settings.TimerFlag) + " AtFlag=" + std::to_string(Settings.AtFlag) +
           " WarnFlag=" + std::to_string(Settings.WarnFlag) + " TimerValue=" + Settings.TimerValue +
           " AtValue=" + Settings.AtValue + " WarnValue=" + Settings.WarnValue +
           " TimeoutSeconds=" + std::to_string(Settings.TimeoutSeconds) +
           " WarnSeconds=" + std::to_string(Settings.WarnSeconds);
}

// A refused OK leaves the settings as it found them, also after Cancel: a save then stores nothing the
// next start would refuse, and that start shows no box.
TEST_F(TimedExitDialog, ARefusedOkLeavesNothingForASave) {
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> stored;
        std::vector<int> clicked;
        std::vector<std::pair<int, std::string>> typed;
        Strings boxes;
    } rows[] = {
        {"a time of day of 999999", {}, {IDC_ATTIME}, {{IDC_ATVALUE, "999999"}}, {"Invalid time"}},
        {"a timeout of 5 with a countdown of 6",
         {},
         {IDC_TIMEOUT, IDC_WARN},
         {{IDC_TIMEOUTVALUE, "5"}, {IDC_WARNVALUE, "6"}},
         {"Invalid time"}},
        {"a countdown longer than the time left to the time of day",
         {},
         {IDC_ATTIME, IDC_WARN},
         {{IDC_ATVALUE, "120005"}, {IDC_WARNVALUE, "10"}},
         {"Warning time is bigger than timeout", "Invalid time"}},
        {"a time of day of 250000 over a stored timeout with its countdown",
         {{"TimerFlag", "1"}, {"TimerValue", "60"}, {"WarnFlag", "1"}, {"WarnValue", "10"}},
         {IDC_ATTIME},
         {{IDC_ATVALUE, "250000"}},
         {"Invalid time"}},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setLocalTime(12, 0, 0);
        for (const auto& [name, value] : row.stored)
            Store(name, value);
        for (const std::string& box : row.boxes)
            sim::expectBox(box, IDOK);
        std::string before, after;
        Open(
            [&](sim::Dialog& dialog) {
                Fill(dialog, row.clicked, row.typed);
                before = TimerSettings();
                dialog.click(IDOK);
                EXPECT_TRUE(dialog.exists()) << row.what;
                after = TimerSettings();
                dialog.click(IDCANCEL);
            },
            "", [] { EXPECT_EQ(SaveSettings(), 1); });
        EXPECT_EQ(after, before) << row.what;
        EXPECT_EQ(Settings.TimerActive, 0u) << row.what;
        EXPECT_EQ(BoxTexts(), row.boxes) << row.what;
        // The next start over what was saved: accepted, with no box (an unexpected one fails the test).
        std::memset(&Settings, 0, sizeof Settings);
        StartupValues();
        EXPECT_EQ(ParseCommandLine(""), 1) << row.what;
        EXPECT_EQ(BoxTexts(), row.boxes) << row.what;
    }
}

// A click that cancels a timed exit stores its time of day and countdown as off; a countdown chosen in the
// options afterwards is stored as chosen, while a refused OK chooses nothing.
TEST_F(TimedExitDialog, ACountdownChosenAfterACancellingClickIsSaved) {
    const struct {
        const char* what;
        const char* line;
        std::function<void(sim::Dialog&)> choose; // null: the options are not opened
        Strings boxes;
        const char* storedWarnFlag;
    } rows[] = {
        {"nothing chosen after the click", "/t:60 /w:10", nullptr, {}, "0"},
        {"a countdown chosen with the timeout",
         "/t:60",
         [](sim::Dialog& dialog) {
             dialog.click(IDC_WARN);
             dialog.type(IDC_WARNVALUE, "10");
             dialog.click(IDOK);
         },
         {},
         "1"},
        {"a refused OK chooses nothing",
         "/t:60 /w:10",
         [](sim::Dialog& dialog) {
             dialog.type(IDC_TIMEOUTVALUE, "0");
             dialog.click(IDOK);
             dialog.click(IDCANCEL);
         },
         {"Invalid time"},
         "0"},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        for (const std::string& box : row.boxes)
            sim::expectBox(box, IDOK);
        if (row.choose)
            sim::onDialog(IDD_TIMEDEXIT, row.choose);
        bool choose = row.choose != nullptr;
        sim::whenIdle([choose] {
            sim::clickTray(WM_LBUTTONDOWN); // arms
            sim::advance(0);
            sim::clickTray(WM_LBUTTONDOWN); // cancels
            sim::advance(0);
            if (choose)
                OnCommand(IDM_TIMEDEXIT);
            EXPECT_EQ(SaveSettings(), 1);
            PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        });
        sim::runProgram(row.line);
        EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "WarnFlag")->text(), row.storedWarnFlag)
            << row.what;
        EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "TimerFlag")->text(), "1") << row.what;
        EXPECT_EQ(BoxTexts(), row.boxes) << row.what;
    }
}

// The edits take six characters, so what was typed is what is read; a longer text set by another program
// is refused, not cut.
TEST_F(TimedExitDialog, EditsTakeSixCharactersAndALongerTextIsRefused) {
    Open([](sim::Dialog& dialog) {
        dialog.click(IDC_TIMEOUT);
        dialog.type(IDC_TIMEOUTVALUE, "1234567");
        EXPECT_EQ(dialog.text(IDC_TIMEOUTVALUE), "123456") << "the seventh key is not taken";
        dialog.click(IDOK);
    });
    EXPECT_STREQ(Settings.TimerValue, "123456");
    EXPECT_EQ(Settings.TimeoutSeconds, 123456u);
    sim::Machine machine;
    std::memset(&Settings, 0, sizeof Settings);
    sim::setLocalTime(12, 0, 0);
    Store("AtValue", "130000");
    sim::expectBox("Invalid time", IDOK);
    Open([](sim::Dialog& dialog) {
        dialog.click(IDC_ATTIME);
        SetDlgItemTextA(dialog.hwnd(), IDC_ATVALUE, "2300000");
        dialog.click(IDOK);
        EXPECT_TRUE(dialog.exists());
        dialog.click(IDCANCEL);
    });
    EXPECT_EQ(Settings.TimerActive, 0u) << "not armed for 23:00:00";
    EXPECT_STREQ(Settings.AtValue, "130000") << "the field keeps what it held";
}

TEST_F(TimedExitDialog, ATimerArmedUnderneathIsOnlyCancelledByNoTimedExit) {
    sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
        dialog.advance(0);
        EXPECT_NE(Settings.TimerActive, 0u);
        // Showing a time earlier today must not stop the exit armed underneath.
        dialog.click(IDC_ATTIME);
        EXPECT_EQ(dialog.text(IDC_ATVALUE), "110000");
        dialog.click(IDOK);
        EXPECT_FALSE(dialog.exists());
    });
    sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
        dialog.advance(0);
        EXPECT_NE(Settings.TimerActive, 0u);
        dialog.click(IDC_NOTIMEDEXIT);
        dialog.click(IDOK);
    });
    sim::whenIdle([] {
        OnCommand(IDM_TIMEDEXIT);
        EXPECT_NE(Settings.TimerActive, 0u);
        EXPECT_EQ(Settings.TimerFlag, 1) << "nothing taken from the dialog";
        sim::advance(10000);
        EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << "the armed exit still comes";
        OnCommand(IDM_TIMEDEXIT);
        EXPECT_EQ(Settings.TimerActive, 0u);
        sim::advance(60000);
    });
    sim::setLocalTime(12, 0, 0);
    Store("AtValue", "110000");
    sim::runProgram("/t:10 /h");
    EXPECT_EQ(sim::requestStrings().size(), 1u);
}

// While an exit's question is open nothing may be armed: the dialog's OK with a time of day then takes
// nothing and keeps the dialog open, instead of closing as if the time were armed.
TEST_F(TimedExitDialog, ATimeOfDayIsNotArmedUnderAnExitsQuestion) {
    sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
        dialog.click(IDC_ATTIME);
        dialog.type(IDC_ATVALUE, "130000");
        dialog.click(IDOK);
        EXPECT_TRUE(dialog.exists());
        EXPECT_EQ(Settings.AtFlag, 0);
        EXPECT_EQ(Settings.TimerActive, 0u);
        dialog.click(IDCANCEL);
    });
    sim::expectBox([](const sim::MessageBoxCall& box) {
        EXPECT_EQ(box.text, "Are you sure you want to exit ?");
        OnCommand(IDM_TIMEDEXIT);
        return IDNO;
    });
    sim::whenIdle([] { sim::clickTray(WM_LBUTTONDOWN); });
    sim::setLocalTime(12, 0, 0);
    sim::runProgram("/f:c");
    EXPECT_EQ(BoxTexts(), Strings{"Are you sure you want to exit ?"});
    EXPECT_EQ(Settings.TimerActive, 0u);
    EXPECT_STREQ(Settings.AtValue, "230000") << "nothing taken from the dialog";
}

TEST_F(TimedExitDialog, WarningTextDialog) {
    sim::onDialog(IDD_WARNINGTEXT, [](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.caption(), "Enter warning window text");
        EXPECT_EQ(dialog.text(IDC_WARNINGTEXT), "Counting down to reboot");
        dialog.click(IDCANCEL);
    });
    sim::onDialog(IDD_WARNINGTEXT, [](sim::Dialog& dialog) {
        dialog.type(IDC_WARNINGTEXT, "Bye " + std::string(200, '!'));
        dialog.click(IDOK);
    });
    sim::onDialog(IDD_WARNINGTEXT, [](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.text(IDC_WARNINGTEXT).substr(0, 4), "Bye ") << "the edited text, not the default";
        dialog.click(IDOK);
    });
    sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
        dialog.click(IDC_TIMEOUT);
        dialog.click(IDC_WARN);
        dialog.click(IDC_EDITWARNINGTEXT);
        EXPECT_STREQ(Settings.WarningText, "Counting down to reboot") << "kept after Cancel";
        EXPECT_EQ(Settings.WarningTextChanged, 0);
        dialog.click(IDC_EDITWARNINGTEXT);
        EXPECT_EQ(Settings.WarningTextChanged, 1);
        EXPECT_EQ(Settings.WarningTextIsDefault, 0);
        EXPECT_EQ(std::strlen(Settings.WarningText), 99u);
        OnCommand(IDM_SHUTDOWN);
        dialog.click(IDC_EDITWARNINGTEXT);
        EXPECT_EQ(Settings.WarningTextChanged, 1) << "an OK without a change keeps the edit";
        dialog.click(IDCANCEL);
    });
    sim::whenIdle([] { OnCommand(IDM_TIMEDEXIT); });
    sim::runProgram("/e:b");
    EXPECT_EQ(sim::dialogsOpened().at(1).owner, sim::dialogsOpened().at(0).window)
        << "over the options dialog";
    EXPECT_EQ(SaveSettings(), 1);
    std::optional<sim::RegValue> stored = sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "WarningText");
    ASSERT_TRUE(stored) << "the edited text is stored";
    EXPECT_EQ(stored->text(), Settings.WarningText);
}

} // namespace
