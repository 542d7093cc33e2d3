// The test's side of windows: finding and inspecting the windows and classes there are, other programs'
// windows, the keyboard and cursor the program reads, and what a script sends the program's windows as the
// user or the system would (a typed character, the query before Windows ends).
#include "internal.h"

namespace sim {

using namespace detail;

static WindowInfo infoOf(const Window& w) {
    WindowInfo info;
    info.handle = w.handle;
    info.className = w.className;
    info.title = w.text;
    info.style = w.style;
    info.exStyle = w.exStyle;
    info.x = w.x;
    info.y = w.y;
    info.width = w.width;
    info.height = w.height;
    info.owner = w.owner;
    info.menu = w.menu;
    info.instance = w.instance;
    info.processId = w.foreign ? w.pid : ownProcessId();
    info.alive = w.alive;
    info.foreign = w.foreign;
    info.enabled = !(w.style & WS_DISABLED);
    info.dialogId = w.dialogId;
    return info;
}

HWND findWindow(const char* className, const char* title) {
    return FindWindowA(className, title);
}

bool isWindow(HWND window) {
    return liveWin(window) != nullptr;
}

WindowInfo windowInfo(HWND window) {
    Window* w = findWin(window);
    return w ? infoOf(*w) : WindowInfo{};
}

std::vector<WindowInfo> windows() {
    std::vector<WindowInfo> out;
    for (const auto& w : S->windows)
        if (!w->isControl)
            out.push_back(infoOf(*w));
    return out;
}

std::optional<ClassInfo> windowClass(const std::string& name) {
    for (const WindowClass& c : S->classes)
        if (equalNoCase(c.name, name)) {
            ClassInfo info;
            info.name = c.name;
            info.fields = c.fields;
            info.fields.lpszClassName = nullptr;
            info.fields.lpszMenuName = nullptr;
            info.iconName = resourceNameOf(handleValue(c.fields.hIcon));
            info.cursorName = resourceNameOf(handleValue(c.fields.hCursor));
            return info;
        }
    return std::nullopt;
}

std::string classCursor(const std::string& className) {
    auto it = S->classCursors.find(upper(className));
    if (it != S->classCursors.end())
        return resourceNameOf(static_cast<uintptr_t>(static_cast<ULONG>(it->second)));
    if (auto c = windowClass(className))
        return c->cursorName;
    return "";
}

int liveWindowCount() {
    int count = 0;
    for (const auto& w : S->windows)
        count += w->alive && !w->foreign;
    return count;
}

HWND foregroundWindow() {
    return S->foreground;
}

void setKeyHeld(int virtualKey, bool held) {
    if (held)
        S->keysHeld.insert(virtualKey);
    else
        S->keysHeld.erase(virtualKey);
}

void setCursorPos(int x, int y) {
    S->cursor = POINT{x, y};
}

HWND addForeignWindow(const std::string& className, const std::string& title, DWORD pid,
                      WindowBehavior behavior, DWORD exitsAfterMs) {
    if (!findProcess(pid)) {
        Process process;
        process.info.pid = pid;
        process.info.foreign = true;
        process.info.alive = true;
        process.info.startedAt = static_cast<DWORD>(S->clock);
        S->processes[pid] = process;
        S->processOrder.push_back(pid);
    }
    Window* window = newWindow();
    window->className = className;
    window->text = title;
    window->style = WS_OVERLAPPED | WS_VISIBLE;
    window->foreign = true;
    window->pid = pid;
    window->behavior = behavior;
    window->exitsAfterMs = exitsAfterMs;
    window->alive = findProcess(pid)->info.alive;
    return window->handle;
}

const std::vector<ClassLongCall>& classLongCalls() {
    return S->classLongCalls;
}

void typeChar(char c, HWND window) {
    if (!window) {
        // The newest visible window of the program has the focus; the hidden main window only when nothing
        // else.
        for (auto it = S->windows.rbegin(); it != S->windows.rend() && !window; ++it)
            if ((*it)->alive && !(*it)->foreign && !(*it)->isControl && ((*it)->style & WS_VISIBLE))
                window = (*it)->handle;
        if (!window && liveWin(S->foreground))
            window = S->foreground;
        for (auto it = S->windows.begin(); it != S->windows.end() && !window; ++it)
            if ((*it)->alive && !(*it)->foreign && !(*it)->isControl)
                window = (*it)->handle;
    }
    if (!window) {
        fail() << "typeChar: the program has no window to type into";
        return;
    }
    PostMessageA(window, WM_CHAR, static_cast<BYTE>(c), 1);
}

bool querySessionEnd() {
    return askWindowsToEnd();
}

} // namespace sim
