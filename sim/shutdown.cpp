// The requests that end Windows on the simulated machine: ExitWindowsEx, which asks the program's windows
// first, and BroadcastSystemMessage. Both are logged as requests; nothing ends.
#include "internal.h"

namespace sim {
namespace detail {

// The program's top-level windows now, taken before any of them is called: a call may create or destroy one.
static std::vector<HWND> ownTopLevelWindows() {
    std::vector<HWND> own;
    for (const auto& w : S->windows)
        if (w->alive && !w->foreign && !w->isControl)
            own.push_back(w->handle);
    return own;
}

bool askWindowsToEnd() {
    bool allowed = true;
    for (HWND target : ownTopLevelWindows())
        if (Window* w = liveWin(target))
            if (!callWindow(w, WM_QUERYENDSESSION, 0, 0))
                allowed = false;
    return allowed;
}

} // namespace detail
} // namespace sim

using namespace sim;
using namespace sim::detail;

// Windows 9x asks every window with WM_QUERYENDSESSION before it ends the session unless EWX_FORCE is given;
// the program's own windows are asked here, synchronously. Other programs are taken to agree.
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reserved) {
    bool allowed = (flags & EWX_FORCE) || askWindowsToEnd();
    BOOL result = allowed ? S->exitWindowsResult : FALSE;
    addRequest(makeRequest("ExitWindowsEx", {std::to_string(flags), std::to_string(reserved)}, result));
    return result;
}

LONG WINAPI BroadcastSystemMessage(DWORD flags, LPDWORD recipients, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    addRequest(
        makeRequest("BroadcastSystemMessage",
                    {std::to_string(flags), recipients ? std::to_string(*recipients) : std::string("NULL"),
                     std::to_string(message), std::to_string(wParam), std::to_string(lParam)},
                    1));
    if (!(flags & BSF_IGNORECURRENTTASK)) {
        for (HWND handle : ownTopLevelWindows())
            if (Window* w = liveWin(handle))
                callWindow(w, message, wParam, lParam);
    }
    return 1;
}
