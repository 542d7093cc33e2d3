// The time of day: ParseAtTime over any AtValue at any local time, and the decimal conversion over any text.
//
// Input: hour, minute and second of the local time (one byte each), four bytes of the ExitDelayMs held before
// (low byte first), six bytes of AtValue (to its first NUL), then any text for the decimal conversion.
#include "fuzz_support.h"
#include "timer/timer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshMachine();
    fuzz::Input input(data, size);
    int hour = input.byte() % 24, minute = input.byte() % 60, second = input.byte() % 60;
    sim::setLocalTime(hour, minute, second);
    INT32 delayBefore = (INT32)input.u32();
    std::string atValue = input.bytes(NUMBER_SIZE - 1);
    std::string text = input.rest();

    FUZZ_CHECK(DecimalValue(text.c_str()) == fuzz::ExpectedDecimal(text.c_str()),
               "DecimalValue(\"%.40s\") = %d", text.c_str(), DecimalValue(text.c_str()));

    SetStartupValues(sim::instance());
    fuzz::Fill(Settings.AtValue, sizeof Settings.AtValue, atValue);
    char atBefore[NUMBER_SIZE];
    std::memcpy(atBefore, Settings.AtValue, sizeof atBefore);
    Settings.ExitDelayMs = delayBefore;
    // An exit may be armed while the time is parsed (the dialog shows it); parsing must not stop or move it.
    Settings.TimerActive = ExitTimer;
    Settings.DueByClock = 1;
    Settings.ExitDueLocal = 0x123456789LL;

    int result = ParseAtTime();

    // The documented rule, in 64-bit arithmetic: the next occurrence, hour 24 as hour 0.
    int64_t v = fuzz::ExpectedDecimal(atBefore);
    bool valid = false;
    int64_t delay = 0, target = 0;
    if (v >= 0) {
        int64_t h = v / 10000, m = v % 10000 / 100, s = v % 100;
        FUZZ_CHECK(Settings.AtHour == (h == 24 ? 0 : h) && Settings.AtMinute == m && Settings.AtSecond == s,
                   "\"%s\" split into %u %u %u", atBefore, Settings.AtHour, Settings.AtMinute,
                   Settings.AtSecond);
        valid = h <= 24 && m <= 59 && s <= 59;
        target = ((h % 24) * 3600 + m * 60 + s) * 1000;
        delay = target - (hour * 3600 + minute * 60 + second) * 1000;
        if (delay < 0)
            delay += 86400000;
    }
    FUZZ_CHECK(result == (valid ? 1 : 0), "\"%s\" at %02d:%02d:%02d gave %d", atBefore, hour, minute, second,
               result);
    if (valid) {
        FUZZ_CHECK(Settings.ExitDelayMs == delay && delay >= 0 && delay < 86400000,
                   "\"%s\" at %02d:%02d:%02d: delay %d, expected %lld", atBefore, hour, minute, second,
                   Settings.ExitDelayMs, (long long)delay);
        FUZZ_CHECK(Settings.AtDueLocal % 86400000 == target && Settings.AtDueLocal - delay >= 0 &&
                       (Settings.AtDueLocal - delay) % 86400000 ==
                           (hour * 3600 + minute * 60 + second) * 1000,
                   "\"%s\" at %02d:%02d:%02d: due at %lld", atBefore, hour, minute, second,
                   (long long)Settings.AtDueLocal);
    } else
        FUZZ_CHECK(Settings.ExitDelayMs == delayBefore, "an invalid \"%s\" changed the delay to %d", atBefore,
                   Settings.ExitDelayMs);
    FUZZ_CHECK(std::memcmp(Settings.AtValue, atBefore, sizeof atBefore) == 0, "AtValue changed");
    FUZZ_CHECK(sim::timerCalls().empty() && Settings.TimerActive == ExitTimer && Settings.DueByClock &&
                   Settings.ExitDueLocal == 0x123456789LL,
               "the armed exit was stopped or moved");
    fuzz::CheckTextFieldsTerminated();
    return 0;
}
