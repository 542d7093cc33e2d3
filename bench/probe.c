/* The benchmark's probe: runs inside the same Wine session as the programs it measures, starts them,
 * watches the tray for their icons, reads their memory, sends them messages and closes them.  It
 * prints one line per observation, "key value ...", for scripts/bench to collect.
 *
 *   probe wait-class CLASS MS          wait until a top-level window of that class exists
 *   probe tray                         list the top-level windows and count the tray's icons
 *   probe series RUNS SETTLE STRESS (LABEL CLASS MENU CMDLINE)...
 *                                      start each program RUNS times in turn: start-to-icon time,
 *                                      memory after start-up and after STRESS and 2*STRESS messages
 *   probe idle MS (LABEL CLASS CMDLINE)...
 *                                      start each program in turn, mark an idle stretch of MS in the
 *                                      relay trace, then close it
 *
 * CLASS is the window class of the program's main window, MENU 1 when a right click on its icon
 * opens a popup menu.
 *   probe launch MS CMDLINE            start the program, mark the start in the relay trace, wait
 *                                      up to MS for it to end
 *   probe hung                         a window whose thread never pumps its queue
 *   probe stuck                        a window that stops answering once WM_ENDSESSION comes
 *
 * Marks go to the relay trace as OutputDebugStringA("bench ...") calls: the trace holds them in line
 * with the measured program's own calls, with the same time stamps. */

#include <windows.h>
#include <psapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define WM_TRAYNOTIFY (WM_USER + 500)
#define TIMEOUT_MS 120000

static LARGE_INTEGER Frequency;

static double NowMs(void) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)Frequency.QuadPart;
}

static void Mark(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    OutputDebugStringA(text);
}

/* ---- the tray ---------------------------------------------------------------------------------- */

/* How an icon shows in Wine's explorer: Wine 8 draws the icons into the taskbar's tray itself and
 * gives each one a tooltip window owned by the tray; later versions give each icon a child window of
 * its own.  Either is created as the shell takes the icon.  Wine 8 keeps the tooltip when the icon
 * goes, so only a rise in the count tells. */
struct TrayCount {
    HWND tray;
    int icons;
    int list;
};

static BOOL CALLBACK CountIconChild(HWND window, LPARAM param) {
    struct TrayCount* count = (struct TrayCount*)param;
    char name[64];
    GetClassNameA(window, name, sizeof name);
    if (count->list)
        printf("tray-child %p class=%s visible=%d\n", (void*)window, name, IsWindowVisible(window) ? 1 : 0);
    if (strcmp(name, "__wine_tray_icon") == 0)
        count->icons++;
    return TRUE;
}

static BOOL CALLBACK CountIconTip(HWND window, LPARAM param) {
    struct TrayCount* count = (struct TrayCount*)param;
    char name[64];
    if (GetWindow(window, GW_OWNER) != count->tray)
        return TRUE;
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "tooltips_class32") == 0)
        count->icons++;
    return TRUE;
}

/* The number of icons in the tray now, or -1 when there is no tray. */
static int TrayIcons(int list) {
    HWND tray = FindWindowA("Shell_TrayWnd", NULL);
    if (!tray)
        return -1;
    struct TrayCount count = {tray, 0, list};
    EnumChildWindows(tray, CountIconChild, (LPARAM)&count);
    if (count.icons == 0)
        EnumWindows(CountIconTip, (LPARAM)&count);
    return count.icons;
}

/* ---- processes and windows --------------------------------------------------------------------- */

struct Program {
    const char* label;
    const char* windowClass; /* of its main window */
    int hasMenu;             /* opens a popup menu on a right click in the tray */
    const char* commandLine;
};

static int Start(const char* commandLine, PROCESS_INFORMATION* info) {
    STARTUPINFOA startup;
    char line[1024];
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    snprintf(line, sizeof line, "%s", commandLine);
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, info)) {
        printf("error cannot start %s (%lu)\n", commandLine, (unsigned long)GetLastError());
        return 0;
    }
    return 1;
}

struct WindowSearch {
    DWORD pid;
    HWND found;
    const char* className;
};

static BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    struct WindowSearch* search = (struct WindowSearch*)param;
    DWORD pid = 0;
    char name[64];
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid)
        return TRUE;
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, search->className) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND ProcessWindow(DWORD pid, const char* className) {
    struct WindowSearch search = {pid, NULL, className};
    EnumWindows(MatchProcessWindow, (LPARAM)&search);
    return search.found;
}

/* Start the program and poll the tray until it holds one more icon; the time in ms, or -1. */
static double StartToIcon(const char* commandLine, PROCESS_INFORMATION* info) {
    int before = TrayIcons(0);
    double start = NowMs();
    if (!Start(commandLine, info))
        return -1;
    for (;;) {
        if (TrayIcons(0) > before)
            return NowMs() - start;
        if (WaitForSingleObject(info->hProcess, 0) == WAIT_OBJECT_0 || NowMs() - start > TIMEOUT_MS)
            return -1;
        Sleep(1);
    }
}

/* Close the program as a user would, through its main window, and wait for its end. */
static int Close(const struct Program* program, PROCESS_INFORMATION* info) {
    HWND window = ProcessWindow(info->dwProcessId, program->windowClass);
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    int ended = WaitForSingleObject(info->hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(info->hProcess, 1);
    CloseHandle(info->hThread);
    CloseHandle(info->hProcess);
    return ended;
}

struct ClassSearch {
    const char* className;
    int list;
    HWND found;
};

static BOOL CALLBACK MatchClass(HWND window, LPARAM param) {
    struct ClassSearch* search = (struct ClassSearch*)param;
    char name[64];
    DWORD pid = 0;
    GetClassNameA(window, name, sizeof name);
    GetWindowThreadProcessId(window, &pid);
    if (search->list) {
        HWND owner = GetWindow(window, GW_OWNER);
        printf("top %p pid=%lx class=%s visible=%d owner=%p\n", (void*)window, (unsigned long)pid, name,
               IsWindowVisible(window) ? 1 : 0, (void*)owner);
    }
    if (search->className && strcmp(name, search->className) == 0 && !search->found)
        search->found = window;
    return TRUE;
}

/* A top-level window of the class, shown or not.  Walking the desktop's windows, as EnumWindows
 * does, also starts the session's desktop when this process is the first to ask for it. */
static HWND FindClass(const char* className, int list) {
    struct ClassSearch search = {className, list, NULL};
    EnumWindows(MatchClass, (LPARAM)&search);
    return search.found;
}

static int WaitClass(const char* className, int timeoutMs) {
    double start = NowMs();
    while (!FindClass(className, 0)) {
        if (NowMs() - start > timeoutMs) {
            printf("error no window of class %s\n", className);
            return 1;
        }
        Sleep(50);
    }
    printf("window %s\n", className);
    return 0;
}

/* ---- memory ------------------------------------------------------------------------------------ */

struct Memory {
    unsigned long privateKb; /* committed private pages of the process: its heaps, stacks, data */
    unsigned long imageKb;   /* committed pages of mapped images: the exe and its DLLs */
    unsigned long workingKb; /* resident set, as the system reports it */
};

static void ReadMemory(HANDLE process, struct Memory* memory) {
    MEMORY_BASIC_INFORMATION block;
    unsigned long long privateBytes = 0, imageBytes = 0;
    char* address = 0;
    while ((ULONG_PTR)address < 0x7fff0000 && VirtualQueryEx(process, address, &block, sizeof block)) {
        if (block.State == MEM_COMMIT) {
            if (block.Type == MEM_PRIVATE)
                privateBytes += block.RegionSize;
            else if (block.Type == MEM_IMAGE)
                imageBytes += block.RegionSize;
        }
        address = (char*)block.BaseAddress + block.RegionSize;
    }
    memory->privateKb = (unsigned long)(privateBytes / 1024);
    memory->imageKb = (unsigned long)(imageBytes / 1024);
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    memory->workingKb = GetProcessMemoryInfo(process, &counters, sizeof counters)
                            ? (unsigned long)(counters.WorkingSetSize / 1024)
                            : 0;
}

static void PrintMemory(const char* label, int run, const char* when, HANDLE process) {
    struct Memory memory;
    ReadMemory(process, &memory);
    printf("mem %s %d %s private=%lu image=%lu working=%lu\n", label, run, when, memory.privateKb,
           memory.imageKb, memory.workingKb);
}

/* ---- stimulus ---------------------------------------------------------------------------------- */

/* Commands that change the exit type (and the tray icon with it) or flip an option and back; none
 * opens a dialog or ends anything.  They run in this order from one round to the next, so that every
 * toggle is flipped back before Screensaver comes round again (forced Screensaver is refused with a
 * message box) and all of them run while Shutdown is selected. */
static const WPARAM Commands[] = {20,  30,  40,  50,  60,  70,  80,  90,  10, 100,
                                  100, 140, 140, 150, 150, 190, 190, 210, 210};
/* Tray mouse messages that neither exit nor arm anything, whatever the click setting. */
static const LPARAM TrayMouse[] = {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE};

static int WaitMenu(DWORD pid, int open) {
    double start = NowMs();
    while (NowMs() - start < 10000) {
        if ((ProcessWindow(pid, "#32768") != NULL && IsWindowVisible(ProcessWindow(pid, "#32768"))) == open)
            return 1;
        Sleep(5);
    }
    return 0;
}

/* Send COUNT messages to the program's main window, each waited for: menu commands and tray mouse
 * messages in turn, and every 50th a right click that opens the popup menu, closed with Escape. */
static int Stress(const struct Program* program, PROCESS_INFORMATION* info, int count) {
    HWND window = ProcessWindow(info->dwProcessId, program->windowClass);
    if (!window)
        return 0;
    static int commands, mice;
    for (int i = 0; i < count; i++) {
        DWORD_PTR result;
        if (i % 50 == 49) {
            PostMessageA(window, WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN);
            if (program->hasMenu) {
                if (!WaitMenu(info->dwProcessId, 1))
                    return 0;
                HWND menu = ProcessWindow(info->dwProcessId, "#32768");
                PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
                PostMessageA(menu, WM_KEYUP, VK_ESCAPE, 0xC0000001);
                if (!WaitMenu(info->dwProcessId, 0))
                    return 0;
            }
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        } else if (i % 2 == 0) {
            WPARAM id = Commands[commands++ % (sizeof Commands / sizeof Commands[0])];
            if (!SendMessageTimeoutA(window, WM_COMMAND, id, 0, SMTO_NORMAL, 10000, &result))
                return 0;
        } else {
            LPARAM mouse = TrayMouse[mice++ % (sizeof TrayMouse / sizeof TrayMouse[0])];
            if (!SendMessageTimeoutA(window, WM_TRAYNOTIFY, 1, mouse, SMTO_NORMAL, 10000, &result))
                return 0;
        }
    }
    return 1;
}

/* ---- commands ---------------------------------------------------------------------------------- */

static int Series(int runs, int settleMs, int stress, const struct Program* programs, int count) {
    if (WaitClass("Shell_TrayWnd", TIMEOUT_MS))
        return 1;
    for (int run = 1; run <= runs; run++) {
        for (int turn = 0; turn < count; turn++) {
            /* Every other run the other way round: none of them always comes first. */
            const struct Program* program = &programs[run % 2 ? turn : count - 1 - turn];
            PROCESS_INFORMATION info;
            double ms = StartToIcon(program->commandLine, &info);
            if (ms < 0) {
                printf("error %s showed no tray icon\n", program->label);
                return 1;
            }
            printf("start %s %d %.1f\n", program->label, run, ms);
            fflush(stdout);
            Sleep(settleMs);
            PrintMemory(program->label, run, "start", info.hProcess);
            double begun = NowMs();
            if (!Stress(program, &info, stress)) {
                printf("error %s did not take the messages\n", program->label);
                return 1;
            }
            double took = NowMs() - begun;
            PrintMemory(program->label, run, "after1", info.hProcess);
            if (!Stress(program, &info, stress)) {
                printf("error %s did not take the messages\n", program->label);
                return 1;
            }
            PrintMemory(program->label, run, "after2", info.hProcess);
            printf("stress %s %d %d %.1f\n", program->label, run, stress, took);
            if (!Close(program, &info)) {
                printf("error %s did not end when closed\n", program->label);
                return 1;
            }
            fflush(stdout);
        }
    }
    return 0;
}

/* Each program in turn: started, left alone for IDLE ms between two marks, closed. */
static int Idle(int idleMs, const struct Program* programs, int count) {
    if (WaitClass("Shell_TrayWnd", TIMEOUT_MS))
        return 1;
    for (int p = 0; p < count; p++) {
        PROCESS_INFORMATION info;
        if (StartToIcon(programs[p].commandLine, &info) < 0) {
            printf("error %s showed no tray icon\n", programs[p].label);
            return 1;
        }
        printf("idle-pid %s %04lx\n", programs[p].label, (unsigned long)info.dwProcessId);
        Sleep(2000); /* let start-up settle: the idle stretch begins with nothing left to do */
        Mark("bench idle-start %s", programs[p].label);
        Sleep(idleMs);
        Mark("bench idle-end %s", programs[p].label);
        if (!Close(&programs[p], &info)) {
            printf("error %s did not end when closed\n", programs[p].label);
            return 1;
        }
    }
    return 0;
}

static int Launch(int timeoutMs, const char* commandLine) {
    PROCESS_INFORMATION info;
    if (WaitClass("Shell_TrayWnd", TIMEOUT_MS))
        return 1;
    Mark("bench launch");
    if (!Start(commandLine, &info))
        return 1;
    printf("launch-pid %04lx\n", (unsigned long)info.dwProcessId);
    DWORD waited = WaitForSingleObject(info.hProcess, timeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    printf("ended %s code=%lu\n", waited == WAIT_OBJECT_0 ? "yes" : "no", (unsigned long)code);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

/* ---- helpers for the forced close ------------------------------------------------------------------ */

static LRESULT CALLBACK StuckProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENDSESSION)
        Sleep(INFINITE); /* answers everything until the session ends, then never again */
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND HelperWindow(const char* className, WNDPROC procedure) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW, 10, 10, 200, 80, NULL, NULL,
                                  wc.hInstance, NULL);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    printf("helper %s %08lx\n", className, (unsigned long)(ULONG_PTR)window);
    fflush(stdout);
    return window;
}

/* A window whose thread stopped pumping long ago: the system already counts it as hung. */
static int Hung(void) {
    HelperWindow("KeltoBenchHung", DefWindowProcA);
    Sleep(INFINITE);
    return 0;
}

/* A window that pumps its queue until WM_ENDSESSION arrives and then never returns: hung only from
 * the moment the forced close reaches it, the slowest case. */
static int Stuck(void) {
    HelperWindow("KeltoBenchStuck", StuckProc);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

int main(int argc, char** argv) {
    QueryPerformanceFrequency(&Frequency);
    _setmode(_fileno(stdout), _O_BINARY); /* plain \n line ends for the script */
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc == 4 && strcmp(argv[1], "wait-class") == 0)
        return WaitClass(argv[2], atoi(argv[3]));
    if (argc == 2 && strcmp(argv[1], "tray") == 0) {
        FindClass(NULL, 1);
        printf("icons %d\n", TrayIcons(1));
        return 0;
    }
    if (argc >= 9 && (argc - 5) % 4 == 0 && strcmp(argv[1], "series") == 0) {
        int count = (argc - 5) / 4;
        struct Program* programs = calloc(count, sizeof *programs);
        for (int i = 0; i < count; i++) {
            programs[i].label = argv[5 + 4 * i];
            programs[i].windowClass = argv[6 + 4 * i];
            programs[i].hasMenu = atoi(argv[7 + 4 * i]);
            programs[i].commandLine = argv[8 + 4 * i];
        }
        return Series(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), programs, count);
    }
    if (argc >= 6 && argc % 3 == 0 && strcmp(argv[1], "idle") == 0) {
        int count = (argc - 3) / 3;
        struct Program* programs = calloc(count, sizeof *programs);
        for (int i = 0; i < count; i++) {
            programs[i].label = argv[3 + 3 * i];
            programs[i].windowClass = argv[4 + 3 * i];
            programs[i].commandLine = argv[5 + 3 * i];
        }
        return Idle(atoi(argv[2]), programs, count);
    }
    if (argc == 4 && strcmp(argv[1], "launch") == 0)
        return Launch(atoi(argv[2]), argv[3]);
    if (argc == 2 && strcmp(argv[1], "hung") == 0)
        return Hung();
    if (argc == 2 && strcmp(argv[1], "stuck") == 0)
        return Stuck();
    fprintf(stderr, "usage: see the comment at the top of probe.c\n");
    return 2;
}
