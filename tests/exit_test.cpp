// Performing the exit: each exit type's request and what follows it, the order of the steps, the forced
// close of other applications, and the media walk.
#include "support.h"
#include "app/tray.h"
#include "exit/exit.h"
#include "exit/eject.h"

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;
using ::testing::SizeIs;

struct ExitCase {
    const char* option;
    bool force;
    Strings requests;
    sim::Ending ending; // after a tray click in a resident program
};

const char* const RestartCommand = "WinExec(\"Rundll.exe KeltoDLL.dll,CallExitWindows\",0)";
const char* const DosCommand = "WinExec(\"Rundll.exe KeltoDLL.dll,CallExitWindowsExec\",0)";
const char* const EndSessionBroadcast = "BroadcastSystemMessage(34,8,22,1,0)";

// Every exit type, performed by a click on the tray icon of a resident program, makes its one request;
// Restart, Logoff and Exit to DOS then end the program's own loop, the others keep it running.
TEST(ExitTypes, RequestAndWhatFollows) {
    const ExitCase cases[] = {
        {"/e:s", false, {"ExitWindowsEx(1,0)"}, sim::Ending::Idle},
        {"/e:b", false, {"ExitWindowsEx(2,0)"}, sim::Ending::Idle},
        {"/e:r", false, {RestartCommand}, sim::Ending::Quit},
        {"/e:l", false, {"ExitWindowsEx(0,4294967295)"}, sim::Ending::Quit},
        {"/e:d", false, {DosCommand}, sim::Ending::Quit},
        {"/x:h",
         false,
         {"BroadcastSystemMessage(8,NULL,536,5,0)", "SetSystemPowerState(1,0)"},
         sim::Ending::Idle},
        {"/e:p", false, {"ExitWindowsEx(9,0)"}, sim::Ending::Idle},
        {"/x:s", false, {"PostMessageA(<desktop>,274,61760,0)"}, sim::Ending::Idle},
        {"/x:r", false, {"WinExec(\"explorer.exe\",5)"}, sim::Ending::Idle},
        {"/e:r", true, {EndSessionBroadcast, RestartCommand}, sim::Ending::Quit},
        {"/e:d", true, {EndSessionBroadcast, DosCommand}, sim::Ending::Quit},
        {"/x:h",
         true,
         {"BroadcastSystemMessage(8,NULL,536,5,0)", "SetSystemPowerState(1,1)"},
         sim::Ending::Idle},
        {"/x:r", true, {"WinExec(\"explorer.exe\",5)"}, sim::Ending::Idle},
    };
    for (const ExitCase& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        std::string line = std::string(c.option) + (c.force ? " /f:f" : "");
        sim::whenIdle([] { sim::clickTray(WM_LBUTTONDOWN); });
        sim::RunResult result = sim::runProgram(line.c_str());
        EXPECT_EQ(sim::requestStrings(), c.requests) << line;
        EXPECT_EQ(result.ending, c.ending) << line;
        EXPECT_EQ(result.exitCode, 0) << line;
    }
}

TEST(ExitTypes, OneShotPerformsWithoutAWindowAndReturnsZero) {
    const struct {
        const char* line;
        Strings requests;
    } cases[] = {
        {"/e:s /n", {"ExitWindowsEx(1,0)"}},
        {"/x:s /n", {"PostMessageA(<desktop>,274,61760,0)"}},
        {"/e:l /n", {"ExitWindowsEx(0,4294967295)"}},
        {"/x:r /n", {"WinExec(\"explorer.exe\",5)"}},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        std::memset(&Settings, 0, sizeof Settings);
        sim::RunResult result = sim::runProgram(c.line);
        EXPECT_EQ(result.ending, sim::Ending::Returned) << c.line;
        EXPECT_EQ(result.exitCode, 0) << c.line;
        EXPECT_EQ(sim::requestStrings(), c.requests) << c.line;
        EXPECT_EQ(sim::liveWindowCount(), 0) << c.line << ": no window in immediate one-shot mode";
        EXPECT_THAT(sim::trayRequests(), IsEmpty()) << c.line;
    }
}

class Exit : public ProgramTest {
  protected:
    Exit() { StartupValues(); }
};

TEST_F(Exit, RestartShellQuitsTheShellAndStartsTheConfiguredOne) {
    HWND shell = sim::addForeignWindow("Progman", "Program Manager", 50);
    sim::setProfileString("system.ini", "boot", "shell", "c:\\shell\\myshell.exe /x");
    Settings.ExitType = IDM_RESTARTSHELL;
    ExecuteExit();
    EXPECT_EQ(sim::requestStrings(),
              (Strings{"PostMessageA(<Progman>,18,0,0)", "WinExec(\"c:\\shell\\myshell.exe /x\",5)"}));
    EXPECT_EQ(sim::requests().at(0).window, shell);
}

TEST_F(Exit, RestartShellCutsAnOverlongShellLine) {
    sim::setProfileString("system.ini", "boot", "shell", std::string(2000, 's'));
    Settings.ExitType = IDM_RESTARTSHELL;
    ExecuteExit();
    ASSERT_EQ(sim::requests().size(), 1u);
    EXPECT_EQ(sim::requests()[0].args.at(0), "\"" + std::string(259, 's') + "\"");
}

TEST_F(Exit, StepsRunInOrder) {
    Settings.ConfirmFlag = 1;
    Settings.RunBeforeExit = 1;
    Settings.ForceFlag = 1;
    Settings.EjectFlag = 1;
    Settings.BlockFlag = 1;
    lstrcpyA(Settings.ProgramEntry[0], "backup.exe");
    sim::addForeignWindow("Notepad", "Untitled", 100);
    sim::setDrive('D', DRIVE_CDROM);
    sim::expectBox("Are you sure you want to exit ?", IDYES);
    ExecuteExit();
    Strings kinds;
    for (const sim::Request& request : sim::requests())
        kinds.push_back(request.kind);
    EXPECT_EQ(kinds, (Strings{"CreateProcessA", "SendMessageTimeoutA", "DeviceIoControl", "DeviceIoControl",
                              "ExitWindowsEx"}));
    EXPECT_EQ(Settings.BlockFlag, 0);
    const sim::MessageBoxCall& box = sim::boxes().at(0);
    EXPECT_EQ(box.caption, std::optional<std::string>("Confirm"));
    EXPECT_EQ(box.style, (UINT)(MB_SYSTEMMODAL | MB_ICONQUESTION | MB_YESNO));
    EXPECT_EQ(box.owner, nullptr);
}

TEST_F(Exit, NoToTheQuestionChangesNothing) {
    Settings.ConfirmFlag = 1;
    Settings.RunBeforeExit = 1;
    Settings.BlockFlag = 1;
    lstrcpyA(Settings.ProgramEntry[0], "backup.exe");
    sim::expectBox("Are you sure you want to exit ?", IDNO);
    ExecuteExit();
    EXPECT_THAT(sim::requests(), IsEmpty());
    EXPECT_EQ(Settings.BlockFlag, 1);
}

TEST_F(Exit, NothingWhileATimerIsArmed) {
    Settings.TimerActive = 5;
    Settings.ConfirmFlag = 1;
    Settings.BlockFlag = 1;
    ExecuteExit();
    EXPECT_THAT(sim::requests(), IsEmpty());
    EXPECT_THAT(sim::boxes(), IsEmpty());
    EXPECT_EQ(Settings.BlockFlag, 1);
}

TEST_F(Exit, BlockShutdownIsClearedByEveryExitEvenTheScreensaver) {
    Settings.BlockFlag = 1;
    Settings.ExitType = IDM_SCREENSAVER;
    ExecuteExit();
    EXPECT_EQ(Settings.BlockFlag, 0);
}

TEST_F(Exit, ForceClosesWindowByWindowOnlyForSessionEnds) {
    const struct {
        INT32 exitType;
        bool closes;
    } cases[] = {{IDM_SHUTDOWN, true}, {IDM_REBOOT, true},       {IDM_POWEROFF, true},
                 {IDM_LOGOFF, true},   {IDM_RESTART, false},     {IDM_EXITTODOS, false},
                 {IDM_STANDBY, false}, {IDM_RESTARTSHELL, false}};
    for (const auto& c : cases) {
        sim::reset();
        sim::addForeignWindow("Notepad", "Untitled", 100);
        Settings.ForceFlag = 1;
        Settings.ExitType = c.exitType;
        ExecuteExit();
        EXPECT_THAT(sim::requestStrings("SendMessageTimeoutA"), SizeIs(c.closes ? 1u : 0u)) << c.exitType;
    }
}

TEST_F(Exit, ForcedCloseOfAnsweringHungAndOwnWindows) {
    sim::addForeignWindow("Answers", "", 100, sim::WindowBehavior::Answers);
    sim::addForeignWindow("Exits", "", 101, sim::WindowBehavior::HangsThenExits, 200);
    sim::addForeignWindow("Hangs", "", 102, sim::WindowBehavior::Hangs);
    sim::addForeignWindow("Unopenable", "", 103, sim::WindowBehavior::Hangs);
    sim::setOpenProcessFails(103);
    // The program's own windows are never sent the message.
    WNDCLASSA own = {};
    own.lpfnWndProc = DefWindowProcA;
    own.lpszClassName = "Own";
    RegisterClassA(&own);
    CreateWindowExA(0, "Own", "", 0, 0, 0, 0, 0, NULL, NULL, sim::instance(), NULL);

    Settings.ForceFlag = 1;
    DWORD start = sim::now();
    ExecuteExit();
    EXPECT_EQ(
        sim::requestStrings(),
        (Strings{"SendMessageTimeoutA(<Answers>,22,1,0,2,500)", "SendMessageTimeoutA(<Exits>,22,1,0,2,500)",
                 "SendMessageTimeoutA(<Hangs>,22,1,0,2,500)", "TerminateProcess(102,0)",
                 "SendMessageTimeoutA(<Unopenable>,22,1,0,2,500)", "ExitWindowsEx(1,0)"}));
    EXPECT_TRUE(sim::process(100)->alive) << "a window that answers keeps its process";
    EXPECT_FALSE(sim::process(101)->terminated) << "a hung window whose process ends is not terminated";
    EXPECT_TRUE(sim::process(102)->terminated);
    EXPECT_TRUE(sim::process(103)->alive) << "a process that cannot be opened is only sent the message";
    // Each hung window costs at most its send and its wait.
    EXPECT_LE(sim::now() - start, 3u * 1000u);
    EXPECT_EQ(sim::openHandleCount(), 0) << "every process handle is closed";
}

// Force Exit and an exit type it cannot apply to are never on together, whichever is chosen second: the
// type's refusal after the exclamation beep, and Force Exit off. Every other type keeps it.
TEST_F(Exit, ForceExitIsRefusedOnlyWhereItCannotApply) {
    const INT32 types[] = {IDM_SHUTDOWN, IDM_REBOOT,  IDM_RESTART,     IDM_EXITTODOS,   IDM_LOGOFF,
                           IDM_POWEROFF, IDM_STANDBY, IDM_SCREENSAVER, IDM_RESTARTSHELL};
    for (INT32 type : types)
        for (bool forceFirst : {true, false}) {
            sim::reset();
            std::memset(&Settings, 0, sizeof Settings);
            StartupValues();
            bool refused = type == IDM_SCREENSAVER;
            if (refused)
                sim::expectBox("Screensaver cannot be forced", IDOK);
            if (forceFirst) {
                Settings.ForceFlag = 1;
                OnCommand(type);
            } else {
                OnCommand(type);
                OnCommand(IDM_FORCE);
            }
            EXPECT_EQ(Settings.ExitType, type);
            EXPECT_EQ(Settings.ForceFlag, refused ? 0 : 1) << type << (forceFirst ? ", Force first" : "");
            ASSERT_EQ(sim::boxes().size(), refused ? 1u : 0u) << type;
            if (refused) {
                EXPECT_EQ(sim::boxes()[0].style, (UINT)ErrorBoxStyle);
                EXPECT_EQ(sim::boxes()[0].beep, std::optional<UINT>(MB_ICONEXCLAMATION));
            }
        }
}

class Eject : public ProgramTest {
  protected:
    Eject() {
        StartupValues();
        Settings.EjectFlag = 1;
    }
    static Strings Ioctls() {
        Strings lines;
        for (const sim::Request& request : sim::requests()) {
            if (request.kind != "DeviceIoControl")
                continue;
            char line[80];
            std::snprintf(line, sizeof line, "drive %u ecx %04X", (unsigned)request.registersIn[0],
                          (unsigned)request.registersIn[2]);
            lines.push_back(line);
        }
        return lines;
    }
};

// The walk as Windows 95 OSR2 and 98 answer it, and as the first Windows 95 release does: it knows Get
// Media ID only in its 08h form, asked when the 48h form fails.
TEST_F(Eject, WalksRemovableAndCdromDrivesSkippingAAndB) {
    const struct {
        bool firstRelease;
        Strings ioctls;
    } cases[] = {
        {false,
         {"drive 4 ecx 4866", "drive 4 ecx 0849", "drive 5 ecx 4866", "drive 5 ecx 0849", "drive 7 ecx 4866",
          "drive 7 ecx 0866"}},
        {true,
         {"drive 4 ecx 4866", "drive 4 ecx 0866", "drive 4 ecx 0849", "drive 5 ecx 4866", "drive 5 ecx 0866",
          "drive 5 ecx 0849", "drive 7 ecx 4866", "drive 7 ecx 0866"}},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        sim::setVwin32FirstRelease(c.firstRelease);
        sim::setDrive('A', DRIVE_REMOVABLE);
        sim::setDrive('D', DRIVE_CDROM);
        sim::setDrive('E', DRIVE_REMOVABLE);
        sim::setDrive('F', DRIVE_REMOTE);
        sim::setDrive('G', DRIVE_CDROM, false);
        EjectRemovableMedia(Settings.ExitType);
        EXPECT_EQ(sim::driveTypeQueries(), (Strings{"A:", "C:", "D:", "E:", "F:", "G:"}));
        EXPECT_EQ(Ioctls(), c.ioctls) << "first release " << c.firstRelease;
        for (const sim::Request& request : sim::requests()) {
            EXPECT_EQ(request.registersIn[3], 0x440Du);
            if (request.registersIn[2] != 0x0849) {
                EXPECT_EQ(request.registersIn[6], 1u) << "carry preset before each Get Media ID";
            }
        }
        EXPECT_EQ(sim::openHandleCount(), 0);
    }
}

TEST_F(Eject, NoDeviceNoWalk) {
    sim::setDrive('D', DRIVE_CDROM);
    for (INT32 type : {IDM_STANDBY, IDM_SCREENSAVER}) {
        Settings.ExitType = type;
        EjectRemovableMedia(Settings.ExitType);
    }
    sim::setVwin32Available(false);
    Settings.ExitType = IDM_SHUTDOWN;
    EjectRemovableMedia(Settings.ExitType);
    EXPECT_THAT(sim::driveTypeQueries(), IsEmpty());
    EXPECT_THAT(sim::requests(), IsEmpty());
}

TEST_F(Eject, AFailingDeviceCallLeavesTheCarrySet) {
    sim::setDrive('D', DRIVE_CDROM);
    sim::setDeviceIoControlFails(true);
    EjectRemovableMedia(Settings.ExitType);
    EXPECT_EQ(Ioctls(), (Strings{"drive 4 ecx 4866", "drive 4 ecx 0866"}));
}

} // namespace
