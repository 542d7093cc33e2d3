// The command line: options switch settings on over the stored ones; values come from the first ten words.
#include "cmdline.h"
#include "../app/boxes.h"
#include "../app/text.h"
#include "store.h"
#include "../exit/exit.h"
#include "../exit/exittype.h"
#include "../timer/timer.h"
#include "../timer/programs.h"
#include "../extras/hotkey.h"

// A word of the line, kept as a span of the caller's text: the whole line is seen, however long.
struct Token {
    const char* start;
    int length;
};

static const int TokenSlots = 10;

static bool Contains(const char* text, int length, const char* part) {
    return FindText(text, length, part) != NULL;
}

static bool LineHas(const char* line, const char* option) {
    return Contains(line, lstrlenA(line), option);
}

static bool TokenHas(const Token& token, const char* option) {
    return token.start && Contains(token.start, token.length, option);
}

static bool IsValueSeparator(char c, char letter) {
    return c == '/' || c == ':' || c == letter;
}

// Copies the option's value from its word: the leading "/", ":" and option letters are skipped, and the
// value runs to the next of them. A value longer than the field is not taken (false), as a number cut short
// would be another number; only cut, used for the hotkey's one letter, keeps the start that fits.
static bool TakeValue(const Token& token, char letter, char* field, int capacity, bool cut = false) {
    if (!token.start)
        return true;
    int i = 0;
    while (i < token.length && IsValueSeparator(token.start[i], letter))
        i++;
    int start = i;
    while (i < token.length && !IsValueSeparator(token.start[i], letter))
        i++;
    int length = i - start;
    if (length == 0)
        return true;
    if (length > capacity - 1) {
        if (!cut)
            return false;
        length = capacity - 1;
    }
    lstrcpynA(field, token.start + start, length + 1);
    return true;
}

// Takes a seconds value into its 7-byte text field and converts it; out of range, too long for the field
// included, gives the default, while the text keeps what was typed (or, when too long, what it held).
static UINT32 TakeSeconds(const char* line, const char* option, const Token& token, char* field,
                          UINT32 fallback) {
    if (LineHas(line, option) && !TakeValue(token, option[1], field, NUMBER_SIZE))
        return fallback;
    UINT32 seconds = (UINT32)DecimalValue(field);
    return seconds == 0 || seconds > MAX_TIMER_SECONDS ? fallback : seconds;
}

static int Reject(const char* message) {
    ShowError(message);
    return 0;
}

// Exit when a program ends: the name after "/p:", to the next blank or "/", as it was typed (start-up has
// lowered the line the options are read from), and the first program running that it names.
static int FindProgramOfCommandLine(const char* text) {
    int length = lstrlenA(text);
    const char* option = FindText(text, length, "/p:");
    const char* source =
        lstrlenA(Settings.OriginalCommandLine) == length ? Settings.OriginalCommandLine : text;
    char name[MAX_PATH];
    name[0] = 0;
    if (option) {
        const char* start = source + (option - text) + 3;
        int size = 0;
        while (start[size] && start[size] != ' ' && start[size] != '/' && size < MAX_PATH - 1)
            size++;
        lstrcpynA(name, start, size + 1);
    }
    RunningProgram program;
    bool found = name[0] && FindRunningProgram(name, 0, &program);
    if (found) {
        Settings.ProgramToWaitFor = program.id;
        CopyText(Settings.WaitedProgramName, sizeof Settings.WaitedProgramName, name);
    } else if (name[0]) {
        ReportProgram("Program not running: ", name);
    } else {
        ShowError("No program chosen");
    }
    return found ? 1 : 0;
}

// The answer to "/?": the options as the README tables them. A message box wraps its text at a width of
// its own (about 45 characters in Wine), so the lines stay short and a long entry goes on indented. The
// exit types come from their table.
static const int OptionsLineLength = 46;
static const char OptionsHead[] = "Kelto95 [options]\n"
                                  "\n"
                                  "Exit type, one of:";
static const char OptionsTail[] = "\n/f:f  Force Exit: end programs not answering\n"
                                  "/f:d  A double click on the icon, not a single\n"
                                  "/f:e  Eject removable media before the exit\n"
                                  "/f:b  Block Shutdown started by other programs\n"
                                  "/f:c  Confirm Exit: ask before every exit\n"
                                  "/f:h  Hide the tray icon\n"
                                  "/h[:letter]  Use the hotkey Ctrl+Alt+letter\n"
                                  "      (X unless given)\n"
                                  "/t[:seconds]  Timed exit after 1 to 999999\n"
                                  "      seconds (30 unless given)\n"
                                  "/a[:hhmmss]  Timed exit at a time of day\n"
                                  "      (230000 unless given); not with /t\n"
                                  "/p:name  Timed exit when the program of that\n"
                                  "      file ends; not with /t or /a\n"
                                  "/w[:seconds]  With /t, /a or /p: countdown\n"
                                  "      window this many seconds before the exit\n"
                                  "      (10 unless given)\n"
                                  "/n  One-shot: exit (or wait for /t, /a or /p)\n"
                                  "      without a tray icon, then end\n"
                                  "/z  Ignore the settings stored in the registry\n"
                                  "/?  Show this list";

// The exit types' options and names, as many to a line as fit.
static void AppendExitTypeOptions(char* text) {
    int lineLength = OptionsLineLength;
    for (int i = 0; i < ExitTypeCount; i++) {
        char entry[64];
        wsprintfA(entry, "%s %s%s", ExitTypes[i].option, ExitTypes[i].helpName,
                  i + 1 < ExitTypeCount ? "," : "");
        int length = lstrlenA(entry);
        if (lineLength + 1 + length > OptionsLineLength) {
            lstrcatA(text, "\n ");
            lineLength = 1;
        }
        lstrcatA(text, " ");
        lstrcatA(text, entry);
        lineLength += 1 + length;
    }
}

static void ShowOptions() {
    static char text[sizeof OptionsHead + sizeof OptionsTail + 512];
    lstrcpyA(text, OptionsHead);
    AppendExitTypeOptions(text);
    lstrcatA(text, OptionsTail);
    MessageBoxA(NULL, text, "Kelto95", MB_OK | MB_ICONINFORMATION);
}

struct OptionEffect {
    const char* option;
    INT32* field;
    INT32 value;
};

// The words the valued options take their values from: the last of the first ten words that holds each.
struct OptionWords {
    Token at, hotkey, timer, warn;
};

static void FindOptionWords(const char* text, OptionWords* words) {
    Token tokens[TokenSlots];
    for (int i = 0; i < TokenSlots; i++) {
        tokens[i].start = NULL;
        tokens[i].length = 0;
    }
    const char* at = text;
    for (int i = 0; i < TokenSlots; i++) {
        while (*at == ' ')
            at++;
        if (!*at)
            break;
        tokens[i].start = at;
        while (*at && *at != ' ')
            at++;
        tokens[i].length = (int)(at - tokens[i].start);
    }
    Token none = {NULL, 0};
    words->at = words->hotkey = words->timer = words->warn = none;
    for (int i = 0; i < TokenSlots; i++) {
        if (TokenHas(tokens[i], "/a"))
            words->at = tokens[i];
        if (TokenHas(tokens[i], "/h"))
            words->hotkey = tokens[i];
        if (TokenHas(tokens[i], "/t"))
            words->timer = tokens[i];
        if (TokenHas(tokens[i], "/w"))
            words->warn = tokens[i];
    }
}

// The steps of the parser each return the message of a refusal, or null to go on.

static const char* CountExitTypes(const char* text) {
    int present = 0;
    for (int i = 0; i < ExitTypeCount; i++)
        if (LineHas(text, ExitTypes[i].option))
            present++;
    return present > 1 ? "Too many options specified" : NULL;
}

// The options switch settings on over the stored ones.
static void ApplyOptions(const char* text) {
    for (int i = 0; i < ExitTypeCount; i++)
        if (LineHas(text, ExitTypes[i].option))
            Settings.ExitType = ExitTypes[i].id;
    const OptionEffect effects[] = {
        {"/f:f", &Settings.ForceFlag, 1},   {"/f:d", &Settings.ClickFlag, 0},
        {"/f:e", &Settings.EjectFlag, 1},   {"/f:b", &Settings.BlockFlag, 1},
        {"/f:c", &Settings.ConfirmFlag, 1}, {"/f:h", &Settings.HideIconFlag, 1},
        {"/h", &Settings.HotkeyFlag, 1},    {"/t", &Settings.TimerFlag, 1},
        {"/a", &Settings.AtFlag, 1},        {"/w", &Settings.WarnFlag, 1},
        {"/n", &Settings.RunOnceFlag, 1},   {"/p", &Settings.ProgramEndFlag, 1},
    };
    for (unsigned i = 0; i < sizeof effects / sizeof effects[0]; i++)
        if (LineHas(text, effects[i].option))
            *effects[i].field = effects[i].value;
}

static const char* CheckTimedChoices(const char* text) {
    const char* refusal = NULL;
    if (Settings.AtFlag && Settings.TimerFlag)
        refusal = "Too many options specified";
    else if (Settings.ProgramEndFlag && (LineHas(text, "/t") || LineHas(text, "/a")))
        refusal = "Too many options specified";
    else if (Settings.ProgramEndFlag) {
        // The program's end is the timed exit of this run: a stored timeout or time of day yields to it.
        Settings.TimerFlag = 0;
        Settings.AtFlag = 0;
    }
    if (!refusal && Settings.WarnFlag && !Settings.AtFlag && !Settings.TimerFlag && !Settings.ProgramEndFlag)
        refusal = "The '/w' option can only be\nused with '/a' or '/t'";
    return refusal;
}

static void TakeHotkey(const char* text, const OptionWords& words) {
    if (!Settings.HotkeyFlag)
        return;
    if (LineHas(text, "/h"))
        TakeValue(words.hotkey, 'h', Settings.HotKey, sizeof Settings.HotKey, true);
    MakeHotkeyLetterUsable();
}

static const char* TakeTimes(const char* text, const OptionWords& words) {
    if (Settings.WarnFlag)
        Settings.WarnSeconds = TakeSeconds(text, "/w", words.warn, Settings.WarnValue, 10);
    if (!Settings.TimerFlag)
        return NULL;
    Settings.TimeoutSeconds = TakeSeconds(text, "/t", words.timer, Settings.TimerValue, 30);
    return Settings.WarnSeconds > Settings.TimeoutSeconds ? "Warning time is bigger than\ntimeout value"
                                                          : NULL;
}

// A time of day, or the program whose end is waited for, is found good here; start-up arms it once the
// main window, which owns the timers, is there. 0 after its box.
static int CheckTimedExitOfLine(const char* text, const OptionWords& words) {
    if (Settings.ProgramEndFlag)
        return FindProgramOfCommandLine(text);
    if (!Settings.AtFlag)
        return 1;
    // A time too long for its field is no time: cut, 2300000 would arm 23:00:00.
    bool whole = !LineHas(text, "/a") || TakeValue(words.at, 'a', Settings.AtValue, sizeof Settings.AtValue);
    int good = whole && TimedExitCanStart();
    if (!good)
        ReportTimerNotStarted();
    return good;
}

int ParseCommandLine(const char* text) {
    // Asked for the options, the program shows them and does nothing else: no settings read, nothing armed.
    if (LineHas(text, "/?")) {
        ShowOptions();
        return 0;
    }
    const char* refusal = CountExitTypes(text);
    OptionWords words;
    if (!refusal) {
        if (!LineHas(text, "/z"))
            LoadSettings();
        FindOptionWords(text, &words);
        ApplyOptions(text);
        refusal = CheckTimedChoices(text);
    }
    if (!refusal) {
        TakeHotkey(text, words);
        refusal = TakeTimes(text, words);
    }
    if (refusal)
        return Reject(refusal);
    RefuseForceWhereItCannotApply();
    return CheckTimedExitOfLine(text, words);
}
