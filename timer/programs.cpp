// The programs running now, from the process list of Windows 95's KERNEL32 (ToolHelp). NT 4's KERNEL32 has
// no such list, so its functions are looked up when needed rather than imported: an import would keep NT 4
// from loading the program before it could say that it refuses NT.
#include "programs.h"
#include "../app/text.h"
#include <tlhelp32.h>

#ifdef KELTO_WIN32
static_assert(sizeof(PROCESSENTRY32) == 296, "the Windows 95 process entry");
#endif

typedef HANDLE(WINAPI* SnapshotEntry)(DWORD flags, DWORD processId);
typedef BOOL(WINAPI* ProcessEntry)(HANDLE snapshot, LPPROCESSENTRY32 entry);

static FARPROC ToolhelpEntry(const char* name) {
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    return kernel ? GetProcAddress(kernel, name) : NULL;
}

// The file name of a path: what follows its last folder.
static const char* FileOf(const char* path) {
    const char* file = path;
    for (const char* at = path; *at; at++)
        if (*at == '\\' || *at == '/' || *at == ':')
            file = at + 1;
    return file;
}

static bool HasFolder(const char* path) {
    return FileOf(path) != path;
}

// Case-blind equality in the user's code page.
static bool SameText(const char* a, const char* b) {
    char upperA[MAX_PATH], upperB[MAX_PATH];
    CopyText(upperA, sizeof upperA, a);
    CopyText(upperB, sizeof upperB, b);
    CharUpperA(upperA);
    CharUpperA(upperB);
    return lstrcmpA(upperA, upperB) == 0;
}

int ForEachRunningProgram(ProgramVisitor visit, void* context) {
    SnapshotEntry snapshot = (SnapshotEntry)(void (*)())ToolhelpEntry("CreateToolhelp32Snapshot");
    ProcessEntry first = (ProcessEntry)(void (*)())ToolhelpEntry("Process32First");
    ProcessEntry next = (ProcessEntry)(void (*)())ToolhelpEntry("Process32Next");
    if (!snapshot || !first || !next)
        return 0;
    HANDLE list = snapshot(TH32CS_SNAPPROCESS, 0);
    if (list == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    DWORD own = GetCurrentProcessId();
    for (BOOL more = first(list, &entry); more; more = next(list, &entry)) {
        entry.szExeFile[sizeof entry.szExeFile - 1] = 0;
        if (entry.th32ProcessID == own || !entry.szExeFile[0])
            continue;
        RunningProgram program;
        program.id = entry.th32ProcessID;
        CopyText(program.path, sizeof program.path, entry.szExeFile);
        CopyText(program.name, sizeof program.name, FileOf(entry.szExeFile));
        CharUpperA(program.name);
        if (!visit(program, context))
            break;
    }
    CloseHandle(list);
    return 1;
}

struct Search {
    const char* name; // the name as given, or null for the id
    DWORD id;
    RunningProgram* found;
    bool matched;
};

// The name as given matches with or without its folder: a folder given must be the program's own, where the
// list has one (Windows 95's gives the whole path, others the file alone).
static bool Matches(const Search& search, const RunningProgram& program) {
    if (!search.name)
        return program.id == search.id;
    return SameText(FileOf(search.name), program.name) &&
           (!HasFolder(search.name) || !HasFolder(program.path) || SameText(search.name, program.path));
}

static bool TakeFirstMatch(const RunningProgram& program, void* context) {
    Search* search = (Search*)context;
    if (!Matches(*search, program))
        return true;
    *search->found = program;
    search->matched = true;
    return false;
}

bool FindRunningProgram(const char* name, DWORD id, RunningProgram* found) {
    Search search = {name, id, found, false};
    ForEachRunningProgram(TakeFirstMatch, &search);
    return search.matched;
}

struct TitleSearch {
    DWORD id;
    char* title;
    int capacity;
};

static BOOL CALLBACK TakeTitle(HWND window, LPARAM context) {
    TitleSearch* search = (TitleSearch*)context;
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    if (id != search->id || !IsWindowVisible(window))
        return TRUE;
    // Another process's title is read from the window itself, never by a message its owner must answer.
    return GetWindowTextA(window, search->title, search->capacity) ? FALSE : TRUE;
}

void ProgramWindowTitle(DWORD id, char* title, int capacity) {
    title[0] = 0;
    TitleSearch search = {id, title, capacity};
    EnumWindows(TakeTitle, (LPARAM)&search);
}
