// Hostile settings from every place they come from: command lines, values another tool left in the registry,
// system.ini shell lines and stored program lists. Each row says what it must give: the program's exact
// message where it has one, the documented value otherwise. Every row also checks that nothing was lost or
// written beyond a field: every text field ends within its capacity, and the fields the row does not name
// keep their start-up values.
#include "support.h"
#include "app/main_internal.h"
#include "config/cmdline.h"
#include "config/store.h"
#include "exit/exit.h"
#include "exit/runbefore.h"

#include <functional>
#include <map>

namespace {

using Strings = std::vector<std::string>;
using ::testing::IsEmpty;

const std::string TooMany = "Too many options specified";
const std::string WarnAlone = "The '/w' option can only be\nused with '/a' or '/t'";
const std::string WarnBigger = "Warning time is bigger than\ntimeout value";
const std::string NotStarted = "Timer not started (Invalid time ?)";
const std::string Forced = "Screensaver cannot be forced";
const std::string WarnLonger = "Warning time is bigger than timeout";

// A stored value exactly as another tool could leave it, or a refused query or key.
struct Raw {
    enum Kind { Value, QueryRefused, KeyRefused } kind = Value;
    std::string name;
    DWORD type = REG_SZ;
    std::string bytes;
};
Raw Sz(const std::string& name, const std::string& text) { // as the program writes it: with the terminator
    return {Raw::Value, name, REG_SZ, text + std::string(1, '\0')};
}
Raw Bytes(const std::string& name, DWORD type, const std::string& bytes) {
    return {Raw::Value, name, type, bytes};
}
Raw Refused(const std::string& name) {
    return {Raw::QueryRefused, name, 0, ""};
}
Raw KeyRefused() {
    return {Raw::KeyRefused, "", 0, ""};
}

void StoreRaw(const std::vector<Raw>& values) {
    for (const Raw& value : values) {
        if (value.kind == Raw::QueryRefused)
            sim::regFail(sim::RegOp::Query, HKEY_LOCAL_MACHINE, SETTINGS_KEY, value.name);
        else if (value.kind == Raw::KeyRefused)
            sim::regFail(sim::RegOp::Open, HKEY_LOCAL_MACHINE, SETTINGS_KEY);
        else
            sim::regSetValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, value.name, value.type,
                             std::vector<BYTE>(value.bytes.begin(), value.bytes.end()));
    }
}

// The fields a row can name, as text.
std::map<std::string, std::function<std::string()>> FieldReaders() {
    auto number = [](const auto& field) { return [&field] { return std::to_string(field); }; };
    auto text = [](const char* field) { return [field] { return std::string(field); }; };
    return {
        {"ExitType", number(Settings.ExitType)},
        {"ForceFlag", number(Settings.ForceFlag)},
        {"ClickFlag", number(Settings.ClickFlag)},
        {"ConfirmFlag", number(Settings.ConfirmFlag)},
        {"EjectFlag", number(Settings.EjectFlag)},
        {"HotkeyFlag", number(Settings.HotkeyFlag)},
        {"TimerFlag", number(Settings.TimerFlag)},
        {"AtFlag", number(Settings.AtFlag)},
        {"WarnFlag", number(Settings.WarnFlag)},
        {"RunBeforeExit", number(Settings.RunBeforeExit)},
        {"TimeoutSeconds", number(Settings.TimeoutSeconds)},
        {"WarnSeconds", number(Settings.WarnSeconds)},
        {"AtHour", number(Settings.AtHour)},
        {"AtMinute", number(Settings.AtMinute)},
        {"ExitDelayMs", number(Settings.ExitDelayMs)},
        {"Armed", [] { return std::string(Settings.TimerActive ? "1" : "0"); }},
        {"HotKey", text(Settings.HotKey)},
        {"TimerValue", text(Settings.TimerValue)},
        {"AtValue", text(Settings.AtValue)},
        {"WarnValue", text(Settings.WarnValue)},
        {"WarningText", text(Settings.WarningText)},
        {"ProgramsToRun", text(Settings.ProgramsToRun)},
        {"ProgramEntry1", text(Settings.ProgramEntry[0])},
        {"ProgramEntry2", text(Settings.ProgramEntry[1])},
        {"ProgramEntry3", text(Settings.ProgramEntry[2])},
        {"ProgramEntry4", text(Settings.ProgramEntry[3])},
    };
}

// The text fields with their start-up values; a row that does not name one must leave it so.
const std::map<std::string, std::string> StartTexts = {
    {"HotKey", "X"},       {"TimerValue", "30"},  {"AtValue", "230000"}, {"WarnValue", "10"},
    {"WarningText", ""},   {"ProgramsToRun", ""}, {"ProgramEntry1", ""}, {"ProgramEntry2", ""},
    {"ProgramEntry3", ""}, {"ProgramEntry4", ""},
};

void CheckAllTerminated(const std::string& what) {
    EXPECT_TRUE(Terminated(Settings.HotKey, sizeof Settings.HotKey)) << what;
    EXPECT_TRUE(Terminated(Settings.TimerValue, sizeof Settings.TimerValue)) << what;
    EXPECT_TRUE(Terminated(Settings.AtValue, sizeof Settings.AtValue)) << what;
    EXPECT_TRUE(Terminated(Settings.WarnValue, sizeof Settings.WarnValue)) << what;
    EXPECT_TRUE(Terminated(Settings.NumberText, sizeof Settings.NumberText)) << what;
    EXPECT_TRUE(Terminated(Settings.WarningText, sizeof Settings.WarningText)) << what;
    EXPECT_TRUE(Terminated(Settings.SavedWarningText, sizeof Settings.SavedWarningText)) << what;
    for (const auto& entry : Settings.ProgramEntry)
        EXPECT_TRUE(Terminated(entry, sizeof entry)) << what;
    EXPECT_TRUE(Terminated(Settings.ProgramsToRun, sizeof Settings.ProgramsToRun)) << what;
}

// Compares the named fields ("Name=value") and checks that the text fields not named kept their start-up
// values.
void CheckFields(const Strings& expected, const std::string& what) {
    CheckAllTerminated(what);
    std::map<std::string, std::function<std::string()>> readers = FieldReaders();
    std::map<std::string, std::string> unnamed = StartTexts;
    for (const std::string& pair : expected) {
        size_t equals = pair.find('=');
        std::string name = pair.substr(0, equals), value = pair.substr(equals + 1);
        ASSERT_TRUE(readers.count(name)) << "no field " << name;
        std::string actual = readers[name]();
        // "*": the row leaves the field's text to the parser; it is only checked to end within its field.
        if (value != "*") {
            EXPECT_EQ(actual, value) << what << ": " << name << " (" << actual.size() << " characters)";
        }
        unnamed.erase(name);
    }
    for (const auto& [name, value] : unnamed)
        EXPECT_EQ(readers[name](), value) << what << ": " << name << " is not the row's to change";
    EXPECT_STREQ(Settings.NumberText, "") << what;
    EXPECT_STREQ(Settings.SavedWarningText, "") << what;
}

struct SettingsRow {
    const char* what;
    const char* line; // null: the stored settings are only loaded
    std::vector<Raw> stored;
    Strings boxes;
    int result;
    Strings fields;
};

class Hostile : public ProgramTest {
  protected:
    void RunRows(const std::vector<SettingsRow>& rows) {
        for (const SettingsRow& row : rows) {
            sim::reset();
            std::memset(&Settings, 0, sizeof Settings);
            StartupValues();
            StoreRaw(row.stored);
            for (const std::string& box : row.boxes)
                sim::expectBox(box, IDOK);
            std::string what = std::string(row.what) + (row.line ? " [" + std::string(row.line) + "]" : "");
            // As start-up goes on: the command line, then the timed exit it arms.
            if (row.line)
                EXPECT_EQ(ParseCommandLine(row.line) && ArmTimedExitOfCommandLine(), row.result) << what;
            else
                LoadSettings();
            EXPECT_EQ(BoxTexts(), row.boxes) << what;
            sim::discardScripts();
            for (const sim::MessageBoxCall& box : sim::boxes())
                EXPECT_EQ(box.style, (UINT)ErrorBoxStyle) << what;
            EXPECT_THAT(sim::requests(), IsEmpty()) << what;
            EXPECT_EQ(sim::openKeyCount(), 0) << what;
            CheckFields(row.fields, what);
        }
    }
};

TEST_F(Hostile, CommandLines) {
    RunRows({
        {"a value longer than its field is out of range, its text left as it was",
         "/t:+0000042",
         {},
         {},
         1,
         {"TimerFlag=1", "TimerValue=30", "TimeoutSeconds=30"}},
        {"a tab is part of the value and skipped by the conversion",
         "/t:\t5",
         {},
         {},
         1,
         {"TimerFlag=1", "TimerValue=\t5", "TimeoutSeconds=5"}},
        {"a space ends the word: the value is a word of its own",
         "/t: 5",
         {},
         {},
         1,
         {"TimerFlag=1", "TimeoutSeconds=30"}},
        {"two options in one word are both taken, the first with its value",
         "/t:60/w:5",
         {},
         {},
         1,
         {"TimerFlag=1", "WarnFlag=1", "TimerValue=60", "TimeoutSeconds=60", "WarnValue=*"}},
        {"a negative warning counts as too large",
         "/w:-1 /t:60",
         {},
         {},
         1,
         {"TimerFlag=1", "WarnFlag=1", "TimerValue=60", "TimeoutSeconds=60", "WarnValue=-1",
          "WarnSeconds=10"}},
        {"a seven-digit warning is out of range, not cut to a long one",
         "/w:1000000 /t:60",
         {},
         {},
         1,
         {"TimerFlag=1", "WarnFlag=1", "TimerValue=60", "TimeoutSeconds=60", "WarnSeconds=10"}},
        {"a negative time of day is no time, whatever hour it would make",
         "/a:-10000",
         {},
         {NotStarted},
         0,
         {"AtFlag=1", "AtValue=-10000", "AtHour=429495", "AtMinute=72", "Armed=0"}},
        {"a negative time of day of one second",
         "/a:-1",
         {},
         {NotStarted},
         0,
         {"AtFlag=1", "AtValue=-1", "AtHour=429496", "AtMinute=72", "Armed=0"}},
        {"four digits are minutes and seconds of hour 0",
         "/a:2400",
         {},
         {},
         1,
         {"AtFlag=1", "AtValue=2400", "AtHour=0", "AtMinute=24", "Armed=1", "ExitDelayMs=44640000"}},
        {"second 60 of hour 24",
         "/a:245960",
         {},
         {NotStarted},
         0,
         {"AtFlag=1", "AtValue=245960", "AtHour=0", "AtMinute=59", "Armed=0"}},
        {"a seven-digit time is no time, not cut to six",
         "/a:1234567",
         {},
         {NotStarted},
         0,
         {"AtFlag=1", "Armed=0"}},
        {"a seven-digit time that cut would be 23:00:00",
         "/a:2300000",
         {},
         {NotStarted},
         0,
         {"AtFlag=1", "Armed=0"}},
        {"a time value in the eleventh word is never read",
         "/a a b c d e f g h i /a:120005",
         {},
         {},
         1,
         {"AtFlag=1", "Armed=1", "ExitDelayMs=39600000"}},
        {"a warning as long as the delay to the time of day",
         "/w:5 /a:120005",
         {},
         {},
         1,
         {"AtFlag=1", "WarnFlag=1", "AtValue=120005", "WarnValue=5", "WarnSeconds=5", "Armed=1",
          "ExitDelayMs=5000"}},
        {"a warning one second longer than the delay",
         "/w:6 /a:120005",
         {},
         {WarnLonger, NotStarted},
         0,
         {"AtFlag=1", "WarnFlag=1", "AtValue=120005", "WarnValue=6", "WarnSeconds=6", "Armed=0",
          "ExitDelayMs=5000"}},
        {"a warning when the time of day is now: the due exit must not fire under the message",
         "/w:1 /a:120000",
         {},
         {WarnLonger, NotStarted},
         0,
         {"AtFlag=1", "WarnFlag=1", "AtValue=120000", "WarnValue=1", "WarnSeconds=1", "AtHour=12", "Armed=0",
          "ExitDelayMs=0"}},
        {"doubled separators before the hotkey", "/h::q", {}, {}, 1, {"HotkeyFlag=1", "HotKey=Q"}},
        {"a hotkey value cut to its first character, a digit",
         "/h:5q",
         {},
         {},
         1,
         {"HotkeyFlag=1", "HotKey=X"}},
        {"a second exit type hidden in a word", "/e:s /e:s/x:h", {}, {TooMany}, 0, {}},
        {"a time of day and a timeout together",
         "/w /a /t",
         {},
         {TooMany},
         0,
         {"TimerFlag=1", "AtFlag=1", "WarnFlag=1"}},
    });
}

TEST_F(Hostile, CommandLinesOverStoredSettings) {
    RunRows({
        {"a warning stored alone", "", {Sz("WarnFlag", "1")}, {WarnAlone}, 0, {"WarnFlag=1"}},
        {"a stored warning longer than the stored timeout",
         "",
         {Sz("TimerFlag", "1"), Sz("TimerValue", "5"), Sz("WarnFlag", "1"), Sz("WarnValue", "99")},
         {WarnBigger},
         0,
         {"TimerFlag=1", "WarnFlag=1", "TimerValue=5", "WarnValue=99", "TimeoutSeconds=5", "WarnSeconds=99"}},
        {"a stored forced screensaver",
         "",
         {Sz("ExitType", "80"), Sz("ForceFlag", "1")},
         {Forced},
         1,
         {"ExitType=80", "ForceFlag=0"}},
        {"force on the line over a stored screensaver",
         "/f:f",
         {Sz("ExitType", "80")},
         {Forced},
         1,
         {"ExitType=80", "ForceFlag=0"}},
        {"a stored empty hotkey letter",
         "",
         {Sz("HotkeyFlag", "1"), Sz("HotKey", "")},
         {},
         1,
         {"HotkeyFlag=1", "HotKey=X"}},
        {"a warning stored as a number is no text",
         "/w",
         {Sz("TimerFlag", "1"), Bytes("WarnValue", REG_DWORD, std::string("\x05\0\0\0", 4))},
         {},
         1,
         {"TimerFlag=1", "WarnFlag=1", "WarnValue=\x05", "TimeoutSeconds=30", "WarnSeconds=10"}},
        {"an empty stored time of day is the coming midnight",
         "",
         {Sz("AtFlag", "1"), Sz("AtValue", "")},
         {},
         1,
         {"AtFlag=1", "AtValue=", "AtHour=0", "Armed=1", "ExitDelayMs=43200000"}},
        {"a stored time without terminator",
         "",
         {Sz("AtFlag", "1"), Bytes("AtValue", REG_BINARY, "120030")},
         {},
         1,
         {"AtFlag=1", "AtValue=120030", "AtHour=12", "Armed=1", "ExitDelayMs=30000"}},
        {"/z skips an invalid stored time", "/z", {Sz("AtFlag", "1"), Sz("AtValue", "999999")}, {}, 1, {}},
        {"a stored exit type that is no exit type is not taken",
         "",
         {Sz("ExitType", "7")},
         {},
         1,
         {"ExitType=10"}},
        {"a stored command id is no exit type",
         "",
         {Sz("ExitType", "130"), Sz("TimerFlag", "1"), Sz("TimerValue", "3")},
         {},
         1,
         {"ExitType=10", "TimerFlag=1", "TimerValue=3", "TimeoutSeconds=3"}},
        {"an exit type on the line over a non-number",
         "/e:b",
         {Sz("ExitType", "abc")},
         {},
         1,
         {"ExitType=20"}},
        {"a negative stored flag counts as on",
         "",
         {Sz("TimerFlag", "-1"), Sz("WarnFlag", "1"), Sz("WarnValue", "30")},
         {},
         1,
         {"TimerFlag=-1", "WarnFlag=1", "WarnValue=30", "TimeoutSeconds=30", "WarnSeconds=30"}},
    });
}

TEST_F(Hostile, StoredValues) {
    const std::string full(1023, 'p');
    RunRows({
        {"a short value without terminator",
         nullptr,
         {Bytes("WarnValue", REG_BINARY, "99")},
         {},
         0,
         {"WarnValue=99"}},
        {"a seven-digit number without terminator is too long, not cut",
         nullptr,
         {Bytes("ConfirmFlag", REG_SZ, "0000001")},
         {},
         0,
         {"ConfirmFlag=0"}},
        {"a seven-digit timeout without terminator is too long, not cut to 100000",
         nullptr,
         {Bytes("TimerValue", REG_BINARY, "1000000")},
         {},
         0,
         {}},
        {"a seven-digit warning without terminator is too long",
         nullptr,
         {Bytes("WarnValue", REG_SZ, "0000005")},
         {},
         0,
         {}},
        {"a number too long for the query is left alone",
         nullptr,
         {Sz("ForceFlag", "12345678")},
         {},
         0,
         {"ForceFlag=0"}},
        {"a flag that is no number reads as off", nullptr, {Sz("ClickFlag", "abc")}, {}, 0, {"ClickFlag=0"}},
        {"a flag stored as a DWORD is no decimal text",
         nullptr,
         {Bytes("ClickFlag", REG_DWORD, std::string("\x01\0\0\0", 4))},
         {},
         0,
         {"ClickFlag=0"}},
        {"an exit type without terminator",
         nullptr,
         {Bytes("ExitType", REG_BINARY, "30")},
         {},
         0,
         {"ExitType=30"}},
        {"a seven-character time is refused, not cut to the field",
         nullptr,
         {Bytes("AtValue", REG_SZ, "2359599")},
         {},
         0,
         {}},
        {"a seven-digit time that cut would arm 12:34:56",
         "",
         {Sz("AtFlag", "1"), Bytes("AtValue", REG_BINARY, "1234567")},
         {},
         1,
         {"AtFlag=1", "AtHour=23", "Armed=1", "ExitDelayMs=39600000"}},
        {"a hotkey letter without terminator",
         nullptr,
         {Bytes("HotKey", REG_BINARY, "z")},
         {},
         0,
         {"HotKey=z"}},
        {"a warning text ends at its first terminator",
         nullptr,
         {Bytes("WarningText", REG_SZ, std::string("ab\0cd", 5))},
         {},
         0,
         {"WarningText=ab"}},
        {"a list of 1023 characters fits whole",
         nullptr,
         {Sz("ProgramsToRun", full)},
         {},
         0,
         {"ProgramsToRun=" + full}},
        {"a list without terminator is split",
         nullptr,
         {Sz("RunBeforeExit", "1"), Bytes("ProgramsToRun", REG_BINARY, "a.exe;b.ex")},
         {},
         0,
         {"RunBeforeExit=1", "ProgramsToRun=a.exe;b.ex", "ProgramEntry1=a.exe", "ProgramEntry2=b.ex"}},
        {"a token too long for an entry keeps its place empty",
         nullptr,
         {Sz("RunBeforeExit", "1"), Sz("ProgramsToRun", std::string(300, 'x') + ";b.exe;")},
         {},
         0,
         {"RunBeforeExit=1", "ProgramsToRun=" + std::string(300, 'x') + ";b.exe;", "ProgramEntry2=b.exe"}},
        {"separators only, split by a negative flag",
         nullptr,
         {Sz("RunBeforeExit", "-1"), Sz("ProgramsToRun", ";;;;")},
         {},
         0,
         {"RunBeforeExit=-1", "ProgramsToRun=;;;;"}},
        {"every query refused",
         nullptr,
         {Sz("ExitType", "20"), Sz("TimerValue", "45"), Sz("WarningText", "x"), Refused("*")},
         {},
         0,
         {"ExitType=10", "ClickFlag=1"}},
        {"one query refused, the others read",
         nullptr,
         {Sz("ExitType", "20"), Sz("TimerValue", "45"), Refused("ExitType")},
         {},
         0,
         {"ExitType=10", "TimerValue=45"}},
        {"the key cannot be opened",
         nullptr,
         {Sz("ExitType", "20"), Sz("HotKey", "Q"), KeyRefused()},
         {},
         0,
         {"ExitType=10"}},
    });
}

struct ShellRow {
    const char* what;
    bool hasLine;
    std::string line;
    bool shellWindow;
    bool force;
    Strings requests;
};

TEST_F(Hostile, ShellLines) {
    const ShellRow rows[] = {
        {"an empty shell line is started as it is", true, "", false, false, {"WinExec(\"\",5)"}},
        {"259 characters fit",
         true,
         std::string(259, 't'),
         false,
         false,
         {"WinExec(\"" + std::string(259, 't') + "\",5)"}},
        {"the 260th character is cut",
         true,
         std::string(260, 't'),
         false,
         false,
         {"WinExec(\"" + std::string(259, 't') + "\",5)"}},
        {"the line ends at a terminator inside it",
         true,
         std::string("a.exe\0b.exe", 11),
         false,
         false,
         {"WinExec(\"a.exe\",5)"}},
        {"blanks around the command are the shell's to judge",
         true,
         "  explorer.exe  ",
         false,
         false,
         {"WinExec(\"  explorer.exe  \",5)"}},
        {"no shell line at all", false, "", false, false, {"WinExec(\"explorer.exe\",5)"}},
        {"forcing changes nothing for the shell",
         true,
         "progman.exe",
         true,
         true,
         {"PostMessageA(<Progman>,18,0,0)", "WinExec(\"progman.exe\",5)"}},
    };
    for (const ShellRow& row : rows) {
        sim::reset();
        std::memset(&Settings, 0, sizeof Settings);
        StartupValues();
        sim::setProfileString("system.ini", "boot", "shell.old", "old.exe");
        if (row.hasLine)
            sim::setProfileString("system.ini", "boot", "shell", row.line);
        if (row.shellWindow)
            sim::addForeignWindow("Progman", "Program Manager", 50);
        Settings.ExitType = IDM_RESTARTSHELL;
        Settings.ForceFlag = row.force ? 1 : 0;
        ExecuteExit();
        EXPECT_EQ(sim::requestStrings(), row.requests) << row.what;
        EXPECT_THAT(sim::boxes(), IsEmpty()) << row.what;
        CheckFields({"ExitType=90", std::string("ForceFlag=") + (row.force ? "1" : "0")}, row.what);
    }
}

struct ListRow {
    const char* what;
    bool fromStore; // true: split the stored text; false: join the entries
    std::string stored;
    Strings entries;
    std::string joined; // the text after a join
};

TEST_F(Hostile, ProgramLists) {
    const std::string w(259, 'w'), x(259, 'x'), y(259, 'y'), z(259, 'z');
    const ListRow rows[] = {
        {"empty places between entries close up",
         true,
         "a.exe;;;b.exe",
         {"a.exe", "b.exe", "", ""},
         "a.exe;b.exe;"},
        {"a single separator", true, ";", {"", "", "", ""}, ""},
        {"a lone token too long for an entry", true, std::string(300, 'x'), {"", "", "", ""}, ""},
        {"a too long token between two",
         true,
         "a;" + std::string(300, 'x') + ";c",
         {"a", "", "c", ""},
         "a;c;"},
        {"a long fifth token is dropped",
         true,
         "a;b;c;d;" + std::string(500, 'e'),
         {"a", "b", "c", "d"},
         "a;b;c;d;"},
        {"blanks and tabs are entries", true, "\t; ;", {"\t", " ", "", ""}, "\t; ;"},
        {"four full entries: the fourth no longer fits",
         false,
         "",
         {w, x, y, z},
         w + ";" + x + ";" + y + ";"},
        {"one full entry in the last place", false, "", {"", "", "", z}, z + ";"},
        {"separators inside entries are written unchanged", false, "", {" ", "", ";", ""}, " ;;;"},
        {"bytes above 127 are kept", false, "", {"\xff\xfe.exe", "", "", ""}, "\xff\xfe.exe;"},
    };
    for (const ListRow& row : rows) {
        std::memset(&Settings, 0, sizeof Settings);
        std::memset(Settings.WarningText, 'W', sizeof Settings.WarningText - 1);
        if (row.fromStore) {
            lstrcpyA(Settings.ProgramsToRun, row.stored.c_str());
            SplitProgramList();
            for (int i = 0; i < PROGRAM_COUNT; i++)
                EXPECT_EQ(std::string(Settings.ProgramEntry[i]), row.entries[i])
                    << row.what << ": entry " << i + 1;
        } else {
            for (int i = 0; i < PROGRAM_COUNT; i++)
                lstrcpyA(Settings.ProgramEntry[i], row.entries[i].c_str());
        }
        JoinProgramList();
        EXPECT_EQ(std::string(Settings.ProgramsToRun), row.joined) << row.what;
        for (int i = 0; i < PROGRAM_COUNT; i++)
            EXPECT_EQ(std::string(Settings.ProgramEntry[i]), row.entries[i])
                << row.what << ": the join kept entry " << i + 1;
        EXPECT_EQ(std::string(Settings.WarningText), std::string(sizeof Settings.WarningText - 1, 'W'))
            << row.what;
        CheckAllTerminated(row.what);
        // Read back and joined again, a list read from the store stays as it is; one joined from entries
        // holding separators settles after one more round.
        std::string joined = Settings.ProgramsToRun;
        SplitProgramList();
        JoinProgramList();
        std::string again = Settings.ProgramsToRun;
        if (row.fromStore) {
            EXPECT_EQ(again, joined) << row.what;
        }
        SplitProgramList();
        JoinProgramList();
        EXPECT_EQ(std::string(Settings.ProgramsToRun), again) << row.what;
    }
}

} // namespace
