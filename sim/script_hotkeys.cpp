// The test's side of hotkeys: the program's registrations, combinations other programs hold, and the key
// press that sends WM_HOTKEY.
#include "internal.h"

namespace sim {

using namespace detail;

std::vector<Hotkey> hotkeys() {
    return S->hotkeys;
}

void takeHotkey(UINT modifiers, UINT virtualKey) {
    S->hotkeysTaken.emplace_back(modifiers & 0x0F, virtualKey);
}

const std::vector<HotkeyCall>& hotkeyCalls() {
    return S->hotkeyCalls;
}

bool pressHotkey(UINT modifiers, UINT virtualKey) {
    for (const Hotkey& hotkey : S->hotkeys)
        if ((hotkey.modifiers & 0x0F) == (modifiers & 0x0F) && hotkey.virtualKey == virtualKey) {
            PostMessageA(hotkey.window, WM_HOTKEY, static_cast<WPARAM>(hotkey.id),
                         MAKELPARAM(modifiers & 0x0F, virtualKey));
            return true;
        }
    return false;
}

} // namespace sim
