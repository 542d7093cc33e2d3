// The simulated machine's state, shared by the sim/*.cpp files; tests use sim.h.
#ifndef SIM_INTERNAL_H
#define SIM_INTERNAL_H

#include "sim.h"
#include "resources.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

namespace sim {
namespace detail {

// ---- Handles
// -------------------------------------------------------------------------------------------------

// Every fake handle is a small number, so that a program storing one in a 32-bit field (SetClassLongA, the
// tray icon id) loses nothing on the 64-bit host.
template <typename H> H makeHandle(uintptr_t value) {
    return reinterpret_cast<H>(value);
}
inline uintptr_t handleValue(const void* handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

// ---- Failures
// ------------------------------------------------------------------------------------------------

// A failure message built with << and reported through the failure handler when the statement ends:
//     fail() << "dialog " << id << " is still open after its script; closing it";
class FailureMessage {
  public:
    FailureMessage() = default;
    FailureMessage(const FailureMessage&) = delete;
    FailureMessage& operator=(const FailureMessage&) = delete;
    ~FailureMessage();
    template <typename T> FailureMessage& operator<<(const T& value) {
        text_ << value;
        return *this;
    }

  private:
    std::ostringstream text_;
};
inline FailureMessage fail() {
    return FailureMessage();
}

// ---- Scripts
// ---------------------------------------------------------------------------------------------------

// A script runs on a thread of its own, but strictly in turn with the program: resume() hands over and waits
// until the script yields or ends, so only one side ever runs.
class Fiber {
  public:
    explicit Fiber(std::function<void()> body);
    ~Fiber();
    Fiber(const Fiber&) = delete;
    Fiber& operator=(const Fiber&) = delete;
    void resume();
    bool started() const { return started_; }
    bool finished() const { return finished_; }
    static void yield(); // from inside the body

  private:
    void main();
    std::function<void()> body_;
    std::thread* thread_ = nullptr;
    bool started_ = false, finished_ = false, turn_ = false;
};

struct Script {
    std::unique_ptr<Fiber> fiber;
    bool waiting = false;   // suspended in advance()
    uint64_t deadline = 0;  // the virtual time advance() waits for
    bool loopEnded = false; // its loop is gone: advance() returns false at once
};
std::unique_ptr<Script> makeScript(std::function<void()> body);
// Finishes a script whose loop has ended.
void finishScript(Script& script);

// ---- Windows
// ---------------------------------------------------------------------------------------------------

struct Window {
    HWND handle = nullptr;
    std::string className; // as registered or given
    std::string text;
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    HWND owner = nullptr; // owner, or parent of a control
    HMENU menu = nullptr;
    HINSTANCE instance = nullptr;
    WNDPROC proc = nullptr;
    bool alive = true;
    bool destroying = false;
    bool foreign = false;
    DWORD pid = 0;
    WindowBehavior behavior = WindowBehavior::Answers;
    DWORD exitsAfterMs = 0;
    uint64_t seq = 0;
    // Dialogs.
    bool isDialog = false;
    int dialogId = 0;
    DLGPROC dialogProc = nullptr;
    std::vector<HWND> controls;
    bool modal = false, ended = false;
    bool enablesOwner = false; // a modal dialog that disabled its owner: EndDialog enables it again
    INT_PTR result = 0;
    size_t recordIndex = 0;
    // Controls.
    bool isControl = false;
    int controlId = 0;
    UINT checkState = 0;
    HFONT font = nullptr;
    size_t textLimit = 32767; // what the user can type into an edit; EM_LIMITTEXT sets it
    std::vector<std::pair<std::string, LPARAM>> items; // a combo box's list, with each item's data
    int selected = -1;
};

struct WindowClass {
    std::string name;
    WNDCLASSA fields{};
    ATOM atom = 0;
    LONG cursor = 0; // GCL_HCURSOR
};

Window* newWindow();          // alive, with the next handle; the caller fills it in
Window* findWin(HWND handle); // alive or dead; null for unknown handles
Window* liveWin(HWND handle); // alive only
LRESULT callWindow(Window* window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_GETTEXT's copy into the caller's buffer of size bytes; returns the length copied.
LRESULT copyText(const std::string& text, WPARAM size, LPARAM buffer);
std::string describeWindow(HWND window); // <class>, <desktop>, <invalid>
void destroyWindowsOf(DWORD pid);        // a foreign process ended
HWND desktopHandle();
HDC paintContext(HWND window); // the context a control paints with; the system's, not counted

// Dialogs and their controls (dialogs.cpp); callWindow hands them their messages.
LRESULT dialogClassProc(Window* dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT controlProc(Window* control, UINT message, WPARAM wParam, LPARAM lParam);
Window* liveControl(HWND dialog, int id);
UINT buttonKind(const Window* control); // BS_ kind of a BUTTON, or 0xFFFF for other classes
// Sets the text as WM_SETTEXT does: an edit with a case style converts it.
void setControlText(Window* control, const char* text);
// A click as the control handles it: its state first, then the notification to the dialog. False when the
// control takes no click (disabled, a group box, a static without SS_NOTIFY).
bool clickControl(Window* control);

#ifndef MAKEWPARAM
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#endif
#ifndef MAKELPARAM
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#endif

// ---- Menus
// -----------------------------------------------------------------------------------------------------

struct MenuObject {
    bool alive = true;
    struct Item {
        UINT id = 0;
        std::string text;
        bool separator = false, checked = false, grayed = false, disabled = false;
        HMENU popup = nullptr;
    };
    std::vector<Item> items;
};

MenuObject* liveMenu(HMENU handle);                // null once destroyed
std::vector<MenuItem> snapshotItems(HMENU handle); // the items as they are now, popups' items included

// ---- Timers and the queue
// ------------------------------------------------------------------------------------

struct Timer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    uint64_t due = 0;
    TIMERPROC proc = nullptr;
    uint64_t seq = 0;
    bool foreign = false; // another program's timer without a window: it shares the ids, never fires here
};

// ---- Processes, handles
// ----------------------------------------------------------------------------------------

struct Process {
    ProcessInfo info;
    std::optional<uint64_t> endsAt; // nullopt: runs until terminated
    bool openFails = false;
};

struct KernelHandle {
    enum Kind { ProcessHandle, ThreadHandle, Device, Snapshot } kind = Device;
    DWORD pid = 0;
    DWORD access = 0;
    bool open = true;
    std::vector<std::pair<DWORD, std::string>> processes; // a snapshot's: the ids and files, in order
    size_t next = 0;
};

// ---- Registry
// --------------------------------------------------------------------------------------------------

// Orders the keys by their upper-case form without making one, so that a path in any case finds its key. The
// keys are stored upper-case, where this is the order of plain strings.
struct NoCaseLess {
    bool operator()(std::string_view a, std::string_view b) const {
        size_t common = a.size() < b.size() ? a.size() : b.size();
        // Mostly the shorter path is the longer one's parent, byte for byte: then the lengths decide.
        if (common == 0 || std::memcmp(a.data(), b.data(), common) == 0)
            return a.size() < b.size();
        for (size_t i = 0; i < common; i++) {
            unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            if (x == y)
                continue;
            if (x >= 'a' && x <= 'z')
                x = static_cast<unsigned char>(x - 'a' + 'A');
            if (y >= 'a' && y <= 'z')
                y = static_cast<unsigned char>(y - 'a' + 'A');
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};
struct RegKeyData {
    std::string path; // display form with root: HKLM\SOFTWARE\...
    std::vector<std::pair<std::string, RegValue>> values;
};
struct RegHandle {
    std::string key; // upper-case full path
    bool open = true;
};
struct RegFailure {
    RegOp op;
    std::string key;  // upper-case full path
    std::string name; // upper-case, or "*"
    LONG error;
};

// ---- GDI
// -------------------------------------------------------------------------------------------------------

struct GdiObject {
    enum Kind { Font, Bitmap, MemoryDC, WindowDC, Stock } kind = Stock;
    bool alive = true;
    std::string name; // bitmaps: resource name
    FontInfo font;
    int width = 0, height = 0, bitsPerPixel = 0;
    // Device contexts.
    HWND window = nullptr;
    HGDIOBJ bitmap = nullptr, fontSelected = nullptr;
    COLORREF textColor = 0, backgroundColor = 0x00FFFFFF;
};

// ---- Expectations
// ------------------------------------------------------------------------------------------------

struct BoxExpectation {
    std::optional<std::string> text;
    int answer = IDOK;
    std::function<int(const MessageBoxCall&)> script;
};

// ---- The machine
// -------------------------------------------------------------------------------------------------

struct State {
    // Time.
    uint64_t clock = 0;
    int64_t timeOfDayAtZeroMs = 12 * 3600 * 1000LL; // local time of day when the clock read 0
    DWORD ticksAtZero = 3600000; // GetTickCount when the clock read 0: the machine has been up an hour
    int year = 1999, month = 6, day = 15;

    // Platform.
    DWORD platform = VER_PLATFORM_WIN32_WINDOWS, major = 4, minor = 10, build = 1998;
    std::string csd = " A ";
    std::string modulePath = "C:\\KELTO\\KELTO95.EXE";
    std::string commandLine; // GetCommandLineA
    std::set<int> keysHeld;
    POINT cursor{0, 0};
    HWND foreground = nullptr;

    // Run.
    bool running = false;
    bool over = false; // the loop has ended: GetMessageA keeps returning 0
    RunResult result;
    unsigned dispatched = 0, dispatchLimit = 200000;
    bool runaway = false;
    bool waitedForInput = false;

    // Queue and timers.
    std::deque<MSG> queue;
    bool quitPosted = false;
    WPARAM quitCode = 0;
    std::vector<Timer> timers;
    uint64_t seq = 0;
    std::function<bool(UINT)> timerFails;
    unsigned timerGranularity = 0; // ms between the system's timer ticks; 0: exact
    std::vector<TimerCall> timerCalls;
    // Messages other threads sent (the system's broadcasts): delivered the next time the program asks for a
    // message, before anything posted, and never during a blocking wait.
    std::deque<MSG> sentMessages;

    // Scripts. The queues most runs leave empty are lists, which allocate nothing while empty: a machine is
    // made fresh for every test and every fuzz input, and a deque allocates on being made. Box answers, which
    // most runs give, stay in a deque.
    std::list<std::function<void()>> idleActions;
    std::unique_ptr<Script> idleScript;
    std::map<int, std::deque<std::function<void(Dialog&)>>> dialogScripts;
    std::list<std::function<UINT(Menu&)>> menuAnswers;
    std::deque<BoxExpectation> boxExpectations;
    std::list<std::function<BOOL(OPENFILENAMEA&)>> openFileAnswers;
    User user;
    std::list<std::function<void()>> whileWaiting;
    bool userDone = false; // the user's idle hook said it has nothing more to do in this run

    // Windows.
    std::vector<std::unique_ptr<Window>> windows;
    std::map<uintptr_t, Window*> windowByHandle;
    uintptr_t nextWindow = 0x10000;
    std::vector<WindowClass> classes;
    ATOM nextAtom = 0xC000;
    std::map<std::string, LONG> classCursors; // by upper-case class name, after SetClassLongA
    std::vector<DialogRecord> dialogRecords;

    // Menus and accelerators.
    std::map<uintptr_t, MenuObject> menus;
    uintptr_t nextMenu = 0x20000;
    std::map<uintptr_t, std::pair<std::string, std::vector<AccelEntry>>> accelerators;
    uintptr_t nextAccel = 0x28000;
    std::vector<MenuShown> menusShown;

    // Boxes.
    std::vector<MessageBoxCall> boxes;
    std::vector<UINT> beeps;
    std::optional<UINT> pendingBeep;

    // Requests.
    std::vector<Request> requests;
    BOOL exitWindowsResult = TRUE;

    // Registry.
    std::map<std::string, RegKeyData, NoCaseLess> keys; // by upper-case full path
    std::map<uintptr_t, RegHandle> regHandles;
    uintptr_t nextRegHandle = 0x30000;
    std::vector<RegFailure> regFailures;
    std::vector<RegCall> regCalls;

    // Profiles, files, drives.
    std::map<std::string, std::map<std::string, std::vector<std::pair<std::string, std::string>>>> profiles;
    std::set<std::string> files;
    std::string currentDirectory = "C:\\WINDOWS";
    struct Drive {
        bool present = false;
        UINT type = DRIVE_NO_ROOT_DIR;
        bool mediaIdSucceeds = true, ejectSucceeds = true;
    } drives[26];
    std::vector<std::string> driveTypeQueries;
    std::vector<std::string> createFileCalls;
    bool vwin32Available = true, deviceIoControlFails = false, vwin32FirstRelease = false;

    // Processes and kernel handles.
    std::map<DWORD, Process> processes;
    std::vector<DWORD> processOrder;
    DWORD nextPid = 0x2000;
    std::list<ProcessPlan> processPlans; // a list, as the script queues above
    std::map<uintptr_t, KernelHandle> kernelHandles;
    uintptr_t nextKernelHandle = 0x40000;

    // Tray and hotkeys.
    bool taskbarMissing = false; // between setTaskbar(false) and setTaskbar(true)
    HWND taskbarWindow = nullptr;
    std::map<std::string, UINT> registeredMessages; // by upper-cased name
    std::vector<TrayIcon> trayIcons;
    std::vector<TrayRequest> trayRequests;
    std::vector<Hotkey> hotkeys;
    std::vector<std::pair<UINT, UINT>> hotkeysTaken;
    std::vector<HotkeyCall> hotkeyCalls;

    // Resources and GDI.
    std::map<uintptr_t, std::string> resourceNames; // icons, cursors, bitmaps
    std::map<std::string, uintptr_t> sharedIcons;   // by kind and upper-case name
    uintptr_t nextResourceHandle = 0x50000;
    std::map<uintptr_t, GdiObject> gdi;
    uintptr_t nextGdi = 0x60000;
    std::vector<TextDrawn> textDrawn;
    std::vector<BlitDone> blits;
    std::vector<ClassLongCall> classLongCalls;

    // Shell and COM.
    int coInitCalls = 0, coUninitCalls = 0;
    HRESULT coCreateResult = S_OK, persistFileResult = S_OK, linkSaveResult = S_OK;
    int liveComObjects = 0;
    std::vector<ShortcutSaved> shortcuts;
    std::map<int, std::string> specialFolders;
    std::map<int, HRESULT> specialFolderFailures;
    bool pathFromIdListFails = false;
    std::map<const void*, int> itemIdLists; // live lists and their folder
    std::vector<OpenFileRequest> openFileRequests;

    // Libraries the program loads itself, by lower-case name.
    std::set<std::string> librariesRemoved;
    std::set<std::pair<std::string, std::string>> entriesRemoved;
    std::map<std::string, int> libraryLoads;
    std::vector<std::string> callOrder;
};

extern State* S;

// ---- Shared helpers
// ----------------------------------------------------------------------------------------------

std::string upper(std::string text);
bool equalNoCase(const std::string& a, const std::string& b);
std::string quoted(const char* text); // "text" or NULL
std::string hex(DWORD value);
void addRequest(Request request);
// Appends a call to callOrder(), unless it repeats the call recorded last.
void noteCall(const std::string& call);
Request makeRequest(const std::string& kind, std::vector<std::string> args, LONG_PTR result = 0);

// The message loop machinery.
bool fetchDue(MSG* message); // a posted message, the quit message or a due timer, without time passing
std::optional<uint64_t> nextTimerDue();
void countDispatch(); // fails the run as a runaway past the limit
// What a nested loop does with a quit message: message boxes and modal dialogs end and post it again for
// the loop below (Wine's dialog.c, DIALOG_DoDialogBox); a popup menu's loop removes it and dispatches it like
// any other message, which does nothing, and stays open (Wine's win32u/menu.c, track_menu).
enum class OnQuit { EndLoop, Swallow };
// Runs a nested modal loop: dispatches what is due and lets the script (if any) run, until done() holds or
// nothing can happen any more. Returns true when it ended on a quit message, which is then left in the queue.
bool modalLoop(Script* script, const std::function<bool()>& done, OnQuit onQuit = OnQuit::EndLoop);
void passTime(uint64_t ms); // blocking calls: the clock moves, nothing is dispatched
uint64_t clockNow();

// Processes.
Process* findProcess(DWORD pid);
// Starts a process by the next plan (or one that ends at once); usedPlan receives the plan.
Process* startProcess(const std::string& commandLine, ProcessPlan* usedPlan);
void endProcess(Process& process, bool terminated, UINT exitCode);
void settleProcesses(); // ends the processes whose time has come
HANDLE newKernelHandle(KernelHandle::Kind kind, DWORD pid, DWORD access);

// Shell. A library name as LoadLibraryA takes it: lower case, ".dll" added when no extension is given.
std::string libraryName(std::string name);
HMODULE libraryHandle(const std::string& name); // of a library the machine has, by that name

// Registry: empties the log, keeping its calls for the storage of their strings, and returns it empty with
// its capacity.
std::vector<RegCall> recycleRegCalls();

// Resources.
const std::string& resourceNameOf(uintptr_t handle);
void removeHotkeysOf(HWND window);
void killTimersOf(HWND window);
void dropMessagesOf(HWND window); // the posted messages of a window that is gone

// The end of Windows. Sends WM_QUERYENDSESSION to every window of the program, as Windows does before it
// ends; true when all of them allowed it.
bool askWindowsToEnd();

} // namespace detail
} // namespace sim
#endif
