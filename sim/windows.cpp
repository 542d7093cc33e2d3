// user32's windows on the simulated machine: classes, windows of the program and of other programs, sending
// messages, and the window state the program reads (text, enabled, foreground, keys, cursor). Dialogs, menus,
// message boxes, hotkeys and the end of Windows have files of their own; the posted-message queue and timers
// are the machine's heart, in core.cpp.
#include "internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr LONG kGclHIcon = -14;
const HWND kDesktop = sim::detail::makeHandle<HWND>(0x1000);

} // namespace

namespace sim {
namespace detail {

HWND desktopHandle() {
    return kDesktop;
}

Window* findWin(HWND handle) {
    auto it = S->windowByHandle.find(handleValue(handle));
    return it == S->windowByHandle.end() ? nullptr : it->second;
}

Window* liveWin(HWND handle) {
    Window* window = findWin(handle);
    return window && window->alive ? window : nullptr;
}

std::string describeWindow(HWND window) {
    if (window == kDesktop)
        return "<desktop>";
    if (Window* w = findWin(window))
        return "<" + w->className + ">";
    return window ? "<invalid>" : "NULL";
}

Window* newWindow() {
    auto window = std::make_unique<Window>();
    S->nextWindow += 8;
    window->handle = makeHandle<HWND>(S->nextWindow);
    window->seq = ++S->seq;
    Window* raw = window.get();
    S->windowByHandle[S->nextWindow] = raw;
    S->windows.push_back(std::move(window));
    return raw;
}

LRESULT copyText(const std::string& text, WPARAM size, LPARAM buffer) {
    char* out = reinterpret_cast<char*>(buffer);
    if (!out || size == 0)
        return 0;
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<LRESULT>(n);
}

LRESULT callWindow(Window* window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window || !window->alive || window->foreign)
        return 0;
    if (window->isControl)
        return controlProc(window, message, wParam, lParam);
    if (window->isDialog)
        return dialogClassProc(window, message, wParam, lParam);
    if (window->proc)
        return window->proc(window->handle, message, wParam, lParam);
    return DefWindowProcA(window->handle, message, wParam, lParam);
}

void destroyWindowsOf(DWORD pid) {
    for (auto& window : S->windows)
        if (window->foreign && window->pid == pid)
            window->alive = false;
}

} // namespace detail
} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- Windows
// ------------------------------------------------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName))
        return 0;
    for (const WindowClass& c : S->classes)
        if (equalNoCase(c.name, windowClass->lpszClassName))
            return 0; // already registered
    WindowClass c;
    c.name = windowClass->lpszClassName;
    c.fields = *windowClass;
    c.atom = S->nextAtom++;
    c.cursor = static_cast<LONG>(handleValue(windowClass->hCursor));
    S->classes.push_back(c);
    return c.atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    if (!className)
        return nullptr;
    const WindowClass* windowClass = nullptr;
    for (const WindowClass& c : S->classes)
        if (IS_INTRESOURCE(className) ? c.atom == LOWORD(className) : equalNoCase(c.name, className))
            windowClass = &c;
    if (!windowClass)
        return nullptr;
    if (parent && !liveWin(parent))
        return nullptr;
    Window* window = newWindow();
    window->className = windowClass->name;
    window->text = title ? title : "";
    window->style = style;
    window->exStyle = exStyle;
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
    window->owner = parent;
    window->menu = menu;
    window->instance = instance;
    window->proc = windowClass->fields.lpfnWndProc;
    HWND handle = window->handle;
    if (window->proc) {
        struct {
            LPVOID lpCreateParams;
        } create = {param};
        if (window->proc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
            DestroyWindow(handle);
            return nullptr;
        }
    }
    return liveWin(handle) ? handle : nullptr;
}

// Names are compared without regard to case; the ids lie in 0xC000 to 0xFFFF, as in Windows.
UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    if (!name || !*name)
        return 0;
    std::string key(name);
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = S->registeredMessages.find(key);
    if (it != S->registeredMessages.end())
        return it->second;
    UINT id = static_cast<UINT>(0xC000 + S->registeredMessages.size());
    S->registeredMessages[key] = id;
    return id;
}

BOOL WINAPI DestroyWindow(HWND handle) {
    Window* window = liveWin(handle);
    if (!window || window->foreign || window->destroying)
        return FALSE;
    window->destroying = true;
    // Owned windows go first, as Windows does.
    std::vector<HWND> owned;
    for (const auto& w : S->windows)
        if (w->alive && !w->isControl && w->owner == handle && !w->destroying)
            owned.push_back(w->handle);
    for (HWND other : owned)
        DestroyWindow(other);
    window = findWin(handle);
    callWindow(window, WM_DESTROY, 0, 0);
    window = findWin(handle);
    for (HWND control : window->controls)
        findWin(control)->alive = false;
    window->alive = false;
    if (window->isDialog && !window->ended)
        window->ended = true;
    removeHotkeysOf(handle);
    // The server forgets the timers and the posted messages of a window that is gone (Wine's
    // server/queue.c, queue_cleanup_window); its controls' go with it.
    killTimersOf(handle);
    dropMessagesOf(handle);
    for (HWND control : window->controls)
        dropMessagesOf(control);
    if (S->foreground == handle)
        S->foreground = nullptr;
    return TRUE;
}

namespace sim {
void endProcess() {
    for (const auto& window : S->windows) {
        if (!window->alive || window->foreign)
            continue;
        window->alive = false;
        if (window->isDialog)
            window->ended = true;
        removeHotkeysOf(window->handle);
        killTimersOf(window->handle);
        dropMessagesOf(window->handle);
        HWND handle = window->handle;
        S->trayIcons.erase(std::remove_if(S->trayIcons.begin(), S->trayIcons.end(),
                                          [handle](const TrayIcon& icon) { return icon.window == handle; }),
                           S->trayIcons.end());
    }
    S->timers.erase(std::remove_if(S->timers.begin(), S->timers.end(),
                                   [](const Timer& timer) { return !timer.window && !timer.foreign; }),
                    S->timers.end());
    S->hotkeys.clear();
    S->queue.clear();
    S->quitPosted = false;
    if (Window* foreground = findWin(S->foreground); !foreground || !foreground->alive)
        S->foreground = nullptr;
}
} // namespace sim

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = liveWin(handle);
    switch (message) {
    case WM_CLOSE: DestroyWindow(handle); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_POWERBROADCAST: return TRUE;
    case WM_SETTEXT:
        if (window)
            window->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        return TRUE;
    case WM_GETTEXT: return window ? copyText(window->text, wParam, lParam) : 0;
    default: return 0;
    }
}

LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = liveWin(handle);
    if (!window || window->foreign)
        return 0; // sends to other programs are not modelled; the program uses SendMessageTimeoutA for them
    return callWindow(window, message, wParam, lParam);
}

LRESULT WINAPI SendMessageTimeoutA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, DWORD_PTR* result) {
    Window* window = findWin(handle);
    if (window && window->alive && !window->foreign) {
        LRESULT answer = callWindow(window, message, wParam, lParam);
        if (result)
            *result = static_cast<DWORD_PTR>(answer);
        return 1;
    }
    LRESULT sent = 0;
    if (window && window->alive) {
        switch (window->behavior) {
        case WindowBehavior::Answers:
            sent = 1;
            if (result)
                *result = 0;
            break;
        case WindowBehavior::HangsThenExits:
            passTime(timeout);
            if (Process* process = findProcess(window->pid))
                if (process->info.alive && !process->endsAt)
                    process->endsAt = S->clock + window->exitsAfterMs;
            break;
        case WindowBehavior::Hangs: passTime(timeout); break;
        }
    }
    Request request = makeRequest("SendMessageTimeoutA",
                                  {describeWindow(handle), std::to_string(message), std::to_string(wParam),
                                   std::to_string(lParam), std::to_string(flags), std::to_string(timeout)},
                                  sent);
    request.window = handle;
    addRequest(request);
    return sent;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR title) {
    for (const auto& w : S->windows) {
        if (!w->alive || w->isControl)
            continue;
        if (className) {
            if (IS_INTRESOURCE(className)) {
                bool match = false;
                for (const WindowClass& c : S->classes)
                    match = match || (c.atom == LOWORD(className) && equalNoCase(c.name, w->className));
                if (!match)
                    continue;
            } else if (!equalNoCase(className, w->className)) {
                continue;
            }
        }
        if (title && !equalNoCase(title, w->text))
            continue;
        return w->handle;
    }
    return nullptr;
}

HWND WINAPI GetDesktopWindow() {
    return kDesktop;
}

// Windows enumerates in z-order; the simulation uses creation order.
BOOL WINAPI EnumWindows(WNDENUMPROC callback, LPARAM value) {
    std::vector<HWND> all;
    for (const auto& w : S->windows)
        if (w->alive && !w->isControl)
            all.push_back(w->handle);
    for (HWND handle : all)
        if (liveWin(handle) && !callback(handle, value))
            break;
    return TRUE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND handle, LPDWORD processId) {
    Window* window = liveWin(handle);
    if (!window) {
        if (processId)
            *processId = 0;
        return 0;
    }
    DWORD pid = window->foreign ? window->pid : ownProcessId();
    if (processId)
        *processId = pid;
    return pid + 4; // the thread id: one thread per process
}

BOOL WINAPI SetForegroundWindow(HWND window) {
    if (!liveWin(window))
        return FALSE;
    S->foreground = window;
    return TRUE;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (!point)
        return FALSE;
    *point = S->cursor;
    return TRUE;
}

SHORT WINAPI GetAsyncKeyState(int key) {
    return S->keysHeld.count(key) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL WINAPI IsWindowVisible(HWND handle) {
    Window* window = liveWin(handle);
    return window && (window->style & WS_VISIBLE) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND handle, LPSTR text, int size) {
    Window* window = liveWin(handle);
    if (!window || size <= 0 || !text) {
        if (text && size > 0)
            text[0] = '\0';
        return 0;
    }
    return static_cast<int>(
        copyText(window->text, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
    Window* window = liveWin(handle);
    if (!window)
        return FALSE;
    BOOL wasDisabled = (window->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable)
        window->style &= ~static_cast<DWORD>(WS_DISABLED);
    else
        window->style |= WS_DISABLED;
    return wasDisabled;
}

DWORD WINAPI SetClassLongA(HWND handle, int index, LONG value) {
    Window* window = liveWin(handle);
    if (!window)
        return 0;
    ClassLongCall call;
    call.window = handle;
    call.index = index;
    call.value = value;
    call.resource = resourceNameOf(static_cast<uintptr_t>(static_cast<ULONG>(value)));
    S->classLongCalls.push_back(call);
    if (index != GCL_HCURSOR && index != kGclHIcon)
        return 0;
    std::string key = upper(window->className) + (index == GCL_HCURSOR ? "" : "/ICON");
    LONG previous = 0;
    auto it = S->classCursors.find(key);
    if (it != S->classCursors.end())
        previous = it->second;
    else
        for (const WindowClass& c : S->classes)
            if (equalNoCase(c.name, window->className))
                previous =
                    static_cast<LONG>(handleValue(index == GCL_HCURSOR ? c.fields.hCursor : c.fields.hIcon));
    S->classCursors[key] = value;
    return static_cast<DWORD>(previous);
}
