// The stored settings: what is read and written, in which order, with which byte counts, and what hostile
// values do.
#include "support.h"
#include "config/store.h"
#include "exit/runbefore.h"

namespace {

const std::string Key = "HKLM\\SOFTWARE\\Garvik\\Kelto95";

std::vector<sim::RegCall> CallsOf(const std::string& function) {
    std::vector<sim::RegCall> calls;
    for (const sim::RegCall& call : sim::regCalls())
        if (call.function == function)
            calls.push_back(call);
    return calls;
}

std::vector<BYTE> Bytes(const std::string& text, size_t count) {
    std::vector<BYTE> bytes(count, 0);
    std::memcpy(bytes.data(), text.data(), std::min(text.size(), count));
    return bytes;
}

class StoredSettings : public ProgramTest {
  protected:
    StoredSettings() { StartupValues(); }
};

TEST_F(StoredSettings, SaveWritesEveryValueInOrderWithFixedByteCounts) {
    Settings.WarningTextChanged = 1;
    lstrcpyA(Settings.WarningText, "Bye");
    EXPECT_EQ(SaveSettings(), 1);
    const struct {
        const char* name;
        const char* text;
        DWORD size;
    } expected[] = {
        {"ClickFlag", "1", 7},       {"ConfirmFlag", "0", 7},     {"TimerFlag", "0", 7},
        {"TimerValue", "30", 7},     {"AtFlag", "0", 7},          {"AtValue", "230000", 7},
        {"WarnFlag", "0", 7},        {"WarnValue", "10", 7},      {"HotkeyFlag", "0", 7},
        {"HotKey", "X", 7},          {"ExitType", "10", 7},       {"RunBeforeExit", "0", 7},
        {"ProgramsToRun", "", 1024}, {"WarningText", "Bye", 100}, {"ForceFlag", "0", 7},
        {"EjectFlag", "0", 7},       {"BlockFlag", "0", 7},
    };
    std::vector<sim::RegCall> sets = CallsOf("RegSetValueExA");
    ASSERT_EQ(sets.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < sets.size(); i++) {
        EXPECT_EQ(sets[i].value, expected[i].name) << "write " << i + 1;
        EXPECT_EQ(sets[i].size, expected[i].size) << expected[i].name;
        EXPECT_EQ(sets[i].type, (DWORD)REG_SZ) << expected[i].name;
        std::optional<sim::RegValue> value =
            sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, expected[i].name);
        ASSERT_TRUE(value) << expected[i].name;
        EXPECT_EQ(value->bytes, Bytes(expected[i].text, expected[i].size))
            << expected[i].name << ": zero filler";
    }
    std::vector<sim::RegCall> creates = CallsOf("RegCreateKeyExA");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].key, Key);
    EXPECT_EQ(creates[0].access, (DWORD)KEY_WRITE);
    EXPECT_EQ(sim::openKeyCount(), 0);
}

TEST_F(StoredSettings, WarningTextIsWrittenOnlyWhenEditedAndFillerIsZero) {
    lstrcpyA(Settings.WarningText, "not edited");
    sim::regSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "WarningText", "kept");
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "WarningText")->text(), "kept");
    // Leftovers of a longer list must not be stored behind the terminator.
    std::memset(Settings.ProgramsToRun, 'z', sizeof Settings.ProgramsToRun - 1);
    lstrcpyA(Settings.ProgramEntry[0], "a.exe");
    Settings.ProgramEntriesSet = 1;
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "ProgramsToRun")->bytes, Bytes("a.exe;", 1024));
}

TEST_F(StoredSettings, CancelledTimerStoresTimeOfDayAndWarningOff) {
    Settings.TimerCancelled = 1;
    Settings.AtFlag = 1;
    Settings.WarnFlag = 1;
    Settings.TimerFlag = 1;
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "AtFlag")->text(), "0");
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "WarnFlag")->text(), "0");
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "TimerFlag")->text(), "1");
    EXPECT_EQ(Settings.AtFlag, 1) << "memory keeps the flag";
}

TEST_F(StoredSettings, SaveReportsAFailedWriteButMakesTheOthers) {
    sim::regCreateKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    sim::regFail(sim::RegOp::Set, HKEY_LOCAL_MACHINE, SETTINGS_KEY, "AtValue");
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(CallsOf("RegSetValueExA").size(), 16u);
    EXPECT_TRUE(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "BlockFlag"));
    sim::regFail(sim::RegOp::Create, HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    size_t before = CallsOf("RegSetValueExA").size();
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(CallsOf("RegSetValueExA").size(), before) << "nothing written without the key";
}

TEST_F(StoredSettings, LoadReadsInOrderWithRoomForEachValue) {
    sim::regCreateKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
    LoadSettings();
    const struct {
        const char* name;
        DWORD size;
    } expected[] = {{"ForceFlag", 7},    {"ClickFlag", 7}, {"ConfirmFlag", 7},   {"EjectFlag", 7},
                    {"ExitType", 7},     {"TimerFlag", 7}, {"TimerValue", 7},    {"AtFlag", 7},
                    {"AtValue", 7},      {"WarnFlag", 7},  {"WarnValue", 7},     {"BlockFlag", 7},
                    {"HotkeyFlag", 7},   {"HotKey", 7},    {"RunBeforeExit", 7}, {"ProgramsToRun", 1024},
                    {"WarningText", 100}};
    std::vector<sim::RegCall> queries = CallsOf("RegQueryValueExA");
    ASSERT_EQ(queries.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < queries.size(); i++) {
        EXPECT_EQ(queries[i].value, expected[i].name) << "query " << i + 1;
        EXPECT_EQ(queries[i].size, expected[i].size) << expected[i].name;
    }
    EXPECT_EQ(CallsOf("RegOpenKeyExA").at(0).access, (DWORD)KEY_QUERY_VALUE);
    EXPECT_EQ(sim::openKeyCount(), 0);
}

TEST_F(StoredSettings, SaveThenLoadRoundTrips) {
    Settings.ExitType = IDM_EXITTODOS;
    Settings.ConfirmFlag = 1;
    Settings.RunBeforeExit = 1;
    lstrcpyA(Settings.ProgramEntry[1], "a;b");
    Settings.ProgramEntriesSet = 1;
    lstrcpyA(Settings.TimerValue, "77");
    lstrcpyA(Settings.HotKey, "Q");
    EXPECT_EQ(SaveSettings(), 1);
    std::memset(&Settings, 0, sizeof Settings);
    StartupValues();
    LoadSettings();
    EXPECT_EQ(Settings.ExitType, IDM_EXITTODOS);
    EXPECT_EQ(Settings.ConfirmFlag, 1);
    EXPECT_STREQ(Settings.TimerValue, "77");
    EXPECT_STREQ(Settings.HotKey, "Q");
    EXPECT_STREQ(Settings.ProgramEntry[0], "a") << "a ';' inside an entry separates two entries";
    EXPECT_STREQ(Settings.ProgramEntry[1], "b");
}

TEST_F(StoredSettings, ProgramListIsSplitOnlyWhenRunBeforeExitIsStoredOn) {
    Store("ProgramsToRun", "a.exe;b.doc;");
    Store("RunBeforeExit", "0");
    LoadSettings();
    EXPECT_STREQ(Settings.ProgramsToRun, "a.exe;b.doc;");
    EXPECT_STREQ(Settings.ProgramEntry[0], "");
    // The entries never held the list: a save writes it back as it was loaded, not the empty entries joined.
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(sim::regValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "ProgramsToRun")->bytes,
              Bytes("a.exe;b.doc;", 1024));
    Store("RunBeforeExit", "1");
    LoadSettings();
    EXPECT_STREQ(Settings.ProgramEntry[0], "a.exe");
    EXPECT_STREQ(Settings.ProgramEntry[1], "b.doc");
}

TEST_F(StoredSettings, DeleteRemovesTheKeyOnceAndKeepsTheParent) {
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(DeleteSettings(), 1);
    EXPECT_FALSE(sim::regKeyExists(HKEY_LOCAL_MACHINE, SETTINGS_KEY));
    EXPECT_TRUE(sim::regKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Garvik"));
    EXPECT_EQ(DeleteSettings(), 0);
    EXPECT_EQ(Settings.ExitType, IDM_SHUTDOWN) << "memory is not touched";
    EXPECT_EQ(sim::openKeyCount(), 0);
}

TEST_F(StoredSettings, DeleteWithoutParentFails) {
    EXPECT_EQ(DeleteSettings(), 0);
}

struct HostileValue {
    const char* name;
    DWORD type;
    std::vector<BYTE> bytes;
    const char* field; // which text field to check, or null for ExitType
    const char* expected;
    INT32 exitType;
};

std::vector<BYTE> Raw(const std::string& text) {
    return std::vector<BYTE>(text.begin(), text.end());
}

// Values another tool could leave: missing terminators, too long, other types. Every field stays terminated
// within its capacity and neighbours are untouched.
TEST_F(StoredSettings, HostileValues) {
    const HostileValue cases[] = {
        {"TimerValue", REG_SZ, Raw("123456"), "TimerValue", "123456", 10},
        {"TimerValue", REG_SZ, Raw("1234567"), "TimerValue", "30", 10},
        {"TimerValue", REG_BINARY, Raw("1000000"), "TimerValue", "30", 10},
        {"AtValue", REG_SZ, Raw("1234567"), "AtValue", "230000", 10},
        {"AtValue", REG_SZ, Raw(std::string("123456\0", 7)), "AtValue", "123456", 10},
        {"TimerValue", REG_SZ, Raw("12345678"), "TimerValue", "30", 10},
        {"TimerValue", REG_SZ, Raw(std::string("12\0zzzz", 7)), "TimerValue", "12", 10},
        {"TimerValue", REG_BINARY, {}, "TimerValue", "", 10},
        {"AtValue", REG_SZ, Raw(std::string(50, '9')), "AtValue", "230000", 10},
        {"HotKey", REG_SZ, Raw(std::string("qwe\0", 4)), "HotKey", "q", 10},
        {"HotKey", REG_SZ, Raw("qwertyu"), "HotKey", "X", 10},
        {"ExitType", REG_SZ, Raw(std::string("abc\0", 4)), nullptr, nullptr, 10},
        {"ExitType", REG_DWORD, {20, 0, 0, 0}, nullptr, nullptr, 10},
        {"ExitType", REG_SZ, Raw(std::string(" +50\0", 5)), nullptr, nullptr, 50},
        {"ExitType", REG_SZ, Raw(std::string("-9999\0", 6)), nullptr, nullptr, 10},
        {"ExitType", REG_SZ, Raw(std::string("0\0", 2)), nullptr, nullptr, 10},
        {"ExitType", REG_SZ, Raw(std::string("130\0", 4)), nullptr, nullptr, 10},
        {"ExitType", REG_SZ, Raw(std::string("170\0", 4)), nullptr, nullptr, 10},
        {"ExitType", REG_SZ, Raw(std::string("220\0", 4)), nullptr, nullptr, 10},
        {"ExitType", REG_SZ, Raw(std::string("95\0", 3)), nullptr, nullptr, 10},
        {"ExitType", REG_BINARY, Raw("0000090"), nullptr, nullptr, 10},
        {"WarningText", REG_SZ, Raw(std::string(99, 'w') + std::string(1, '\0')), "WarningText", nullptr, 10},
        {"WarningText", REG_SZ, Raw(std::string(100, 'w')), "WarningText", "", 10},
        {"WarningText", REG_SZ, Raw(std::string(500, 'w') + std::string(1, '\0')), "WarningText", "", 10},
        {"ProgramsToRun", REG_SZ, Raw(std::string(1024, 'p')), "ProgramsToRun", "", 10},
        {"ProgramsToRun", REG_SZ, Raw(std::string(3000, 'p') + std::string(1, '\0')), "ProgramsToRun", "",
         10},
        {"ProgramsToRun", REG_SZ, Raw("x.bat;"), "ProgramsToRun", "x.bat;", 10},
    };
    for (const HostileValue& c : cases) {
        sim::reset();
        std::memset(&Settings, 0, sizeof Settings);
        StartupValues();
        sim::regSetValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, c.name, c.type, c.bytes);
        LoadSettings();
        std::string what = std::string(c.name) + " of " + std::to_string(c.bytes.size()) + " bytes";
        EXPECT_EQ(Settings.ExitType, c.exitType) << what;
        EXPECT_TRUE(Terminated(Settings.TimerValue, sizeof Settings.TimerValue)) << what;
        EXPECT_TRUE(Terminated(Settings.AtValue, sizeof Settings.AtValue)) << what;
        EXPECT_TRUE(Terminated(Settings.WarnValue, sizeof Settings.WarnValue)) << what;
        EXPECT_TRUE(Terminated(Settings.HotKey, sizeof Settings.HotKey)) << what;
        EXPECT_TRUE(Terminated(Settings.WarningText, sizeof Settings.WarningText)) << what;
        EXPECT_TRUE(Terminated(Settings.ProgramsToRun, sizeof Settings.ProgramsToRun)) << what;
        EXPECT_EQ(Settings.NumberText[0], 0) << what;
        if (!c.field)
            continue;
        std::string field = c.field;
        const char* actual = field == "TimerValue"    ? Settings.TimerValue
                             : field == "AtValue"     ? Settings.AtValue
                             : field == "HotKey"      ? Settings.HotKey
                             : field == "WarningText" ? Settings.WarningText
                                                      : Settings.ProgramsToRun;
        if (c.expected) {
            EXPECT_STREQ(actual, c.expected) << what;
        } else {
            EXPECT_EQ(std::strlen(actual), c.bytes.size() - 1) << what;
        }
        if (field != "TimerValue") {
            EXPECT_STREQ(Settings.TimerValue, "30") << what;
        }
    }
}

} // namespace
