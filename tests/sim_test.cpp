// The simulated machine's own rules, checked with small stand-in programs.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim.h"
#include "support.h" // prints the records a failed check shows
#include "res/resource.h"

namespace {

using ::testing::IsEmpty;

std::vector<std::string> fired; // what the stand-in programs saw, "name@ms"

void CALLBACK OnFast(HWND, UINT, UINT_PTR, DWORD) {
    fired.push_back("fast@" + std::to_string(sim::now()));
}
void CALLBACK OnSlow(HWND, UINT, UINT_PTR id, DWORD) {
    fired.push_back("slow@" + std::to_string(sim::now()));
    KillTimer(nullptr, id);
}

UINT_PTR fastTimer;

int Pump() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0))
        DispatchMessageA(&message);
    return static_cast<int>(message.wParam);
}

int WINAPI TwoTimers(HINSTANCE, HINSTANCE, LPSTR, int) {
    fastTimer = SetTimer(nullptr, 0, 300, OnFast);
    SetTimer(nullptr, 0, 1000, OnSlow);
    return Pump();
}

TEST(SimTimers, FireInDueOrderAndRepeatUntilKilled) {
    sim::Machine machine;
    fired.clear();
    sim::whenIdle([] {
        EXPECT_TRUE(sim::advance(950));
        EXPECT_EQ(fired, (std::vector<std::string>{"fast@300", "fast@600", "fast@900"}));
    });
    sim::whenIdle([] { KillTimer(nullptr, fastTimer); });
    sim::RunResult run = sim::run(TwoTimers, "");
    // With no action left the clock jumps to the slow timer; once it is killed nothing is left.
    EXPECT_EQ(fired, (std::vector<std::string>{"fast@300", "fast@600", "fast@900", "slow@1000"}));
    EXPECT_EQ(run.ending, sim::Ending::Idle);
    EXPECT_NE(fastTimer, 0u);
    EXPECT_THAT(sim::timers(), IsEmpty());
}

// Microsoft KB Q312406: Windows 9x takes the ids of timers without a window from one pool for the whole
// system and reuses them, so a second kill of an id another program was given since ends that program's
// timer.
TEST(SimTimers, IdsWithoutAWindowAreSharedAndReused) {
    sim::Machine machine;
    UINT_PTR own = SetTimer(nullptr, 0, 1000, nullptr);
    EXPECT_TRUE(KillTimer(nullptr, own));
    UINT_PTR other = sim::addForeignTimer();
    EXPECT_EQ(other, own) << "the lowest free id is given again";
    EXPECT_NONFATAL_FAILURE(KillTimer(nullptr, own), "ended another program's timer");
    EXPECT_FALSE(sim::foreignTimerAlive(other));
    EXPECT_TRUE(sim::timerCalls().back().hitForeign);
    EXPECT_NONFATAL_FAILURE(SetTimer(nullptr, 0, 65536, nullptr), "above 65,535 ms");
}

int WINAPI QuitsAtTwoSeconds(HINSTANCE, HINSTANCE, LPSTR, int) {
    SetTimer(nullptr, 0, 2000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(7); });
    return Pump();
}

TEST(SimRuns, AQuitEndsTheRunAndTheWaitingScriptResumes) {
    sim::Machine machine;
    sim::whenIdle([] {
        EXPECT_FALSE(sim::advance(5000)) << "the loop ended while the script waited";
        EXPECT_EQ(sim::now(), 2000u);
    });
    sim::RunResult run = sim::run(QuitsAtTwoSeconds, "");
    EXPECT_EQ(run.ending, sim::Ending::Quit);
    EXPECT_EQ(run.quitCode, 7u);
    EXPECT_EQ(run.exitCode, 7);
}

INT_PTR CALLBACK PassiveDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
        EndDialog(dialog, LOWORD(wParam));
    return FALSE;
}

int WINAPI OpensTimedExitDialog(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_TIMEDEXIT), nullptr, PassiveDialog, 0));
}

TEST(SimDialogs, AutoRadioButtonsExcludeEachOtherWithinTheirGroup) {
    sim::Machine machine;
    sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& d) {
        EXPECT_TRUE(d.click(IDC_TIMEOUT));
        EXPECT_TRUE(d.click(IDC_WARN));
        EXPECT_TRUE(d.click(IDC_ATTIME));
        EXPECT_FALSE(d.checked(IDC_TIMEOUT));
        EXPECT_TRUE(d.checked(IDC_ATTIME));
        EXPECT_TRUE(d.checked(IDC_WARN)) << "a check box is not part of the radio exclusion";
        EXPECT_TRUE(d.click(IDC_WARN));
        EXPECT_FALSE(d.checked(IDC_WARN)) << "an automatic check box toggles";
        EnableWindow(GetDlgItem(d.hwnd(), IDC_NOTIMEDEXIT), FALSE);
        EXPECT_FALSE(d.click(IDC_NOTIMEDEXIT));
        EXPECT_TRUE(d.checked(IDC_ATTIME)) << "a click on a disabled control does nothing";
        d.close(); // the close box stands for Cancel
    });
    EXPECT_EQ(sim::run(OpensTimedExitDialog, "").exitCode, IDCANCEL);
    EXPECT_EQ(sim::dialogsOpened().at(0).result, IDCANCEL);
}

int WINAPI OpensHotkeyDialog(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    SetTimer(nullptr, 0, 500, OnFast);
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_HOTKEY), nullptr, PassiveDialog, 0));
}

TEST(SimDialogs, TypingHonoursUpperCaseAndTimersFireInTheModalLoop) {
    sim::Machine machine;
    fired.clear();
    sim::onDialog(IDD_HOTKEY, [](sim::Dialog& d) {
        EXPECT_TRUE(d.type(IDC_HOTKEYLETTER, "q"));
        EXPECT_EQ(d.text(IDC_HOTKEYLETTER), "Q");
        char text[8] = "xxxxxxx";
        EXPECT_EQ(GetDlgItemTextA(d.hwnd(), IDC_HOTKEYLETTER, text, 1), 0u);
        EXPECT_STREQ(text, "");
        d.advance(1000);
        EXPECT_EQ(fired, (std::vector<std::string>{"fast@500", "fast@1000"}));
        d.click(IDOK);
    });
    EXPECT_EQ(sim::run(OpensHotkeyDialog, "").exitCode, IDOK);
}

TEST(SimStrings, LstrcpynCopiesAtMostLengthMinusOneAndTerminates) {
    struct Case {
        int length;
        const char* expected;
    } cases[] = {{1, ""}, {2, "a"}, {4, "abc"}, {5, "abcd"}, {9, "abcd"}};
    for (const Case& c : cases) {
        char buffer[10];
        std::memset(buffer, '#', sizeof buffer);
        lstrcpynA(buffer, "abcd", c.length);
        EXPECT_STREQ(buffer, c.expected) << "length " << c.length;
        EXPECT_EQ(buffer[c.length], '#') << "nothing written past length " << c.length;
    }
    char untouched[2] = {'#', '#'};
    lstrcpynA(untouched, "abc", 0);
    EXPECT_EQ(untouched[0], '#') << "a length of 0 writes nothing";
}

TEST(SimStrings, WsprintfFormatsTheSupportedSubset) {
    char buffer[1100];
    struct Case {
        std::string actual, expected;
    } cases[] = {
        {(wsprintfA(buffer, "%02u:%02u", 2u, 5u), buffer), "02:05"},
        {(wsprintfA(buffer, "%u", 4294967295u), buffer), "4294967295"},
        {(wsprintfA(buffer, "%d|%i|%5d|%-5d|%05d", -42, 7, -3, 3, -3), buffer), "-42|7|   -3|3    |-0003"},
        {(wsprintfA(buffer, "%hc:", 'D'), buffer), "D:"},
        {(wsprintfA(buffer, "%x %X %lu %ld", 0xbeefu, 0xbeefu, 10u, -10), buffer), "beef BEEF 10 -10"},
        {(wsprintfA(buffer, "[%s][%-4s][%4s] 100%%", "ab", "ab", "ab"), buffer), "[ab][ab  ][  ab] 100%"},
        {(wsprintfA(buffer, "%f"), buffer), "f"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.actual, c.expected);
    std::string longText(2000, 'x');
    EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(buffer), 1023u);
}

TEST(SimRegistry, QueriesFollowTheByteCountRules) {
    sim::Machine machine;
    sim::regSetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", "Name", "hello"); // 6 bytes with the terminator
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\test", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    BYTE data[8];
    std::memset(data, '#', sizeof data);
    DWORD size = 5;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u) << "the needed size";
    EXPECT_EQ(data[0], '#') << "the buffer is left alone";
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    size = 7;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(reinterpret_cast<char*>(data), "hello");
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
    // A REG_SZ keeps exactly the byte count it was written with.
    const char padded[7] = "ab";
    EXPECT_EQ(RegSetValueExA(key, "Short", 0, REG_SZ, reinterpret_cast<const BYTE*>(padded), 7),
              ERROR_SUCCESS);
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", "Short")->bytes.size(), 7u);
    EXPECT_EQ(sim::openKeyCount(), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(sim::openKeyCount(), 0);
}

TEST(SimRegistry, DeletingAKeyTakesItsSubtreeAndFailuresAreScripted) {
    sim::Machine machine;
    sim::regSetString(HKEY_LOCAL_MACHINE, "A\\B\\C", "V", "1");
    sim::regFail(sim::RegOp::Set, HKEY_LOCAL_MACHINE, "A", "Locked");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const BYTE one[] = "1";
    EXPECT_EQ(RegSetValueExA(key, "Locked", 0, REG_SZ, one, 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(key, "Open", 0, REG_SZ, one, 2), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, "B"), ERROR_SUCCESS);
    EXPECT_FALSE(sim::regKeyExists(HKEY_LOCAL_MACHINE, "A\\B\\C"));
    EXPECT_EQ(RegDeleteKeyA(key, "B"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

std::vector<UINT> commands;

LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        commands.push_back(LOWORD(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden window that shows popup 0 of the menu "Kelto1" with item 20 grayed, once per tray-like post.
int WINAPI ShowsTheMenu(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordCommands;
    windowClass.lpszClassName = "Menus";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Menus", "Menus", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    HMENU bar = LoadMenuA(instance, "kelto1");
    HMENU popup = GetSubMenu(bar, 0);
    EXPECT_EQ(CheckMenuItem(popup, 0, MF_BYPOSITION | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(popup, IDM_SHUTDOWN, MF_BYCOMMAND | MF_UNCHECKED),
              static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(popup, 9999, MF_BYCOMMAND | MF_CHECKED), 0xFFFFFFFFu);
    EXPECT_EQ(EnableMenuItem(popup, IDM_REBOOT, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(EnableMenuItem(popup, IDM_REBOOT, MF_BYCOMMAND | MF_GRAYED), MF_GRAYED);
    CheckMenuItem(popup, IDM_FORCE, MF_BYCOMMAND | MF_CHECKED); // inside the Toggles popup
    for (int i = 0; i < 3; ++i)
        TrackPopupMenuEx(popup, 0, 0, 0, window, nullptr);
    int result = Pump();
    DestroyMenu(bar);
    return result;
}

TEST(SimMenus, StatesAnswersAndTheCommandPostedToTheOwner) {
    sim::Machine machine;
    commands.clear();
    sim::onMenu([](sim::Menu& menu) {
        EXPECT_TRUE(menu.grayed(IDM_REBOOT));
        EXPECT_TRUE(menu.checked(IDM_FORCE));
        EXPECT_EQ(menu.at(6).separator, true);
        EXPECT_EQ(menu.at(0).text, "Sh&utdown");
        return static_cast<UINT>(IDM_STANDBY);
    });
    sim::onMenu([](sim::Menu&) { return 0u; });
    sim::onMenu([](sim::Menu&) { return static_cast<UINT>(IDM_REBOOT); });
    EXPECT_NONFATAL_FAILURE(sim::run(ShowsTheMenu, ""), "grayed");
    EXPECT_EQ(commands, std::vector<UINT>{IDM_STANDBY}) << "dismissed and grayed choices give no command";
    EXPECT_EQ(sim::menusShown().size(), 3u);
    EXPECT_EQ(sim::liveMenuCount(), 0);
}

int WINAPI ClosesOthers(HINSTANCE, HINSTANCE, LPSTR, int) {
    EnumWindows(
        [](HWND window, LPARAM) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutA(window, WM_ENDSESSION, 1, 0, SMTO_ABORTIFHUNG, 500, &answer) &&
                process && WaitForSingleObject(process, 500) != WAIT_OBJECT_0)
                TerminateProcess(process, 0);
            if (process)
                CloseHandle(process);
            return TRUE;
        },
        0);
    return 0;
}

TEST(SimProcesses, ForeignWindowsAnswerHangOrExitAndTimePasses) {
    sim::Machine machine;
    sim::addForeignWindow("Answers", "", 10);
    sim::addForeignWindow("Exits", "", 20, sim::WindowBehavior::HangsThenExits, 100);
    sim::addForeignWindow("Hangs", "", 30, sim::WindowBehavior::Hangs);
    sim::addForeignWindow("Locked", "", 40, sim::WindowBehavior::Hangs);
    sim::setOpenProcessFails(40);
    EXPECT_EQ(sim::run(ClosesOthers, "").ending, sim::Ending::Returned);
    EXPECT_EQ(sim::requestStrings(), (std::vector<std::string>{
                                         "SendMessageTimeoutA(<Answers>,22,1,0,2,500)",
                                         "SendMessageTimeoutA(<Exits>,22,1,0,2,500)",
                                         "SendMessageTimeoutA(<Hangs>,22,1,0,2,500)",
                                         "TerminateProcess(30,0)",
                                         "SendMessageTimeoutA(<Locked>,22,1,0,2,500)",
                                     }));
    // 500 + 100 for the window that exits, 500 + 500 for the hung one, 500 for the one that cannot be opened.
    EXPECT_EQ(sim::now(), 2100u);
    EXPECT_TRUE(sim::process(10)->alive);
    EXPECT_FALSE(sim::process(20)->terminated);
    EXPECT_FALSE(sim::process(20)->alive);
    EXPECT_TRUE(sim::process(30)->terminated);
    EXPECT_TRUE(sim::process(40)->alive);
    EXPECT_EQ(sim::openHandleCount(), 0);
    EXPECT_FALSE(sim::findWindow("Hangs"));
}

// The nested loops and a quit message, as Wine has them: message boxes and modal dialogs end at once and
// leave it for the loop below; a popup menu's loop dispatches it, which loses it; a window that is gone takes
// its posted messages with it.
HWND OwnWindow(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Own";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "Own", "Own", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

int WINAPI BoxUnderAQuit(HINSTANCE, HINSTANCE, LPSTR, int) {
    PostQuitMessage(3);
    int answer = MessageBoxA(nullptr, "Gone ?", nullptr, MB_YESNO);
    EXPECT_EQ(answer, 0) << "unanswered";
    EXPECT_TRUE(sim::boxes().at(0).closedByQuit);
    return Pump();
}

int WINAPI DialogUnderAQuit(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    PostQuitMessage(4);
    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_TIMEDEXIT), nullptr, PassiveDialog, 0);
    EXPECT_EQ(result, IDOK) << "the default push button's id, not the script's Cancel";
    EXPECT_FALSE(sim::findDialog(IDD_TIMEDEXIT));
    return Pump();
}

int WINAPI MenuUnderAQuit(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND window = OwnWindow(instance);
    HMENU bar = LoadMenuA(instance, "kelto1");
    PostQuitMessage(5);
    UINT chosen =
        static_cast<UINT>(TrackPopupMenuEx(GetSubMenu(bar, 0), TPM_RETURNCMD, 0, 0, window, nullptr));
    EXPECT_EQ(chosen, static_cast<UINT>(IDM_ABOUT)) << "the menu stays until answered";
    DestroyMenu(bar);
    return Pump();
}

int WINAPI QuitPostedToAWindowThatGoes(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND window = OwnWindow(instance);
    PostMessageA(window, WM_QUIT, 6, 0);
    DestroyWindow(window);
    return Pump();
}

TEST(SimLoops, AQuitMessageInEachKindOfLoop) {
    const struct {
        const char* kind;
        sim::EntryPoint program;
        sim::Ending ending;
        int exitCode;
    } rows[] = {
        {"message box", BoxUnderAQuit, sim::Ending::Quit, 3},
        {"modal dialog", DialogUnderAQuit, sim::Ending::Quit, 4},
        {"popup menu", MenuUnderAQuit, sim::Ending::Idle, 0},
        {"window gone", QuitPostedToAWindowThatGoes, sim::Ending::Idle, 0},
    };
    for (const auto& row : rows) {
        sim::Machine machine;
        sim::onDialog(IDD_TIMEDEXIT, [](sim::Dialog& d) { d.click(IDCANCEL); });
        sim::onMenu([](sim::Menu&) { return static_cast<UINT>(IDM_ABOUT); });
        sim::RunResult run = sim::run(row.program, "");
        EXPECT_EQ(run.ending, row.ending) << row.kind;
        EXPECT_EQ(run.exitCode, row.exitCode) << row.kind;
        sim::discardScripts();
    }
}

TEST(SimBoxes, EveryBoxIsRecordedWithTheBeepBeforeIt) {
    sim::Machine machine;
    sim::expectBox("Sure ?", IDYES);
    MessageBeep(MB_ICONEXCLAMATION);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure ?", "Confirm", MB_YESNO), IDYES);
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(MessageBoxA(nullptr, "Surprise", nullptr, MB_YESNO), IDNO),
                            "unexpected message box");
    ASSERT_EQ(sim::boxes().size(), 2u);
    EXPECT_EQ(sim::boxes()[0].beep, std::optional<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(sim::boxes()[0].caption, std::optional<std::string>("Confirm"));
    EXPECT_FALSE(sim::boxes()[1].beep) << "a beep belongs to one box only";
    EXPECT_FALSE(sim::boxes()[1].caption) << "a null caption stays null";
}

TEST(SimTray, IconsFollowAddModifyDeleteRules) {
    sim::Machine machine;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Tray";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "Tray", "", 0, 0, 0, 0, 0, nullptr, nullptr, sim::instance(), nullptr);
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 5;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = WM_USER + 1;
    data.hIcon = LoadIconA(sim::instance(), "Icon_2");
    lstrcpyA(data.szTip, "Reboot");
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &data)) << "nothing to modify yet";
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data)) << "already there";
    data.uFlags = NIF_TIP;
    lstrcpyA(data.szTip, "Other");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &data));
    ASSERT_TRUE(sim::trayIcon());
    EXPECT_EQ(sim::trayIcon()->iconName, "Icon_2") << "a modify without NIF_ICON keeps the icon";
    EXPECT_EQ(sim::trayIcon()->tip, "Other");
    EXPECT_EQ(sim::trayIcon()->callbackMessage, static_cast<UINT>(WM_USER + 1));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &data));
    EXPECT_FALSE(sim::trayIcon());
}

} // namespace
