// user32's menus and accelerators on the simulated machine: menus built from the program's own templates,
// the popup menu's loop with the answers that play the user in it, and accelerator tables.
#include "internal.h"

namespace {

constexpr BYTE kFVirtKey = 0x01, kFShift = 0x04, kFControl = 0x08, kFAlt = 0x10;

} // namespace

namespace sim {
namespace detail {

static HMENU buildMenu(const std::vector<MenuItemTemplate>& items) {
    MenuObject menu;
    for (const MenuItemTemplate& t : items) {
        MenuObject::Item item;
        item.id = t.id;
        item.text = t.text;
        if (t.flags & MF_POPUP)
            item.popup = buildMenu(t.children);
        item.separator = !item.popup && ((t.flags & MF_SEPARATOR) || (t.id == 0 && t.text.empty()));
        item.checked = (t.flags & MF_CHECKED) != 0;
        item.grayed = (t.flags & MF_GRAYED) != 0;
        item.disabled = (t.flags & MF_DISABLED) != 0;
        menu.items.push_back(item);
    }
    S->nextMenu += 4;
    S->menus[S->nextMenu] = menu;
    return makeHandle<HMENU>(S->nextMenu);
}

MenuObject* liveMenu(HMENU handle) {
    auto it = S->menus.find(handleValue(handle));
    return it != S->menus.end() && it->second.alive ? &it->second : nullptr;
}

// An item by position in this menu, or by command anywhere below it (popups searched depth first).
static MenuObject::Item* menuItem(HMENU handle, UINT item, UINT flags) {
    MenuObject* menu = liveMenu(handle);
    if (!menu)
        return nullptr;
    if (flags & MF_BYPOSITION)
        return item < menu->items.size() ? &menu->items[item] : nullptr;
    for (MenuObject::Item& candidate : menu->items) {
        if (candidate.popup) {
            if (MenuObject::Item* found = menuItem(candidate.popup, item, flags))
                return found;
        } else if (!candidate.separator && candidate.id == item) {
            return &candidate;
        }
    }
    return nullptr;
}

std::vector<MenuItem> snapshotItems(HMENU handle) {
    std::vector<MenuItem> out;
    MenuObject* menu = liveMenu(handle);
    if (!menu)
        return out;
    for (const MenuObject::Item& item : menu->items) {
        MenuItem copy;
        copy.id = item.id;
        copy.text = item.text;
        copy.separator = item.separator;
        copy.checked = item.checked;
        copy.grayed = item.grayed;
        copy.disabled = item.disabled;
        copy.popup = item.popup;
        if (item.popup)
            copy.children = snapshotItems(item.popup);
        out.push_back(copy);
    }
    return out;
}

static void destroyMenu(HMENU handle) {
    MenuObject* menu = liveMenu(handle);
    if (!menu)
        return;
    menu->alive = false;
    for (const MenuObject::Item& item : menu->items)
        if (item.popup)
            destroyMenu(item.popup);
}

} // namespace detail
} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- Menus
// --------------------------------------------------------------------------------------------------------

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
    if (instance != sim::instance())
        return nullptr;
    const MenuItemTemplate* top = findMenu(ResName::from(name));
    return top ? buildMenu(top->children) : nullptr;
}

HMENU WINAPI GetSubMenu(HMENU handle, int position) {
    MenuObject* menu = liveMenu(handle);
    if (!menu || position < 0 || static_cast<size_t>(position) >= menu->items.size())
        return nullptr;
    return menu->items[position].popup;
}

int WINAPI GetMenuItemCount(HMENU handle) {
    MenuObject* menu = liveMenu(handle);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

// A popup's item gives -1, a separator 0.
UINT WINAPI GetMenuItemID(HMENU handle, int position) {
    MenuObject* menu = liveMenu(handle);
    if (!menu || position < 0 || static_cast<size_t>(position) >= menu->items.size())
        return static_cast<UINT>(-1);
    const MenuObject::Item& item = menu->items[position];
    return item.popup ? static_cast<UINT>(-1) : item.id;
}

BOOL WINAPI DestroyMenu(HMENU handle) {
    if (!liveMenu(handle))
        return FALSE;
    destroyMenu(handle);
    return TRUE;
}

DWORD WINAPI CheckMenuItem(HMENU handle, UINT item, UINT flags) {
    noteCall("CheckMenuItem");
    MenuObject::Item* found = menuItem(handle, item, flags);
    if (!found)
        return 0xFFFFFFFF;
    DWORD previous = found->checked ? MF_CHECKED : MF_UNCHECKED;
    found->checked = (flags & MF_CHECKED) != 0;
    return previous;
}

BOOL WINAPI EnableMenuItem(HMENU handle, UINT item, UINT flags) {
    MenuObject::Item* found = menuItem(handle, item, flags);
    if (!found)
        return -1;
    BOOL previous = (found->grayed ? MF_GRAYED : 0) | (found->disabled ? MF_DISABLED : 0);
    found->grayed = (flags & MF_GRAYED) != 0;
    found->disabled = (flags & MF_DISABLED) != 0;
    return previous;
}

BOOL WINAPI TrackPopupMenuEx(HMENU handle, UINT flags, int x, int y, HWND owner, LPVOID) {
    if (!liveMenu(handle) || !liveWin(owner))
        return FALSE;
    MenuShown shown;
    shown.menu.handle = handle;
    shown.menu.items = snapshotItems(handle);
    shown.flags = flags;
    shown.x = x;
    shown.y = y;
    shown.owner = owner;
    shown.time = static_cast<DWORD>(S->clock);
    size_t index = S->menusShown.size();
    S->menusShown.push_back(shown);
    UINT chosen = 0;
    if (S->menuAnswers.empty() && S->user.menu)
        S->menuAnswers.push_back(S->user.menu);
    if (S->menuAnswers.empty()) {
        fail() << "a popup menu was shown without an answer; dismissing it:\n" << shown.menu.str();
    } else {
        std::function<UINT(Menu&)> answer = std::move(S->menuAnswers.front());
        S->menuAnswers.pop_front();
        Menu view = shown.menu;
        std::unique_ptr<Script> script = makeScript([&] { chosen = answer(view); });
        // The menu's own loop keeps the program's messages and timers going while it is open; a quit message
        // is lost in it, as in Wine. It ends, with nothing chosen, when its owner window is destroyed (Wine's
        // MENU_TrackMenu leaves its loop once the owner is no longer a window: "if (!IsWindow(hwnd))").
        modalLoop(
            script.get(), [&] { return script->fiber->finished() || !liveWin(owner); }, OnQuit::Swallow);
        if (!liveWin(owner))
            chosen = 0;
        finishScript(*script);
    }
    if (chosen && liveMenu(handle)) {
        MenuObject::Item* item = menuItem(handle, chosen, MF_BYCOMMAND);
        if (!item || item->grayed || item->disabled) {
            fail() << "the menu answer chose " << chosen << ", which is "
                   << (item ? "grayed or disabled" : "not in the menu") << ":\n"
                   << sim::menu(handle).str();
            chosen = 0;
        }
    }
    S->menusShown[index].chosen = chosen;
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(chosen);
    // Without TPM_RETURNCMD Windows delivers the choice as a posted WM_COMMAND once the menu has closed.
    if (chosen)
        PostMessageA(owner, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}

// ---- Accelerators
// -------------------------------------------------------------------------------------------------

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
    noteCall("LoadAcceleratorsA");
    if (instance != sim::instance())
        return nullptr;
    ResName resName = ResName::from(name);
    const std::vector<AccelEntry>* table = findAccelerators(resName);
    if (!table)
        return nullptr;
    S->nextAccel += 4;
    S->accelerators[S->nextAccel] = {resName.isNumber ? "#" + std::to_string(resName.number) : resName.text,
                                     *table};
    return makeHandle<HACCEL>(S->nextAccel);
}

// Character entries (no FVIRTKEY) match WM_CHAR by character code; virtual-key entries match WM_KEYDOWN with
// the Shift, Ctrl and Alt state they name. The first match in table order wins.
int WINAPI TranslateAcceleratorA(HWND handle, HACCEL table, LPMSG message) {
    auto it = S->accelerators.find(handleValue(table));
    Window* window = liveWin(handle);
    if (!message || it == S->accelerators.end() || !window)
        return 0;
    for (const AccelEntry& entry : it->second.second) {
        bool match = false;
        if (message->message == WM_CHAR && !(entry.flags & kFVirtKey) && !(entry.flags & kFAlt))
            match = entry.key == (message->wParam & 0xFF);
        else if (message->message == WM_KEYDOWN && (entry.flags & kFVirtKey))
            match = entry.key == message->wParam &&
                    ((entry.flags & kFShift) != 0) == (S->keysHeld.count(VK_SHIFT) != 0) &&
                    ((entry.flags & kFControl) != 0) == (S->keysHeld.count(VK_CONTROL) != 0) &&
                    ((entry.flags & kFAlt) != 0) == (S->keysHeld.count(VK_MENU) != 0);
        if (match) {
            callWindow(window, WM_COMMAND, MAKEWPARAM(entry.command, 1), 0);
            return 1;
        }
    }
    return 0;
}
