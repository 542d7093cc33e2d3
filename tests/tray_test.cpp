// The tray icon, its menus, the command dispatch and the global hotkey with its dialog.
#include "support.h"
#include "app/tray.h"
#include "app/trayicon_internal.h"
#include "extras/hotkey.h"

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;

class Tray : public ProgramTest {};

TEST_F(Tray, SingleClickActsOnceEvenOnADoubleClick) {
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::clickTray(WM_LBUTTONUP);
        sim::clickTray(WM_LBUTTONDBLCLK);
    });
    sim::runProgram("");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
}

TEST_F(Tray, WithDoubleClickOnlyTheDoubleClickActs) {
    sim::whenIdle([] {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        EXPECT_THAT(sim::requests(), IsEmpty());
        sim::clickTray(WM_LBUTTONDBLCLK);
    });
    sim::runProgram("/f:d");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
}

TEST_F(Tray, AClickWhileArmedCancelsAndNeverExits) {
    for (const char* line : {"/t:60", "/t:60 /f:d"}) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        UINT click = std::string(line).find("/f:d") != std::string::npos ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
        sim::whenIdle([click] {
            sim::clickTray(click); // arms the timeout
            sim::advance(1000);
            EXPECT_NE(Settings.TimerActive, 0u);
            EXPECT_EQ(sim::trayIcon()->iconName, "Icon_9");
            sim::clickTray(click); // cancels it
            sim::advance(0);
            EXPECT_EQ(Settings.TimerActive, 0u);
            EXPECT_EQ(Settings.TimerCancelled, 1);
            EXPECT_EQ(sim::trayIcon()->iconName, "Icon_1");
            EXPECT_EQ(sim::trayIcon()->tip, "Shutdown");
            sim::advance(120000);
        });
        sim::runProgram(line);
        EXPECT_THAT(sim::requests(), IsEmpty()) << line;
    }
}

TEST_F(Tray, MenusAreGrayedWhileATimerIsArmed) {
    sim::setLocalTime(12, 0, 0);
    sim::onMenu([](sim::Menu& menu) {
        EXPECT_EQ(menu.count(), 18);
        for (int position = 0; position < 15; position++)
            EXPECT_TRUE(menu.at(position).grayed) << "position " << position << "\n" << menu.str();
        for (int position = 15; position < 18; position++)
            EXPECT_FALSE(menu.at(position).grayed) << "position " << position;
        return 0u;
    });
    sim::onMenu([](sim::Menu& menu) {
        EXPECT_EQ(menu.count(), 10);
        for (int position = 0; position < 10; position++)
            if (!menu.at(position).separator) {
                EXPECT_TRUE(menu.at(position).grayed) << "position " << position;
            }
        return 0u;
    });
    sim::whenIdle([] {
        sim::clickTray(WM_RBUTTONDOWN);
        sim::advance(0);
        sim::setShiftHeld(true);
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        sim::setShiftHeld(false);
        PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
    });
    sim::runProgram("/a:130000");
    EXPECT_THAT(sim::requests(), IsEmpty());
}

// What the menus gray while a timed exit is armed stays closed whatever the source: a key typed in the
// countdown window, a posted command. Change Settings, About and Exit Program act as in the menu.
TEST_F(Tray, WhatTheMenusGrayIsClosedWhileArmed) {
    const struct {
        const char* what;
        std::function<void(HWND countdown)> act;
        int dialog; // the one dialog this opens, 0 for none
    } cases[] = {
        {"B typed in the countdown", [](HWND w) { sim::typeChar('B', w); }, 0},
        {"C typed in the countdown", [](HWND w) { sim::typeChar('C', w); }, 0},
        {"F typed in the countdown", [](HWND w) { sim::typeChar('F', w); }, 0},
        {"H typed in the countdown", [](HWND w) { sim::typeChar('H', w); }, 0},
        {"N typed in the countdown", [](HWND w) { sim::typeChar('N', w); }, 0},
        {"T typed in the countdown", [](HWND w) { sim::typeChar('T', w); }, 0},
        {"I typed in the countdown", [](HWND w) { sim::typeChar('I', w); }, 0},
        {"E typed in the countdown", [](HWND w) { sim::typeChar('E', w); }, 0},
        {"Timed Exit posted", [](HWND) { PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_TIMEDEXIT, 0); },
         0},
        {"Create Shortcut posted",
         [](HWND) { PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_SHORTCUT, 0); }, 0},
        {"Confirm Exit posted", [](HWND) { PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_CONFIRM, 0); },
         0},
        {"Eject posted", [](HWND) { PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EJECT, 0); }, 0},
        {"A typed in the countdown opens About", [](HWND w) { sim::typeChar('A', w); }, IDD_ABOUT},
        {"Change Settings posted",
         [](HWND) { PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_SETTINGS, 0); }, IDD_REGISTRY},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        if (c.dialog)
            sim::onDialog(c.dialog, [](sim::Dialog& dialog) { dialog.click(IDOK); });
        std::function<void(HWND)> act = c.act;
        sim::whenIdle([act] {
            sim::clickTray(WM_LBUTTONDOWN); // arms the timeout
            sim::advance(15000);            // the countdown is open
            HWND countdown = sim::findDialog(IDD_COUNTDOWN).hwnd();
            ASSERT_TRUE(countdown);
            act(countdown);
            sim::advance(0);
            EXPECT_NE(Settings.TimerActive, 0u);
            EXPECT_EQ(sim::trayIcon()->tip, "Timed Exit: Shutdown at 12:00:30");
            sim::advance(30000);
        });
        sim::runProgram("/t:30 /w:20 /h");
        EXPECT_EQ(Settings.ExitType, IDM_SHUTDOWN) << c.what;
        EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"}) << c.what;
        EXPECT_EQ(BoxTexts(), Strings{}) << c.what;
        EXPECT_EQ(Settings.ClickFlag + Settings.ForceFlag + Settings.ConfirmFlag + Settings.BlockFlag +
                      Settings.EjectFlag + Settings.RunBeforeExit,
                  1)
            << c.what << ": only Exit on Single Click is on";
        EXPECT_EQ(sim::dialogsOpened().size(), c.dialog ? 2u : 1u)
            << c.what << ": the countdown and that one";
        if (c.dialog) {
            EXPECT_EQ(sim::dialogsOpened().back().templateId, c.dialog) << c.what;
        }
    }
}

TEST_F(Tray, RightClickMenuChecksFollowTheSettings) {
    sim::onMenu([](sim::Menu& menu) {
        EXPECT_TRUE(menu.checked(IDM_SHUTDOWN));
        EXPECT_TRUE(menu.checked(IDM_SINGLECLICK));
        EXPECT_FALSE(menu.checked(IDM_CONFIRM));
        return (UINT)IDM_CONFIRM;
    });
    sim::onMenu([](sim::Menu& menu) {
        EXPECT_TRUE(menu.checked(IDM_CONFIRM)) << "checked at the next opening";
        EXPECT_FALSE(menu.checked(IDM_SHUTDOWN));
        EXPECT_TRUE(menu.checked(IDM_POWEROFF));
        EXPECT_EQ(sim::foregroundWindow(), Settings.MainWindow) << "the owner comes to the foreground first";
        return (UINT)IDM_EXITPROGRAM;
    });
    sim::whenIdle([] {
        sim::clickTray(WM_RBUTTONDOWN);
        sim::advance(0);
        OnCommand(IDM_POWEROFF);
        sim::clickTray(WM_RBUTTONDOWN);
    });
    sim::RunResult result = sim::runProgram("");
    EXPECT_EQ(result.ending, sim::Ending::Quit);
    EXPECT_THAT(sim::requests(), IsEmpty());
    EXPECT_EQ(sim::menusShown().at(0).owner, Settings.MainWindow);
}

TEST_F(Tray, QuickMenuSelectsAndPerformsAtOnce) {
    sim::onMenu([](sim::Menu& menu) {
        EXPECT_TRUE(menu.checked(IDM_SHUTDOWN));
        return (UINT)IDM_REBOOT;
    });
    sim::whenIdle([] {
        sim::setShiftHeld(true);
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        sim::setShiftHeld(false);
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_2");
        EXPECT_EQ(sim::trayIcon()->tip, "Reboot");
    });
    sim::runProgram("");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(2,0)"});
}

// The quick-menu state ends with the quick menu: a later command from the other menu or an accelerator
// never performs an exit.
TEST_F(Tray, QuickMenuStateEndsWithTheMenu) {
    sim::onMenu([](sim::Menu&) { return 0u; });                // quick menu dismissed
    sim::onMenu([](sim::Menu&) { return (UINT)IDM_CONFIRM; }); // right-click: Confirm Exit
    sim::onMenu([](sim::Menu&) { return (UINT)IDM_STANDBY; }); // quick menu: Standby, program stays
    sim::onMenu([](sim::Menu&) { return (UINT)IDM_EJECT; });   // right-click: Eject
    sim::whenIdle([] {
        sim::setShiftHeld(true);
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        sim::setShiftHeld(false);
        sim::clickTray(WM_RBUTTONDOWN);
        sim::advance(0);
        EXPECT_THAT(sim::requests(), IsEmpty()) << "dismissed quick menu, then a toggle: no exit";
        EXPECT_EQ(Settings.ConfirmFlag, 1);
        Settings.ConfirmFlag = 0;
        sim::setShiftHeld(true);
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        sim::setShiftHeld(false);
        EXPECT_EQ(sim::requestStrings("SetSystemPowerState").size(), 1u);
        sim::clickTray(WM_RBUTTONDOWN);
        sim::advance(0);
        sim::typeChar('M');
    });
    sim::runProgram("");
    EXPECT_EQ(sim::requestStrings("SetSystemPowerState").size(), 1u) << "only the quick menu's own choice";
    EXPECT_EQ(Settings.EjectFlag, 0) << "toggled by the menu, then back by the accelerator";
}

// The quick menu's own choice is followed by exactly one exit, after that choice's own action; what the
// menu's loop or a box on the way dispatches (a timed exit falling due, a WM_NULL another program sends, a
// click, the hotkey) never adds one.
TEST_F(Tray, QuickMenuChoiceIsFollowedByOneExit) {
    const auto clickAndHotkey = [] {
        sim::setShiftHeld(false);
        sim::clickTray(WM_LBUTTONDOWN);
        sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X');
        sim::advance(0);
    };
    const struct {
        const char* what;
        const char* line;
        bool programs;                  // Run before Exit with one program
        std::function<UINT()> inMenu;   // runs while the menu is open; returns the choice
        std::function<void()> underBox; // runs under the first box
        Strings boxes;
        Strings requests;
    } cases[] = {
        {"Screensaver with Force Exit: the message, then the screen saver",
         "/f:f",
         false,
         [] { return (UINT)IDM_SCREENSAVER; },
         nullptr,
         {"Screensaver cannot be forced"},
         {"PostMessageA(<desktop>,274,61760,0)"}},
        {"a click and the hotkey under that message",
         "/f:f /h",
         false,
         [] { return (UINT)IDM_SCREENSAVER; },
         clickAndHotkey,
         {"Screensaver cannot be forced"},
         {"PostMessageA(<desktop>,274,61760,0)"}},
        {"the same with Confirm Exit: one question",
         "/f:f /f:c /h",
         false,
         [] { return (UINT)IDM_SCREENSAVER; },
         clickAndHotkey,
         {"Screensaver cannot be forced", "Are you sure you want to exit ?"},
         {"PostMessageA(<desktop>,274,61760,0)"}},
        {"the same with Run before Exit: the programs run once",
         "/f:f /h",
         true,
         [] { return (UINT)IDM_SCREENSAVER; },
         clickAndHotkey,
         {"Screensaver cannot be forced"},
         {"CreateProcessA(NULL,\"backup.exe\",0,0)", "PostMessageA(<desktop>,274,61760,0)"}},
        {"Shutdown chosen from the right-click menu under that message: the screen saver, not a shutdown",
         "/f:f",
         false,
         [] { return (UINT)IDM_SCREENSAVER; },
         [] {
             PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_SHUTDOWN, 0);
             sim::advance(0);
             EXPECT_EQ(Settings.ExitType, IDM_SHUTDOWN);
         },
         {"Screensaver cannot be forced"},
         {"PostMessageA(<desktop>,274,61760,0)"}},
        {"the same under the question: the choice stays its own",
         "/f:f /f:c",
         false,
         [] { return (UINT)IDM_SCREENSAVER; },
         [] {
             PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_POWEROFF, 0);
             sim::advance(0);
         },
         {"Screensaver cannot be forced", "Are you sure you want to exit ?"},
         {"PostMessageA(<desktop>,274,61760,0)"}},
        {"a click with a timeout chosen, under that message: nothing armed",
         "/f:f /t:30",
         false,
         [] { return (UINT)IDM_SCREENSAVER; },
         [] {
             sim::setShiftHeld(false);
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
             EXPECT_EQ(Settings.TimerActive, 0u);
         },
         {"Screensaver cannot be forced"},
         {"PostMessageA(<desktop>,274,61760,0)"}},
        {"a WM_NULL from another program while the menu is open",
         "",
         false,
         [] {
             PostMessageA(Settings.MainWindow, WM_NULL, 0, 0);
             sim::advance(0);
             return (UINT)IDM_REBOOT;
         },
         nullptr,
         {},
         {"ExitWindowsEx(2,0)"}},
        {"a timed exit falls due while the menu is open",
         "/t:5",
         false,
         [] {
             sim::advance(6000);
             return 0u;
         },
         nullptr,
         {},
         {"ExitWindowsEx(1,0)"}},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        if (c.programs) {
            Store("RunBeforeExit", "1");
            Store("ProgramsToRun", "backup.exe;");
        }
        for (size_t i = 0; i < c.boxes.size(); i++) {
            std::function<void()> underBox = i == 0 ? c.underBox : nullptr;
            int answer = c.boxes[i] == "Are you sure you want to exit ?" ? IDYES : IDOK;
            sim::expectBox([underBox, answer](const sim::MessageBoxCall&) {
                if (underBox)
                    underBox();
                return answer;
            });
        }
        std::function<UINT()> inMenu = c.inMenu;
        sim::onMenu([inMenu](sim::Menu&) { return inMenu(); });
        sim::whenIdle([] {
            if (Settings.TimerFlag && Settings.TimeoutSeconds < 30) {
                sim::clickTray(WM_LBUTTONDOWN); // arms the timeout
                sim::advance(0);
            }
            sim::setShiftHeld(true);
            sim::clickTray(WM_LBUTTONDOWN);
            sim::advance(0);
            sim::setShiftHeld(false);
            sim::advance(60000);
        });
        sim::runProgram(c.line);
        EXPECT_EQ(BoxTexts(), c.boxes) << c.what;
        EXPECT_EQ(sim::requestStrings(), c.requests) << c.what;
        EXPECT_EQ(Settings.ForceFlag, 0) << c.what;
    }
}

// From the question to the request, a further click, hotkey or quick-menu choice starts nothing: one
// question, one run of the programs, one request.
TEST_F(Tray, AnExitOnItsWayIsNotStartedAgain) {
    const struct {
        const char* line;
        bool inputDuringTheRun; // a click and the hotkey while backup.exe runs, taken after the wait
    } cases[] = {
        {"/f:c /h /x:r", false},
        {"/f:c /h /x:r /t:30", false},
        {"/f:c /h /x:r", true},
    };
    for (const auto& [line, inputDuringTheRun] : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Store("RunBeforeExit", "1");
        Store("ProgramsToRun", "backup.exe;");
        if (inputDuringTheRun) {
            sim::ProcessPlan plan;
            plan.runsMs = 5000;
            sim::planProcess(plan);
            sim::whileWaiting([] {
                sim::clickTray(WM_LBUTTONDOWN);
                EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
            });
        }
        sim::onMenu([](sim::Menu&) { return (UINT)IDM_RESTARTSHELL; }); // the first quick menu
        sim::onMenu([](sim::Menu&) { return (UINT)IDM_RESTARTSHELL; }); // one under the question
        sim::expectBox([](const sim::MessageBoxCall& box) {
            EXPECT_EQ(box.text, "Are you sure you want to exit ?");
            sim::setShiftHeld(false); // the box opened while the quick menu's Shift was still down
            sim::clickTray(WM_LBUTTONDOWN);
            EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
            sim::advance(0);
            sim::setShiftHeld(true);
            sim::clickTray(WM_LBUTTONDOWN);
            sim::advance(0);
            sim::setShiftHeld(false);
            return IDYES;
        });
        sim::whenIdle([] {
            sim::setShiftHeld(true);
            sim::clickTray(WM_LBUTTONDOWN);
            sim::advance(0);
            sim::setShiftHeld(false);
            EXPECT_EQ(Settings.TimerActive, 0u) << "nothing armed under the question";
            sim::advance(60000);
        });
        sim::runProgram(line);
        EXPECT_EQ(sim::boxes().size(), 1u) << line;
        EXPECT_EQ(sim::requestStrings(),
                  (Strings{"CreateProcessA(NULL,\"backup.exe\",0,0)", "WinExec(\"explorer.exe\",5)"}))
            << line;
    }
}

// A new taskbar starts without icons: the program's comes back with the picture and tip of the moment, on
// "TaskbarCreated" or, after its own Restart Shell on a shell that broadcasts nothing, once the new taskbar
// window is there; never when it should not be there. No timer is left running.
TEST_F(Tray, IconComesBackOnANewTaskbar) {
    static const auto RestartTaskbar = [](bool broadcasts) {
        sim::setTaskbar(false);
        sim::setTaskbar(true);
        if (broadcasts)
            sim::broadcastTaskbarCreated();
    };
    const struct {
        const char* what;
        const char* line;
        std::function<void()> script; // runs once the program is idle
        const char* tip;              // null: no icon
    } cases[] = {
        {"broadcast by the new taskbar", "", [] { RestartTaskbar(true); }, "Shutdown"},
        {"while a timed exit is armed", "/t:600",
         [] {
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
             RestartTaskbar(true);
         },
         "Timed Exit: Shutdown at 12:10:00"},
        {"hidden from the command line", "/f:h", [] { RestartTaskbar(true); }, nullptr},
        {"hidden from the menu", "",
         [] {
             sim::expectBox("Are you sure you want to hide the tray icon ?", IDYES);
             OnCommand(IDM_HIDEICON);
             RestartTaskbar(true);
         },
         nullptr},
        {"after Restart Shell, on a shell that broadcasts nothing", "/x:r",
         [] {
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
             sim::setTaskbar(false);
             sim::advance(5000);
             EXPECT_FALSE(sim::trayIcon());
             sim::setTaskbar(true);
         },
         "Restart Shell"},
        {"after Restart Shell, when no taskbar comes back", "/x:r",
         [] {
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
             sim::setTaskbar(false);
         },
         nullptr},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::setTaskbar(true);
        sim::whenIdle([&c] {
            c.script();
            sim::advance(120000);
            if (c.tip) {
                EXPECT_TRUE(sim::trayIcon() && sim::trayIcon()->tip == c.tip) << c.what;
            } else {
                EXPECT_THAT(sim::trayIcons(), IsEmpty()) << c.what;
            }
            if (!Settings.TimerActive) {
                EXPECT_THAT(sim::timers(), IsEmpty()) << c.what << ": a timer left running";
            }
            PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
        });
        sim::runProgram(c.line);
    }
}

TEST_F(Tray, ScreensaverAndForceExcludeEachOther) {
    sim::expectBox([](const sim::MessageBoxCall& box) {
        EXPECT_EQ(box.text, "Screensaver cannot be forced");
        EXPECT_EQ(Settings.ForceFlag, 0) << "off while its message is open";
        OnCommand(IDM_SCREENSAVER); // chosen again beneath the message: nothing left to refuse
        return IDOK;
    });
    sim::expectBox("Screensaver cannot be forced", IDOK);
    sim::whenIdle([] {
        OnCommand(IDM_FORCE);
        EXPECT_EQ(Settings.ForceFlag, 1);
        OnCommand(IDM_SCREENSAVER);
        EXPECT_EQ(Settings.ExitType, IDM_SCREENSAVER);
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_A");
        EXPECT_EQ(Settings.ForceFlag, 0);
        OnCommand(IDM_FORCE);
        EXPECT_EQ(Settings.ForceFlag, 0);
    });
    sim::runProgram("");
}

TEST_F(Tray, HideIconAsksFirst) {
    sim::expectBox("Are you sure you want to hide the tray icon ?", IDNO);
    sim::expectBox("Are you sure you want to hide the tray icon ?", IDYES);
    sim::whenIdle([] {
        OnCommand(IDM_HIDEICON);
        EXPECT_TRUE(sim::trayIcon());
        OnCommand(IDM_HIDEICON);
        EXPECT_FALSE(sim::trayIcon());
        OnCommand(IDM_REBOOT); // later changes fail quietly
        EXPECT_FALSE(sim::trayIcon());
        EXPECT_EQ(Settings.HideIconFlag, 0);
    });
    sim::runProgram("");
    const sim::MessageBoxCall& box = sim::boxes().at(0);
    EXPECT_EQ(box.caption, std::optional<std::string>("Confirm"));
    EXPECT_EQ(box.style, (UINT)(MB_SYSTEMMODAL | MB_ICONQUESTION | MB_YESNO));

    // A timed exit armed by a click under the question keeps its icon after Yes: the icon is the way to
    // cancel it. Once it is cancelled, Hide Tray Icon acts again.
    sim::Machine machine;
    std::memset(&Settings, 0, sizeof Settings);
    sim::expectBox([](const sim::MessageBoxCall&) {
        sim::clickTray(WM_LBUTTONDOWN);
        sim::advance(0);
        EXPECT_NE(Settings.TimerActive, 0u);
        return IDYES;
    });
    sim::expectBox("Are you sure you want to hide the tray icon ?", IDYES);
    sim::whenIdle([] {
        PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_HIDEICON, 0);
        sim::advance(0);
        ASSERT_TRUE(sim::trayIcon()) << "the armed exit keeps its icon";
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_9");
        sim::clickTray(WM_LBUTTONDOWN); // cancels
        sim::advance(0);
        EXPECT_EQ(Settings.TimerActive, 0u);
        OnCommand(IDM_HIDEICON);
        EXPECT_FALSE(sim::trayIcon());
    });
    sim::runProgram("/t:60");
    EXPECT_THAT(sim::requests(), IsEmpty());
}

TEST_F(Tray, TooltipIsCutTo63Characters) {
    StartupValues();
    Settings.MainWindow = (HWND)0;
    std::string tip(100, 't');
    AddTrayIcon(NULL, NULL, tip.c_str());
    ASSERT_EQ(sim::trayRequests().size(), 1u);
    EXPECT_EQ(std::string(sim::trayRequests()[0].data.szTip), std::string(63, 't'));
    EXPECT_EQ(sim::trayRequests()[0].data.cbSize, (DWORD)sizeof(NOTIFYICONDATAA));
    EXPECT_EQ(sim::trayRequests()[0].data.uFlags, 7u);
    SetTrayIcon(NULL, NULL);
    EXPECT_EQ(std::string(sim::trayRequests()[1].data.szTip), "");
    EXPECT_EQ(sim::trayRequests()[1].data.uFlags, 6u);
}

TEST_F(Tray, NoIconInOneShotModeOrWhenHidden) {
    StartupValues();
    for (INT32* flag : {&Settings.RunOnceFlag, &Settings.HideIconFlag}) {
        *flag = 1;
        AddTrayIcon(NULL, NULL, "x");
        *flag = 0;
    }
    EXPECT_THAT(sim::trayRequests(), IsEmpty());
}

TEST_F(Tray, AcceleratorsFirstMatchWins) {
    const struct {
        char key;
        INT32 exitType;
    } cases[] = {{'C', IDM_SCREENSAVER}, {'T', IDM_RESTARTSHELL}, {'U', IDM_SHUTDOWN}, {'L', IDM_LOGOFF}};
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::whenIdle([&] { sim::typeChar(c.key); });
        sim::runProgram("/e:b");
        EXPECT_EQ(Settings.ExitType, c.exitType) << c.key;
        EXPECT_EQ(Settings.ConfirmFlag, 0) << c.key;
        EXPECT_THAT(sim::dialogsOpened(), IsEmpty()) << c.key;
    }
}

TEST_F(Tray, ExitProgramEndsAndRemovesTheIcon) {
    for (bool underADialogsBox : {false, true}) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::onMenu([](sim::Menu&) { return (UINT)IDM_EXITPROGRAM; });
        if (underADialogsBox) {
            // Chosen under Set Hotkey's refusal: the dialog goes with the main window, and so does its
            // handle.
            sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
                dialog.type(IDC_HOTKEYLETTER, "");
                dialog.click(IDOK);
            });
            sim::expectBox([](const sim::MessageBoxCall&) {
                sim::clickTray(WM_RBUTTONDOWN);
                sim::advance(0);
                EXPECT_FALSE(sim::isWindow(Settings.MainWindow));
                EXPECT_EQ(Settings.HotkeyDialog, nullptr);
                return IDOK;
            });
            sim::whenIdle([] { OnCommand(IDM_HOTKEY); });
        } else {
            sim::whenIdle([] { sim::clickTray(WM_RBUTTONDOWN); });
        }
        sim::RunResult result = sim::runProgram(underADialogsBox ? "/h" : "");
        EXPECT_EQ(result.ending, sim::Ending::Quit);
        EXPECT_THAT(sim::trayIcons(), IsEmpty());
    }
}

class HotkeyDialog : public ProgramTest {};

TEST_F(HotkeyDialog, TypedLetterIsStoredUpperCaseAndRegistered) {
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        EXPECT_EQ(dialog.caption(), "Set Hotkey");
        EXPECT_FALSE(dialog.checked(IDC_USEHOTKEY));
        EXPECT_FALSE(dialog.enabled(IDC_HOTKEYLETTER));
        EXPECT_EQ(dialog.text(IDC_HOTKEYLETTER), "X");
        dialog.click(IDC_USEHOTKEY);
        EXPECT_TRUE(dialog.enabled(IDC_HOTKEYLETTER));
        dialog.type(IDC_HOTKEYLETTER, "q");
        dialog.click(IDOK);
    });
    sim::whenIdle([] {
        OnCommand(IDM_HOTKEY);
        EXPECT_STREQ(Settings.HotKey, "Q");
        EXPECT_EQ(Settings.HotkeyFlag, 1);
        ASSERT_EQ(sim::hotkeys().size(), 1u);
        EXPECT_EQ(sim::hotkeys()[0].virtualKey, 0x51u);
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'Q'));
    });
    sim::runProgram("");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
}

TEST_F(HotkeyDialog, EmptyLetterIsRefusedOnOkAndCancelButNotOnClose) {
    sim::expectBox("Please enter a letter (A-Z)", IDOK);
    sim::expectBox("Please enter a letter (A-Z)", IDOK);
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        dialog.type(IDC_HOTKEYLETTER, "");
        dialog.click(IDOK);
        EXPECT_TRUE(dialog.exists());
        dialog.click(IDCANCEL);
        EXPECT_TRUE(dialog.exists());
        EXPECT_STREQ(Settings.HotKey, "K") << "a refused letter leaves the one in use";
        dialog.type(IDC_HOTKEYLETTER, "7");
        dialog.close();
        EXPECT_FALSE(dialog.exists());
    });
    // Turned on over a stored text that is no letter, the check box shows the letter the command line would
    // take: what a save stores then starts as it was.
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        dialog.click(IDC_USEHOTKEY);
        dialog.click(IDC_USEHOTKEY);
        EXPECT_EQ(dialog.text(IDC_HOTKEYLETTER), "X");
        dialog.close();
    });
    sim::whenIdle([] {
        OnCommand(IDM_HOTKEY);
        EXPECT_STREQ(Settings.HotKey, "K");
        lstrcpyA(Settings.HotKey, "7");
        OnCommand(IDM_HOTKEY);
        EXPECT_STREQ(Settings.HotKey, "X");
    });
    sim::runProgram("/h:k");
    for (const sim::MessageBoxCall& box : sim::boxes()) {
        EXPECT_EQ(box.style, (UINT)ErrorBoxStyle);
        EXPECT_EQ(box.beep, std::optional<UINT>(MB_ICONEXCLAMATION));
    }
}

TEST_F(HotkeyDialog, CancelKeepsTheRegistrationAsItWas) {
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        dialog.click(IDC_USEHOTKEY); // off
        dialog.click(IDCANCEL);
    });
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        dialog.click(IDC_USEHOTKEY); // on
        dialog.type(IDC_HOTKEYLETTER, "z");
        dialog.click(IDCANCEL);
    });
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        dialog.click(IDC_USEHOTKEY); // off
        dialog.click(IDOK);
    });
    sim::whenIdle([] {
        OnCommand(IDM_HOTKEY);
        EXPECT_EQ(Settings.HotkeyFlag, 0);
        EXPECT_EQ(sim::hotkeys().size(), 1u) << "still registered";
        OnCommand(IDM_HOTKEY);
        EXPECT_EQ(Settings.HotkeyFlag, 1);
        EXPECT_STREQ(Settings.HotKey, "Z") << "read by the check";
        ASSERT_EQ(sim::hotkeys().size(), 1u);
        EXPECT_EQ(sim::hotkeys()[0].virtualKey, (UINT)'K') << "not registered by Cancel";
        OnCommand(IDM_HOTKEY);
        EXPECT_THAT(sim::hotkeys(), IsEmpty()) << "OK with the box off releases it";
    });
    sim::runProgram("/h:k");
}

TEST_F(HotkeyDialog, ATakenCombinationPassesSilently) {
    sim::takeHotkey(MOD_ALT | MOD_CONTROL, 'X');
    sim::whenIdle([] { EXPECT_THAT(sim::hotkeys(), IsEmpty()); });
    sim::runProgram("/h");
    EXPECT_THAT(sim::boxes(), IsEmpty());
}

TEST_F(HotkeyDialog, ReleasedWhileATimerIsArmedAndBackAfter) {
    sim::whenIdle([] {
        EXPECT_TRUE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X')); // arms the timeout
        sim::advance(0);
        EXPECT_NE(Settings.TimerActive, 0u);
        EXPECT_THAT(sim::hotkeys(), IsEmpty());
        EXPECT_FALSE(sim::pressHotkey(MOD_ALT | MOD_CONTROL, 'X'));
        sim::advance(30000);
        EXPECT_EQ(sim::hotkeys().size(), 1u);
    });
    sim::runProgram("/h /t:30");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
}

// Windows keeps a combination registered earlier under the same id beside a new one: every way to a new
// letter releases the old one first, so that exactly the current combination is registered.
TEST_F(HotkeyDialog, ANewLetterReleasesTheOldOne) {
    // Set Hotkey with the box on: this letter, then OK or Cancel.
    static const auto setLetter = [](const char* letter, int button) {
        sim::onDialog(IDD_HOTKEY, [letter, button](sim::Dialog& dialog) {
            dialog.type(IDC_HOTKEYLETTER, letter);
            dialog.click(button);
        });
        OnCommand(IDM_HOTKEY);
    };
    const struct {
        const char* what;
        const char* line;
        std::function<void()> steps;
        std::string registered; // the letters registered after the steps, oldest first
    } rows[] = {
        {"OK from X to Q", "/h", [] { setLetter("q", IDOK); }, "Q"},
        {"OK from X to Q, then a click arms the timeout", "/h /t:30",
         [] {
             setLetter("q", IDOK);
             sim::clickTray(WM_LBUTTONDOWN);
             sim::advance(0);
         },
         ""},
        {"Cancel keeps Z for later; No timed exit's OK registers it", "/h:k",
         [] {
             setLetter("z", IDCANCEL);
             sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& dialog) { dialog.click(IDOK); });
             OnCommand(IDM_TIMEDEXIT);
         },
         "Z"},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        std::string registered;
        sim::whenIdle([&] {
            row.steps();
            for (const sim::Hotkey& hotkey : sim::hotkeys())
                registered += (char)hotkey.virtualKey;
            sim::clickTray(WM_RBUTTONDOWN);
        });
        sim::onMenu([](sim::Menu&) { return (UINT)IDM_EXITPROGRAM; });
        sim::runProgram(row.line);
        EXPECT_EQ(registered, row.registered) << row.what;
    }
}

// Set Hotkey's OK under a timed exit armed while it was open keeps the letter and the flag; the hotkey is
// registered only once the timed exit is cancelled, so it cannot move the armed exit.
TEST_F(HotkeyDialog, OkUnderAnArmedTimerRegistersOnlyAfterTheCancel) {
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& dialog) {
        sim::clickTray(WM_LBUTTONDOWN); // arms the timeout underneath
        dialog.advance(0);
        EXPECT_NE(Settings.TimerActive, 0u);
        dialog.click(IDC_USEHOTKEY);
        dialog.type(IDC_HOTKEYLETTER, "q");
        dialog.click(IDOK);
    });
    sim::whenIdle([] {
        OnCommand(IDM_HOTKEY);
        EXPECT_EQ(Settings.HotkeyFlag, 1);
        EXPECT_STREQ(Settings.HotKey, "Q");
        EXPECT_THAT(sim::hotkeys(), IsEmpty()) << "not while armed";
        sim::clickTray(WM_LBUTTONDOWN); // cancels
        sim::advance(0);
        ASSERT_EQ(sim::hotkeys().size(), 1u);
        EXPECT_EQ(sim::hotkeys()[0].virtualKey, (UINT)'Q');
        sim::advance(60000);
    });
    sim::runProgram("/t:30");
    EXPECT_EQ(sim::requestStrings(), Strings{}) << "the cancelled exit never comes";
}

} // namespace
