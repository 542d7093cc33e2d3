// The countdown window's display for any count, with any warning text, open or already closed.
//
// Input: a flags byte (bit 0: close the window first), four bytes of CountdownRemaining (low byte first),
// then the warning text (up to 99 bytes, to its first NUL).
#include "fuzz_support.h"
#include "timer/timer_internal.h"

#include <climits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshMachine();
    fuzz::Input input(data, size);
    uint8_t flags = input.byte();
    INT32 count = (INT32)input.u32();
    SetStartupValues(sim::instance());
    fuzz::Fill(Settings.WarningText, sizeof Settings.WarningText, input.rest());
    std::string warningText = Settings.WarningText;

    Settings.WarnSeconds = 1;
    Settings.CountdownRemaining = 2;
    HWND window =
        CreateDialogParamA(sim::instance(), MAKEINTRESOURCEA(IDD_COUNTDOWN), NULL, CountdownDlgProc, 0);
    FUZZ_CHECK(window && Settings.CountdownWindow == window);
    sim::Dialog countdown(window);
    bool closed = flags & 1;
    if (closed) {
        countdown.click(IDC_COUNTDOWNCLOSE);
        FUZZ_CHECK(!sim::isWindow(window) && !Settings.CountdownWindow, "Close left the window");
    }

    Settings.CountdownRemaining = count;
    ShowCountdown();

    // One second less, down to the lowest count there is.
    int64_t expectedCount = count == INT_MIN ? count : (int64_t)count - 1;
    FUZZ_CHECK(Settings.CountdownRemaining == expectedCount, "count %d became %d", count,
               Settings.CountdownRemaining);
    FUZZ_CHECK(Settings.WarningText == warningText, "the warning text changed");
    fuzz::CheckTextFieldsTerminated();
    if (closed)
        return 0;
    int64_t shown = expectedCount < 0 ? 0 : expectedCount;
    char expected[32];
    std::snprintf(expected, sizeof expected, "%02lld:%02lld", (long long)(shown / 60),
                  (long long)(shown % 60));
    std::string time = countdown.text(IDC_COUNTDOWNTIME);
    FUZZ_CHECK(time == expected, "count %d shows \"%s\", expected \"%s\"", count, time.c_str(), expected);
    FUZZ_CHECK(time.size() <= 11, "count %d shows %zu characters", count, time.size());
    FUZZ_CHECK(countdown.text(IDC_COUNTDOWNTEXT) == warningText, "text \"%s\"",
               countdown.text(IDC_COUNTDOWNTEXT).c_str());
    return 0;
}
