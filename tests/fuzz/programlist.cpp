// The stored list of programs run before the exit: splitting any stored text and joining any entries.
//
// Input: a mode byte, then the text. Even mode: the text (up to 1023 bytes, to its first NUL) is a stored
// ProgramsToRun, split, joined, split and joined again. Odd mode: the text holds the four entries separated
// by NUL bytes (each up to 259 bytes), which are joined, split, joined, split and joined again.
#include "fuzz_support.h"
#include "exit/runbefore.h"

#include <vector>

namespace {

using Entries = std::vector<std::string>;

// The documented reading: tokens are runs of characters other than ";", the first four fill the entries in
// order; a token too long for an entry keeps its place but leaves it empty.
Entries ExpectedSplit(const std::string& text) {
    Entries entries(PROGRAM_COUNT);
    size_t at = 0;
    int entry = 0;
    while (entry < PROGRAM_COUNT) {
        at = text.find_first_not_of(';', at);
        if (at == std::string::npos)
            break;
        size_t end = text.find(';', at);
        std::string token = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (token.size() < PROGRAM_ENTRY_SIZE)
            entries[entry] = token;
        entry++;
        at = end == std::string::npos ? text.size() : end;
    }
    return entries;
}

// Every non-empty entry followed by ";", leaving out an entry that would not fit the field whole, and a
// last ";" that would not fit.
std::string ExpectedJoin(const Entries& entries) {
    std::string joined;
    for (const std::string& entry : entries) {
        if (entry.empty() || joined.size() + entry.size() >= PROGRAMS_TO_RUN_SIZE)
            continue;
        joined += entry;
        if (joined.size() + 1 < PROGRAMS_TO_RUN_SIZE)
            joined += ";";
    }
    return joined;
}

Entries CurrentEntries() {
    Entries entries;
    for (const auto& entry : Settings.ProgramEntry)
        entries.push_back(entry);
    return entries;
}

const char WarningCanary = 'W';

void CheckFields() {
    fuzz::CheckTextFieldsTerminated();
    for (size_t i = 0; i < sizeof Settings.WarningText - 1; i++)
        FUZZ_CHECK(Settings.WarningText[i] == WarningCanary, "WarningText byte %zu overwritten", i);
}

// Splits and checks the entries against the model; returns them.
Entries Split() {
    std::string text = Settings.ProgramsToRun;
    SplitProgramList();
    CheckFields();
    Entries entries = CurrentEntries();
    FUZZ_CHECK(entries == ExpectedSplit(text), "split of \"%.60s\" (%zu characters)", text.c_str(),
               text.size());
    return entries;
}

// Joins and checks the text against the model, and that the entries are left as they were.
std::string Join() {
    Entries before = CurrentEntries();
    JoinProgramList();
    CheckFields();
    FUZZ_CHECK(CurrentEntries() == before, "the join changed an entry");
    std::string joined = Settings.ProgramsToRun;
    FUZZ_CHECK(joined == ExpectedJoin(before), "joined \"%.60s\" (%zu characters)", joined.c_str(),
               joined.size());
    return joined;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::memset(&Settings, 0, sizeof Settings);
    std::memset(Settings.WarningText, WarningCanary, sizeof Settings.WarningText - 1);
    fuzz::Input input(data, size);
    bool entriesMode = input.byte() & 1;
    if (!entriesMode) {
        fuzz::Fill(Settings.ProgramsToRun, sizeof Settings.ProgramsToRun, input.rest());
        Split();
        std::string once = Join();
        Split();
        FUZZ_CHECK(Join() == once, "join, split and join again changed the list");
    } else {
        for (int i = 0; i < PROGRAM_COUNT; i++)
            fuzz::Fill(Settings.ProgramEntry[i], sizeof Settings.ProgramEntry[i], input.until('\0'));
        Join();
        Split();
        std::string once = Join();
        Split();
        FUZZ_CHECK(Join() == once, "join, split and join again changed the list");
    }
    return 0;
}
