// The stored settings: seventeen string values under HKEY_LOCAL_MACHINE.
#include "store.h"
#include "../app/text.h"
#include "../exit/exittype.h"
#include "../exit/runbefore.h"

// Short values are written as 7 bytes whatever their length: the text, its terminator, zero filler.
static const DWORD ShortValueSize = 7;

// A short stored value: a number (field) or a text (text, capacity).
struct ShortValue {
    const char* name;
    INT32* number;
    char* text;
    int capacity;
    bool (*accepts)(INT32 number); // null: any number is taken
};

// Reads a short value into scratch and terminates it there: stored data need not carry a terminator. Seven
// characters without one are too long for a field of six: refused as a longer value is, never cut, for a
// number cut short is another number.
static bool QueryShort(HKEY key, const char* name, char* text) {
    DWORD size = ShortValueSize;
    if (RegQueryValueExA(key, name, NULL, NULL, (LPBYTE)text, &size) != ERROR_SUCCESS)
        return false;
    text[size < ShortValueSize ? size : ShortValueSize] = 0;
    return lstrlenA(text) < (int)ShortValueSize;
}

// Queries a long value into scratch and copies it only when it fits whole: a failed or over-long
// query leaves the field as it was.
static void QueryLong(HKEY key, const char* name, char* field, DWORD capacity) {
    char scratch[PROGRAMS_TO_RUN_SIZE + 1];
    DWORD size = capacity;
    if (RegQueryValueExA(key, name, NULL, NULL, (LPBYTE)scratch, &size) != ERROR_SUCCESS)
        return;
    scratch[size < capacity ? size : capacity] = 0;
    if ((DWORD)lstrlenA(scratch) >= capacity)
        return;
    lstrcpyA(field, scratch);
}

void LoadSettings() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    // In reading order.
    const ShortValue values[] = {
        {"ForceFlag", &Settings.ForceFlag, NULL, 0, NULL},
        {"ClickFlag", &Settings.ClickFlag, NULL, 0, NULL},
        {"ConfirmFlag", &Settings.ConfirmFlag, NULL, 0, NULL},
        {"EjectFlag", &Settings.EjectFlag, NULL, 0, NULL},
        // Anything but an exit type (a command id such as 130 Exit Program) would be dispatched as the exit.
        {"ExitType", &Settings.ExitType, NULL, 0, IsExitType},
        {"TimerFlag", &Settings.TimerFlag, NULL, 0, NULL},
        {"TimerValue", NULL, Settings.TimerValue, NUMBER_SIZE, NULL},
        {"AtFlag", &Settings.AtFlag, NULL, 0, NULL},
        {"AtValue", NULL, Settings.AtValue, NUMBER_SIZE, NULL},
        {"WarnFlag", &Settings.WarnFlag, NULL, 0, NULL},
        {"WarnValue", NULL, Settings.WarnValue, NUMBER_SIZE, NULL},
        {"BlockFlag", &Settings.BlockFlag, NULL, 0, NULL},
        {"HotkeyFlag", &Settings.HotkeyFlag, NULL, 0, NULL},
        {"HotKey", NULL, Settings.HotKey, HOTKEY_SIZE, NULL},
        {"RunBeforeExit", &Settings.RunBeforeExit, NULL, 0, NULL},
    };
    for (unsigned i = 0; i < sizeof values / sizeof values[0]; i++) {
        char value[ShortValueSize + 1];
        if (!QueryShort(key, values[i].name, value))
            continue;
        INT32 number = DecimalValue(value);
        if (!values[i].number)
            CopyText(values[i].text, values[i].capacity, value); // a longer stored hotkey keeps its first
        else if (!values[i].accepts || values[i].accepts(number))
            *values[i].number = number;
    }
    QueryLong(key, "ProgramsToRun", Settings.ProgramsToRun, PROGRAMS_TO_RUN_SIZE);
    QueryLong(key, "WarningText", Settings.WarningText, WARNING_TEXT_SIZE);
    RegCloseKey(key);
    if (Settings.RunBeforeExit) {
        SplitProgramList();
        Settings.ProgramEntriesSet = 1;
    }
}

static bool WriteText(HKEY key, const char* name, const char* text, DWORD size) {
    // The filler after the terminator is zero, never leftovers of an earlier longer text.
    BYTE data[PROGRAMS_TO_RUN_SIZE];
    ZeroFill(data, size);
    lstrcpynA((char*)data, text, (int)size);
    return RegSetValueExA(key, name, 0, REG_SZ, data, size) == ERROR_SUCCESS;
}

static bool WriteNumber(HKEY key, const char* name, INT32 value) {
    char text[16];
    wsprintfA(text, "%d", value);
    return WriteText(key, name, text, ShortValueSize);
}

int SaveSettings() {
    HKEY key;
    DWORD disposition;
    char keyClass[] = "REG_SZ";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        NULL, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    bool ok = true;
    ok &= WriteNumber(key, "ClickFlag", Settings.ClickFlag);
    ok &= WriteNumber(key, "ConfirmFlag", Settings.ConfirmFlag);
    // Exit when a program ends is never stored (the process is gone at the next start): the stored timer
    // choice stays as it was, and its values keep their meaning.
    bool timerChoice = !Settings.ProgramEndFlag;
    if (timerChoice)
        ok &= WriteNumber(key, "TimerFlag", Settings.TimerFlag);
    ok &= WriteText(key, "TimerValue", Settings.TimerValue, ShortValueSize);
    // A timer the user cancelled by a click is not armed again at the next start.
    if (timerChoice)
        ok &= WriteNumber(key, "AtFlag", Settings.TimerCancelled ? 0 : Settings.AtFlag);
    ok &= WriteText(key, "AtValue", Settings.AtValue, ShortValueSize);
    if (timerChoice)
        ok &= WriteNumber(key, "WarnFlag", Settings.TimerCancelled ? 0 : Settings.WarnFlag);
    ok &= WriteText(key, "WarnValue", Settings.WarnValue, ShortValueSize);
    ok &= WriteNumber(key, "HotkeyFlag", Settings.HotkeyFlag);
    ok &= WriteText(key, "HotKey", Settings.HotKey, ShortValueSize);
    ok &= WriteNumber(key, "ExitType", Settings.ExitType);
    ok &= WriteNumber(key, "RunBeforeExit", Settings.RunBeforeExit);
    // A list stored while Run before Exit was off was never split: it goes back as it was loaded.
    if (Settings.ProgramEntriesSet)
        JoinProgramList();
    ok &= WriteText(key, "ProgramsToRun", Settings.ProgramsToRun, PROGRAMS_TO_RUN_SIZE);
    if (Settings.WarningTextChanged)
        ok &= WriteText(key, "WarningText", Settings.WarningText, WARNING_TEXT_SIZE);
    ok &= WriteNumber(key, "ForceFlag", Settings.ForceFlag);
    ok &= WriteNumber(key, "EjectFlag", Settings.EjectFlag);
    ok &= WriteNumber(key, "BlockFlag", Settings.BlockFlag);
    RegCloseKey(key);
    return ok ? 1 : 0;
}

int DeleteSettings() {
    HKEY parent;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Garvik", 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS)
        return 0;
    int result = RegDeleteKeyA(parent, "Kelto95") == ERROR_SUCCESS ? 1 : 0;
    RegCloseKey(parent);
    return result;
}
