// The command line: options switch settings on over the stored ones; values come from the first ten words.
#include "cmdline.h"
#include "../app/boxes.h"
#include "../app/text.h"
#include "store.h"
#include "../exit/exit.h"
#include "../exit/exittype.h"
#include "../timer/timer.h"
#include "../timer/programs.h"

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
    const char* source = text;
    if (lstrlenA(Settings.OriginalCommandLine) == length)
        source = Settings.OriginalCommandLine;
    char name[MAX_PATH];
    name[0] = 0;
    if (option) {
        const char* start = source + (option - text) + 3;
        int size = 0;
        while (start[size] && start[size] != ' ' && start[size] != '/' && size < MAX_PATH - 1)
            size++;
        lstrcpynA(name, start, size + 1);
    }
    if (!name[0])
        return Reject("No program chosen");
    RunningProgram program;
    if (!FindRunningProgram(name, 0, &program)) {
        ReportProgram("Program not running: ", name);
        return 0;
    }
    Settings.ProgramToWaitFor = program.id;
    CopyText(Settings.WaitedProgramName, sizeof Settings.WaitedProgramName, name);
    return 1;
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

int ParseCommandLine(const char* text) {
    // Asked for the options, the program shows them and does nothing else: no settings read, nothing armed.
    if (LineHas(text, "/?")) {
        ShowOptions();
        return 0;
    }

    int exitOptionsPresent = 0;
    for (int i = 0; i < ExitTypeCount; i++)
        if (LineHas(text, ExitTypes[i].option))
            exitOptionsPresent++;
    if (exitOptionsPresent > 1)
        return Reject("Too many options specified");

    if (!LineHas(text, "/z"))
        LoadSettings();

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

    Token atToken = {NULL, 0}, hotkeyToken = {NULL, 0}, timerToken = {NULL, 0}, warnToken = {NULL, 0};
    for (int i = 0; i < TokenSlots; i++) {
        if (TokenHas(tokens[i], "/a"))
            atToken = tokens[i];
        if (TokenHas(tokens[i], "/h"))
            hotkeyToken = tokens[i];
        if (TokenHas(tokens[i], "/t"))
            timerToken = tokens[i];
        if (TokenHas(tokens[i], "/w"))
            warnToken = tokens[i];
    }

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

    if (Settings.AtFlag && Settings.TimerFlag)
        return Reject("Too many options specified");
    if (Settings.ProgramEndFlag) {
        if (LineHas(text, "/t") || LineHas(text, "/a"))
            return Reject("Too many options specified");
        // The program's end is the timed exit of this run: a stored timeout or time of day yields to it.
        Settings.TimerFlag = 0;
        Settings.AtFlag = 0;
    }
    if (Settings.WarnFlag && !Settings.AtFlag && !Settings.TimerFlag && !Settings.ProgramEndFlag)
        return Reject("The '/w' option can only be\nused with '/a' or '/t'");

    if (Settings.HotkeyFlag) {
        if (LineHas(text, "/h"))
            TakeValue(hotkeyToken, 'h', Settings.HotKey, sizeof Settings.HotKey, true);
        CharUpperA(Settings.HotKey);
        if (!IsCharAlphaA(Settings.HotKey[0]))
            lstrcpyA(Settings.HotKey, "X");
    }

    if (Settings.WarnFlag)
        Settings.WarnSeconds = TakeSeconds(text, "/w", warnToken, Settings.WarnValue, 10);

    if (Settings.TimerFlag) {
        Settings.TimeoutSeconds = TakeSeconds(text, "/t", timerToken, Settings.TimerValue, 30);
        if (Settings.WarnSeconds > Settings.TimeoutSeconds)
            return Reject("Warning time is bigger than\ntimeout value");
    }

    RefuseForceWhereItCannotApply();

    // Start-up arms it once the main window, which owns the timers, is there.
    if (Settings.ProgramEndFlag)
        return FindProgramOfCommandLine(text);
    if (!Settings.AtFlag)
        return 1;
    // A time too long for its field is no time: cut, 2300000 would arm 23:00:00.
    if (LineHas(text, "/a") && !TakeValue(atToken, 'a', Settings.AtValue, sizeof Settings.AtValue)) {
        ReportTimerNotStarted();
        return 0;
    }
    // Start-up arms it once the main window, which owns the timers, is there.
    if (TimedExitCanStart())
        return 1;
    ReportTimerNotStarted();
    return 0;
}
