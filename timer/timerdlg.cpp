// The "Timed Exit Options" dialog and the "Enter warning window text" dialog.
#include "timerdlg_internal.h"
#include "../app/busy.h"
#include "../app/boxes.h"
#include "../app/text.h"
#include "timer.h"
#include "programs.h"

static INT_PTR CALLBACK WarningTextDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

static HWND Dialog() {
    return Settings.TimedExitDialogWindow;
}

static void Enable(int id, BOOL enable) {
    EnableWindow(GetDlgItem(Dialog(), id), enable);
}

static UINT32 Checked(int id) {
    return IsDlgButtonChecked(Dialog(), id) == BST_CHECKED ? 1 : 0;
}

// Formats a converted entry into NumberText. A negative entry shows as itself, not as ten digits of its
// unsigned form, and nothing ever runs past the 7-byte field.
static void FormatNumber(UINT32 value) {
    char text[16];
    if ((INT32)value < 0)
        wsprintfA(text, "%d", (INT32)value);
    else
        wsprintfA(text, "%u", value);
    CopyText(Settings.NumberText, sizeof Settings.NumberText, text);
}

void ShowTimeoutValue() {
    Settings.TimeoutSeconds = (UINT32)DecimalValue(Settings.TimerValue);
    FormatNumber(Settings.TimeoutSeconds);
    SetDlgItemTextA(Dialog(), IDC_TIMEOUTVALUE, Settings.NumberText);
    SetDlgItemTextA(Dialog(), IDC_ATVALUE, "");
}

void ShowAtValue() {
    ParseAtTime();
    char text[40];
    wsprintfA(text, "%02u%02u%02u", Settings.AtHour, Settings.AtMinute, Settings.AtSecond);
    CopyText(Settings.NumberText, sizeof Settings.NumberText, text);
    SetDlgItemTextA(Dialog(), IDC_TIMEOUTVALUE, "");
    SetDlgItemTextA(Dialog(), IDC_ATVALUE, Settings.NumberText);
}

void ShowWarnValue() {
    Settings.WarnSeconds = (UINT32)DecimalValue(Settings.WarnValue);
    FormatNumber(Settings.WarnSeconds);
    SetDlgItemTextA(Dialog(), IDC_WARNVALUE, Settings.NumberText);
}

static void ClearTimeEdits() {
    SetDlgItemTextA(Dialog(), IDC_TIMEOUTVALUE, "");
    SetDlgItemTextA(Dialog(), IDC_ATVALUE, "");
    SetDlgItemTextA(Dialog(), IDC_WARNVALUE, "");
}

static int ReportInvalidTime() {
    ShowError("Invalid time");
    return 0;
}

// Reads a number edit into its 7-byte field. A longer text (set by another program: typing stops at six) is
// refused, not cut: 2300000 cut to 230000 would be another time.
static bool ReadNumber(int id, char* field) {
    char text[NUMBER_SIZE + 1];
    GetDlgItemTextA(Dialog(), id, text, sizeof text);
    if (lstrlenA(text) >= NUMBER_SIZE)
        return false;
    lstrcpyA(field, text);
    return true;
}

struct ProgramListing {
    HWND list;
    DWORD chosen;
};

// "DEFRAG.EXE - Disk Defragmenter": the file name, and the title of a window of the program where it has one.
static bool ListProgram(const RunningProgram& program, void* context) {
    ProgramListing* listing = (ProgramListing*)context;
    char title[128];
    ProgramWindowTitle(program.id, title, sizeof title);
    char entry[MAX_PATH + 3 + sizeof title];
    lstrcpyA(entry, program.name);
    if (title[0]) {
        lstrcatA(entry, " - ");
        lstrcatA(entry, title);
    }
    LRESULT index = SendMessageA(listing->list, CB_ADDSTRING, 0, (LPARAM)entry);
    SendMessageA(listing->list, CB_SETITEMDATA, (WPARAM)index, (LPARAM)program.id);
    if (program.id == listing->chosen)
        SendMessageA(listing->list, CB_SETCURSEL, (WPARAM)index, 0);
    return true;
}

// Reads the running programs into the list, when the dialog opens and each time the list drops down; the
// program chosen stays chosen while it runs.
static void ReadProgramList(DWORD chosen) {
    ProgramListing listing = {GetDlgItem(Dialog(), IDC_PROGRAMLIST), chosen};
    SendMessageA(listing.list, CB_RESETCONTENT, 0, 0);
    ForEachRunningProgram(ListProgram, &listing);
}

static DWORD ChosenProgram() {
    HWND list = GetDlgItem(Dialog(), IDC_PROGRAMLIST);
    LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? 0 : (DWORD)SendMessageA(list, CB_GETITEMDATA, (WPARAM)index, 0);
}

static void InitTimedExitDialog(HWND) {
    HWND dialog = Dialog();
    // The edits take what their fields hold, so that what was typed is what is read.
    static const int numberEdits[] = {IDC_TIMEOUTVALUE, IDC_ATVALUE, IDC_WARNVALUE};
    for (unsigned i = 0; i < sizeof numberEdits / sizeof numberEdits[0]; i++)
        SendMessageA(GetDlgItem(dialog, numberEdits[i]), EM_LIMITTEXT, NUMBER_SIZE - 1, 0);
    CheckDlgButton(dialog, IDC_TIMEOUT, CheckState(Settings.TimerFlag));
    CheckDlgButton(dialog, IDC_ATTIME, CheckState(Settings.AtFlag));
    CheckDlgButton(dialog, IDC_WARN, CheckState(Settings.WarnFlag));
    CheckDlgButton(dialog, IDC_PROGRAMEND, CheckState(Settings.ProgramEndFlag));
    ReadProgramList(Settings.ProgramToWaitFor);
    Settings.NoTimedExitFlag = !Settings.TimerFlag && !Settings.AtFlag && !Settings.ProgramEndFlag;
    CheckDlgButton(dialog, IDC_NOTIMEDEXIT, CheckState(Settings.NoTimedExitFlag));
    if (Settings.NoTimedExitFlag) {
        Settings.WarnFlag = 0;
        CheckDlgButton(dialog, IDC_WARN, BST_UNCHECKED);
        Enable(IDC_WARN, FALSE);
        Enable(IDC_EDITWARNINGTEXT, FALSE);
    }
    if (Settings.TimerFlag)
        ShowTimeoutValue();
    if (Settings.AtFlag)
        ShowAtValue();
    if (Settings.WarnFlag)
        ShowWarnValue();
    if (Settings.NoTimedExitFlag)
        ClearTimeEdits();
}

// What an OK writes into the settings before it knows whether it is accepted.
struct ChoiceField {
    void* field;
    unsigned size;
};
static constexpr ChoiceField ChoiceFields[] = {
    {&Settings.TimerFlag, sizeof Settings.TimerFlag},
    {&Settings.AtFlag, sizeof Settings.AtFlag},
    {&Settings.WarnFlag, sizeof Settings.WarnFlag},
    {&Settings.NoTimedExitFlag, sizeof Settings.NoTimedExitFlag},
    {Settings.TimerValue, sizeof Settings.TimerValue},
    {Settings.AtValue, sizeof Settings.AtValue},
    {Settings.WarnValue, sizeof Settings.WarnValue},
    {&Settings.TimeoutSeconds, sizeof Settings.TimeoutSeconds},
    {&Settings.WarnSeconds, sizeof Settings.WarnSeconds},
    {&Settings.AtHour, sizeof Settings.AtHour},
    {&Settings.AtMinute, sizeof Settings.AtMinute},
    {&Settings.AtSecond, sizeof Settings.AtSecond},
    {&Settings.ExitDelayMs, sizeof Settings.ExitDelayMs},
    {&Settings.ProgramEndFlag, sizeof Settings.ProgramEndFlag},
    {&Settings.ProgramToWaitFor, sizeof Settings.ProgramToWaitFor},
    {Settings.WaitedProgramName, sizeof Settings.WaitedProgramName},
};

static constexpr unsigned ChoiceSize() {
    unsigned size = 0;
    for (const ChoiceField& choiceField : ChoiceFields)
        size += choiceField.size;
    return size;
}

struct TimedExitChoice {
    BYTE bytes[ChoiceSize()];
};

// Copies those fields into choice, or with back from choice into the settings again.
static void CopyChoice(TimedExitChoice& choice, bool back) {
    BYTE* kept = choice.bytes;
    for (const ChoiceField& choiceField : ChoiceFields) {
        BYTE* field = (BYTE*)choiceField.field;
        for (unsigned i = 0; i < choiceField.size; i++, kept++) {
            if (back)
                field[i] = *kept;
            else
                *kept = field[i];
        }
    }
}

// A refused OK cancels what it armed on the way and leaves the settings as it found them, before its box:
// what it refused is never kept for a click under the box, a later click or a save.
static int RestoreChoice(TimedExitChoice& before) {
    CancelTimedExit();
    CopyChoice(before, true);
    return 0;
}

static int RefuseChoice(TimedExitChoice& before) {
    RestoreChoice(before);
    return ReportInvalidTime();
}

// Exit when a program ends: the program chosen in the list, armed for at once. The dialog stays open, the
// settings as they were, when none is chosen or it cannot be waited for.
static int ApplyProgramChoice(TimedExitChoice& before) {
    HWND list = GetDlgItem(Dialog(), IDC_PROGRAMLIST);
    LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    char entry[MAX_PATH + 140];
    bool chosen =
        index != CB_ERR && SendMessageA(list, CB_GETLBTEXTLEN, (WPARAM)index, 0) < (LRESULT)sizeof entry;
    int armed = 0;
    if (chosen) {
        SendMessageA(list, CB_GETLBTEXT, (WPARAM)index, (LPARAM)entry);
        // The entry's file name, before the window title: for the messages until the program is found again.
        for (char* at = entry; *at; at++)
            if (at[0] == ' ' && at[1] == '-' && at[2] == ' ')
                *at = 0;
        Settings.ProgramToWaitFor = (DWORD)SendMessageA(list, CB_GETITEMDATA, (WPARAM)index, 0);
        CopyText(Settings.WaitedProgramName, sizeof Settings.WaitedProgramName, entry);
        Settings.TimerFlag = 0;
        Settings.AtFlag = 0;
        armed = StartWaitingForProgram();
    }
    if (!armed)
        RestoreChoice(before);
    if (!chosen)
        ShowError("No program chosen");
    return armed;
}

// The OK's steps each take their part of the dialog into the settings and return 1, or refuse: the
// settings put back as the OK found them, the box shown, and 0.

static bool InRange(UINT32 seconds) {
    return seconds >= 1 && seconds <= MAX_TIMER_SECONDS;
}

static int TakeWarning(TimedExitChoice& before) {
    bool read = !Settings.WarnFlag || ReadNumber(IDC_WARNVALUE, Settings.WarnValue);
    if (Settings.WarnFlag)
        Settings.WarnSeconds = (UINT32)DecimalValue(Settings.WarnValue);
    return read && (!Settings.WarnFlag || InRange(Settings.WarnSeconds)) ? 1 : RefuseChoice(before);
}

static int TakeTimeout(TimedExitChoice& before) {
    bool taken = ReadNumber(IDC_TIMEOUTVALUE, Settings.TimerValue);
    Settings.TimeoutSeconds = (UINT32)DecimalValue(Settings.TimerValue);
    taken = taken && InRange(Settings.TimeoutSeconds);
    // A timeout wins over a time of day.
    if (taken && Settings.AtFlag)
        CancelTimedExit();
    if (taken)
        Settings.AtFlag = 0;
    return taken ? 1 : RefuseChoice(before);
}

// A time of day is armed by its OK.
static int TakeTimeOfDay(TimedExitChoice& before) {
    bool taken = ReadNumber(IDC_ATVALUE, Settings.AtValue) && ParseAtTime();
    if (taken) {
        Settings.TimerFlag = 0;
        StartTimedExit();
    }
    return taken ? 1 : RefuseChoice(before);
}

static int CheckWarningFits(TimedExitChoice& before) {
    bool longer = Settings.WarnFlag &&
                  ((Settings.TimerFlag && Settings.WarnSeconds > Settings.TimeoutSeconds) ||
                   (Settings.AtFlag && Settings.WarnSeconds > (UINT32)Settings.ExitDelayMs / 1000));
    return longer ? RefuseChoice(before) : 1;
}

static int TakeChoice(TimedExitChoice& before) {
    Settings.TimerFlag = (INT32)Checked(IDC_TIMEOUT);
    Settings.AtFlag = (INT32)Checked(IDC_ATTIME);
    Settings.ProgramEndFlag = (INT32)Checked(IDC_PROGRAMEND);
    Settings.WarnFlag = (INT32)Checked(IDC_WARN);
    int taken = TakeWarning(before) && (!Settings.ProgramEndFlag || ApplyProgramChoice(before)) &&
                (!Settings.TimerFlag || TakeTimeout(before)) && (!Settings.AtFlag || TakeTimeOfDay(before)) &&
                CheckWarningFits(before);
    // Chosen anew after a click cancelled a timed exit: a save stores this choice, countdown included.
    if (taken)
        Settings.TimerCancelled = 0;
    return taken;
}

static int ApplyTimedExitDialog() {
    // A time of day or a program's end is armed by this OK; while an exit is on its way nothing may be armed,
    // so the OK is not taken at all and the dialog stays as it is, rather than closing as if it had armed.
    bool refusedNow = !Settings.TimerActive && (Checked(IDC_ATTIME) || Checked(IDC_PROGRAMEND)) &&
                      !Checked(IDC_TIMEOUT) && ArmingRefused();
    int accepted = 0;
    if (!refusedNow) {
        TimedExitChoice before;
        CopyChoice(before, false);
        Settings.NoTimedExitFlag = (INT32)Checked(IDC_NOTIMEDEXIT);
        // With a timed exit armed underneath, only "No timed exit" acts: it cancels that one.
        accepted = Settings.TimerActive || TakeChoice(before);
        if (accepted && Settings.NoTimedExitFlag)
            CancelTimedExit();
    }
    return accepted;
}

static int TimedExitStep(HWND dialog, int command) {
    switch (command) {
    case IDOK: return ApplyTimedExitDialog();
    case IDC_EDITWARNINGTEXT:
        DialogBoxParamA(Settings.Instance, MAKEINTRESOURCEA(IDD_WARNINGTEXT), dialog, WarningTextDlgProc, 0);
        Settings.WarningTextDialogWindow = NULL;
        return 0;
    }
    return 1;
}

// A choice of when to exit enables its own field and the countdown's, and leaves the other choices' off.
static void EnableChoice(int field) {
    static const int fields[] = {IDC_TIMEOUTVALUE, IDC_ATVALUE, IDC_PROGRAMLIST};
    for (unsigned i = 0; i < sizeof fields / sizeof fields[0]; i++)
        Enable(fields[i], fields[i] == field);
    Enable(IDC_WARNVALUE, TRUE);
    Enable(IDC_WARN, TRUE);
}

static bool IsTimedExitStep(int command) {
    return command == IDC_EDITWARNINGTEXT;
}

// The choices enable their own fields; the list of programs is read again each time it drops down.
static void TimedExitCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDC_TIMEOUT:
        ShowTimeoutValue();
        EnableChoice(IDC_TIMEOUTVALUE);
        break;
    case IDC_ATTIME:
        ShowAtValue();
        EnableChoice(IDC_ATVALUE);
        break;
    case IDC_PROGRAMEND:
        SetDlgItemTextA(dialog, IDC_TIMEOUTVALUE, "");
        SetDlgItemTextA(dialog, IDC_ATVALUE, "");
        EnableChoice(IDC_PROGRAMLIST);
        break;
    case IDC_PROGRAMLIST:
        if (HIWORD(wParam) == CBN_DROPDOWN)
            ReadProgramList(ChosenProgram());
        break;
    case IDC_WARN:
        if (Checked(IDC_WARN)) {
            ShowWarnValue();
            Enable(IDC_WARNVALUE, TRUE);
            Enable(IDC_EDITWARNINGTEXT, TRUE);
        } else {
            SetDlgItemTextA(dialog, IDC_WARNVALUE, "");
            Enable(IDC_WARNVALUE, FALSE);
            Enable(IDC_EDITWARNINGTEXT, FALSE);
        }
        break;
    case IDC_NOTIMEDEXIT:
        CheckDlgButton(dialog, IDC_WARN, BST_UNCHECKED);
        ClearTimeEdits();
        Enable(IDC_TIMEOUTVALUE, FALSE);
        Enable(IDC_ATVALUE, FALSE);
        Enable(IDC_PROGRAMLIST, FALSE);
        Enable(IDC_WARNVALUE, FALSE);
        Enable(IDC_WARN, FALSE);
        Enable(IDC_EDITWARNINGTEXT, FALSE);
        break;
    }
}

static const DialogParts TimedExitDialog = {&Settings.TimedExitDialogWindow,
                                            InitTimedExitDialog,
                                            BusyTimedExitStep,
                                            TimedExitStep,
                                            IsTimedExitStep,
                                            IDCANCEL,
                                            TimedExitCommand};

INT_PTR CALLBACK TimedExitDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleDialogMessage(TimedExitDialog, dialog, message, wParam);
}

static void ShowWarningText() {
    SendMessageA(GetDlgItem(Settings.WarningTextDialogWindow, IDC_WARNINGTEXT), EM_LIMITTEXT,
                 sizeof Settings.WarningText - 1, 0);
    if (!Settings.WarningText[0] || Settings.WarningTextIsDefault)
        MakeDefaultWarningText();
    SetDlgItemTextA(Settings.WarningTextDialogWindow, IDC_WARNINGTEXT, Settings.WarningText);
}

static void ReadWarningText() {
    GetDlgItemTextA(Settings.WarningTextDialogWindow, IDC_WARNINGTEXT, Settings.WarningText,
                    sizeof Settings.WarningText);
}

static int WarningTextStep(HWND, int command) {
    if (command != IDOK)
        return 1;
    ReadWarningText();
    // An edit is stored by every later save: an OK that changes nothing does not take it back.
    if (lstrcmpA(Settings.WarningText, Settings.SavedWarningText) != 0) {
        Settings.WarningTextChanged = 1;
        Settings.WarningTextIsDefault = 0;
    }
    return 1;
}

// Opening takes a copy of the text, for OK to tell whether it was edited.
static void InitWarningTextDialog(HWND) {
    ShowWarningText();
    lstrcpyA(Settings.SavedWarningText, Settings.WarningText);
}

static const DialogParts WarningTextDialog = {&Settings.WarningTextDialogWindow,
                                              InitWarningTextDialog,
                                              BusyWarningTextStep,
                                              WarningTextStep,
                                              NULL,
                                              IDCANCEL,
                                              NULL};

static INT_PTR CALLBACK WarningTextDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleDialogMessage(WarningTextDialog, dialog, message, wParam);
}
