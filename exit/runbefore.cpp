// Programs run before the exit: the four entries, their stored form, the runner and the dialog.
#include "runbefore_internal.h"
#include "../app/busy.h"
#include "../app/boxes.h"
#include "../app/text.h"
#include "../app/libraries.h"
#include <commdlg.h>

#ifdef KELTO_WIN32
static_assert(sizeof(OPENFILENAME_NT4A) == 76, "the Windows 95 open-file record");
static_assert(sizeof(OFSTRUCT) == 136, "OFSTRUCT");
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA");
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA");
#endif

// The Windows 95 form of the record: later systems' extra fields would make it too large for comdlg32.
static OPENFILENAME_NT4A BrowseRequest;
// Keeps the last chosen name, so the next browse opens where the previous one ended.
static char BrowseFileName[MAX_PATH] = "*.*";

static const int EntryEdits[PROGRAM_COUNT] = {IDC_PROGRAM1, IDC_PROGRAM2, IDC_PROGRAM3, IDC_PROGRAM4};
static const int BrowseButtons[PROGRAM_COUNT] = {IDC_BROWSE1, IDC_BROWSE2, IDC_BROWSE3, IDC_BROWSE4};
// What can be typed into an entry's edit: four such entries always fit the stored list whole.
static const int DialogEntryLength = 200;

void JoinProgramList() {
    Settings.ProgramsToRun[0] = 0;
    for (int i = 0; i < PROGRAM_COUNT; i++) {
        const char* entry = Settings.ProgramEntry[i];
        if (!entry[0])
            continue;
        // Four entries read from a full stored list can exceed the field by their last separator, which a
        // reader takes as optional: it is left out then. An entry that does not fit whole is left out
        // rather than stored cut short (only a list written by another tool can hold one).
        int length = lstrlenA(Settings.ProgramsToRun) + lstrlenA(entry);
        if (length >= PROGRAMS_TO_RUN_SIZE)
            continue;
        lstrcatA(Settings.ProgramsToRun, entry);
        if (length + 1 < PROGRAMS_TO_RUN_SIZE)
            lstrcatA(Settings.ProgramsToRun, ";");
    }
}

void SplitProgramList() {
    for (int i = 0; i < PROGRAM_COUNT; i++)
        Settings.ProgramEntry[i][0] = 0;
    const char* text = Settings.ProgramsToRun;
    int entry = 0;
    while (*text && entry < PROGRAM_COUNT) {
        while (*text == ';')
            text++;
        if (!*text)
            break;
        const char* start = text;
        while (*text && *text != ';')
            text++;
        int length = (int)(text - start);
        // A token too long for an entry (written by another tool) keeps its place but stays empty:
        // cutting it would run a different command.
        if (length < PROGRAM_ENTRY_SIZE)
            lstrcpynA(Settings.ProgramEntry[entry], start, length + 1);
        entry++;
    }
}

bool HasProgramExtension(const char* text) {
    static const char* const extensions[] = {".com", ".exe", ".bat", ".pif", ".cmd"};
    for (unsigned e = 0; e < sizeof extensions / sizeof extensions[0]; e++)
        if (FindText(text, lstrlenA(text), extensions[e]))
            return true;
    return false;
}

static void RunAsProcess(const char* text) {
    if (!text[0])
        return;
    // CreateProcessA may write into the command line it is given.
    char commandLine[PROGRAM_ENTRY_SIZE];
    CopyText(commandLine, sizeof commandLine, text);
    STARTUPINFOA startup;
    ZeroFill(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroFill(&process, sizeof process);
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

static void RunThroughShell(const char* text) {
    if (!text[0])
        return;
    SHELLEXECUTEINFOA request;
    ZeroFill(&request, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.hwnd = Settings.MainWindow;
    request.lpFile = text;
    request.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&request))
        return;
    // A document opened in an already running program reports no process; the wait then returns at once.
    WaitForSingleObject(request.hProcess, INFINITE);
    if (request.hProcess)
        CloseHandle(request.hProcess);
}

void RunProgramsBeforeExit() {
    for (int i = 0; i < PROGRAM_COUNT; i++) {
        const char* entry = Settings.ProgramEntry[i];
        if (HasProgramExtension(entry))
            RunAsProcess(entry);
        else
            RunThroughShell(entry);
    }
}

static void ApplyEnablingRule() {
    HWND dialog = Settings.RunBeforeDialog;
    BOOL enable = Settings.RunBeforeExit ? TRUE : FALSE;
    for (int i = 0; i < PROGRAM_COUNT; i++)
        EnableWindow(GetDlgItem(dialog, EntryEdits[i]), enable);
    for (int i = 0; i < PROGRAM_COUNT; i++)
        EnableWindow(GetDlgItem(dialog, BrowseButtons[i]), enable);
}

static void BrowseForProgram() {
    ZeroFill(&BrowseRequest, sizeof BrowseRequest);
    BrowseRequest.lStructSize = sizeof BrowseRequest;
    BrowseRequest.hwndOwner = Settings.RunBeforeDialog;
    BrowseRequest.hInstance = Settings.Instance;
    BrowseRequest.lpstrFilter = "All Files\0;*.*\0";
    BrowseRequest.nFilterIndex = 1;
    BrowseRequest.lpstrFile = BrowseFileName;
    BrowseRequest.nMaxFile = sizeof BrowseFileName;
    // A chosen shortcut is listed as the shortcut itself, not its target.
    BrowseRequest.Flags = OFN_NODEREFERENCELINKS | OFN_HIDEREADONLY;
    // comdlg32 is loaded at the first Browse; without it Browse does what a cancelled dialog does.
    typedef decltype(&GetOpenFileNameA) GetOpenFileNameEntry;
    GetOpenFileNameEntry getOpenFileName = ENTRY_AS(
        GetOpenFileNameEntry, LibraryEntry(&Settings.Comdlg32Library, "comdlg32.dll", "GetOpenFileNameA"));
    if (!getOpenFileName)
        return;
    // The dialog leaves the browsed folder as the current one, where Restart and Exit to DOS would then
    // look for the companion library first: the folder of before is put back, chosen or cancelled.
    char currentFolder[MAX_PATH];
    DWORD folderLength = GetCurrentDirectoryA(sizeof currentFolder, currentFolder);
    BOOL chosen = getOpenFileName((LPOPENFILENAMEA)&BrowseRequest);
    if (folderLength > 0 && folderLength < sizeof currentFolder)
        SetCurrentDirectoryA(currentFolder);
    if (!chosen)
        return;
    OFSTRUCT file;
    ZeroFill(&file, sizeof file);
    file.cBytes = sizeof file;
    if (OpenFile(BrowseFileName, &file, OF_EXIST) == HFILE_ERROR) {
        ShowError("Cannot find file");
        return;
    }
    if (Settings.BrowseTarget >= 1 && Settings.BrowseTarget <= PROGRAM_COUNT)
        SetDlgItemTextA(Settings.RunBeforeDialog, EntryEdits[Settings.BrowseTarget - 1], file.szPathName);
}

// Fills the edits with the list, whatever Run before Exit holds, so that a save keeps what the user saw.
// A list stored while it was off was not split at load: it is split for the showing, and until an OK
// takes the edits a save writes the stored text back as it was.
static void ShowProgramEntries(HWND dialog) {
    if (Settings.ProgramEntriesSet)
        JoinProgramList();
    SplitProgramList();
    for (int i = 0; i < PROGRAM_COUNT; i++) {
        SendMessageA(GetDlgItem(dialog, EntryEdits[i]), EM_LIMITTEXT, DialogEntryLength - 1, 0);
        if (Settings.ProgramEntry[i][0])
            SetDlgItemTextA(dialog, EntryEdits[i], Settings.ProgramEntry[i]);
    }
}

// Reads the edits whole: an entry shown from the store may be longer than what can be typed.
static void ReadProgramEntries(HWND dialog) {
    for (int i = 0; i < PROGRAM_COUNT; i++)
        GetDlgItemTextA(dialog, EntryEdits[i], Settings.ProgramEntry[i], sizeof Settings.ProgramEntry[i]);
    Settings.ProgramEntriesSet = 1;
}

// The entry a Browse button fills, 1 to 4; 0 for any other command.
static int BrowseTargetOf(int command) {
    for (int i = 0; i < PROGRAM_COUNT; i++)
        if (command == BrowseButtons[i])
            return i + 1;
    return 0;
}

static int RunBeforeStep(HWND dialog, int command) {
    Settings.BrowseTarget = BrowseTargetOf(command);
    if (Settings.BrowseTarget)
        BrowseForProgram();
    else if (command == IDOK && Settings.RunBeforeExit)
        ReadProgramEntries(dialog);
    return !Settings.BrowseTarget;
}

static void InitRunBeforeDialog(HWND dialog) {
    ShowProgramEntries(dialog);
    CheckDlgButton(dialog, IDC_RUNBEFORE, CheckState(Settings.RunBeforeExit));
    ApplyEnablingRule();
}

static bool IsBrowse(int command) {
    return BrowseTargetOf(command) != 0;
}

// The check box changes the flag at once; neither OK nor Cancel puts it back.
static void RunBeforeCommand(HWND, WPARAM wParam) {
    if (LOWORD(wParam) != IDC_RUNBEFORE)
        return;
    Settings.RunBeforeExit = Toggled(Settings.RunBeforeExit);
    ApplyEnablingRule();
}

static const DialogParts RunBeforeDialog = {
    &Settings.RunBeforeDialog, InitRunBeforeDialog, BusyRunBeforeStep, RunBeforeStep, IsBrowse, IDCANCEL,
    RunBeforeCommand};

INT_PTR CALLBACK RunBeforeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleDialogMessage(RunBeforeDialog, dialog, message, wParam);
}
