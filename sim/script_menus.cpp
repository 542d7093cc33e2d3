// The test's side of menus and accelerators: sim::Menu snapshots, the answers for popup menus, and the
// accelerator tables as loaded.
#include "internal.h"

namespace sim {

using namespace detail;

static const MenuItem* findIn(const std::vector<MenuItem>& items, UINT id) {
    for (const MenuItem& item : items) {
        if (!item.popup && !item.separator && item.id == id)
            return &item;
        if (const MenuItem* found = findIn(item.children, id))
            return found;
    }
    return nullptr;
}

const MenuItem* Menu::find(UINT id) const {
    return findIn(items, id);
}

bool Menu::checked(UINT id) const {
    const MenuItem* item = find(id);
    if (!item)
        fail() << "the menu has no item " << id << ":\n" << str();
    return item && item->checked;
}

bool Menu::grayed(UINT id) const {
    const MenuItem* item = find(id);
    if (!item)
        fail() << "the menu has no item " << id << ":\n" << str();
    return item && item->grayed;
}

static void describeItems(const std::vector<MenuItem>& items, const std::string& indent, std::string& out) {
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        out += indent + std::to_string(i) + ": ";
        if (item.separator)
            out += "----";
        else
            out += "\"" + item.text + "\" " + std::to_string(item.id);
        if (item.checked)
            out += " checked";
        if (item.grayed)
            out += " grayed";
        if (item.disabled)
            out += " disabled";
        out += "\n";
        describeItems(item.children, indent + "    ", out);
    }
}

std::string Menu::str() const {
    std::string out;
    describeItems(items, "", out);
    return out;
}

Menu menu(HMENU handle) {
    Menu snapshot;
    snapshot.handle = handle;
    if (!liveMenu(handle))
        fail() << "menu(): not a live menu";
    else
        snapshot.items = snapshotItems(handle);
    return snapshot;
}

int liveMenuCount() {
    int count = 0;
    for (const auto& [handle, menu] : S->menus)
        count += menu.alive;
    return count;
}

void onMenu(std::function<UINT(Menu&)> answer) {
    S->menuAnswers.push_back(std::move(answer));
}

const std::vector<MenuShown>& menusShown() {
    return S->menusShown;
}

std::vector<Accelerator> acceleratorTable(HACCEL table) {
    std::vector<Accelerator> out;
    auto it = S->accelerators.find(handleValue(table));
    if (it != S->accelerators.end())
        for (const AccelEntry& entry : it->second.second)
            out.push_back(Accelerator{entry.flags, entry.key, entry.command});
    return out;
}

} // namespace sim
