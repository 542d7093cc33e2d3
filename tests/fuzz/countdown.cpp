// The countdown window's display for any time left, with any warning text, open or already closed.
//
// Input: a flags byte (bit 0: close the window first), four bytes of the time left in milliseconds (low byte
// first), then the warning text (up to 99 bytes, to its first NUL).
#include "fuzz_support.h"
#include "timer/timer_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshMachine();
    fuzz::Input input(data, size);
    uint8_t flags = input.byte();
    INT32 left = (INT32)input.u32();
    SetStartupValues(sim::instance());
    fuzz::Fill(Settings.WarningText, sizeof Settings.WarningText, input.rest());
    std::string warningText = Settings.WarningText;

    Settings.TimerActive = ExitTimer;
    Settings.ExitDueTick = GetTickCount() + 10000;
    HWND window =
        CreateDialogParamA(sim::instance(), MAKEINTRESOURCEA(IDD_COUNTDOWN), NULL, CountdownDlgProc, 0);
    FUZZ_CHECK(window && Settings.CountdownWindow == window);
    sim::Dialog countdown(window);
    bool closed = flags & 1;
    if (closed) {
        countdown.click(IDC_COUNTDOWNCLOSE);
        FUZZ_CHECK(!sim::isWindow(window) && !Settings.CountdownWindow, "Close left the window");
    }

    Settings.ExitDueTick = GetTickCount() + (DWORD)left;
    ShowCountdown();

    // The time left in whole seconds, rounded up; nothing below zero.
    int64_t expectedCount = left <= 0 ? 0 : ((int64_t)left + 999) / 1000;
    FUZZ_CHECK(Settings.CountdownRemaining == expectedCount, "%d ms left counted %d", left,
               Settings.CountdownRemaining);
    FUZZ_CHECK(Settings.WarningText == warningText, "the warning text changed");
    fuzz::CheckTextFieldsTerminated();
    if (closed)
        return 0;
    char expected[32];
    std::snprintf(expected, sizeof expected, "%02lld:%02lld", (long long)(expectedCount / 60),
                  (long long)(expectedCount % 60));
    std::string time = countdown.text(IDC_COUNTDOWNTIME);
    FUZZ_CHECK(time == expected, "%d ms left shows \"%s\", expected \"%s\"", left, time.c_str(), expected);
    FUZZ_CHECK(time.size() <= 11, "%d ms left shows %zu characters", left, time.size());
    FUZZ_CHECK(countdown.text(IDC_COUNTDOWNTEXT) == warningText, "text \"%s\"",
               countdown.text(IDC_COUNTDOWNTEXT).c_str());
    return 0;
}
