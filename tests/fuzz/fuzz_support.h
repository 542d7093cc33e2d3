// Shared by the fuzz targets: every complaint of the simulated machine becomes a crash, checks that abort
// with what they saw, and the few independent models the targets compare the program with.
#ifndef TESTS_FUZZ_SUPPORT_H
#define TESTS_FUZZ_SUPPORT_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim.h"
#include "app/settings.h"
#include "app/boxes.h"
#include "app/text.h"

namespace fuzz {

[[noreturn]] inline void Fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "fuzz check failed: ");
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\n");
    va_end(arguments);
    std::abort();
}

#define FUZZ_CHECK(condition, ...)                                                                           \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::fuzz::Fail("(" #condition ") " __VA_ARGS__);                                                   \
    } while (0)

// A fresh machine and a record as it is when the program is loaded: all zero. No failure handler is
// installed: what the simulated machine finds wrong (an unexpected box, a wait without end ...) is printed as
// "simulated machine: <message>" and aborts at once, a crash like any other.
inline void FreshMachine() {
    sim::reset();
    std::memset(&Settings, 0, sizeof Settings);
}

inline bool Terminated(const char* field, size_t capacity) {
    return std::memchr(field, 0, capacity) != nullptr;
}

// Every text field of the record ends within its capacity.
inline void CheckTextFieldsTerminated() {
    FUZZ_CHECK(Terminated(Settings.SavedWarningText, sizeof Settings.SavedWarningText));
    FUZZ_CHECK(Terminated(Settings.HotKey, sizeof Settings.HotKey));
    FUZZ_CHECK(Terminated(Settings.TimerValue, sizeof Settings.TimerValue));
    FUZZ_CHECK(Terminated(Settings.AtValue, sizeof Settings.AtValue));
    FUZZ_CHECK(Terminated(Settings.WarnValue, sizeof Settings.WarnValue));
    FUZZ_CHECK(Terminated(Settings.NumberText, sizeof Settings.NumberText));
    FUZZ_CHECK(Terminated(Settings.WarningText, sizeof Settings.WarningText));
    for (int i = 0; i < PROGRAM_COUNT; i++)
        FUZZ_CHECK(Terminated(Settings.ProgramEntry[i], sizeof Settings.ProgramEntry[i]), "entry %d", i + 1);
    FUZZ_CHECK(Terminated(Settings.ProgramsToRun, sizeof Settings.ProgramsToRun));
}

// The decimal conversion as users know it: blanks, one sign, digits; the value wraps at 32 bits.
inline int32_t ExpectedDecimal(const char* text) {
    size_t i = 0;
    while (text[i] && std::strchr(" \t\n\v\f\r", text[i]))
        i++;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    uint64_t value = 0;
    for (; text[i] >= '0' && text[i] <= '9'; i++)
        value = (value * 10 + (uint64_t)(text[i] - '0')) & 0xFFFFFFFFu;
    if (negative)
        value = (0x100000000ull - value) & 0xFFFFFFFFu;
    return (int32_t)(uint32_t)value;
}

// Bytes of the input, consumed from the front; past the end everything reads as zero.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t left() const { return size_ - at_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t u32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; i++)
            value |= (uint32_t)byte() << (8 * i);
        return value;
    }
    std::string bytes(size_t count) {
        count = count < left() ? count : left();
        std::string text(reinterpret_cast<const char*>(data_ + at_), count);
        at_ += count;
        return text;
    }
    // The same bytes into a buffer the caller keeps, so that reading many allocates little.
    void bytes(size_t count, std::vector<uint8_t>& into) {
        count = count < left() ? count : left();
        into.assign(data_ + at_, data_ + at_ + count);
        at_ += count;
    }
    void skip(size_t count) { at_ += count < left() ? count : left(); }
    // Up to the delimiter (consumed, not returned) or the end.
    std::string until(char delimiter) {
        const void* found = std::memchr(data_ + at_, delimiter, left());
        size_t count = found ? (size_t)(static_cast<const uint8_t*>(found) - (data_ + at_)) : left();
        std::string text = bytes(count);
        if (found)
            at_++;
        return text;
    }
    std::string rest() { return bytes(left()); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Puts text into a field the way a hostile writer would: as many bytes as fit, the last byte of the field
// always a terminator.
inline void Fill(char* field, size_t capacity, const std::string& text) {
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), text.size() < capacity - 1 ? text.size() : capacity - 1);
}

} // namespace fuzz

#endif
