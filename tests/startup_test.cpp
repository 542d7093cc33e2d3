// Start-up, the hidden main window and the message loop.
#include "support.h"
#include "app/main.h"

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;

class Startup : public ProgramTest {};

TEST_F(Startup, WindowsNtIsRefusedBeforeAnythingElse) {
    sim::setPlatform(VER_PLATFORM_WIN32_NT);
    Store("ExitType", "20");
    sim::expectBox("This program cannot run on Windows NT", IDOK);
    sim::RunResult result = sim::runProgram("/e:s /e:b /n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.ending, sim::Ending::Returned);
    EXPECT_EQ(BoxTexts(), Strings{"This program cannot run on Windows NT"}) << "the line is never parsed";
    EXPECT_THAT(sim::regCalls(), IsEmpty());
    EXPECT_THAT(sim::requests(), IsEmpty());
    EXPECT_EQ(Settings.ExitType, 0) << "no start-up value was set";
    const sim::MessageBoxCall& box = sim::boxes().at(0);
    EXPECT_EQ(box.style, (UINT)ErrorBoxStyle);
    EXPECT_FALSE(box.caption.has_value());
    EXPECT_EQ(box.beep, std::optional<UINT>(MB_ICONEXCLAMATION));
}

// "/?" lists the options in one box and ends: nothing read from the registry, nothing armed or requested,
// no window, whatever else the line or the registry holds.
TEST_F(Startup, QuestionMarkListsTheOptionsAndEnds) {
    const struct {
        const char* line;
        const char* stored; // ExitType/AtFlag stored first when set
    } cases[] = {
        {"/?", nullptr},
        {"/e:p /n /?", nullptr},      // a one-shot exit otherwise
        {"/? /e:s /e:b", nullptr},    // two exit types otherwise
        {"/t:5 /w:10 /h/?", nullptr}, // a refused warning otherwise
        {"/?", "1"},                  // a stored time of day would be armed
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        if (c.stored) {
            Store("AtFlag", c.stored);
            Store("AtValue", "130000");
        }
        sim::expectBox(IDOK);
        sim::RunResult result = sim::runProgram(c.line);
        EXPECT_EQ(result.exitCode, 0) << c.line;
        EXPECT_EQ(result.ending, sim::Ending::Returned) << c.line;
        ASSERT_EQ(sim::boxes().size(), 1u) << c.line;
        const sim::MessageBoxCall& box = sim::boxes()[0];
        EXPECT_EQ(box.caption, std::optional<std::string>("Kelto95")) << c.line;
        EXPECT_EQ(box.style, (UINT)(MB_OK | MB_ICONINFORMATION)) << c.line;
        EXPECT_EQ(box.owner, nullptr) << c.line;
        EXPECT_THAT(sim::regCalls(), IsEmpty()) << c.line;
        EXPECT_THAT(sim::requests(), IsEmpty()) << c.line;
        EXPECT_THAT(sim::timers(), IsEmpty()) << c.line;
        EXPECT_THAT(sim::trayIcons(), IsEmpty()) << c.line;
        EXPECT_FALSE(sim::findWindow("Kelto95", "Kelto95")) << c.line;
        EXPECT_THAT(sim::hotkeys(), IsEmpty()) << c.line;
    }
}

// The list names every option, and no line of it is longer than 60 characters.
TEST_F(Startup, QuestionMarkListFitsSixtyColumns) {
    sim::expectBox(IDOK);
    sim::runProgram("/?");
    ASSERT_EQ(sim::boxes().size(), 1u);
    const std::string& text = sim::boxes()[0].text;
    const char* const options[] = {
        "/e:s",         "/e:b",        "/e:r",    "/e:d",         "/e:l", "/e:p", "/x:h", "/x:s",
        "/x:r",         "/f:f",        "/f:d",    "/f:e",         "/f:b", "/f:c", "/f:h", "/h[:letter]",
        "/t[:seconds]", "/a[:hhmmss]", "/p:name", "/w[:seconds]", "/n",   "/z",   "/?"};
    for (const char* option : options)
        EXPECT_NE(text.find(std::string(option) + " "), std::string::npos) << option;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = std::min(text.find('\n', begin), text.size());
        EXPECT_LE(end - begin, 60u) << text.substr(begin, end - begin);
        begin = end + 1;
    }
}

TEST_F(Startup, EmptyLineGivesAResidentShutdownIcon) {
    sim::whenIdle([] {
        EXPECT_EQ(Settings.ExitType, IDM_SHUTDOWN);
        EXPECT_EQ(Settings.ClickFlag, 1);
        for (INT32 flag : {Settings.ForceFlag, Settings.EjectFlag, Settings.HotkeyFlag, Settings.TimerFlag,
                           Settings.AtFlag, Settings.WarnFlag, Settings.RunOnceFlag, Settings.ConfirmFlag,
                           Settings.BlockFlag, Settings.HideIconFlag, Settings.RunBeforeExit})
            EXPECT_EQ(flag, 0);
        EXPECT_STREQ(Settings.HotKey, "X");
        EXPECT_STREQ(Settings.TimerValue, "30");
        EXPECT_STREQ(Settings.AtValue, "230000");
        EXPECT_STREQ(Settings.WarnValue, "10");
        EXPECT_STREQ(Settings.WarningText, "");
        EXPECT_EQ(Settings.TimerActive, 0u);
        std::optional<sim::TrayIcon> icon = sim::trayIcon();
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->iconName, "Icon_1");
        EXPECT_EQ(icon->tip, "Shutdown");
        EXPECT_EQ(icon->callbackMessage, (UINT)WM_TRAYNOTIFY);
        EXPECT_EQ(sim::coInitializeCount(), 1);
        HWND main = sim::findWindow("Kelto95", "Kelto95");
        EXPECT_EQ(main, Settings.MainWindow);
        sim::WindowInfo info = sim::windowInfo(main);
        EXPECT_EQ(info.style, (DWORD)WS_SYSMENU);
        EXPECT_EQ(info.width, 0);
        EXPECT_EQ(info.height, 0);
    });
    sim::RunResult result = sim::runProgram("");
    EXPECT_EQ(result.ending, sim::Ending::Idle);
    EXPECT_THAT(sim::requests(), IsEmpty());
    std::optional<sim::ClassInfo> windowClass = sim::windowClass("Kelto95");
    ASSERT_TRUE(windowClass);
    EXPECT_EQ(windowClass->iconName, "Icon_1");
    EXPECT_EQ(windowClass->fields.style, 0u);
}

TEST_F(Startup, TrayIconOfEachExitType) {
    const struct {
        const char* stored;
        const char* icon;
        const char* tip;
    } cases[] = {
        {"10", "Icon_1", "Shutdown"},  {"20", "Icon_2", "Reboot"},      {"30", "Icon_3", "Restart"},
        {"40", "Icon_5", "Logoff"},    {"50", "Icon_4", "Exit to DOS"}, {"60", "Icon_6", "Standby"},
        {"70", "Icon_7", "Power-off"}, {"80", "Icon_A", "Screensaver"}, {"90", "Icon_B", "Restart Shell"},
        {"5", "Icon_1", "Shutdown"},   {"abc", "Icon_1", "Shutdown"},   {"0", "Icon_1", "Shutdown"},
        {"130", "Icon_1", "Shutdown"}, {"220", "Icon_1", "Shutdown"},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        Store("ExitType", c.stored);
        sim::whenIdle([&] {
            std::optional<sim::TrayIcon> icon = sim::trayIcon();
            if (!c.icon) {
                EXPECT_FALSE(icon) << c.stored << ": no icon for a value that is not an exit type";
                return;
            }
            ASSERT_TRUE(icon) << c.stored;
            EXPECT_EQ(icon->iconName, c.icon) << c.stored;
            EXPECT_EQ(icon->tip, c.tip) << c.stored;
        });
        sim::runProgram("");
    }
}

// COM starts after the menus are set and before the loop, once; without ole32 or its entry the program
// starts all the same, silently, and ends nothing it did not begin.
TEST_F(Startup, ComStartsOnceBetweenTheMenusAndTheLoop) {
    const Strings menus = {"LoadAcceleratorsA", "CheckMenuItem", "LoadLibraryA(\"ole32.dll\")"};
    const struct {
        const char* missing; // the library, or "library!entry"
        Strings then;        // the calls after the menus
        int initialized;
    } cases[] = {
        {nullptr,
         {"GetProcAddress(ole32.dll,\"CoInitialize\")", "CoInitialize", "GetMessageA",
          "GetProcAddress(ole32.dll,\"CoUninitialize\")", "CoUninitialize"},
         1},
        {"ole32.dll", {"GetMessageA"}, 0},
        {"ole32.dll!CoInitialize", {"GetProcAddress(ole32.dll,\"CoInitialize\")", "GetMessageA"}, 0},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        std::string missing = c.missing ? c.missing : "nothing";
        if (c.missing && std::strchr(c.missing, '!'))
            sim::removeEntry(missing.substr(0, missing.find('!')), missing.substr(missing.find('!') + 1));
        else if (c.missing)
            sim::removeLibrary(missing);
        sim::whenIdle([&] {
            std::optional<sim::TrayIcon> icon = sim::trayIcon();
            ASSERT_TRUE(icon) << "missing " << missing;
            EXPECT_EQ(icon->iconName, "Icon_1") << "missing " << missing;
        });
        sim::RunResult result = sim::runProgram("");
        EXPECT_EQ(result.ending, sim::Ending::Idle) << "missing " << missing;
        EXPECT_THAT(sim::boxes(), IsEmpty()) << "missing " << missing;
        Strings expected = menus;
        expected.insert(expected.end(), c.then.begin(), c.then.end());
        EXPECT_EQ(sim::callOrder(), expected) << "missing " << missing;
        EXPECT_EQ(sim::coInitializeCalls(), c.initialized) << "missing " << missing;
        EXPECT_EQ(sim::coInitializeCount(), 0) << "missing " << missing;
    }
}

TEST_F(Startup, TimedOneShotRunsTheLoopWithoutAnIcon) {
    sim::RunResult result = sim::runProgram("/t:30 /n");
    EXPECT_EQ(result.ending, sim::Ending::Quit);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
    EXPECT_EQ(sim::requests().at(0).time, 30000u);
    for (const sim::TrayRequest& request : sim::trayRequests())
        EXPECT_NE(request.message, (DWORD)NIM_ADD) << "no icon in one-shot mode";
}

TEST_F(Startup, TimeOfDayFromTheLineShowsTheTimerIconFromTheStart) {
    sim::setLocalTime(22, 0, 0);
    sim::whenIdle([] {
        std::optional<sim::TrayIcon> icon = sim::trayIcon();
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->iconName, "Icon_9");
        EXPECT_EQ(icon->tip, "Timed Exit: Shutdown at 23:00:00");
    });
    sim::whenIdle([] { sim::clickTray(WM_LBUTTONDOWN); });
    sim::runProgram("/a:230000");
    EXPECT_THAT(sim::requests(), IsEmpty()) << "the click cancelled the timer";
    EXPECT_EQ(Settings.TimerCancelled, 1);
}

TEST_F(Startup, EndOfSessionQueryFollowsBlockShutdown) {
    sim::whenIdle([] {
        EXPECT_TRUE(sim::querySessionEnd());
        Settings.BlockFlag = 1;
        EXPECT_FALSE(sim::querySessionEnd());
    });
    sim::runProgram("");
}

TEST_F(Startup, OnlyTheProgramsHotkeyIdActs) {
    sim::whenIdle([] {
        PostMessageA(Settings.MainWindow, WM_HOTKEY, 4096, 0);
        sim::advance(0);
        EXPECT_THAT(sim::requests(), IsEmpty());
        PostMessageA(Settings.MainWindow, WM_HOTKEY, HOTKEY_ID, 0);
    });
    sim::runProgram("");
    EXPECT_EQ(sim::requestStrings(), Strings{"ExitWindowsEx(1,0)"});
}

TEST_F(Startup, HotkeyRegisteredAfterTheWindowAndReleasedAfterTheLoop) {
    sim::whenIdle([] {
        ASSERT_EQ(sim::hotkeys().size(), 1u);
        EXPECT_EQ(sim::hotkeys()[0].window, Settings.MainWindow);
        EXPECT_EQ(sim::hotkeys()[0].id, HOTKEY_ID);
        EXPECT_EQ(sim::hotkeys()[0].modifiers, (UINT)(MOD_ALT | MOD_CONTROL));
        EXPECT_EQ(sim::hotkeys()[0].virtualKey, (UINT)'Q');
        PostMessageA(Settings.MainWindow, WM_COMMAND, IDM_EXITPROGRAM, 0);
    });
    sim::RunResult result = sim::runProgram("/h:q");
    EXPECT_EQ(result.ending, sim::Ending::Quit);
    // The program's own release after the loop: the window's end would drop the registration anyway.
    ASSERT_FALSE(sim::hotkeyCalls().empty());
    const sim::HotkeyCall& last = sim::hotkeyCalls().back();
    EXPECT_FALSE(last.registering) << "the last hotkey call registers";
    EXPECT_EQ(last.hotkey.id, HOTKEY_ID);
    EXPECT_EQ(last.hotkey.window, Settings.MainWindow);
    EXPECT_THAT(sim::trayIcons(), IsEmpty());
    EXPECT_EQ(sim::coInitializeCount(), 0);
}

TEST_F(Startup, UpperCaseSSelectsStandbyNotShortcut) {
    sim::whenIdle([] { sim::typeChar('S'); });
    sim::whenIdle([] {
        EXPECT_EQ(Settings.ExitType, IDM_STANDBY);
        EXPECT_EQ(sim::trayIcon()->iconName, "Icon_6");
    });
    sim::runProgram("");
    EXPECT_THAT(sim::dialogsOpened(), IsEmpty()) << "Create Shortcut never opened";
}

TEST_F(Startup, ARejectedLineEndsBeforeAnyWindow) {
    sim::expectBox("Too many options specified", IDOK);
    sim::RunResult result = sim::runProgram("/E:S /E:B");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.ending, sim::Ending::Returned);
    EXPECT_EQ(sim::liveWindowCount(), 0);
}

} // namespace
