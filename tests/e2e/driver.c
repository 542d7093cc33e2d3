/* Driver for the end-to-end checks: runs inside the same Wine prefix as Kelto95.exe and does what a
 * user, the shell or another application would do to it.  One invocation runs a list of commands from
 * its command line, in order, and prints one "key: value" line per observation for the scenario
 * scripts to compare.  The first command that fails prints "error: ..." and ends the run with exit
 * code 1.
 *
 * A few commands turn the process into a long-lived stand-in application instead (progman, answer,
 * guard, hung, mark); they must be the only command of their invocation.  Each one appends
 * timestamped lines to a log file, so the scripts can tell afterwards who received what, and in which
 * order. */

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <ctype.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define WM_TRAYNOTIFY (WM_USER + 500)
#define POLL_MS 50

static HWND CurrentWindow; /* the box or dialog found by the last wait-box / wait-dialog */
static const char* LogPath;

/* ---- output and logging ------------------------------------------------------------------- */

/* Print a value on one line: line breaks as \n, so a two-line message stays one line. */
static void PrintValue(const char* key, const char* text) {
    printf("%s: ", key);
    for (; *text; text++) {
        if (*text == '\n')
            fputs("\\n", stdout);
        else if (*text != '\r')
            putchar(*text);
    }
    putchar('\n');
    fflush(stdout);
}

static int Fail(const char* what, const char* detail) {
    printf("error: %s %s\n", what, detail ? detail : "");
    fflush(stdout);
    return 0;
}

/* Append one line to the stand-in's log; opened and closed each time so that several processes can
 * share one log and its order is the order of the events. */
static void LogLine(const char* format, ...) {
    char line[512];
    int n = sprintf(line, "%lu %lu ", (unsigned long)GetTickCount(), (unsigned long)GetCurrentProcessId());
    int room = (int)sizeof(line) - n - 1; /* keeps a place for the line end */
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line + n, room, format, args);
    va_end(args);
    n += length < 0 ? 0 : length >= room ? room - 1 : length;
    line[n++] = '\n';
    HANDLE file = CreateFileA(LogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, n, &written, NULL);
    CloseHandle(file);
}

/* ---- finding windows ---------------------------------------------------------------------- */

struct WindowQuery {
    const char* className; /* NULL: any */
    const char* title;     /* NULL: any */
    HWND found;
    int matches; /* counted when counting is set; the search then goes on */
    int counting;
};

/* The text of a control of another process.  GetWindowTextA reads only top-level captions across
 * processes; WM_GETTEXT is marshalled, and a hung owner cannot hold it up. */
static void GetTextOf(HWND window, char* buffer, int size) {
    DWORD_PTR length = 0;
    buffer[0] = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, size, (LPARAM)buffer, SMTO_ABORTIFHUNG, 10000, &length))
        buffer[0] = 0;
    buffer[size - 1] = 0;
}

static BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    struct WindowQuery* query = (struct WindowQuery*)param;
    char text[256];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    if (query->className) {
        GetClassNameA(window, text, sizeof text);
        if (strcmp(text, query->className) != 0)
            return TRUE;
    }
    if (query->title) {
        GetWindowTextA(window, text, sizeof text);
        if (strcmp(text, query->title) != 0)
            return TRUE;
    }
    query->found = window;
    query->matches++;
    return query->counting;
}

/* A visible top-level window of another process with this class and title. */
static HWND FindVisible(const char* className, const char* title) {
    struct WindowQuery query = {className, title, NULL, 0, 0};
    EnumWindows(MatchWindow, (LPARAM)&query);
    return query.found;
}

/* How many such windows are visible now. */
static int CountVisible(const char* className, const char* title) {
    struct WindowQuery query = {className, title, NULL, 0, 1};
    EnumWindows(MatchWindow, (LPARAM)&query);
    return query.matches;
}

static HWND WaitFor(const char* className, const char* title, DWORD timeout) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindVisible(className, title);
        if (window || GetTickCount() - start >= timeout)
            return window;
        Sleep(POLL_MS);
    }
}

/* The main window is never shown, so it is looked up by class alone. */
static HWND MainWindow(void) {
    return FindWindowA("Kelto95", NULL);
}

static const char* AnyText(const char* text) {
    return strcmp(text, "-") == 0 ? NULL : text;
}

/* ---- stand-ins: long-lived processes the scripts start in the background -------------------- */

static BOOL Refuse; /* the guard refuses to let the session end */

static LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION: LogLine("queryendsession"); return !Refuse;
    case WM_ENDSESSION: LogLine("endsession %u", (unsigned)wParam); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

/* Create the stand-in's window and log "ready" with its handle, as a trace shows it. */
static HWND CreateStandInWindow(const char* className, const char* title) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 80, NULL, NULL,
                                  wc.hInstance, NULL);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    LogLine("ready %08lx", (unsigned long)(ULONG_PTR)window);
    return window;
}

/* Pump until WM_QUIT, logging every queued message but the window's own painting; GetMessage's 0 is
 * logged as "quit". */
static int PumpAndLog(void) {
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (msg.message != WM_PAINT)
            LogLine("message %u %lu %ld", msg.message, (unsigned long)msg.wParam, (long)msg.lParam);
        DispatchMessageA(&msg);
    }
    LogLine("quit");
    return 0;
}

/* A stand-in for the shell's Program Manager window, which Restart Shell tells to quit. */
static int RunProgman(void) {
    CreateStandInWindow("Progman", "Program Manager");
    return PumpAndLog();
}

/* An application that answers the end-of-session messages. */
static int RunAnswer(void) {
    CreateStandInWindow("KeltoAnswer", "Answering application");
    return PumpAndLog();
}

/* An application that refuses every session end: Wine's session end stops at it, so the session, and
 * its desktop, outlive exit requests. */
static int RunGuard(void) {
    Refuse = TRUE;
    CreateStandInWindow("KeltoGuard", "Guard");
    return PumpAndLog();
}

/* An application whose only thread stops pumping: messages sent to its window never return. */
static int RunHung(void) {
    CreateStandInWindow("KeltoHung", "Hung application");
    Sleep(INFINITE);
    return 0;
}

/* A program to run before the exit: logs its start, works a while, logs its end. */
static int RunMark(const char* name, DWORD milliseconds) {
    LogLine("start %s", name);
    Sleep(milliseconds);
    LogLine("end %s", name);
    return 0;
}

/* ---- registry ----------------------------------------------------------------------------- */

static HKEY RootKey(const char* name) {
    if (strcmp(name, "HKLM") == 0)
        return HKEY_LOCAL_MACHINE;
    if (strcmp(name, "HKCU") == 0)
        return HKEY_CURRENT_USER;
    return NULL;
}

static int RegGet(const char* root, const char* key, const char* value) {
    HKEY hkey;
    char data[1100];
    char label[300];
    DWORD type = 0, size = sizeof(data) - 1;
    snprintf(label, sizeof label, "reg %s", value);
    if (!RootKey(root))
        return Fail("unknown root", root);
    if (RegOpenKeyExA(RootKey(root), key, 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS) {
        PrintValue(label, "(no key)");
        return 1;
    }
    LONG result = RegQueryValueExA(hkey, value, NULL, &type, (BYTE*)data, &size);
    RegCloseKey(hkey);
    if (result != ERROR_SUCCESS) {
        PrintValue(label, "(missing)");
        return 1;
    }
    data[size] = 0;
    PrintValue(label, data);
    return 1;
}

static int RegSet(const char* root, const char* key, const char* value, const char* data) {
    HKEY hkey;
    if (!RootKey(root))
        return Fail("unknown root", root);
    if (RegCreateKeyExA(RootKey(root), key, 0, NULL, 0, KEY_WRITE, NULL, &hkey, NULL) != ERROR_SUCCESS)
        return Fail("cannot create key", key);
    LONG result = RegSetValueExA(hkey, value, 0, REG_SZ, (const BYTE*)data, (DWORD)strlen(data) + 1);
    RegCloseKey(hkey);
    return result == ERROR_SUCCESS ? 1 : Fail("cannot set", value);
}

/* ---- input -------------------------------------------------------------------------------- */

static UINT MouseMessage(const char* name) {
    static const struct {
        const char* name;
        UINT message;
    } names[] = {{"lbuttondown", WM_LBUTTONDOWN},     {"lbuttonup", WM_LBUTTONUP},
                 {"lbuttondblclk", WM_LBUTTONDBLCLK}, {"rbuttondown", WM_RBUTTONDOWN},
                 {"rbuttonup", WM_RBUTTONUP},         {"mousemove", WM_MOUSEMOVE}};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; i++)
        if (strcmp(names[i].name, name) == 0)
            return names[i].message;
    return (UINT)strtoul(name, NULL, 0);
}

static UINT VirtualKey(const char* name) {
    static const struct {
        const char* name;
        UINT key;
    } names[] = {{"down", VK_DOWN},   {"up", VK_UP},        {"left", VK_LEFT},
                 {"right", VK_RIGHT}, {"enter", VK_RETURN}, {"escape", VK_ESCAPE},
                 {"tab", VK_TAB},     {"space", VK_SPACE},  {"shift", VK_SHIFT}};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; i++)
        if (strcmp(names[i].name, name) == 0)
            return names[i].key;
    if (strlen(name) == 1)
        return (UINT)(unsigned char)toupper((unsigned char)name[0]);
    return 0;
}

/* The menu loop of the program's thread reads key messages from its queue, whichever window they
 * were posted to, so posting to the popup menu window reaches it without keyboard focus. */
static int MenuKeys(const char* keys) {
    HWND menu = WaitFor("#32768", NULL, 10000);
    if (!menu)
        return Fail("no popup menu", NULL);
    char copy[256];
    snprintf(copy, sizeof copy, "%s", keys);
    for (char* key = strtok(copy, ","); key; key = strtok(NULL, ",")) {
        UINT vk = VirtualKey(key);
        if (!vk)
            return Fail("unknown key", key);
        PostMessageA(menu, WM_KEYDOWN, vk, 1);
        PostMessageA(menu, WM_KEYUP, vk, 0xC0000001);
        Sleep(200);
    }
    return 1;
}

static void Key(BYTE vk, DWORD flags) {
    keybd_event(vk, (BYTE)MapVirtualKeyA(vk, 0), flags, 0);
}

static int Hotkey(const char* letter) {
    BYTE vk = (BYTE)toupper((unsigned char)letter[0]);
    Key(VK_CONTROL, 0);
    Key(VK_MENU, 0);
    Key(vk, 0);
    Key(vk, KEYEVENTF_KEYUP);
    Key(VK_MENU, KEYEVENTF_KEYUP);
    Key(VK_CONTROL, KEYEVENTF_KEYUP);
    return 1;
}

/* Escape every open menu level, innermost first, until none is left.  Each key goes to the level on
 * top at the time, and the next waits until it has closed: a key posted to a level that closes
 * before reading it is lost with its window. */
static int CloseMenus(DWORD timeout) {
    DWORD start = GetTickCount();
    HWND menu;
    while ((menu = FindVisible("#32768", NULL))) {
        if (GetTickCount() - start >= timeout)
            return Fail("menu stays open", NULL);
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(menu, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        DWORD posted = GetTickCount();
        while (IsWindow(menu) && IsWindowVisible(menu) && GetTickCount() - posted < 5000)
            Sleep(POLL_MS);
    }
    PrintValue("menus", "closed");
    return 1;
}

/* Characters as the keyboard's translation delivers them, WM_CHAR in the window's queue: the
 * program's own loop offers them to its accelerators, a dialog's loop hands them to the control. */
static int PostChars(HWND window, const char* text) {
    for (; *text; text++) {
        PostMessageA(window, WM_CHAR, (unsigned char)*text, 1);
        Sleep(100);
    }
    return 1;
}

/* ---- processes ---------------------------------------------------------------------------- */

static int WaitProcess(DWORD pid, DWORD timeout, int wantGone) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) {
        PrintValue("process", "gone");
        return wantGone ? 1 : Fail("process not running", NULL);
    }
    DWORD result = WaitForSingleObject(process, wantGone ? timeout : 0);
    CloseHandle(process);
    PrintValue("process", result == WAIT_OBJECT_0 ? "gone" : "alive");
    return 1;
}

/* ---- the shell's tray tips, registry bytes, shortcut files -------------------------------- */

struct TipQuery {
    HWND tray;
    DWORD shell;    /* the tray's process */
    HANDLE process; /* opened for its memory */
    BYTE* remote;   /* a page in the shell's memory: a tool record, then the text buffer */
    int tips;
};

/* Print the texts of one tooltip window of the shell.  The tool records live in the shell's
 * memory and the tooltip messages are not marshalled, so the record and the buffer its text is
 * copied into are placed in the shell's own memory and read back from there. */
static BOOL CALLBACK PrintTrayTip(HWND window, LPARAM param) {
    struct TipQuery* query = (struct TipQuery*)param;
    char name[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, name, sizeof name);
    if (pid != query->shell || strcmp(name, "tooltips_class32") != 0)
        return TRUE;
    /* Wine 8 gives each tray icon a tooltip owned by the tray; later versions own it by the icon's
     * own window, a child of the tray. */
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner != query->tray && GetAncestor(owner, GA_ROOT) != query->tray)
        return TRUE;
    DWORD_PTR count = 0;
    SendMessageTimeoutA(window, TTM_GETTOOLCOUNT, 0, 0, SMTO_ABORTIFHUNG, 10000, &count);
    for (DWORD_PTR i = 0; i < count; i++) {
        TTTOOLINFOW tool;
        WCHAR wide[256];
        char text[512];
        DWORD_PTR ok = 0;
        SIZE_T done = 0;
        memset(&tool, 0, sizeof tool);
        tool.cbSize = sizeof tool;
        tool.lpszText = (WCHAR*)(query->remote + 1024);
        memset(wide, 0, sizeof wide);
        if (!WriteProcessMemory(query->process, query->remote, &tool, sizeof tool, &done) ||
            !WriteProcessMemory(query->process, query->remote + 1024, wide, sizeof wide, &done))
            continue;
        if (!SendMessageTimeoutA(window, TTM_ENUMTOOLSW, i, (LPARAM)query->remote, SMTO_ABORTIFHUNG, 10000,
                                 &ok) ||
            !ok)
            continue;
        if (!ReadProcessMemory(query->process, query->remote + 1024, wide, sizeof wide - sizeof(WCHAR),
                               &done))
            continue;
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
        query->tips++;
        PrintValue("tip", text);
    }
    return TRUE;
}

/* Every tip the tray holds, then their number: "tip: Timed Exit" ... "tips: 1". */
static int TrayTips(void) {
    struct TipQuery query;
    char number[16];
    memset(&query, 0, sizeof query);
    query.tray = FindWindowA("Shell_TrayWnd", NULL);
    if (!query.tray)
        return Fail("no tray", NULL);
    GetWindowThreadProcessId(query.tray, &query.shell);
    query.process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, query.shell);
    if (!query.process)
        return Fail("cannot open the shell's process", NULL);
    query.remote = VirtualAllocEx(query.process, NULL, 4096, MEM_COMMIT, PAGE_READWRITE);
    if (!query.remote) {
        CloseHandle(query.process);
        return Fail("cannot place a buffer in the shell", NULL);
    }
    EnumWindows(PrintTrayTip, (LPARAM)&query);
    VirtualFreeEx(query.process, query.remote, 0, MEM_RELEASE);
    CloseHandle(query.process);
    sprintf(number, "%d", query.tips);
    PrintValue("tips", number);
    return 1;
}

/* A value's type and bytes, for values that are not text: "reg NoLogOff: type 5 bytes 01 00 00 00". */
static int RegRaw(const char* root, const char* key, const char* value) {
    HKEY hkey;
    BYTE data[64];
    char label[300], text[300];
    DWORD type = 0, size = sizeof data;
    snprintf(label, sizeof label, "reg %s", value);
    if (!RootKey(root))
        return Fail("unknown root", root);
    if (RegOpenKeyExA(RootKey(root), key, 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS) {
        PrintValue(label, "(no key)");
        return 1;
    }
    LONG result = RegQueryValueExA(hkey, value, NULL, &type, data, &size);
    RegCloseKey(hkey);
    if (result != ERROR_SUCCESS) {
        PrintValue(label, "(missing)");
        return 1;
    }
    int n = sprintf(text, "type %lu bytes", (unsigned long)type);
    for (DWORD b = 0; b < size; b++)
        n += sprintf(text + n, " %02x", data[b]);
    PrintValue(label, text);
    return 1;
}

static int RegKey(const char* root, const char* key) {
    HKEY hkey;
    if (!RootKey(root))
        return Fail("unknown root", root);
    if (RegCreateKeyExA(RootKey(root), key, 0, NULL, 0, KEY_WRITE, NULL, &hkey, NULL) != ERROR_SUCCESS)
        return Fail("cannot create key", key);
    RegCloseKey(hkey);
    return 1;
}

/* Read a shortcut file through the shell's link object, as the shell reads it: its file, target,
 * arguments and shortcut key.  The folder is the shell's desktop or start menu folder. */
static int ReadLink(const char* folder, const char* name) {
    int csidl = strcmp(folder, "desktop") == 0     ? CSIDL_DESKTOPDIRECTORY
                : strcmp(folder, "startmenu") == 0 ? CSIDL_STARTMENU
                                                   : -1;
    char path[MAX_PATH], text[MAX_PATH];
    WCHAR wide[MAX_PATH];
    if (csidl < 0)
        return Fail("unknown folder", folder);
    if (!SHGetSpecialFolderPathA(NULL, path, csidl, FALSE))
        return Fail("no folder", folder);
    if (strlen(path) + 1 + strlen(name) >= sizeof path)
        return Fail("path too long", name);
    strcat(path, "\\");
    strcat(path, name);
    PrintValue("link-file", path);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return Fail("no such file", path);
    CoInitialize(NULL);
    IShellLinkA* link = NULL;
    IPersistFile* file = NULL;
    int ok = 0;
    if (FAILED(CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkA,
                                (void**)&link))) {
        Fail("no shell link object", NULL);
    } else if (FAILED(link->lpVtbl->QueryInterface(link, &IID_IPersistFile, (void**)&file))) {
        Fail("no persist file", NULL);
    } else {
        MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
        if (FAILED(file->lpVtbl->Load(file, wide, STGM_READ))) {
            Fail("cannot load", path);
        } else {
            WORD hotkey = 0;
            text[0] = 0;
            link->lpVtbl->GetPath(link, text, sizeof text, NULL, SLGP_RAWPATH);
            PrintValue("link-path", text);
            text[0] = 0;
            link->lpVtbl->GetArguments(link, text, sizeof text);
            PrintValue("link-args", text);
            link->lpVtbl->GetHotkey(link, &hotkey);
            sprintf(text, "0x%04x", hotkey);
            PrintValue("link-hotkey", text);
            ok = 1;
        }
    }
    if (file)
        file->lpVtbl->Release(file);
    if (link)
        link->lpVtbl->Release(link);
    CoUninitialize();
    return ok;
}

/* ---- the command table ------------------------------------------------------------------- */

/* Wait for a dialog (a message box is one) of another process and print its caption and, for a
 * message box, its text.  A box is visible a moment before its texts are set, more so under
 * emulation, so it counts as found once the texts are there, or when the time is up. */
static int WaitDialog(const char* title, DWORD timeout) {
    char caption[256], text[4096];
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindVisible("#32770", title);
        int late = GetTickCount() - start >= timeout;
        if (window) {
            HWND label = GetDlgItem(window, 0xFFFF); /* a message box's text */
            GetWindowTextA(window, caption, sizeof caption);
            text[0] = 0;
            if (label)
                GetTextOf(label, text, sizeof text);
            if ((caption[0] && (!label || text[0])) || late) {
                CurrentWindow = window;
                PrintValue("caption", caption);
                if (label)
                    PrintValue("text", text);
                return 1;
            }
        } else if (late) {
            return Fail("no dialog", title);
        }
        Sleep(POLL_MS);
    }
}

/* The dialog found by the last wait in this run, or else the one that is open now. */
static HWND Current(void) {
    return CurrentWindow ? CurrentWindow : FindVisible("#32770", NULL);
}

/* Drop a drop-down list of the current dialog down, as a user does (its owner may fill it anew then),
 * print its items ("item: text"), and choose the first that begins with prefix as a user does: the
 * selection, then CBN_SELCHANGE to the dialog.  A drop-down list's own text is its selection's, which
 * WM_GETTEXT reads across processes. */
static int ComboChoose(const char* id, const char* prefix) {
    HWND dialog = Current();
    HWND combo = GetDlgItem(dialog, atoi(id));
    DWORD_PTR count = 0, done = 0;
    char text[512];
    int chosen = -1;
    if (!combo)
        return Fail("no such control", id);
    SendMessageTimeoutA(combo, CB_SHOWDROPDOWN, TRUE, 0, SMTO_ABORTIFHUNG, 10000, &done);
    SendMessageTimeoutA(combo, CB_SHOWDROPDOWN, FALSE, 0, SMTO_ABORTIFHUNG, 10000, &done);
    SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 10000, &count);
    for (DWORD_PTR i = 0; i < count && i < 200; i++) {
        SendMessageTimeoutA(combo, CB_SETCURSEL, i, 0, SMTO_ABORTIFHUNG, 10000, &done);
        GetTextOf(combo, text, sizeof text);
        PrintValue("item", text);
        if (chosen < 0 && strncmp(text, prefix, strlen(prefix)) == 0)
            chosen = (int)i;
    }
    SendMessageTimeoutA(combo, CB_SETCURSEL, (WPARAM)chosen, 0, SMTO_ABORTIFHUNG, 10000, &done);
    if (chosen < 0)
        return Fail("no item begins with", prefix);
    SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(atoi(id), CBN_SELCHANGE), (LPARAM)combo,
                        SMTO_ABORTIFHUNG, 10000, &done);
    return 1;
}

static int Run(int argc, char** argv) {
    int i = 1;
#define NEED(n)                                                                                              \
    do {                                                                                                     \
        if (i + (n) >= argc)                                                                                 \
            return Fail("missing arguments for", argv[i]);                                                   \
    } while (0)
    while (i < argc) {
        const char* command = argv[i];
        char text[4096];
        int ok = 1;
        if (strcmp(command, "wait-window") == 0) { /* class|- title|- ms */
            NEED(3);
            HWND window = WaitFor(AnyText(argv[i + 1]), AnyText(argv[i + 2]), atoi(argv[i + 3]));
            ok = window ? (PrintValue("window", "found"), 1) : Fail("no window", argv[i + 1]);
            i += 4;
        } else if (strcmp(command, "wait-gone") == 0) { /* class|- title|- ms */
            NEED(3);
            DWORD start = GetTickCount();
            while (FindVisible(AnyText(argv[i + 1]), AnyText(argv[i + 2])) &&
                   GetTickCount() - start < (DWORD)atoi(argv[i + 3]))
                Sleep(POLL_MS);
            ok = FindVisible(AnyText(argv[i + 1]), AnyText(argv[i + 2])) ? Fail("window stays", argv[i + 1])
                                                                         : (PrintValue("window", "gone"), 1);
            i += 4;
        } else if (strcmp(command, "main-window") == 0) { /* ms: wait for the hidden main window */
            NEED(1);
            DWORD start = GetTickCount();
            while (!MainWindow() && GetTickCount() - start < (DWORD)atoi(argv[i + 1]))
                Sleep(POLL_MS);
            HWND window = MainWindow();
            if (window) {
                GetWindowTextA(window, text, sizeof text);
                PrintValue("main", text);
            } else {
                ok = Fail("no main window", NULL);
            }
            i += 2;
        } else if (strcmp(command, "class") == 0) { /* hwnd in hex, as a trace shows it */
            NEED(1);
            HWND window = (HWND)(ULONG_PTR)strtoul(argv[i + 1], NULL, 16);
            if (!IsWindow(window) || !GetClassNameA(window, text, sizeof text))
                strcpy(text, "(no window)");
            PrintValue("class", text);
            i += 2;
        } else if (strcmp(command, "version") == 0) { /* what GetVersionExA reports in this prefix */
            OSVERSIONINFOA version;
            memset(&version, 0, sizeof version);
            version.dwOSVersionInfoSize = sizeof version;
            ok = GetVersionExA(&version) ? 1 : Fail("GetVersionExA failed", NULL);
            if (ok) {
                /* Windows 9x keeps the major and minor version in the build number's high word. */
                DWORD build = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS
                                  ? LOWORD(version.dwBuildNumber)
                                  : version.dwBuildNumber;
                sprintf(text, "%lu.%lu.%lu platform %lu", (unsigned long)version.dwMajorVersion,
                        (unsigned long)version.dwMinorVersion, (unsigned long)build,
                        (unsigned long)version.dwPlatformId);
                PrintValue("version", text);
            }
            i += 1;
        } else if (strcmp(command, "has-main") == 0) { /* no wait: yes or no */
            PrintValue("main", MainWindow() ? "yes" : "no");
            i += 1;
        } else if (strcmp(command, "wait-box") == 0) { /* ms: a message box or any dialog */
            NEED(1);
            ok = WaitDialog(NULL, atoi(argv[i + 1]));
            i += 2;
        } else if (strcmp(command, "wait-dialog") == 0) { /* caption ms */
            NEED(2);
            ok = WaitDialog(argv[i + 1], atoi(argv[i + 2]));
            i += 3;
        } else if (strcmp(command, "no-box") == 0) { /* ms: no box appears within that time */
            NEED(1);
            if (WaitFor("#32770", NULL, atoi(argv[i + 1]))) {
                WaitDialog(NULL, 5000);
                ok = Fail("unexpected box", NULL);
            } else {
                PrintValue("box", "none");
            }
            i += 2;
        } else if (strcmp(command, "count-boxes") == 0) { /* no wait: boxes and dialogs shown now */
            snprintf(text, sizeof text, "%d", CountVisible("#32770", NULL));
            PrintValue("boxes", text);
            i += 1;
        } else if (strcmp(command, "combo-choose") == 0) { /* id prefix: drop down, list, choose */
            NEED(2);
            ok = ComboChoose(argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (strcmp(command, "click") == 0) { /* control id of the current box or dialog */
            NEED(1);
            HWND button = GetDlgItem(Current(), atoi(argv[i + 1]));
            if (button)
                PostMessageA(button, BM_CLICK, 0, 0);
            ok = button ? 1 : Fail("no such control", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "click-wait") == 0) { /* id: click and wait until it is handled */
            /* A posted click is overtaken by the texts the next commands send; a radio button that
             * fills an edit must have done so before that edit is set.  A click that opens a modal
             * box is only waited for a moment. */
            NEED(1);
            HWND button = GetDlgItem(Current(), atoi(argv[i + 1]));
            DWORD_PTR result;
            if (button)
                SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 2000, &result);
            ok = button ? 1 : Fail("no such control", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "geometry") == 0) { /* of the current box or dialog, for a crop */
            RECT rect;
            ok = Current() && GetWindowRect(Current(), &rect) ? 1 : Fail("no dialog", NULL);
            if (ok) {
                sprintf(text, "%ldx%ld+%ld+%ld", rect.right - rect.left, rect.bottom - rect.top, rect.left,
                        rect.top);
                PrintValue("geometry", text);
            }
            i += 1;
        } else if (strcmp(command, "set-text") == 0) { /* id text */
            NEED(2);
            HWND control = GetDlgItem(Current(), atoi(argv[i + 1]));
            if (control)
                SendMessageA(control, WM_SETTEXT, 0, (LPARAM)argv[i + 2]);
            ok = control ? 1 : Fail("no such control", argv[i + 1]);
            i += 3;
        } else if (strcmp(command, "get-text") == 0) { /* id */
            NEED(1);
            HWND control = GetDlgItem(Current(), atoi(argv[i + 1]));
            if (control) {
                GetTextOf(control, text, sizeof text);
                PrintValue(argv[i + 1], text);
            }
            ok = control ? 1 : Fail("no such control", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "is-checked") == 0) { /* id */
            NEED(1);
            HWND control = GetDlgItem(Current(), atoi(argv[i + 1]));
            if (control)
                PrintValue(argv[i + 1], SendMessageA(control, BM_GETCHECK, 0, 0) ? "checked" : "unchecked");
            ok = control ? 1 : Fail("no such control", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "tray") == 0) { /* mouse message name or number */
            NEED(1);
            HWND window = MainWindow();
            if (window)
                PostMessageA(window, WM_TRAYNOTIFY, 0, MouseMessage(argv[i + 1]));
            ok = window ? 1 : Fail("no main window", NULL);
            i += 2;
        } else if (strcmp(command, "command") == 0) { /* id: as if chosen from a menu */
            NEED(1);
            HWND window = MainWindow();
            if (window)
                PostMessageA(window, WM_COMMAND, (WPARAM)atoi(argv[i + 1]), 0);
            ok = window ? 1 : Fail("no main window", NULL);
            i += 2;
        } else if (strcmp(command, "menu-keys") == 0) { /* comma-separated keys: down,down,enter */
            NEED(1);
            ok = MenuKeys(argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "hotkey") == 0) { /* letter: Ctrl+Alt+letter */
            NEED(1);
            ok = Hotkey(argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "reg-get") == 0) { /* HKLM|HKCU key value */
            NEED(3);
            ok = RegGet(argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 4;
        } else if (strcmp(command, "reg-set") == 0) { /* HKLM|HKCU key value data (REG_SZ) */
            NEED(4);
            ok = RegSet(argv[i + 1], argv[i + 2], argv[i + 3], argv[i + 4]);
            i += 5;
        } else if (strcmp(command, "exit-windows") == 0) { /* flags: another program ends the session */
            NEED(1);
            BOOL result = ExitWindowsEx((UINT)strtoul(argv[i + 1], NULL, 0), 0);
            PrintValue("exit-windows", result ? "1" : "0");
            i += 2;
        } else if (strcmp(command, "wait-exit") == 0) { /* pid ms */
            NEED(2);
            ok = WaitProcess(strtoul(argv[i + 1], NULL, 0), atoi(argv[i + 2]), 1);
            i += 3;
        } else if (strcmp(command, "alive") == 0) { /* pid */
            NEED(1);
            ok = WaitProcess(strtoul(argv[i + 1], NULL, 0), 0, 1);
            i += 2;
        } else if (strcmp(command, "tray-delete") ==
                   0) { /* the program's icon, as a restarting shell loses it */
            HWND window = MainWindow();
            NOTIFYICONDATAA icon;
            memset(&icon, 0, sizeof icon);
            icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
            icon.hWnd = window;
            /* The program's icon id is its instance handle. */
            icon.uID = (UINT)GetWindowLongPtrA(window, GWLP_HINSTANCE);
            snprintf(text, sizeof text, "%x", icon.uID);
            PrintValue("icon id", text);
            ok = window && Shell_NotifyIconA(NIM_DELETE, &icon)
                     ? 1
                     : Fail("cannot delete the program's icon", NULL);
            i += 1;
        } else if (strcmp(command, "taskbar-created") == 0) { /* broadcast as a starting taskbar does */
            PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
            i += 1;
        } else if (strcmp(command, "tray-tips") == 0) { /* the tips of the tray's icons */
            ok = TrayTips();
            i += 1;
        } else if (strcmp(command, "reg-raw") == 0) { /* HKLM|HKCU key value: type and bytes */
            NEED(3);
            ok = RegRaw(argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 4;
        } else if (strcmp(command, "reg-key") == 0) { /* HKLM|HKCU key: create it, empty */
            NEED(2);
            ok = RegKey(argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (strcmp(command, "read-link") == 0) { /* desktop|startmenu file */
            NEED(2);
            ok = ReadLink(argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (strcmp(command, "key-down") == 0 || strcmp(command, "key-up") == 0) { /* key */
            NEED(1);
            UINT vk = VirtualKey(argv[i + 1]);
            if (vk) /* held down until a key-up, in this run or a later one */
                Key((BYTE)vk, strcmp(command, "key-up") == 0 ? KEYEVENTF_KEYUP : 0);
            ok = vk ? 1 : Fail("unknown key", argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "close-menus") == 0) { /* ms */
            NEED(1);
            ok = CloseMenus(atoi(argv[i + 1]));
            i += 2;
        } else if (strcmp(command, "post-char") == 0) { /* text: typed at the main window */
            NEED(1);
            HWND window = MainWindow();
            ok = window ? PostChars(window, argv[i + 1]) : Fail("no main window", NULL);
            i += 2;
        } else if (strcmp(command, "type") == 0) { /* id text: typed into a control of the current dialog */
            NEED(2);
            HWND control = GetDlgItem(Current(), atoi(argv[i + 1]));
            ok = control ? PostChars(control, argv[i + 2]) : Fail("no such control", argv[i + 1]);
            i += 3;
        } else if (strcmp(command, "sleep") == 0) { /* ms */
            NEED(1);
            Sleep(atoi(argv[i + 1]));
            i += 2;
        } else if (i == 1 && argc >= 3 && strcmp(command, "progman") == 0) { /* log */
            LogPath = argv[2];
            return RunProgman();
        } else if (i == 1 && argc >= 3 && strcmp(command, "answer") == 0) { /* log */
            LogPath = argv[2];
            return RunAnswer();
        } else if (i == 1 && argc >= 3 && strcmp(command, "guard") == 0) { /* log */
            LogPath = argv[2];
            return RunGuard();
        } else if (i == 1 && argc >= 3 && strcmp(command, "hung") == 0) { /* log */
            LogPath = argv[2];
            return RunHung();
        } else if (i == 1 && argc >= 4 && strcmp(command, "mark") == 0) { /* log name [ms] */
            LogPath = argv[2];
            return RunMark(argv[3], argc >= 5 ? (DWORD)atoi(argv[4]) : 0);
        } else {
            Fail("unknown command", command);
            return 1;
        }
        if (!ok)
            return 1;
    }
    return 0;
#undef NEED
}

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY); /* plain \n line ends for the scripts */
    setvbuf(stdout, NULL, _IOLBF, 0);
    return Run(argc, argv);
}
