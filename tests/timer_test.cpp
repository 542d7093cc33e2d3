// The timed exit: arming by timeout and time of day, the countdown window, cancelling, and the dialogs that
// set it up.
#include "support.h"
#include "app/tray.h"
#include "config/cmdline.h"
#include "config/store.h"
#include "timer/timer_internal.h"
#include "timer/timerdlg_internal.h"

#include <algorithm>

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;

class TimedExit : public ProgramTest {};

TEST_F(TimedExit, TimeoutWithoutWarning) {
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_9");
        EXPECT_EQ(sim::trayIcon()->tip, "Timed Exit: Shutdown at 12:00:30");
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

// The count is the time left to the exit, in whole seconds rounded up: a second that has begun is shown.
TEST_F(TimedExit, CountFormats) {
    StartupValues();
    const struct {
        INT32 leftMs;
        const char* shown;
    } cases[] = {{60000, "01:00"},   {61000, "01:01"},        {3600000, "60:00"}, {6000000, "100:00"},
                 {125000, "02:05"},  {59000, "00:59"},        {0, "00:00"},       {-1000, "00:00"},
                 {-500000, "00:00"}, {999999000, "16666:39"}, {59001, "01:00"},   {1, "00:01"},
                 {999, "00:01"},     {1000, "00:01"},         {1001, "00:02"}};
    Settings.TimerActive = ExitTimer;
    Settings.ExitDueTick = GetTickCount() + 5000;
    HWND window =
        CreateDialogParamA(sim::instance(), MAKEINTRESOURCEA(IDD_COUNTDOWN), NULL, CountdownDlgProc, 0);
    ASSERT_TRUE(window);
    sim::Dialog countdown(window);
    for (const auto& c : cases) {
        Settings.ExitDueTick = GetTickCount() + (DWORD)c.leftMs;
        ShowCountdown();
        EXPECT_EQ(countdown.text(IDC_COUNTDOWNTIME), c.shown) << c.leftMs << " ms";
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
        sim::failTimers([](UINT) { return true; });
        sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNPOSTPONE);
        EXPECT_EQ(sim::findDialog(IDD_COUNTDOWN).text(IDC_COUNTDOWNTIME), "00:07");
        EXPECT_EQ(Settings.CountdownRemaining, 7);
        EXPECT_EQ(Settings.TimerActive, armed);
    });
    sim::runProgram("/t:30 /w:10 /n");
    ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
    EXPECT_EQ(sim::requests().at(0).time, 30000u);
}

// An armed exit keeps its word whatever happens to the clocks: a time of day comes when the local clock
// reaches it, a timeout when its time has run. Never before, and never at once because the clock jumped or
// the machine slept: an exit found overdue gets its countdown first (60 seconds where none was chosen).
TEST_F(TimedExit, KeepsItsWordOnTheClocks) {
    const long long Hour = 3600000;
    const struct {
        const char* what;
        const char* line;
        int hour, minute, second; // the local time at the start
        DWORD ticks;              // GetTickCount at the start
        std::function<void()> meanwhile;
        DWORD exitAt;         // virtual ms of the exit request
        DWORD countdownSince; // 0: no countdown; else it opened at this virtual ms
    } rows[] = {
        {"a time of day just after midnight", "/a:000010 /n", 23, 59, 50, 3600000, [] {}, 20000, 0},
        {"00:30 at 00:10 is twenty minutes on", "/a:003000 /n", 0, 10, 0, 3600000, [] {}, 1200000, 0},
        {"a timeout across midnight", "/t:120 /n", 23, 59, 30, 3600000, [] {}, 120000, 0},
        {"a clock set forward, told", "/a:130000 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(600000);
             sim::shiftLocalTime(30 * 60000);
             sim::broadcastTimeChange();
         },
         1800000, 0},
        {"a clock set forward, not told: the next wake finds it", "/a:130000 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(600000);
             sim::shiftLocalTime(30 * 60000);
         },
         1800000, 0},
        {"a clock set forward past the time", "/a:120500 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::shiftLocalTime(10 * 60000);
             sim::broadcastTimeChange();
         },
         120000, 60000},
        {"a clock set back", "/a:120500 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::shiftLocalTime(-Hour);
             sim::broadcastTimeChange();
         },
         60000 + 64 * 60000, 0},
        {"daylight saving begins: 07:00 stays 07:00", "/a:070000 /n", 20, 0, 0, 3600000,
         [] {
             sim::advance(6 * Hour);
             sim::shiftLocalTime(Hour);
         },
         10 * Hour, 0},
        {"daylight saving ends: 07:00 stays 07:00", "/a:070000 /n", 20, 0, 0, 3600000,
         [] {
             sim::advance(6 * Hour);
             sim::shiftLocalTime(-Hour);
         },
         12 * Hour, 0},
        {"a timeout is not moved by the clock", "/t:600 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::shiftLocalTime(Hour);
             sim::broadcastTimeChange();
         },
         600000, 0},
        {"a standby shorter than the time left counts", "/t:600 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::standby({120000});
         },
         480000, 0},
        {"a standby counted once where the tick count went on", "/t:600 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::Standby standby{120000};
             standby.tickCountsSleep = true;
             sim::standby(standby);
         },
         600000, 0},
        {"a standby longer than the time left", "/t:600 /w:20 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::standby({Hour});
         },
         80000, 60000},
        {"a resume on Windows 98 alone", "/t:600 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::Standby standby{Hour};
             standby.resume = PBT_APMRESUMEAUTOMATIC;
             sim::standby(standby);
         },
         120000, 60000},
        {"a resume without notice past a time of day", "/a:121000 /n", 12, 0, 0, 3600000,
         [] {
             sim::advance(60000);
             sim::Standby standby{Hour};
             standby.announced = false;
             standby.resume = 0;
             sim::standby(standby);
         },
         180000, 120000},
        {"a tick count that wraps", "/t:30 /n", 12, 0, 0, 0xFFFFFFFFu - 10000, [] {}, 30000, 0},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setLocalTime(row.hour, row.minute, row.second);
        sim::setTickCount(row.ticks);
        std::function<void()> meanwhile = row.meanwhile;
        sim::whenIdle([meanwhile] { meanwhile(); });
        sim::RunResult result = sim::runProgram(row.line);
        EXPECT_EQ(result.ending, sim::Ending::Quit) << row.what;
        ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << row.what;
        EXPECT_EQ(sim::requests().at(0).time, row.exitAt) << row.what;
        const std::vector<sim::DialogRecord>& opened = sim::dialogsOpened();
        if (row.countdownSince) {
            ASSERT_EQ(opened.size(), 1u) << row.what << ": the countdown opens once";
            EXPECT_EQ(opened[0].openedAt, row.countdownSince) << row.what;
        } else {
            EXPECT_THAT(opened, IsEmpty()) << row.what;
        }
    }
}

// While armed, the tip says which exit comes when, on the local clock, with the date when that is not today;
// it follows Postpone and a clock that is set.
TEST_F(TimedExit, TipSaysWhichExitAndWhen) {
    const struct {
        const char* what;
        const char* line;
        int hour, minute;
        std::function<void()> meanwhile; // after a click that arms a timeout
        const char* tip;
    } rows[] = {
        {"a time of day today", "/a:230000 /e:p", 12, 0, [] {}, "Timed Exit: Power-off at 23:00:00"},
        {"a time of day tomorrow", "/a:010000", 23, 0, [] {},
         "Timed Exit: Shutdown at 01:00:00 on 6/16/1999"},
        {"a timeout", "/t:90 /e:b", 12, 0, [] { sim::clickTray(WM_LBUTTONDOWN); },
         "Timed Exit: Reboot at 12:01:30"},
        {"a timeout past midnight", "/t:120 /x:r", 23, 59, [] { sim::clickTray(WM_LBUTTONDOWN); },
         "Timed Exit: Restart Shell at 00:01:00 on 6/16/1999"},
        {"a timeout when the clock was set", "/t:600", 12, 0,
         [] {
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(1000);
             sim::shiftLocalTime(3600000);
             sim::broadcastTimeChange();
         },
         "Timed Exit: Shutdown at 13:10:00"},
        {"postponed", "/t:30 /w:10", 12, 0,
         [] {
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(25000);
             sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNPOSTPONE);
         },
         "Timed Exit: Shutdown at 12:05:30"},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setLocalTime(row.hour, row.minute, 0);
        std::function<void()> meanwhile = row.meanwhile;
        const char* tip = row.tip;
        const char* what = row.what;
        sim::whenIdle([meanwhile, tip, what] {
            meanwhile();
            sim::advance(0);
            ASSERT_TRUE(sim::trayIcon()) << what;
            EXPECT_EQ(sim::trayIcon()->iconName, "Icon_9") << what;
            EXPECT_EQ(sim::trayIcon()->tip, tip) << what;
            PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        });
        sim::runProgram(row.line);
    }
}

// Windows 9x shares the ids of timers without a window across the system and reuses them: the program keeps
// its timers on its main window, kills only what runs, and never sets an interval Windows 95 may not honour.
TEST_F(TimedExit, TimersAsWindows9xKeepsThem) {
    const struct {
        const char* what;
        const char* line;
        std::function<void()> meanwhile;
        DWORD exitAt; // 0: no exit
    } rows[] = {
        {"a timeout of 999,999 s comes at its time", "/t:999999 /n", [] { sim::advance(999999000); },
         999999000},
        {"armed, cancelled, armed and cancelled again", "/t:60 /w:5",
         [] {
             for (int i = 0; i < 2; i++) {
                 sim::clickTray(WM_LBUTTONDOWN);
                 sim::advance(57000);
                 sim::clickTray(WM_LBUTTONDOWN);
                 sim::advance(0);
             }
         },
         0},
        {"a cancel with nothing armed", "",
         [] {
             sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
                 dialog.click(IDC_NOTIMEDEXIT);
                 dialog.click(IDOK);
             });
             PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_TIMEDEXIT, 0);
             sim::advance(0);
         },
         0},
        {"after Restart Shell, the taskbar watch beside an armed exit", "/x:r /t:30",
         [] {
             Settings.TimerFlag = 0;
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
             Settings.TimerFlag = 1;
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(40000);
         },
         0},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        UINT_PTR foreign = sim::addForeignTimer();
        std::function<void()> meanwhile = row.meanwhile;
        sim::whenIdle([meanwhile] {
            meanwhile();
            PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        });
        sim::runProgram(row.line);
        EXPECT_TRUE(sim::foreignTimerAlive(foreign)) << row.what;
        std::vector<UINT_PTR> running;
        for (const sim::TimerCall& call : sim::timerCalls()) {
            EXPECT_TRUE(call.window) << row.what << ": a timer without a window";
            EXPECT_LE(call.elapse, 65535u) << row.what;
            if (call.setting) {
                if (call.result && std::find(running.begin(), running.end(), call.id) == running.end())
                    running.push_back(call.id);
            } else {
                auto it = std::find(running.begin(), running.end(), call.id);
                EXPECT_TRUE(it != running.end()) << row.what << ": timer " << call.id << " killed at "
                                                 << call.time << " ms, when it did not run";
                if (it != running.end())
                    running.erase(it);
            }
        }
        if (row.exitAt) {
            ASSERT_EQ(sim::requests().size(), 1u) << row.what;
            EXPECT_EQ(sim::requests()[0].time, row.exitAt) << row.what;
        } else {
            EXPECT_THAT(sim::requestStrings("ExitWindowsEx"), IsEmpty()) << row.what;
        }
    }
}

// The count is the real time left at every tick: ticks that come late, or merge while the program could not
// take them, never make it drift from the exit.
TEST_F(TimedExit, CountdownFollowsTheRealTimeLeft) {
    const struct {
        const char* what;
        unsigned granularity;
        bool merge; // three seconds pass at 23 s in which the program takes no message
        std::vector<std::pair<DWORD, const char*>> shown; // virtual ms, count
    } rows[] = {
        {"exact ticks", 0, false, {{20000, "00:10"}, {21000, "00:09"}, {29000, "00:01"}}},
        {"ticks on Windows 9x's 55 ms", 55, false, {{20100, "00:10"}, {21100, "00:09"}, {29100, "00:01"}}},
        {"ticks merged while the program waited", 0, true, {{26500, "00:04"}, {27000, "00:03"}}},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setTimerGranularity(row.granularity);
        auto shown = row.shown;
        const char* what = row.what;
        bool merge = row.merge;
        sim::whenIdle([shown, what, merge] {
            if (merge) {
                // The machine stops for three seconds unannounced, its tick count going on: one tick is taken
                // for the three that fell due.
                sim::advance(23000);
                sim::Standby pause{3000};
                pause.announced = false;
                pause.resume = 0;
                pause.tickCountsSleep = true;
                sim::standby(pause);
            }
            for (const auto& [at, count] : shown) {
                sim::advance(at - sim::now());
                ASSERT_TRUE(sim::findDialog(IDD_COUNTDOWN)) << what << " at " << at;
                EXPECT_EQ(sim::findDialog(IDD_COUNTDOWN).text(IDC_COUNTDOWNTIME), count)
                    << what << " at " << at;
            }
        });
        sim::runProgram("/t:30 /w:10 /n");
        ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << row.what;
        EXPECT_LT(sim::requests()[0].time - 30000, row.granularity + 1u) << row.what;
    }
}

// Exit when a program ends: armed from the command line at start, the program looked at every two seconds,
// then the countdown (60 s where none was chosen) and the exit; never the exit at once.
TEST_F(TimedExit, WhenAProgramEnds) {
    const struct {
        const char* what;
        const char* line;
        Strings boxes;                   // each answered OK, Yes for the exit's question
        std::function<void()> meanwhile; // runs once the program waits; DEFRAG.EXE ends at 30 s
        const char* tip;                 // while it runs; null: nothing armed
        DWORD countdownAt;               // 0: no countdown
        DWORD exitAt;                    // 0: no exit
    } rows[] = {
        {"its end, then 60 s",
         "/p:defrag.exe",
         {},
         [] {},
         "Timed Exit: Shutdown when DEFRAG.EXE",
         30000,
         90000},
        {"with a countdown of 5 s, by its folder and in capitals",
         "/p:C:\\WINDOWS\\DEFRAG.EXE /w:5 /e:p",
         {},
         [] {},
         "Timed Exit: Power-off when DEFRAG.EXE",
         30000,
         35000},
        {"a click cancels while it runs",
         "/p:defrag.exe",
         {},
         [] {
             sim::advance(5000);
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
             EXPECT_EQ(Settings.TimerActive, 0u);
             EXPECT_EQ(sim::trayIcon()->tip, "Shutdown");
         },
         "Timed Exit: Shutdown when DEFRAG.EXE",
         0,
         0},
        {"its end under About: the countdown opens over it",
         "/p:defrag.exe /f:c",
         {"Are you sure you want to exit ?"},
         [] {
             sim::onDialog(IDD_ABOUT, [](sim::Dialog& about) {
                 about.advance(32000);
                 EXPECT_TRUE(sim::findDialog(IDD_COUNTDOWN));
                 about.click(IDOK);
             });
             PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_ABOUT, 0);
         },
         "Timed Exit: Shutdown when DEFRAG.EXE",
         30000,
         90000},
        {"Postpone in the countdown of its end: five minutes more",
         "/p:defrag.exe",
         {},
         [] {
             sim::advance(40000);
             sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNPOSTPONE);
             EXPECT_EQ(sim::findDialog(IDD_COUNTDOWN).text(IDC_COUNTDOWNTIME), "05:50");
         },
         "Timed Exit: Shutdown when DEFRAG.EXE",
         30000,
         390000},
        {"Abort in the countdown of its end",
         "/p:defrag.exe",
         {},
         [] {
             sim::advance(40000);
             sim::findDialog(IDD_COUNTDOWN).click(IDC_COUNTDOWNABORT);
             EXPECT_EQ(Settings.TimerActive, 0u);
         },
         "Timed Exit: Shutdown when DEFRAG.EXE",
         30000,
         0},
        {"not running", "/p:Backup.exe", {"Program not running: Backup.exe"}, nullptr, nullptr, 0, 0},
        {"no name", "/p /n", {"No program chosen"}, nullptr, nullptr, 0, 0},
        {"with a timeout", "/p:defrag.exe /t:60", {"Too many options specified"}, nullptr, nullptr, 0, 0},
        {"with a time of day", "/a /p:defrag.exe", {"Too many options specified"}, nullptr, nullptr, 0, 0},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::addProcess("C:\\WINDOWS\\EXPLORER.EXE");
        sim::addProcess("C:\\WINDOWS\\DEFRAG.EXE", 30000);
        sim::addProcess("C:\\OTHER\\DEFRAG.EXE"); // found second: the first is taken
        for (const std::string& box : row.boxes)
            sim::expectBox(box, box == "Are you sure you want to exit ?" ? IDYES : IDOK);
        if (row.tip) {
            auto meanwhile = row.meanwhile;
            const char* tip = row.tip;
            const char* what = row.what;
            sim::whenIdle([meanwhile, tip, what] {
                ASSERT_TRUE(sim::trayIcon()) << what;
                EXPECT_EQ(sim::trayIcon()->tip, tip) << what;
                EXPECT_THAT(sim::hotkeys(), IsEmpty()) << what;
                meanwhile();
                sim::advance(3600000);
                PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
            });
        }
        sim::RunResult result = sim::runProgram(row.line);
        EXPECT_EQ(BoxTexts(), row.boxes) << row.what;
        if (row.exitAt) {
            ASSERT_EQ(sim::requestStrings("ExitWindowsEx").size(), 1u) << row.what;
            EXPECT_EQ(sim::requests().back().time, row.exitAt) << row.what;
        } else {
            EXPECT_THAT(sim::requests(), IsEmpty()) << row.what;
        }
        if (row.countdownAt) {
            const std::vector<sim::DialogRecord>& opened = sim::dialogsOpened();
            ASSERT_FALSE(opened.empty()) << row.what;
            EXPECT_GE(opened.back().openedAt, row.countdownAt) << row.what;
            EXPECT_LE(opened.back().openedAt, row.countdownAt + 2000) << row.what << ": noticed within 2 s";
        }
        for (const sim::TimerCall& call : sim::timerCalls())
            if (call.setting && call.id == ExitTimer && call.time < 30000) {
                EXPECT_EQ(call.elapse, 2000u) << row.what << ": looked at every two seconds";
            }
        EXPECT_EQ(sim::openHandleCount(), 0) << row.what << ": the program's handle closed";
        EXPECT_EQ(result.exitCode, 0) << row.what;
    }
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
        {22, 59, 30, "230000", true, 30000},
        {23, 0, 1, "230000", true, 86399000},
        {12, 0, 0, "240000", true, 43200000},
        {12, 0, 0, "000000", true, 43200000},
        {12, 0, 0, "", true, 43200000},
        {12, 0, 0, "250000", false, 0},
        {12, 0, 0, "236000", false, 0},
        {12, 0, 0, "230060", false, 0},
        {12, 0, 0, "235959", true, 43199000},
        {23, 0, 0, "003000", true, 5400000},
        {0, 10, 0, "003000", true, 1200000},
        {12, 0, 0, "1500", true, 44100000},
        {12, 0, 0, "-5", false, 0},
        {12, 0, 0, "120000", true, 0},
        {12, 0, 0, "245959", true, 46799000},
        {12, 0, 0, "-10000", false, 0},
        // Around midnight: today's time until it has passed, hour 24 as hour 0.
        {0, 0, 10, "003000", true, 1790000},
        {23, 59, 50, "000000", true, 10000},
        {23, 59, 50, "240000", true, 10000},
        {0, 0, 0, "000000", true, 0},
        {0, 30, 0, "003000", true, 0},
        {0, 30, 1, "003000", true, 86399000},
        {0, 10, 0, "245959", true, 2999000},
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
        if (c.valid) {
            EXPECT_LT(Settings.AtHour, 24u) << c.value;
        }
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

// The hotkey is released while an exit is armed; one pressed just before the arming is still in the queue.
static void PressedBeforeTheArming(char letter) {
    PostMessageA(Settings.MainWindow, WM_HOTKEY, HOTKEY_ID,
                 (LPARAM)((UINT)letter << 16 | (MOD_ALT | MOD_CONTROL)));
}

// Armed at start-up, the hotkey is released; a press still queued from before arms again. The earlier timers
// must not be left running where nothing can kill them.
TEST_F(TimedExit, ArmingAgainLeavesOnlyOneTimer) {
    sim::setLocalTime(12, 0, 0);
    sim::whenIdle([] {
        sim::advance(1000);
        EXPECT_THAT(sim::hotkeys(), IsEmpty()) << "the arming on the command line released the hotkey";
        PressedBeforeTheArming('X');
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

// A re-arming that cannot be made leaves the earlier arming exactly as it was: its timers, its tip and its
// open countdown; in one-shot mode too, where the program goes on to that exit.
TEST_F(TimedExit, ArmingAgainThatFailsKeepsTheEarlierArming) {
    const struct {
        const char* what;
        const char* line;
        DWORD pressAt;
        bool timersFail;
        Strings boxes;
        bool countdownOpen; // when the hotkey is pressed
    } rows[] = {
        {"the timer cannot be made", "/a:130000 /h", 1000, true, {}, false},
        {"the countdown no longer fits before the time of day",
         "/a:120016 /w:12 /h:q /n",
         5000,
         false,
         {"Warning time is bigger than timeout"},
         true},
        {"the same, resident",
         "/a:120016 /w:12 /h:q",
         5000,
         false,
         {"Warning time is bigger than timeout"},
         true},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setLocalTime(12, 0, 0);
        for (const std::string& box : row.boxes)
            sim::expectBox(box, IDOK);
        auto r = row;
        sim::whenIdle([r] {
            sim::advance(r.pressAt);
            UINT_PTR armed = Settings.TimerActive;
            ASSERT_NE(armed, 0u) << r.what;
            std::vector<sim::TimerInfo> timers = sim::timers();
            std::optional<sim::TrayIcon> icon = sim::trayIcon();
            EXPECT_EQ((bool)sim::findDialog(IDD_COUNTDOWN), r.countdownOpen) << r.what;
            if (r.timersFail)
                sim::failTimers([](UINT) { return true; });
            EXPECT_THAT(sim::hotkeys(), IsEmpty()) << r.what << ": released by the arming";
            PressedBeforeTheArming(std::string(r.line).find("/h:q") != std::string::npos ? 'Q' : 'X');
            sim::advance(0);
            sim::failTimers(nullptr);
            EXPECT_EQ(Settings.TimerActive, armed) << r.what;
            EXPECT_EQ(sim::timers().size(), timers.size()) << r.what;
            EXPECT_EQ((bool)sim::findDialog(IDD_COUNTDOWN), r.countdownOpen) << r.what;
            if (icon) {
                ASSERT_TRUE(sim::trayIcon()) << r.what;
                EXPECT_EQ(sim::trayIcon()->tip, icon->tip) << r.what;
            }
            sim::advance(3600 * 1000);
        });
        sim::RunResult result = sim::runProgram(row.line);
        EXPECT_EQ(BoxTexts(), row.boxes) << row.what;
        ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"})
            << row.what << ": the earlier arming fires";
        EXPECT_EQ(sim::requests()[0].time,
                  std::string(row.line).find("120016") != std::string::npos ? 16000u : 3600000u)
            << row.what;
        if (std::string(row.line).find("/n") != std::string::npos) {
            EXPECT_EQ(result.ending, sim::Ending::Quit) << row.what;
        }
    }
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
DWORD DefragPid() {
    for (const sim::ProcessInfo& process : sim::processes())
        if (process.exeFile == "C:\\WINDOWS\\DEFRAG.EXE")
            return process.pid;
    return 0;
}

// Exit when program ends: the list names each program running but this one, with a window's title where it
// has one, read again when it drops down; OK arms at once, or keeps the dialog open and the settings as they
// were. The choice is never stored: a save keeps the stored timer choice.
TEST_F(TimedExitDialog, ExitWhenAProgramEnds) {
    const struct {
        const char* what;
        std::function<void(sim::Dialog&)> script; // the program radio is chosen first
        Strings boxes;
        bool armed;
        const char* line = "";
        std::function<void()> after = [] {};
        bool armedBefore = false; // by the line's timeout, under the dialog
    } rows[] = {
        {"chosen and armed",
         [](sim::Dialog& dialog) {
             EXPECT_EQ(dialog.items(IDC_PROGRAMLIST),
                       (Strings{"EXPLORER.EXE", "DEFRAG.EXE - Disk Defragmenter"}));
             EXPECT_TRUE(dialog.choose(IDC_PROGRAMLIST, "DEFRAG.EXE"));
             dialog.click(IDOK);
             EXPECT_FALSE(dialog.exists());
         },
         {},
         true},
        {"a program started after the dialog opened is in the list dropped down",
         [](sim::Dialog& dialog) {
             sim::addProcess("C:\\TOOLS\\BACKUP.EXE", 600000);
             EXPECT_TRUE(dialog.choose(IDC_PROGRAMLIST, "BACKUP.EXE"));
             dialog.click(IDOK);
         },
         {},
         true},
        {"none chosen",
         [](sim::Dialog& dialog) {
             dialog.click(IDOK);
             EXPECT_TRUE(dialog.exists());
             EXPECT_EQ(Settings.ProgramEndFlag, 0);
             dialog.click(IDCANCEL);
         },
         {"No program chosen"},
         false},
        {"gone before OK",
         [](sim::Dialog& dialog) {
             dialog.choose(IDC_PROGRAMLIST, "DEFRAG.EXE");
             sim::stopProcess(DefragPid());
             dialog.click(IDOK);
             EXPECT_TRUE(dialog.exists());
             dialog.click(IDCANCEL);
         },
         {"Program not running: DEFRAG.EXE"},
         false},
        {"not to be opened for waiting",
         [](sim::Dialog& dialog) {
             dialog.choose(IDC_PROGRAMLIST, "DEFRAG.EXE");
             sim::setOpenProcessFails(DefragPid());
             dialog.click(IDOK);
             EXPECT_TRUE(dialog.exists());
             EXPECT_EQ(Settings.ProgramEndFlag, 0);
             dialog.click(IDCANCEL);
         },
         {"Cannot wait for program: DEFRAG.EXE"},
         false},
        {"a timeout armed underneath, its countdown up: OK takes no program, the armed exit comes at its "
         "time",
         [](sim::Dialog& dialog) {
             EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
             dialog.advance(22000);
             EXPECT_TRUE(dialog.choose(IDC_PROGRAMLIST, "DEFRAG.EXE"));
             dialog.click(IDOK);
             EXPECT_FALSE(dialog.exists());
             EXPECT_TRUE(sim::findDialog(IDD_COUNTDOWN)) << "its countdown stays";
         },
         {},
         false,
         "/t:30 /w:10 /h",
         [] {
             EXPECT_EQ(sim::openHandleCount(), 0) << "no program opened for waiting";
             sim::advance(8000);
             EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
             EXPECT_EQ(sim::requests()[0].time, 30000u);
         },
         true},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Store("TimerFlag", "1");
        sim::addProcess("C:\\WINDOWS\\EXPLORER.EXE");
        DWORD job = sim::addProcess("C:\\WINDOWS\\DEFRAG.EXE", 600000);
        sim::addForeignWindow("Defrag", "Disk Defragmenter", job);
        for (const std::string& box : row.boxes)
            sim::expectBox(box, IDOK);
        auto script = row.script;
        Open(
            [script](sim::Dialog& dialog) {
                dialog.click(IDC_PROGRAMEND);
                script(dialog);
            },
            row.line,
            [&row] {
                sim::advance(0);
                EXPECT_EQ(Settings.TimerActive != 0, row.armed || row.armedBefore) << row.what;
                EXPECT_EQ(Settings.WaitedProgram != NULL, row.armed) << row.what;
                EXPECT_EQ(Settings.TimerFlag, row.armed ? 0 : 1) << row.what;
                if (row.armed) {
                    EXPECT_EQ(sim::trayIcon()->tip.rfind("Timed Exit: Shutdown when ", 0), 0u) << row.what;
                    EXPECT_EQ(SaveSettings(), 1);
                    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "TimerFlag")->text(), "1")
                        << row.what << ": the stored timer choice stays";
                }
                row.after();
            });
        EXPECT_EQ(BoxTexts(), row.boxes) << row.what;
        if (!row.armed) {
            EXPECT_EQ(sim::openHandleCount(), 0) << row.what << ": no handle left of a refused choice";
        }
    }
}

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
// While an exit's question is open, the commands that open a dialog (or the hide-icon question) do nothing: a
// dialog opened there would hold back the question's answer until it closed. Yes then makes the request at
// once; after No nothing is left on its way, so Timed Exit Options arms its time of day.
TEST_F(TimedExitDialog, NothingOpensUnderAnExitsQuestion) {
    const int commands[] = {IDM_ABOUT,    IDM_HOTKEY,   IDM_TIMEDEXIT, IDM_RUNBEFORE,
                            IDM_SHORTCUT, IDM_SETTINGS, IDM_HIDEICON};
    for (int command : commands)
        for (int answer : {IDYES, IDNO}) {
            sim::Machine machine;
            std::memset(&Settings, 0, sizeof Settings);
            sim::setLocalTime(12, 0, 0);
            sim::expectBox([command, answer](const sim::MessageBoxCall& box) {
                EXPECT_EQ(box.text, "Are you sure you want to exit ?");
                PostMessageA(Settings.MainWindow, WM_COMMAND, (WPARAM)command, 0);
                sim::advance(0);
                EXPECT_THAT(sim::dialogsOpened(), IsEmpty()) << command;
                EXPECT_EQ(sim::boxes().size(), 1u) << command;
                return answer;
            });
            if (answer == IDNO)
                sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) {
                    dialog.click(IDC_ATTIME);
                    dialog.type(IDC_ATVALUE, "130000");
                    dialog.click(IDOK);
                    EXPECT_FALSE(dialog.exists());
                });
            sim::whenIdle([command, answer] {
                sim::clickTray(WM_LBUTTONDOWN);
                sim::advance(0);
                if (answer == IDYES) {
                    ASSERT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << command;
                    EXPECT_EQ(sim::requests()[0].time, 0u) << command;
                } else {
                    EXPECT_THAT(sim::requests(), IsEmpty()) << command;
                    PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_TIMEDEXIT, 0);
                    sim::advance(0);
                    EXPECT_NE(Settings.TimerActive, 0u) << command;
                }
                PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
            });
            sim::runProgram("/f:c");
        }
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
