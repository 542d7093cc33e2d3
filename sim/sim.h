// The simulated Windows 98 machine the host tests run the program on.
//
// Everything is deterministic: a virtual millisecond clock, one thread's message queue, and scripts that play
// the user. A typical test:
//
//     TEST(TimedExit, CountdownOpensTwentySecondsIn) {
//         sim::Machine m;                                   // Windows 98, empty registry, 12:00:00, clock 0
//         sim::regSetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "WarningText", "Save your work");
//         sim::whenIdle([] {                                // runs once the program waits for input
//             sim::advance(19999);                          // time passes with the program's loop running
//             EXPECT_FALSE(sim::findDialog(IDD_COUNTDOWN));
//             sim::advance(1);
//             EXPECT_EQ(sim::findDialog(IDD_COUNTDOWN).text(IDC_COUNTDOWNTIME), "00:10");
//         });
//         sim::RunResult r = sim::runProgram("/t:30 /w:10 /n");
//         EXPECT_EQ(r.ending, sim::Ending::Quit);
//         EXPECT_EQ(sim::requests().back(), "ExitWindowsEx(1,0)");
//     }
//
// Scripts (idle actions, dialog scripts, menu and box answers) run one at a time, interleaved with the
// program on the program's one logical thread. Input a script posts (typeChar, pressHotkey, clickTray,
// PostMessageA) is handled when the script returns or calls advance(); advance(0) handles everything due now.
// Anything the program does that the test did not script (a message box, a modal dialog, a popup menu, a file
// dialog) fails the test with a message saying so. Scripts left unused when the Machine ends fail it as well.
#ifndef SIM_SIM_H
#define SIM_SIM_H

#include <windows.h>
#include <shellapi.h>
#include <commdlg.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

namespace sim {

// ---- Lifetime
// ----------------------------------------------------------------------------------------------

// Resets the whole machine (see reset()). Its destructor fails the test for unused scripts and resets again.
class Machine {
  public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
};

// Windows 98 (platform 1, version 4.10), an empty registry, 12:00:00 local time, virtual clock 0, no windows,
// no processes, drive C: fixed, no scripts, empty logs. Loads the compiled resources on first use.
void reset();
// Fails the test for every script not used yet (idle actions, dialog scripts, menus, boxes, file dialogs).
void checkScriptsUsed();
// Forgets the scripts not used yet, without failing.
void discardScripts();

// ---- Failures
// ----------------------------------------------------------------------------------------------

// Where the machine reports what the program or a test did wrong (an unscripted box, an unused script, a
// runaway loop ...): the host tests install a handler that fails the running test (sim/gtest_hook.cpp).
// Without a handler the message goes to stderr as "simulated machine: <message>" and the process aborts,
// which is what a fuzz target wants: every complaint a crash.
using FailureHandler = void (*)(const std::string& message);
// Installs handler (null: the default) and returns the one it replaces.
FailureHandler setFailureHandler(FailureHandler handler);

// ---- Running the program
// -----------------------------------------------------------------------------------

enum class Ending {
    Returned, // the entry returned without ever waiting for input (one-shot exit, refused start ...)
    Quit,     // GetMessageA retrieved WM_QUIT
    Idle,     // nothing was left to happen: no message, timer or idle action; GetMessageA returned 0
    Runaway,  // the dispatch limit was hit; the test has failed
};
std::ostream& operator<<(std::ostream& out, Ending ending);

struct RunResult {
    int exitCode = 0; // what the entry returned
    Ending ending = Ending::Returned;
    WPARAM quitCode = 0; // wParam of the WM_QUIT, when ending is Quit
};

using EntryPoint = int(WINAPI*)(HINSTANCE, HINSTANCE, LPSTR, int);

// Runs an entry with the given command line (the text after the program name, copied into a writable buffer;
// GetCommandLineA returns the module path, a blank and this text). Scripts left suspended when it returns are
// finished (their advance() returns false); idle actions that never ran fail the test.
RunResult run(EntryPoint entry, const char* commandLine);
// Runs the program's own WinMain.
inline RunResult runProgram(const char* commandLine) {
    return run(&WinMain, commandLine);
}

// The result of the last run.
RunResult lastRun();
// The program's process ends after its entry returned: as Windows cleans up after a process, its windows go
// without a message to them, and with them their timers, hotkeys and posted messages; the shell drops their
// tray icons (it does when the mouse next passes over them). The registry, the clocks and other programs
// stay, so that the program can be run again on the same machine.
void endProcess();
// Messages dispatched in one run before it is stopped as a runaway (default 200000).
void setDispatchLimit(unsigned limit);

// The instance handle WinMain receives, and the program's own process id.
HINSTANCE instance();
DWORD ownProcessId();

// ---- Time
// --------------------------------------------------------------------------------------------------

DWORD now(); // virtual milliseconds since reset
// Sets the local time of day at the current virtual instant; it advances with the virtual clock.
void setLocalTime(int hour, int minute, int second);
void setDate(int year, int month, int day); // default 1999-06-15
// Sets what GetTickCount returns at the current virtual instant; it advances with the virtual clock and wraps
// at 2^32 ms as Windows' does after 49.7 days.
void setTickCount(DWORD ticks);

// From a script: lets ms pass with the program's message loop (or the running modal loop) running: posted
// messages are dispatched, timers fire in order at their due times. Returns false, without waiting, when the
// loop the script belongs to has ended (the program quit, the dialog closed).
bool advance(DWORD ms);

// The program's live timers, and a way to make SetTimer fail (for example fails = [](UINT ms) { return ms ==
// 1000; }).
struct TimerInfo {
    HWND window = nullptr; // null for thread timers
    UINT_PTR id = 0;
    UINT elapse = 0;
    DWORD due = 0; // virtual ms
};
std::vector<TimerInfo> timers();
void failTimers(std::function<bool(UINT elapse)> fails);
// Windows 9x gives timers without a window their ids from one pool for the whole system and reuses them (KB
// Q312406): the lowest free id, shared with other programs. Adds such a timer of another program, which never
// fires here, and returns its id; KillTimer(NULL, id) by the program kills it as Windows would, and fails the
// test.
UINT_PTR addForeignTimer();
bool foreignTimerAlive(UINT_PTR id);
// The system's timer tick: due times are rounded up to a multiple of it (Windows 9x ticks every 55 ms). 0,
// the default, is exact.
void setTimerGranularity(unsigned ms);
// Every SetTimer and KillTimer of the program, in order.
struct TimerCall {
    bool setting = true; // SetTimer, else KillTimer
    HWND window = nullptr;
    UINT_PTR id = 0; // asked for (SetTimer) or named (KillTimer)
    UINT elapse = 0;
    UINT_PTR result = 0;     // SetTimer's id or 0; KillTimer's TRUE or FALSE
    bool hitForeign = false; // a KillTimer that ended another program's timer
    DWORD time = 0;
};
const std::vector<TimerCall>& timerCalls();

// The local clock changes while the tick count goes on: a clock set by the user, or a daylight-saving change.
// Nothing is told to the program; broadcastTimeChange() does what the program that set the clock is asked to.
void shiftLocalTime(long long ms);
// Sends WM_TIMECHANGE to the program's top-level windows, as the Date/Time control panel does after it sets
// the clock (Windows 95 does not broadcast it itself). Like every message another thread sends, it is taken
// the next time the program asks for a message, before anything posted; from a script, advance(0) lets it.
void broadcastTimeChange();
// Sends WM_POWERBROADCAST with this event to the program's top-level windows, as the system does.
void powerBroadcast(WPARAM event);
// A standby of ms, from a script. Announced: PBT_APMSUSPEND is sent first and taken. Then the local clock
// moves on by ms; the tick count, and with it the timers, moves on too only when tickCountsSleep (no document
// says which Windows 9x does). Then resume is sent (0: a resume without notice) and taken.
struct Standby {
    DWORD ms = 0;
    bool announced = true;
    WPARAM resume = 0x0007; // PBT_APMRESUMESUSPEND
    bool tickCountsSleep = false;
};
void standby(const Standby& standby);

// ---- Machine settings
// ------------------------------------------------------------------------------------------

void setPlatform(DWORD platformId);          // 1: Windows 98 4.10.1998; 2: Windows NT 4.0.1381; 0: Win32s
void setModulePath(const std::string& path); // GetModuleFileNameA, default "C:\\KELTO\\KELTO95.EXE"
void setKeyHeld(int virtualKey, bool held);  // GetAsyncKeyState high bit
inline void setShiftHeld(bool held) {
    setKeyHeld(VK_SHIFT, held);
}
void setCursorPos(int x, int y);
HWND foregroundWindow(); // the last SetForegroundWindow target

// ---- Scripts: the user
// ---------------------------------------------------------------------------------------

// Queues an action for the next time the main loop has nothing to do. Actions run in order, one per idle
// moment.
void whenIdle(std::function<void()> action);
// Posts WM_CHAR (character code, repeat 1) to window, or to the focused window when null: the newest visible
// window of the program, else the foreground window, else its first window.
void typeChar(char c, HWND window = nullptr);
// Posts WM_TRAYNOTIFY-style callback: the callback message of the tray icon (of window, or the only icon)
// with wParam = its id and lParam = mouseMessage (WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN ...).
// Fails the test when there is no such icon.
void clickTray(UINT mouseMessage, HWND window = nullptr);
// Posts WM_HOTKEY to the owner of the registration (mods, vk); false when the program holds no such hotkey.
bool pressHotkey(UINT modifiers, UINT virtualKey);
// Sends WM_QUERYENDSESSION to every window of the program, as the system does before the session ends;
// true when all of them allowed it.
bool querySessionEnd();
// Runs action (a plain call, not a script) the next time the program blocks in WaitForSingleObject on a
// process, after the wait's time has passed: input it posts arrives while the program waits and is taken
// after the wait, as a thread's queue keeps posted input until GetMessage or PeekMessage asks for it.
void whileWaiting(std::function<void()> action);

// ---- A user for whatever opens
// ---------------------------------------------------------------------------------------
// Plays what the program shows when no script of its kind is queued: a message box, a modal dialog, a popup
// menu, the file dialog, and the main loop's idle moments. Each hook runs as a script would (it may advance()
// and post input). idle returns false when the user has nothing more to do in this run; the run then ends as
// it would without idle actions. Meant for players of whole sequences (the fuzz targets); reset() forgets it.
struct MessageBoxCall;
class Dialog;
struct Menu;
struct User {
    std::function<bool()> idle;
    std::function<int(const MessageBoxCall&)> box;
    std::function<void(Dialog&)> dialog;
    std::function<UINT(Menu&)> menu;
    std::function<BOOL(OPENFILENAMEA&)> openFile;
};
void setUser(User user);

// ---- Windows
// -----------------------------------------------------------------------------------------------

struct WindowInfo {
    HWND handle = nullptr;
    std::string className;
    std::string title;
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    HWND owner = nullptr; // parent or owner
    HMENU menu = nullptr;
    HINSTANCE instance = nullptr;
    DWORD processId = 0;
    bool alive = false;
    bool foreign = false; // belongs to another process (addForeignWindow)
    bool enabled = true;
    int dialogId = 0; // the template id when the window is a dialog
};
struct ClassInfo {
    std::string name;
    WNDCLASSA fields{};
    std::string iconName, cursorName; // resource names of the class icon and cursor
};

// Own and foreign alive top-level windows by class and/or title (null matches any), like FindWindowA.
HWND findWindow(const char* className, const char* title = nullptr);
bool isWindow(HWND window);
WindowInfo windowInfo(HWND window); // also for dead windows; handle null for unknown ones
std::vector<WindowInfo> windows();  // every top-level window ever created (own and foreign), creation order
std::optional<ClassInfo> windowClass(const std::string& name);
std::string classCursor(const std::string& className); // set by SetClassLongA(GCL_HCURSOR), else the class's
int liveWindowCount();                                 // own alive windows, controls included

// ---- Dialogs
// -----------------------------------------------------------------------------------------------

// A handle on a dialog built from a template. Null (false) when no such dialog is open.
class Dialog {
  public:
    Dialog() = default;
    explicit Dialog(HWND window) : window_(window) {}
    HWND hwnd() const { return window_; }
    explicit operator bool() const { return exists(); }
    // Open: alive, and for a modal dialog not yet ended by EndDialog.
    bool exists() const;
    int id() const; // the template id
    std::string caption() const;

    // As the user: a click on a disabled or hidden control does nothing (false). Buttons: auto check boxes
    // toggle, auto radio buttons check and uncheck the other auto radio buttons of their group, then
    // WM_COMMAND (MAKEWPARAM(id, BN_CLICKED), control) goes to the dialog. Statics with SS_NOTIFY send
    // STN_CLICKED (0) likewise.
    bool click(int controlId);
    // A combo box's list: dropping it down (CBN_DROPDOWN, on which a program may fill it anew), and choosing
    // the first item whose text begins with this (CBN_SELCHANGE); false when none does or the box is
    // disabled.
    void dropDown(int controlId);
    bool choose(int controlId, const std::string& itemStart);
    std::vector<std::string> items(int controlId) const;
    // Replaces the text of an edit as the user would (ES_UPPERCASE upper-cases; read-only or disabled edits
    // ignore typing: false; no more than its EM_LIMITTEXT is taken), then sends EN_CHANGE.
    bool type(int controlId, const std::string& text);
    // The caption's close box: sends WM_CLOSE.
    void close();
    // From this dialog's script: lets time pass inside its modal loop (or the main loop for a modeless one).
    bool advance(DWORD ms) const;
    // Sends WM_PAINT to the dialog, then WM_CTLCOLORSTATIC for each static control (as their painting does).
    void paint();

    std::string text(int controlId) const;
    bool checked(int controlId) const;
    bool enabled(int controlId) const;
    bool visible(int controlId) const;
    DWORD style(int controlId) const;
    HFONT font(int controlId) const; // set by WM_SETFONT
    HWND control(int controlId) const;
    std::vector<int> controlIds() const; // in template order

  private:
    HWND window_ = nullptr;
};

// Queues a script for the next modal dialog with this template id (scripts of one id run in order). The
// dialog has had WM_INITDIALOG; the script must end it (click OK/Cancel, close()). A modal dialog without a
// script, or still open after its script, fails the test and is closed.
void onDialog(int templateId, std::function<void(Dialog&)> script);
// The open dialog (modal or modeless, see Dialog::exists) of that template id, the newest if several.
Dialog findDialog(int templateId);

struct DialogRecord {
    int templateId = 0;
    HWND window = nullptr;
    HWND owner = nullptr;
    LPARAM param = 0;
    bool modal = false;
    INT_PTR result = 0; // EndDialog's result for a modal one
    DWORD openedAt = 0;
};
const std::vector<DialogRecord>& dialogsOpened(); // in order of opening

// ---- Menus
// ---------------------------------------------------------------------------------------------------

struct MenuItem {
    UINT id = 0; // 0 for separators and popups
    std::string text;
    bool separator = false;
    bool checked = false;
    bool grayed = false;   // MF_GRAYED
    bool disabled = false; // MF_DISABLED
    HMENU popup = nullptr;
    std::vector<MenuItem> children; // the popup's items
};

// A snapshot of a menu's items and their states.
struct Menu {
    HMENU handle = nullptr;
    std::vector<MenuItem> items;

    int count() const { return (int)items.size(); }
    const MenuItem& at(int position) const { return items.at(position); }
    const MenuItem* find(UINT id) const; // searches popups too
    bool checked(UINT id) const;         // fails the test for an id not in the menu
    bool grayed(UINT id) const;
    std::string str() const; // one line per item, for messages
};

Menu menu(HMENU handle); // a snapshot now; fails the test for a handle that is not a live menu
// Menus (bars and popups alike) loaded and not destroyed. DestroyMenu on a popup frees it and its own popups
// but not the bar LoadMenuA returned, which stays live until destroyed itself, as in Windows.
int liveMenuCount();

// Answers the next TrackPopupMenuEx: return the chosen command id, or 0 to dismiss the menu. A chosen command
// is posted to the owner as WM_COMMAND (MAKEWPARAM(id, 0), 0), as Windows does without TPM_RETURNCMD.
void onMenu(std::function<UINT(Menu&)> answer);

struct MenuShown {
    Menu menu; // as it was when shown
    UINT flags = 0;
    int x = 0, y = 0;
    HWND owner = nullptr;
    UINT chosen = 0;
    DWORD time = 0;
};
const std::vector<MenuShown>& menusShown();

// ---- Message boxes
// -------------------------------------------------------------------------------------------

struct MessageBoxCall {
    HWND owner = nullptr;
    std::string text;
    std::optional<std::string> caption; // nullopt when the caption pointer was null
    UINT style = 0;
    std::optional<UINT> beep; // the MessageBeep made since the previous box, if any
    int answer = 0;
    DWORD time = 0;
    bool closedByQuit = false; // a quit message ended it before it was answered
};
// The next box is answered with answer (IDOK, IDYES, IDNO ...).
void expectBox(int answer);
// The same, and the box must show exactly this text.
void expectBox(const std::string& text, int answer);
// The next box is answered by a script, which may advance() while the box is open.
void expectBox(std::function<int(const MessageBoxCall&)> script);
const std::vector<MessageBoxCall>& boxes();
const std::vector<UINT>& beeps(); // every MessageBeep, in order

// ---- Accelerators
// ------------------------------------------------------------------------------------------

struct Accelerator {
    unsigned flags = 0; // fVirt without the end-of-table mark
    unsigned key = 0;
    unsigned command = 0;
};
std::vector<Accelerator> acceleratorTable(HACCEL table); // empty for an unknown handle

// ---- The request log
// ---------------------------------------------------------------------------------------

// Every request that ends or changes the session or the machine, or reaches outside the program:
// ExitWindowsEx, WinExec, BroadcastSystemMessage, SetSystemPowerState, PostMessageA and SendMessageTimeoutA
// to windows of other processes (and the desktop), DeviceIoControl, TerminateProcess, CreateProcessA,
// ShellExecuteExA, ShellExecuteA.
// str() renders "Kind(arg,arg,...)": numbers in decimal, texts in double quotes, null pointers as NULL,
// windows as <class> (<desktop> for the desktop window), processes by id. For example:
//   ExitWindowsEx(1,0)                 WinExec("Rundll.exe KeltoDLL.dll,CallExitWindows",0)
//   BroadcastSystemMessage(34,8,22,1,0)   BroadcastSystemMessage(8,NULL,536,5,0)
//   SetSystemPowerState(1,0)           PostMessageA(<desktop>,274,61760,0)
//   SendMessageTimeoutA(<Notepad>,22,1,0,2,500)   TerminateProcess(77,0)
//   DeviceIoControl(1,eax=0x440D,ebx=4,ecx=0x4866,flags=1)   (the input registers)
//   CreateProcessA(NULL,"notepad.exe readme.txt",0,0)   (application, command line, inherit, flags)
//   ShellExecuteExA(64,"report.doc",NULL,NULL,NULL,1)   (mask, file, verb, parameters, directory, show)
//   ShellExecuteA(NULL,"open","mailto:x@y",NULL,NULL,1) (owner, verb, file, parameters, directory, show)
struct Request {
    std::string kind;
    std::vector<std::string> args; // rendered as in str()
    DWORD time = 0;                // virtual ms
    LONG_PTR result = 0;           // what the call returned
    DWORD registersIn[7] = {};     // DeviceIoControl: EBX, EDX, ECX, EAX, EDI, ESI, Flags
    DWORD registersOut[7] = {};
    HWND window = nullptr; // the target window of posts and sends
    std::string str() const;
};
bool operator==(const Request& request, const std::string& text); // compares str()
inline bool operator==(const Request& request, const char* text) {
    return request == std::string(text);
}
inline bool operator!=(const Request& request, const std::string& text) {
    return !(request == text);
}
std::ostream& operator<<(std::ostream& out, const Request& request);

const std::vector<Request>& requests();
std::vector<std::string> requestStrings();                        // str() of each, in order
std::vector<std::string> requestStrings(const std::string& kind); // only of one kind
void setExitWindowsResult(BOOL result); // what ExitWindowsEx returns when nothing refuses (default TRUE)

// ---- Registry
// ------------------------------------------------------------------------------------------------

struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;  // exactly as written, byte count included
    std::string text() const; // bytes up to the first NUL
};
enum class RegOp { Open, Create, Query, Set, DeleteValue, DeleteKey };

void regCreateKey(HKEY root, const std::string& path); // with every missing parent
void regSetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::vector<BYTE>& bytes);
void regSetString(HKEY root, const std::string& path, const std::string& name,
                  const std::string& text); // +NUL
void regSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value,
                 DWORD type = REG_DWORD);
bool regKeyExists(HKEY root, const std::string& path);
std::optional<RegValue> regValue(HKEY root, const std::string& path, const std::string& name);
std::vector<std::string> regValueNames(HKEY root, const std::string& path);
// Makes an operation on a key fail with error. For Query, Set and DeleteValue, name selects the value ("" is
// the default value; "*" every value); Open, Create and DeleteKey ignore it (DeleteKey: path is the deleted
// key).
void regFail(RegOp op, HKEY root, const std::string& path, const std::string& name = "*",
             LONG error = ERROR_ACCESS_DENIED);
int openKeyCount(); // keys opened or created by the program and not closed

struct RegCall {
    std::string function; // "RegOpenKeyExA" ...
    std::string key;      // full path with root: "HKLM\\SOFTWARE\\Garvik\\Kelto95"
    std::string value;    // the value name, or the sub key of RegDeleteKeyA
    DWORD access = 0;     // REGSAM of opens and creates
    DWORD type = 0;       // RegSetValueExA
    DWORD size = 0;       // byte count passed (set) or passed in (query)
    LONG result = 0;
};
const std::vector<RegCall>& regCalls();

// ---- Profile files (system.ini), files, drives
// -----------------------------------------------------------------

void setProfileString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);
void addFile(const std::string& fullPath); // for OpenFile(OF_EXIST); stored upper-case
bool fileExists(const std::string& fullPath);
void setCurrentDirectory(const std::string& path); // for relative names in OpenFile, default "C:\\WINDOWS"
std::string currentDirectory();                    // as SetCurrentDirectoryA and the file dialog leave it

// A drive with its GetDriveTypeA type and its media results. Default machine: C: fixed.
void setDrive(char letter, UINT type, bool mediaIdSucceeds = true, bool ejectSucceeds = true);
void removeDrive(char letter);
const std::vector<std::string>& driveTypeQueries(); // the texts passed to GetDriveTypeA, in order
// Every CreateFileA call: CreateFileA("name",access,share,security,disposition,flags,template), security and
// template as NULL or ptr.
const std::vector<std::string>& createFileCalls();
void setVwin32Available(bool available); // CreateFileA("\\\\.\\vwin32"), default true
// Windows 95 before OSR2: Get Media ID in its FAT32-aware form (category 48h) fails as an unknown function.
void setVwin32FirstRelease(bool firstRelease);
void setDeviceIoControlFails(bool fails); // DeviceIoControl returns FALSE, record untouched
int openHandleCount();                    // kernel handles (processes, threads, devices) not closed

// ---- Processes
// ---------------------------------------------------------------------------------------------

// What the next CreateProcessA or ShellExecuteExA does. Without a plan it starts a process that ends at once.
struct ProcessPlan {
    bool starts = true;     // false: the call fails
    DWORD runsMs = 0;       // how long the started process runs
    bool endless = false;   // never ends unless terminated
    bool noProcess = false; // ShellExecuteExA succeeds but reports no process (hProcess stays NULL)
    DWORD error = ERROR_FILE_NOT_FOUND; // GetLastError-style reason when it fails (hInstApp for the shell)
};
void planProcess(const ProcessPlan& plan);

enum class WindowBehavior {
    Answers,        // SendMessageTimeoutA succeeds at once
    HangsThenExits, // the send times out after its time-out; the process ends exitsAfterMs later
    Hangs,          // the send times out; the process never ends unless terminated
};
// Adds a top-level window of another process (created with the process when pid is new).
HWND addForeignWindow(const std::string& className, const std::string& title, DWORD pid,
                      WindowBehavior behavior = WindowBehavior::Answers, DWORD exitsAfterMs = 100);
void setOpenProcessFails(DWORD pid, bool fails = true);

struct ProcessInfo {
    DWORD pid = 0;
    std::string exeFile;     // what the process list shows: the file of its program, folder and all
    std::string commandLine; // for processes the program started
    bool foreign = false;    // added by the test
    bool alive = false;
    bool terminated = false; // by TerminateProcess
    UINT exitCode = 0;
    DWORD startedAt = 0;
    std::optional<DWORD> endsAt; // virtual ms; nullopt while it runs without end
    // How the program started it (CreateProcessA; ShellExecuteExA fills commandLine with the file).
    STARTUPINFOA startup{};
    std::optional<std::string> directory;
    bool environmentGiven = false;
};
// Another program, running from this file (as the process list shows it, for example
// "C:\\WINDOWS\\DEFRAG.EXE"), for ms or, without ms, until it is ended; returns its id.
DWORD addProcess(const std::string& exeFile, std::optional<DWORD> runsMs = std::nullopt);
// Ends another program now, as its user would.
void stopProcess(DWORD pid);
std::vector<ProcessInfo> processes();
std::optional<ProcessInfo> process(DWORD pid);

// ---- Tray icon
// ---------------------------------------------------------------------------------------------

struct TrayIcon {
    HWND window = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
    HICON icon = nullptr;
    std::string iconName; // the resource name the icon was loaded by
    std::string tip;
};
// The shell's taskbar as a restarting shell loses it. Gone: its Shell_TrayWnd window goes, every tray icon
// with it, and tray requests fail. Back: a new Shell_TrayWnd window (a new handle) takes requests again. The
// default machine has a taskbar without a window of its own (so no forced close ever meets it).
void setTaskbar(bool present);
// Posts the registered message "TaskbarCreated" to every top-level window of the program, as a Windows 98
// shell does when its taskbar starts (the first Windows 95 release does not); false when the program never
// registered that message.
bool broadcastTaskbarCreated();
std::vector<TrayIcon> trayIcons();  // present icons, in order of adding
std::optional<TrayIcon> trayIcon(); // the only present icon; nullopt when none (fails the test if several)
struct TrayRequest {
    DWORD message = 0; // NIM_ADD, NIM_MODIFY, NIM_DELETE
    NOTIFYICONDATAA data{};
    std::string iconName;
    BOOL result = FALSE;
    DWORD time = 0;
};
const std::vector<TrayRequest>& trayRequests();

// ---- Hotkeys
// -------------------------------------------------------------------------------------------------

struct Hotkey {
    HWND window = nullptr;
    int id = 0;
    UINT modifiers = 0;
    UINT virtualKey = 0;
};
std::vector<Hotkey> hotkeys();                    // the program's registrations, oldest first
void takeHotkey(UINT modifiers, UINT virtualKey); // another program holds this combination
struct HotkeyCall {
    bool registering = true; // RegisterHotKey, else UnregisterHotKey
    Hotkey hotkey;           // modifiers and key only for RegisterHotKey
    BOOL result = FALSE;
    DWORD time = 0;
};
const std::vector<HotkeyCall>& hotkeyCalls();

// ---- Resources, GDI
// ------------------------------------------------------------------------------------------

// The resource name an icon, cursor or bitmap handle was loaded by ("Icon_1", "#261", "IDC_ARROW", "GARVIK");
// "" for other handles.
std::string resourceName(const void* handle);
int liveGdiObjects(); // fonts, loaded bitmaps, memory DCs, GetDC contexts not yet deleted or released

struct FontInfo {
    int height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
    DWORD italic = 0, underline = 0, strikeOut = 0, charSet = 0, outPrecision = 0, clipPrecision = 0,
          quality = 0, pitchAndFamily = 0;
    std::string face;
};
std::optional<FontInfo> fontInfo(HFONT font);
struct TextDrawn {
    HWND window = nullptr; // the window the device context draws on
    int x = 0, y = 0;
    std::string text;
    COLORREF textColor = 0, backgroundColor = 0;
    HFONT font = nullptr;
};
const std::vector<TextDrawn>& textDrawn();
struct BlitDone {
    HWND window = nullptr;
    int x = 0, y = 0, width = 0, height = 0, sourceX = 0, sourceY = 0;
    std::string bitmapName; // the bitmap selected into the source context
    DWORD rop = 0;
};
const std::vector<BlitDone>& blits();
struct ClassLongCall {
    HWND window = nullptr;
    int index = 0;
    LONG value = 0;
    std::string resource; // resourceName of the value
};
const std::vector<ClassLongCall>& classLongCalls();

// ---- Shell, COM, file dialog
// -----------------------------------------------------------------------------------

int coInitializeCount();                   // CoInitialize calls minus CoUninitialize calls
int coInitializeCalls();                   // CoInitialize calls
void setCoCreateResult(HRESULT result);    // CoCreateInstance of the link object fails with result
void setPersistFileResult(HRESULT result); // QueryInterface(IID_IPersistFile) fails with result
void setLinkSaveResult(HRESULT result);    // IPersistFile::Save fails with result
int liveComObjects();                      // link objects not fully released

struct ShortcutSaved {
    std::string path; // converted back from UTF-16
    BOOL remember = FALSE;
    std::optional<std::string> target, arguments, iconPath;
    int iconIndex = 0;
    std::optional<WORD> hotkey;
    DWORD time = 0;
};
const std::vector<ShortcutSaved>& shortcutsSaved();
std::optional<ShortcutSaved> shortcutFile(const std::string& path); // the last one saved at that path

// Special folders: CSIDL_DESKTOP "C:\\WINDOWS\\Desktop", CSIDL_STARTMENU "C:\\WINDOWS\\Start Menu".
void setSpecialFolder(int csidl, const std::string& path);
void setSpecialFolderFails(int csidl, HRESULT result = E_FAIL);
void setPathFromIdListFails(bool fails);
int liveItemIdLists(); // from SHGetSpecialFolderLocation, not freed with CoTaskMemFree

// Answers the next GetOpenFileNameA: the script may fill the request (chooseFile helps) and returns the
// result.
void onOpenFile(std::function<BOOL(OPENFILENAMEA&)> answer);
// Puts path into the request's file buffer (bounded by nMaxFile) with nFileOffset and nFileExtension.
void chooseFile(OPENFILENAMEA& request, const std::string& path);
struct OpenFileRequest {
    OPENFILENAMEA fields{}; // as passed (pointers are not valid afterwards)
    std::string filter;     // the filter pairs, NULs shown as '|'
    std::string fileAtCall; // the file buffer's text when called
    BOOL result = FALSE;
};
const std::vector<OpenFileRequest>& openFileRequests();

// ---- Libraries the program loads itself
// ----------------------------------------------------------------------

// LoadLibraryA loads ole32.dll and comdlg32.dll (any case, ".dll" optional) and GetProcAddress finds their
// entries the simulation implements: CoInitialize, CoUninitialize, CoCreateInstance, CoTaskMemFree and
// GetOpenFileNameA. Those fail the test when called before the program loaded their library.
void removeLibrary(const std::string& name);                            // LoadLibraryA of it fails
void removeEntry(const std::string& library, const std::string& entry); // GetProcAddress finds no such entry
int libraryLoads(const std::string& name);                              // successful LoadLibraryA calls

// The order of the calls that mark start-up's steps and the use of those libraries: LoadAcceleratorsA,
// CheckMenuItem, LoadLibraryA("name"), GetProcAddress(library,"entry"), CoInitialize, CoUninitialize,
// GetOpenFileNameA and GetMessageA. A call repeating the one recorded last is not recorded again.
const std::vector<std::string>& callOrder();

} // namespace sim
#endif
