// user32's hotkeys on the simulated machine: registrations by window and id, refused for a combination that
// is held already, by the program or (takeHotkey) by another one.
#include "internal.h"

#include <algorithm>

namespace sim {
namespace detail {

void removeHotkeysOf(HWND window) {
    S->hotkeys.erase(std::remove_if(S->hotkeys.begin(), S->hotkeys.end(),
                                    [window](const Hotkey& hotkey) { return hotkey.window == window; }),
                     S->hotkeys.end());
}

} // namespace detail
} // namespace sim

using namespace sim;
using namespace sim::detail;

BOOL WINAPI RegisterHotKey(HWND window, int id, UINT modifiers, UINT key) {
    HotkeyCall call;
    call.hotkey = Hotkey{window, id, modifiers, key};
    call.time = static_cast<DWORD>(S->clock);
    bool taken = std::find(S->hotkeysTaken.begin(), S->hotkeysTaken.end(),
                           std::make_pair(modifiers & 0x0F, key)) != S->hotkeysTaken.end();
    for (const Hotkey& hotkey : S->hotkeys)
        taken = taken || ((hotkey.modifiers & 0x0F) == (modifiers & 0x0F) && hotkey.virtualKey == key);
    bool windowOk = !window || (liveWin(window) && !liveWin(window)->foreign);
    // Microsoft documents that a combination registered earlier under the same window and id stays
    // registered beside the new one until it is unregistered; Wine replaces it instead, so only here can a
    // test see the earlier one left behind.
    call.result = !taken && windowOk;
    if (call.result)
        S->hotkeys.push_back(call.hotkey);
    S->hotkeyCalls.push_back(call);
    return call.result;
}

// Removes one registration of that window and id, the oldest: Windows documents no order.
BOOL WINAPI UnregisterHotKey(HWND window, int id) {
    HotkeyCall call;
    call.registering = false;
    call.hotkey.window = window;
    call.hotkey.id = id;
    call.time = static_cast<DWORD>(S->clock);
    for (auto it = S->hotkeys.begin(); it != S->hotkeys.end(); ++it)
        if (it->window == window && it->id == id) {
            S->hotkeys.erase(it);
            call.result = TRUE;
            break;
        }
    S->hotkeyCalls.push_back(call);
    return call.result;
}
