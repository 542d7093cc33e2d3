// The simulated machine's own rules, checked with small stand-in programs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim.h"
#include "res/resource.h"

namespace {

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
    EXPECT_TRUE(sim::timers().empty());
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

} // namespace
