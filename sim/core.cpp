// The machine's heart: reset, the virtual clock, scripts, the one thread's message queue and timers, and
// runs.
#include "internal.h"

#include <shlobj.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace sim {
namespace detail {

// A fresh machine; reset() also loads the resources. Tests of plain functions may run without a Machine.
static State* freshState() {
    State* state = new State;
    state->drives[2].present = true;
    state->drives[2].type = DRIVE_FIXED;
    state->specialFolders[CSIDL_DESKTOP] = "C:\\WINDOWS\\Desktop";
    state->specialFolders[CSIDL_STARTMENU] = "C:\\WINDOWS\\Start Menu";
    Process own;
    own.info.pid = ownProcessId();
    own.info.commandLine = state->modulePath;
    own.info.exeFile = state->modulePath;
    state->libraryLoads["kernel32.dll"] = 1; // every process has it
    own.info.alive = true;
    state->processes[own.info.pid] = std::move(own);
    state->commandLine = state->modulePath;
    return state;
}

State* S = freshState();

namespace {

std::mutex gTurnMutex;
std::condition_variable gTurn;
thread_local Fiber* tlsFiber = nullptr;
thread_local Script* tlsScript = nullptr;

const HINSTANCE kInstance = makeHandle<HINSTANCE>(0x00400000);
const DWORD kOwnPid = 0x1F00;

std::vector<char> gCommandLineBuffer;

} // namespace

// ---- Fibers
// ---------------------------------------------------------------------------------------------------

Fiber::Fiber(std::function<void()> body) : body_(std::move(body)) {}

Fiber::~Fiber() {
    if (thread_) {
        thread_->join();
        delete thread_;
    }
}

void Fiber::resume() {
    std::unique_lock<std::mutex> lock(gTurnMutex);
    if (finished_)
        return;
    turn_ = true;
    if (!started_) {
        started_ = true;
        thread_ = new std::thread([this] { main(); });
    } else {
        gTurn.notify_all();
    }
    gTurn.wait(lock, [this] { return !turn_; });
}

void Fiber::main() {
    {
        std::unique_lock<std::mutex> lock(gTurnMutex);
        gTurn.wait(lock, [this] { return turn_; });
    }
    tlsFiber = this;
    body_();
    std::unique_lock<std::mutex> lock(gTurnMutex);
    finished_ = true;
    turn_ = false;
    gTurn.notify_all();
}

void Fiber::yield() {
    Fiber* self = tlsFiber;
    std::unique_lock<std::mutex> lock(gTurnMutex);
    self->turn_ = false;
    gTurn.notify_all();
    gTurn.wait(lock, [self] { return self->turn_; });
}

std::unique_ptr<Script> makeScript(std::function<void()> body) {
    auto script = std::make_unique<Script>();
    Script* raw = script.get();
    script->fiber = std::make_unique<Fiber>([raw, body = std::move(body)] {
        tlsScript = raw;
        body();
    });
    return script;
}

void finishScript(Script& script) {
    script.loopEnded = true;
    while (script.fiber->started() && !script.fiber->finished())
        script.fiber->resume();
}

// ---- Helpers
// ----------------------------------------------------------------------------------------------------

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Compared in place: the registry and the window classes ask this many times a run.
bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

std::string quoted(const char* text) {
    return text ? "\"" + std::string(text) + "\"" : "NULL";
}

std::string hex(DWORD value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
    return buffer;
}

Request makeRequest(const std::string& kind, std::vector<std::string> args, LONG_PTR result) {
    Request request;
    request.kind = kind;
    request.args = std::move(args);
    request.time = static_cast<DWORD>(S->clock);
    request.result = result;
    return request;
}

void addRequest(Request request) {
    S->requests.push_back(std::move(request));
}

void noteCall(const std::string& call) {
    if (S->callOrder.empty() || S->callOrder.back() != call)
        S->callOrder.push_back(call);
}

uint64_t clockNow() {
    return S->clock;
}

// ---- Queue and timers
// -------------------------------------------------------------------------------------------

std::optional<uint64_t> nextTimerDue() {
    std::optional<uint64_t> best;
    for (const Timer& timer : S->timers)
        if (!timer.foreign && (!best || timer.due < *best))
            best = timer.due;
    return best;
}

// When a timer of this interval set now falls due: on the first system tick at or after it.
static uint64_t dueAfter(uint64_t from, UINT elapse) {
    uint64_t due = from + elapse;
    if (unsigned tick = S->timerGranularity)
        due = (due + tick - 1) / tick * tick;
    return due;
}

// Messages sent by other threads are delivered inside the call that asks for a message, before anything
// posted is looked at (Win32's GetMessage and PeekMessage).
static void deliverSentMessages() {
    while (!S->sentMessages.empty()) {
        MSG sent = S->sentMessages.front();
        S->sentMessages.pop_front();
        countDispatch();
        if (Window* window = liveWin(sent.hwnd))
            callWindow(window, sent.message, sent.wParam, sent.lParam);
    }
}

void countDispatch() {
    if (++S->dispatched > S->dispatchLimit && !S->runaway) {
        S->runaway = true;
        fail() << "the program dispatched more than " << S->dispatchLimit
               << " messages in one run; stopped as a runaway at " << S->clock << " ms";
    }
}

bool fetchDue(MSG* message) {
    settleProcesses();
    deliverSentMessages();
    *message = MSG{};
    message->time = static_cast<DWORD>(S->clock);
    message->pt = S->cursor;
    // Posted input comes before a timer that is due at the same moment: WM_TIMER "is a low-priority
    // message", retrieved "only when no other higher-priority messages are in the thread's message queue"
    // (MSDN, WM_TIMER).
    if (!S->queue.empty()) {
        *message = S->queue.front();
        S->queue.pop_front();
        countDispatch();
        return true;
    }
    if (S->quitPosted) {
        S->quitPosted = false;
        message->message = WM_QUIT;
        message->wParam = S->quitCode;
        return true;
    }
    // Timers are due in order of their due time, then of their creation.
    Timer* due = nullptr;
    for (Timer& timer : S->timers)
        if (!timer.foreign && timer.due <= S->clock &&
            (!due || timer.due < due->due || (timer.due == due->due && timer.seq < due->seq)))
            due = &timer;
    if (!due)
        return false;
    message->hwnd = due->window;
    message->message = WM_TIMER;
    message->wParam = due->id;
    message->lParam = reinterpret_cast<LPARAM>(due->proc);
    // One WM_TIMER however late it is; the timer keeps its rhythm from its due time.
    uint64_t period = due->elapse ? due->elapse : 10;
    uint64_t next = dueAfter(due->due, static_cast<UINT>(period));
    while (next <= S->clock)
        next = dueAfter(next, static_cast<UINT>(period));
    due->due = next;
    countDispatch();
    return true;
}

void passTime(uint64_t ms) {
    S->clock += ms;
    settleProcesses();
}

// Lets a waiting script's time pass: to the next timer due before its deadline, else to the deadline, and
// then hands over to it.
static void serveScript(Script* script) {
    std::optional<uint64_t> due = nextTimerDue();
    if (due && *due <= script->deadline) {
        S->clock = std::max(S->clock, *due);
        return;
    }
    S->clock = std::max(S->clock, script->deadline);
    settleProcesses();
    script->fiber->resume();
}

bool modalLoop(Script* script, const std::function<bool()>& done, OnQuit onQuit) {
    for (;;) {
        if (done() || S->runaway)
            return false;
        MSG message;
        if (fetchDue(&message)) {
            if (message.message == WM_QUIT) {
                if (onQuit == OnQuit::Swallow)
                    continue;
                S->quitPosted = true;
                S->quitCode = message.wParam;
                return true;
            }
            DispatchMessageA(&message);
            continue;
        }
        if (!script || script->fiber->finished())
            return false;
        if (!script->fiber->started())
            script->fiber->resume();
        else if (script->waiting)
            serveScript(script);
        else
            return false; // cannot happen: a script that is neither waiting nor finished holds the turn
    }
}

} // namespace detail

using namespace detail;

// ---- Lifetime
// -------------------------------------------------------------------------------------------------

Machine::Machine() {
    reset();
}

Machine::~Machine() {
    checkScriptsUsed();
    reset();
}

static void loadResourcesOnce() {
    static bool loaded = false;
    if (loaded)
        return;
    std::string error;
    if (!loadResources(KELTO_RES_PATH, &error)) {
        std::fprintf(stderr, "sim: cannot load the compiled resources %s: %s\n", KELTO_RES_PATH,
                     error.c_str());
        std::abort();
    }
    loaded = true;
}

void reset() {
    loadResourcesOnce();
    if (S->idleScript)
        finishScript(*S->idleScript);
    S->idleScript.reset();
    // The registry log is emptied but keeps its storage: a run logs a call for every value it reads, and
    // growing the log again from nothing after every reset is needless work for the allocator.
    std::vector<RegCall> regCalls = recycleRegCalls();
    delete S;
    S = freshState();
    S->regCalls = std::move(regCalls);
}

void checkScriptsUsed() {
    if (!S->idleActions.empty())
        fail() << S->idleActions.size() << " idle action(s) never ran";
    for (const auto& [id, scripts] : S->dialogScripts)
        if (!scripts.empty())
            fail() << scripts.size() << " script(s) for dialog " << id
                   << " never ran: the dialog did not open";
    if (!S->menuAnswers.empty())
        fail() << S->menuAnswers.size() << " popup menu answer(s) never used: no menu was shown";
    for (const BoxExpectation& box : S->boxExpectations)
        fail() << "an expected message box never appeared"
               << (box.text ? " (\"" + *box.text + "\")" : std::string());
    if (!S->openFileAnswers.empty())
        fail() << S->openFileAnswers.size() << " file dialog answer(s) never used";
    if (!S->whileWaiting.empty())
        fail() << S->whileWaiting.size() << " action(s) for a wait never ran: the program did not wait";
    discardScripts();
}

void discardScripts() {
    S->idleActions.clear();
    S->dialogScripts.clear();
    S->menuAnswers.clear();
    S->boxExpectations.clear();
    S->openFileAnswers.clear();
    S->whileWaiting.clear();
}

std::ostream& operator<<(std::ostream& out, Ending ending) {
    switch (ending) {
    case Ending::Returned: return out << "Returned";
    case Ending::Quit: return out << "Quit";
    case Ending::Idle: return out << "Idle";
    case Ending::Runaway: return out << "Runaway";
    }
    return out << "?";
}

// ---- Runs
// -------------------------------------------------------------------------------------------------------

RunResult run(EntryPoint entry, const char* commandLine) {
    std::string text = commandLine ? commandLine : "";
    gCommandLineBuffer.assign(text.begin(), text.end());
    gCommandLineBuffer.push_back('\0');
    S->commandLine = S->modulePath + (text.empty() ? "" : " " + text);
    S->running = true;
    S->over = false;
    S->runaway = false;
    S->waitedForInput = false;
    S->userDone = false;
    S->dispatched = 0;
    S->result = RunResult{};
    S->result.exitCode = entry(kInstance, nullptr, gCommandLineBuffer.data(), SW_SHOWNORMAL);
    S->running = false;
    if (S->idleScript) {
        finishScript(*S->idleScript);
        S->idleScript.reset();
    }
    if (!S->over)
        S->result.ending = S->runaway ? Ending::Runaway : Ending::Returned;
    if (!S->idleActions.empty()) {
        fail() << S->idleActions.size() << " idle action(s) never ran: the run ended (" << S->result.ending
               << ") first";
        S->idleActions.clear();
    }
    return S->result;
}

RunResult lastRun() {
    return S->result;
}
void setDispatchLimit(unsigned limit) {
    S->dispatchLimit = limit;
}
HINSTANCE instance() {
    return kInstance;
}
DWORD ownProcessId() {
    return kOwnPid;
}

// ---- Time
// ---------------------------------------------------------------------------------------------------------

DWORD now() {
    return static_cast<DWORD>(S->clock);
}

void setLocalTime(int hour, int minute, int second) {
    S->timeOfDayAtZeroMs = (hour * 3600LL + minute * 60LL + second) * 1000LL - static_cast<int64_t>(S->clock);
}

void setTickCount(DWORD ticks) {
    S->ticksAtZero = ticks - static_cast<DWORD>(S->clock);
}

void shiftLocalTime(long long ms) {
    S->timeOfDayAtZeroMs += ms;
}

// A message another thread sends to each of the program's top-level windows: queued for the next time the
// program asks for a message.
static void sendToTopLevelWindows(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const auto& w : S->windows)
        if (w->alive && !w->foreign && !w->isControl) {
            MSG sent{};
            sent.hwnd = w->handle;
            sent.message = message;
            sent.wParam = wParam;
            sent.lParam = lParam;
            S->sentMessages.push_back(sent);
        }
}

void broadcastTimeChange() {
    sendToTopLevelWindows(WM_TIMECHANGE, 0, 0);
}

void powerBroadcast(WPARAM event) {
    sendToTopLevelWindows(WM_POWERBROADCAST, event, 0);
}

void standby(const Standby& standby) {
    if (standby.announced) {
        powerBroadcast(PBT_APMSUSPEND);
        advance(0);
    }
    // The machine is off: nothing runs. The local clock is battery-backed; whether the tick count went on is
    // documented nowhere.
    if (standby.tickCountsSleep)
        passTime(standby.ms);
    else
        S->timeOfDayAtZeroMs += standby.ms;
    if (standby.resume) {
        powerBroadcast(standby.resume);
        advance(0);
    }
}

void setDate(int year, int month, int day) {
    S->year = year;
    S->month = month;
    S->day = day;
}

bool advance(DWORD ms) {
    Script* script = tlsScript;
    if (!script) {
        fail() << "advance() belongs in an idle action or a dialog, menu or box script";
        return false;
    }
    if (script->loopEnded)
        return false;
    script->deadline = S->clock + ms;
    script->waiting = true;
    Fiber::yield();
    script->waiting = false;
    return !script->loopEnded;
}

// ---- Scripts
// -------------------------------------------------------------------------------------------------------

void whenIdle(std::function<void()> action) {
    S->idleActions.push_back(std::move(action));
}

void setUser(User user) {
    S->user = std::move(user);
}

void whileWaiting(std::function<void()> action) {
    S->whileWaiting.push_back(std::move(action));
}

// ---- Requests
// -------------------------------------------------------------------------------------------------------

std::string Request::str() const {
    std::string out = kind + "(";
    for (size_t i = 0; i < args.size(); ++i)
        out += (i ? "," : "") + args[i];
    return out + ")";
}

bool operator==(const Request& request, const std::string& text) {
    return request.str() == text;
}
std::ostream& operator<<(std::ostream& out, const Request& request) {
    return out << request.str() << " at " << request.time << " ms";
}

const std::vector<Request>& requests() {
    return S->requests;
}

std::vector<std::string> requestStrings() {
    std::vector<std::string> out;
    for (const Request& request : S->requests)
        out.push_back(request.str());
    return out;
}

std::vector<std::string> requestStrings(const std::string& kind) {
    std::vector<std::string> out;
    for (const Request& request : S->requests)
        if (request.kind == kind)
            out.push_back(request.str());
    return out;
}

void setExitWindowsResult(BOOL result) {
    S->exitWindowsResult = result;
}

} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- The message loop
// ----------------------------------------------------------------------------------------------

// Message filters are not modelled: the program asks for every message.
BOOL WINAPI GetMessageA(LPMSG message, HWND, UINT, UINT) {
    noteCall("GetMessageA");
    for (;;) {
        if (S->over || S->runaway) {
            if (!S->over) {
                S->over = true;
                S->result.ending = Ending::Runaway;
            }
            *message = MSG{};
            message->message = WM_QUIT;
            return FALSE;
        }
        S->waitedForInput = true;
        if (fetchDue(message)) {
            if (message->message == WM_QUIT) {
                S->over = true;
                S->result.ending = Ending::Quit;
                S->result.quitCode = message->wParam;
                return FALSE;
            }
            return TRUE;
        }
        if (S->idleScript && S->idleScript->fiber->finished())
            S->idleScript.reset();
        if (S->idleScript) {
            serveScript(S->idleScript.get());
            continue;
        }
        if (!S->idleActions.empty()) {
            S->idleScript = makeScript(std::move(S->idleActions.front()));
            S->idleActions.pop_front();
            S->idleScript->fiber->resume();
            continue;
        }
        if (S->user.idle && !S->userDone) {
            S->idleScript = makeScript([] {
                if (!S->user.idle())
                    S->userDone = true;
            });
            S->idleScript->fiber->resume();
            continue;
        }
        if (std::optional<uint64_t> due = nextTimerDue()) {
            S->clock = std::max(S->clock, *due);
            continue;
        }
        S->over = true;
        S->result.ending = Ending::Idle;
        *message = MSG{};
        message->message = WM_QUIT;
        return FALSE;
    }
}

// Sent messages are delivered first, as Windows does; then the oldest posted message of that window (any of
// the program's, for null) within the range (0 and 0: all). Timers and the quit message are not looked at:
// the program only peeks at a range of posted input.
BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
    settleProcesses();
    deliverSentMessages();
    for (auto it = S->queue.begin(); it != S->queue.end(); ++it) {
        bool inRange = (first == 0 && last == 0) || (it->message >= first && it->message <= last);
        if (inRange && (!window || it->hwnd == window)) {
            *message = *it;
            if (remove & PM_REMOVE)
                S->queue.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (!message)
        return 0;
    if (message->message == WM_TIMER && message->lParam) {
        reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam,
                                                     static_cast<DWORD>(S->clock));
        return 0;
    }
    if (!message->hwnd)
        return 0; // a thread message has no window to go to
    Window* window = liveWin(message->hwnd);
    if (!window || window->foreign)
        return 0;
    return callWindow(window, message->message, message->wParam, message->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* target = findWin(window);
    if (!window || (target && target->alive && !target->foreign)) {
        MSG posted{};
        posted.hwnd = window;
        posted.message = message;
        posted.wParam = wParam;
        posted.lParam = lParam;
        posted.time = static_cast<DWORD>(S->clock);
        posted.pt = S->cursor;
        S->queue.push_back(posted);
        return TRUE;
    }
    if (target && !target->foreign)
        return FALSE; // one of the program's windows that is gone
    // Posts outside the program are requests to the system or to other programs.
    bool delivered = window == desktopHandle() || (target && target->alive);
    Request request = makeRequest(
        "PostMessageA",
        {describeWindow(window), std::to_string(message), std::to_string(wParam), std::to_string(lParam)},
        delivered);
    request.window = window;
    addRequest(request);
    return delivered ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int code) {
    S->quitPosted = true;
    S->quitCode = static_cast<WPARAM>(code);
}

static void logTimerCall(TimerCall call) {
    call.time = static_cast<DWORD>(S->clock);
    S->timerCalls.push_back(call);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) {
    TimerCall call;
    call.window = window;
    call.id = id;
    call.elapse = elapse;
    // USER of Windows 3.x took a 16-bit interval, and no Windows 95 document promises more.
    if (elapse > 0xFFFF)
        fail() << "SetTimer asked for " << elapse
               << " ms; nothing documents that Windows 95 honours an interval above 65,535 ms";
    if ((window && !liveWin(window)) || (S->timerFails && S->timerFails(elapse))) {
        logTimerCall(call);
        return 0;
    }
    // A window's timer of the same id is replaced and starts again; so is a thread timer whose id is given.
    for (Timer& timer : S->timers)
        if (!timer.foreign && timer.window == window && timer.id == id && (window || id)) {
            timer.elapse = elapse;
            timer.due = dueAfter(S->clock, elapse);
            timer.proc = callback;
            call.result = window ? (id ? id : 1) : id;
            logTimerCall(call);
            return call.result;
        }
    Timer timer;
    timer.window = window;
    timer.id = id;
    if (!window) {
        // Windows 9x: the lowest id no timer without a window holds, in any program.
        timer.id = 1;
        for (bool taken = true; taken;) {
            taken = false;
            for (const Timer& other : S->timers)
                if (!other.window && other.id == timer.id) {
                    taken = true;
                    timer.id++;
                    break;
                }
        }
    }
    timer.elapse = elapse;
    timer.due = dueAfter(S->clock, elapse);
    timer.proc = callback;
    timer.seq = ++S->seq;
    S->timers.push_back(timer);
    call.result = window ? (id ? id : 1) : timer.id;
    logTimerCall(call);
    return call.result;
}

// A thread timer is found by its id alone, whoever made it: ids are shared across the system (KB Q312406).
BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    TimerCall call;
    call.setting = false;
    call.window = window;
    call.id = id;
    for (auto it = S->timers.begin(); it != S->timers.end(); ++it)
        if (it->window == window && it->id == id) {
            if (it->foreign) {
                call.hitForeign = true;
                fail() << "KillTimer(NULL, " << id
                       << ") ended another program's timer: the program killed an id it no longer held";
            }
            S->timers.erase(it);
            call.result = TRUE;
            break;
        }
    logTimerCall(call);
    return static_cast<BOOL>(call.result);
}

namespace sim {
namespace detail {
void killTimersOf(HWND window) {
    S->timers.erase(std::remove_if(S->timers.begin(), S->timers.end(),
                                   [window](const Timer& timer) { return timer.window == window; }),
                    S->timers.end());
}
void dropMessagesOf(HWND window) {
    S->queue.erase(std::remove_if(S->queue.begin(), S->queue.end(),
                                  [window](const MSG& message) { return message.hwnd == window; }),
                   S->queue.end());
}
} // namespace detail

std::vector<TimerInfo> timers() {
    std::vector<TimerInfo> out;
    for (const Timer& timer : S->timers)
        if (!timer.foreign)
            out.push_back(TimerInfo{timer.window, timer.id, timer.elapse, static_cast<DWORD>(timer.due)});
    return out;
}

void failTimers(std::function<bool(UINT elapse)> fails) {
    S->timerFails = std::move(fails);
}

UINT_PTR addForeignTimer() {
    // Made as the program's own are, from the same pool, then handed to the other program.
    std::function<bool(UINT)> fails = std::move(S->timerFails);
    S->timerFails = nullptr;
    UINT_PTR id = SetTimer(nullptr, 0, 1000, nullptr);
    S->timerFails = std::move(fails);
    S->timerCalls.pop_back();
    for (Timer& timer : S->timers)
        if (!timer.window && timer.id == id)
            timer.foreign = true;
    return id;
}

bool foreignTimerAlive(UINT_PTR id) {
    for (const Timer& timer : S->timers)
        if (timer.foreign && timer.id == id)
            return true;
    return false;
}

void setTimerGranularity(unsigned ms) {
    S->timerGranularity = ms;
}

const std::vector<TimerCall>& timerCalls() {
    return S->timerCalls;
}

} // namespace sim
