// Start-up against a hostile machine: a fuzzed command line over a fuzzed set of stored values, through the
// start-up values and the parser, which loads the stored settings.
//
// Input: hour, minute and second of the local time, one byte each (the hour byte's top bit: lower-case the
// line first, as start-up does); the command line up to the first line feed; then records of stored values.
// A record is a selector byte, a length byte (255: the next two bytes give the length, low byte first) and
// that many data bytes, stored exactly as given, terminator or not. The selector picks the value (selector %
// 17, in reading order) and, by its top three bits, the type: 0-3 REG_SZ, 4 REG_BINARY, 5 REG_DWORD,
// 6 REG_MULTI_SZ; 7 makes every query of that value fail.
#include "fuzz_support.h"
#include "config/cmdline.h"

#include <algorithm>
#include <optional>

namespace {

const std::string SettingsKey = SETTINGS_KEY;
const int ValueCount = 17;
const DWORD RegMultiSz = 7; // REG_MULTI_SZ, which the program never uses
const char* const ValueNames[ValueCount] = {
    "ForceFlag",  "ClickFlag", "ConfirmFlag",   "EjectFlag",     "ExitType",   "TimerFlag",
    "TimerValue", "AtFlag",    "AtValue",       "WarnFlag",      "WarnValue",  "BlockFlag",
    "HotkeyFlag", "HotKey",    "RunBeforeExit", "ProgramsToRun", "WarningText"};
enum {
    ForceFlag,
    ClickFlag,
    ConfirmFlag,
    EjectFlag,
    ExitType,
    TimerFlag,
    TimerValue,
    AtFlag,
    AtValue,
    WarnFlag,
    WarnValue,
    BlockFlag,
    HotkeyFlag,
    HotKey,
    RunBeforeExit,
    ProgramsToRun,
    WarningText
};

struct Stored {
    bool present = false;
    bool fails = false;
    DWORD type = 0;
    std::vector<BYTE> bytes;
};

// The text a query with room for `room` bytes yields, or nothing when the value is missing, refused or too
// long for the room.
std::optional<std::string> Readable(const Stored& stored, size_t room) {
    if (!stored.present || stored.fails || stored.bytes.size() > room)
        return std::nullopt;
    return std::string(stored.bytes.begin(), std::find(stored.bytes.begin(), stored.bytes.end(), 0));
}

// A short value's text: refused when its query fails or when it is longer than the six characters a field
// holds, terminator or not.
std::optional<std::string> ReadableShort(const Stored& stored) {
    std::optional<std::string> text = Readable(stored, 7);
    if (text && text->size() > 6)
        return std::nullopt;
    return text;
}

// A long value is taken only when it fits its field with its terminator; otherwise the field stays empty.
std::string ExpectedLongText(const Stored& stored, size_t capacity) {
    std::optional<std::string> text = Readable(stored, capacity);
    return text && text->size() < capacity ? *text : std::string();
}

bool Has(const std::string& line, const char* option) {
    return line.find(option) != std::string::npos;
}

// A flag that only an option can switch on (to `optionValue`) over the stored or start-up value.
INT32 ExpectedFlag(bool loaded, const Stored& stored, INT32 startValue, bool optionGiven, INT32 optionValue) {
    if (optionGiven)
        return optionValue;
    if (loaded)
        if (std::optional<std::string> text = ReadableShort(stored))
            return fuzz::ExpectedDecimal(text->c_str());
    return startValue;
}

bool IsExitRequest(const std::string& kind) {
    static const char* const kinds[] = {"ExitWindowsEx",          "WinExec",          "SetSystemPowerState",
                                        "BroadcastSystemMessage", "CreateProcessA",   "ShellExecuteExA",
                                        "ShellExecuteA",          "TerminateProcess", "DeviceIoControl"};
    for (const char* known : kinds)
        if (kind == known)
            return true;
    return false;
}

bool IsKnownMessage(const std::string& text) {
    static const char* const messages[] = {"Too many options specified",
                                           "The '/w' option can only be\nused with '/a' or '/t'",
                                           "Warning time is bigger than\ntimeout value",
                                           "Timer not started (Invalid time ?)",
                                           "Screensaver cannot be forced",
                                           "Warning time is bigger than timeout",
                                           "No program chosen"};
    for (const char* known : messages)
        if (text == known)
            return true;
    // "/p:" names a program the simulated machine does not run.
    return text.rfind("Program not running: ", 0) == 0;
}

} // namespace

// One input, on a fresh machine.
static int RunInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    uint8_t hour = input.byte(), minute = input.byte(), second = input.byte();
    sim::setLocalTime(hour % 24, minute % 60, second % 60);
    std::string line = input.until('\n');
    line = line.c_str(); // the program sees the text up to its first NUL
    if (hour & 0x80)
        CharLowerA(&line[0]);

    Stored stored[ValueCount];
    int setOrder[ValueCount], setCount = 0; // the values in the order their first record stored them
    while (input.left()) {
        uint8_t selector = input.byte();
        size_t length = input.byte();
        if (length == 255) {
            length = input.byte();
            length |= (size_t)input.byte() << 8;
        }
        int value = selector % ValueCount, kind = selector >> 5;
        if (kind == 7) {
            input.skip(length);
            stored[value].fails = true;
            continue;
        }
        if (!stored[value].present)
            setOrder[setCount++] = value;
        stored[value].present = true;
        stored[value].type = kind <= 3 ? REG_SZ : kind == 4 ? REG_BINARY : kind == 5 ? REG_DWORD : RegMultiSz;
        input.bytes(length, stored[value].bytes);
    }
    // A later record of a value replaces an earlier one in place, so storing each value once with its last
    // record, in the order of the first, leaves the same registry as storing every record in turn; an input
    // may hold thousands of records.
    for (int i = 0; i < setCount; i++) {
        const Stored& last = stored[setOrder[i]];
        sim::regSetValue(HKEY_LOCAL_MACHINE, SettingsKey, ValueNames[setOrder[i]], last.type, last.bytes);
    }
    for (int value = 0; value < ValueCount; value++)
        if (stored[value].fails)
            sim::regFail(sim::RegOp::Query, HKEY_LOCAL_MACHINE, SettingsKey, ValueNames[value]);

    // Every message is answered; the parser shows at most three.
    for (int i = 0; i < 4; i++)
        sim::expectBox(IDOK);
    SetStartupValues(sim::instance());
    int result = ParseCommandLine(line.c_str());
    sim::discardScripts();

    // The model of what the parser must have read.
    static const char* const exitOptions[] = {"/e:s", "/e:b", "/e:r", "/e:d", "/e:l",
                                              "/e:p", "/x:h", "/x:s", "/x:r"};
    int exitOptionCount = 0;
    for (const char* option : exitOptions)
        exitOptionCount += Has(line, option) ? 1 : 0;
    bool tooMany = exitOptionCount > 1;
    bool loaded = !tooMany && !Has(line, "/z");

    FUZZ_CHECK(result == 0 || result == 1, "result %d", result);
    if (Has(line, "/?")) {
        // The list of options and nothing else: not a setting read, changed or armed.
        FUZZ_CHECK(result == 0 && sim::boxes().size() == 1 &&
                   sim::boxes()[0].caption == std::string("Kelto95") &&
                   sim::boxes()[0].style == (UINT)(MB_OK | MB_ICONINFORMATION));
        FUZZ_CHECK(sim::regCalls().empty(), "the registry was read for \"/?\"");
        FUZZ_CHECK(Settings.ExitType == IDM_SHUTDOWN && Settings.TimerActive == 0 && Settings.ForceFlag == 0);
        return 0;
    }
    fuzz::CheckTextFieldsTerminated();
    FUZZ_CHECK(std::strlen(Settings.HotKey) <= 1, "HotKey \"%s\"", Settings.HotKey);
    FUZZ_CHECK(Settings.NumberText[0] == 0 && Settings.SavedWarningText[0] == 0);

    // Only an exit type is ever taken: a stored one of the nine when no option names another.
    std::optional<std::string> storedExitType = loaded ? ReadableShort(stored[ExitType]) : std::nullopt;
    auto isExitType = [](INT32 v) { return v >= IDM_SHUTDOWN && v <= IDM_RESTARTSHELL && v % 10 == 0; };
    FUZZ_CHECK(isExitType(Settings.ExitType), "ExitType %d", Settings.ExitType);
    bool exitOptionGiven = false;
    for (const char* option : {"/e:s", "/e:b", "/e:r", "/e:d", "/e:l", "/e:p", "/x:h", "/x:s", "/x:r"})
        exitOptionGiven = exitOptionGiven || Has(line, option);
    if (!exitOptionGiven && result == 1) {
        INT32 storedType = storedExitType ? fuzz::ExpectedDecimal(storedExitType->c_str()) : 0;
        FUZZ_CHECK(Settings.ExitType == (isExitType(storedType) ? storedType : IDM_SHUTDOWN),
                   "ExitType %d, stored %d", Settings.ExitType, storedType);
    }

    for (const sim::Request& request : sim::requests())
        FUZZ_CHECK(!IsExitRequest(request.kind), "the parser made the request %s", request.str().c_str());
    FUZZ_CHECK(sim::openKeyCount() == 0, "%d registry keys left open", sim::openKeyCount());

    const std::vector<sim::MessageBoxCall>& boxes = sim::boxes();
    for (const sim::MessageBoxCall& box : boxes) {
        FUZZ_CHECK(IsKnownMessage(box.text), "message \"%s\"", box.text.c_str());
        FUZZ_CHECK(box.style == (UINT)ErrorBoxStyle && !box.caption && !box.owner, "box \"%s\"",
                   box.text.c_str());
    }
    if (tooMany) {
        FUZZ_CHECK(result == 0 && boxes.size() == 1 && boxes[0].text == "Too many options specified");
        FUZZ_CHECK(sim::regCalls().empty(), "the registry was read before two exit types were refused");
        FUZZ_CHECK(Settings.ExitType == IDM_SHUTDOWN && Settings.ConfirmFlag == 0);
        return 0;
    }
    if (result == 0)
        FUZZ_CHECK(!boxes.empty(), "refused without a message");

    // Nothing stored is lost, and a value too long for its field leaves the field alone.
    FUZZ_CHECK(Settings.WarningText == ExpectedLongText(loaded ? stored[WarningText] : Stored(), 100),
               "WarningText \"%s\"", Settings.WarningText);
    if (!Settings.RunBeforeExit)
        FUZZ_CHECK(Settings.ProgramsToRun ==
                       ExpectedLongText(loaded ? stored[ProgramsToRun] : Stored(), 1024),
                   "ProgramsToRun of %zu characters", std::strlen(Settings.ProgramsToRun));
    FUZZ_CHECK(Settings.ConfirmFlag == ExpectedFlag(loaded, stored[ConfirmFlag], 0, Has(line, "/f:c"), 1),
               "ConfirmFlag %d", Settings.ConfirmFlag);
    FUZZ_CHECK(Settings.EjectFlag == ExpectedFlag(loaded, stored[EjectFlag], 0, Has(line, "/f:e"), 1),
               "EjectFlag %d", Settings.EjectFlag);
    FUZZ_CHECK(Settings.BlockFlag == ExpectedFlag(loaded, stored[BlockFlag], 0, Has(line, "/f:b"), 1),
               "BlockFlag %d", Settings.BlockFlag);
    FUZZ_CHECK(Settings.ClickFlag == ExpectedFlag(loaded, stored[ClickFlag], 1, Has(line, "/f:d"), 0),
               "ClickFlag %d", Settings.ClickFlag);
    FUZZ_CHECK(Settings.RunBeforeExit == ExpectedFlag(loaded, stored[RunBeforeExit], 0, false, 0),
               "RunBeforeExit %d", Settings.RunBeforeExit);

    if (result == 1) {
        FUZZ_CHECK(!(Settings.AtFlag && Settings.TimerFlag));
        if (Settings.TimerFlag)
            FUZZ_CHECK(Settings.TimeoutSeconds >= 1 && Settings.TimeoutSeconds <= 999999, "timeout %u",
                       Settings.TimeoutSeconds);
        if (Settings.WarnFlag) {
            FUZZ_CHECK(Settings.AtFlag || Settings.TimerFlag);
            FUZZ_CHECK(Settings.WarnSeconds >= 1 && Settings.WarnSeconds <= 999999, "warning %u",
                       Settings.WarnSeconds);
        }
        if (Settings.TimerFlag && Settings.WarnFlag)
            FUZZ_CHECK(Settings.WarnSeconds <= Settings.TimeoutSeconds);
        // A time of day is found good here and armed by start-up, once the window that owns the timers is
        // there.
        if (Settings.AtFlag)
            FUZZ_CHECK(Settings.ExitDelayMs >= 0 && Settings.ExitDelayMs < 86400000, "delay %d",
                       Settings.ExitDelayMs);
        FUZZ_CHECK(!Settings.TimerActive, "the parser armed");
        if (Settings.HotkeyFlag)
            FUZZ_CHECK(Settings.HotKey[0] != 0, "empty hotkey letter");
        if (Settings.ExitType == IDM_SCREENSAVER)
            FUZZ_CHECK(!Settings.ForceFlag, "the screensaver left forced");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The machine is made fresh after an input rather than before it, so that the input frees as many blocks
    // as it allocates: libFuzzer runs an input that allocates more than it frees a second time, and at times
    // scans the whole heap for leaks after it. A machine left as the input made it did so for every input
    // that left more behind than the one before it. The first input, with none before it, has one made first.
    static const bool firstInput = (fuzz::FreshMachine(), true);
    (void)firstInput;
    int result = RunInput(data, size);
    fuzz::FreshMachine();
    return result;
}
