// The numbers the timed exit dialog shows: any TimerValue, AtValue and WarnValue (any bytes, terminated
// within their 7 bytes) through ShowTimeoutValue, ShowAtValue and ShowWarnValue, into the 7-byte NumberText.
//
// Input: six bytes each of TimerValue, AtValue and WarnValue; hour, minute and second of the local time; then
// one byte per call, in order: 0 timeout, 1 time of day, 2 warning (the byte modulo 3).
#include "fuzz_support.h"
#include "timer/timerdlg_internal.h"

namespace {

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// The number as the edit shows it: negative numbers signed, and never more than the field holds.
std::string ExpectedNumber(int32_t value) {
    char text[32];
    if (value < 0)
        std::snprintf(text, sizeof text, "%d", value);
    else
        std::snprintf(text, sizeof text, "%u", (unsigned)value);
    return std::string(text).substr(0, NUMBER_SIZE - 1);
}

// Fields around NumberText, filled with a pattern that a stray write would change.
struct Canaries {
    char savedWarningText[WARNING_TEXT_SIZE];
    char hotKey[HOTKEY_SIZE];
    char timerValue[NUMBER_SIZE], atValue[NUMBER_SIZE], warnValue[NUMBER_SIZE];
    char warningText[WARNING_TEXT_SIZE];

    void take() {
        std::memcpy(savedWarningText, Settings.SavedWarningText, sizeof savedWarningText);
        std::memcpy(hotKey, Settings.HotKey, sizeof hotKey);
        std::memcpy(timerValue, Settings.TimerValue, sizeof timerValue);
        std::memcpy(atValue, Settings.AtValue, sizeof atValue);
        std::memcpy(warnValue, Settings.WarnValue, sizeof warnValue);
        std::memcpy(warningText, Settings.WarningText, sizeof warningText);
    }
    void check() const {
        FUZZ_CHECK(!std::memcmp(savedWarningText, Settings.SavedWarningText, sizeof savedWarningText));
        FUZZ_CHECK(!std::memcmp(hotKey, Settings.HotKey, sizeof hotKey));
        FUZZ_CHECK(!std::memcmp(timerValue, Settings.TimerValue, sizeof timerValue));
        FUZZ_CHECK(!std::memcmp(atValue, Settings.AtValue, sizeof atValue));
        FUZZ_CHECK(!std::memcmp(warnValue, Settings.WarnValue, sizeof warnValue));
        FUZZ_CHECK(!std::memcmp(warningText, Settings.WarningText, sizeof warningText));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshMachine();
    fuzz::Input input(data, size);
    fuzz::Fill(Settings.TimerValue, sizeof Settings.TimerValue, input.bytes(NUMBER_SIZE - 1));
    fuzz::Fill(Settings.AtValue, sizeof Settings.AtValue, input.bytes(NUMBER_SIZE - 1));
    fuzz::Fill(Settings.WarnValue, sizeof Settings.WarnValue, input.bytes(NUMBER_SIZE - 1));
    int hour = input.byte() % 24, minute = input.byte() % 60, second = input.byte() % 60;
    sim::setLocalTime(hour, minute, second);
    std::memset(Settings.SavedWarningText, 'S', sizeof Settings.SavedWarningText);
    std::memset(Settings.WarningText, 'W', sizeof Settings.WarningText);
    Settings.HotKey[0] = 'H';
    Settings.HotKey[1] = 'K';
    std::memset(Settings.NumberText, 'N', sizeof Settings.NumberText);
    Canaries canaries;
    canaries.take();

    Settings.TimedExitDialogWindow =
        CreateDialogParamA(sim::instance(), MAKEINTRESOURCEA(IDD_TIMEDEXIT), NULL, QuietDialog, 0);
    FUZZ_CHECK(Settings.TimedExitDialogWindow);
    sim::Dialog dialog(Settings.TimedExitDialogWindow);

    for (int calls = 0; calls < 8 && input.left(); calls++) {
        int which = input.byte() % 3;
        int edit;
        std::string expected;
        if (which == 0) {
            ShowTimeoutValue();
            int32_t value = fuzz::ExpectedDecimal(Settings.TimerValue);
            FUZZ_CHECK(Settings.TimeoutSeconds == (UINT32)value, "\"%s\" gave %u", Settings.TimerValue,
                       Settings.TimeoutSeconds);
            expected = ExpectedNumber(value);
            edit = IDC_TIMEOUTVALUE;
        } else if (which == 1) {
            ShowAtValue();
            int64_t value = fuzz::ExpectedDecimal(Settings.AtValue);
            // Hour 24 shows as 00; an invalid time shows its parts all the same.
            if (value >= 0)
                FUZZ_CHECK(Settings.AtHour == (value / 10000 == 24 ? 0 : value / 10000) &&
                               Settings.AtMinute == value % 10000 / 100 && Settings.AtSecond == value % 100,
                           "\"%s\" shown as %u %u %u", Settings.AtValue, Settings.AtHour, Settings.AtMinute,
                           Settings.AtSecond);
            char text[40];
            std::snprintf(text, sizeof text, "%02u%02u%02u", Settings.AtHour, Settings.AtMinute,
                          Settings.AtSecond);
            expected = std::string(text).substr(0, NUMBER_SIZE - 1);
            edit = IDC_ATVALUE;
        } else {
            ShowWarnValue();
            int32_t value = fuzz::ExpectedDecimal(Settings.WarnValue);
            FUZZ_CHECK(Settings.WarnSeconds == (UINT32)value, "\"%s\" gave %u", Settings.WarnValue,
                       Settings.WarnSeconds);
            expected = ExpectedNumber(value);
            edit = IDC_WARNVALUE;
        }
        FUZZ_CHECK(fuzz::Terminated(Settings.NumberText, sizeof Settings.NumberText),
                   "NumberText not terminated");
        FUZZ_CHECK(Settings.NumberText == expected, "NumberText \"%s\", expected \"%s\"", Settings.NumberText,
                   expected.c_str());
        FUZZ_CHECK(dialog.text(edit) == expected, "edit %d shows \"%s\"", edit, dialog.text(edit).c_str());
        canaries.check();
    }
    return 0;
}
