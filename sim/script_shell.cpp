// The test's side of the shell: the tray icons and a click on one, the taskbar that comes and goes, the link
// object's and special folders' results, the answers for file dialogs, and the libraries the program may
// load itself.
#include "internal.h"

namespace sim {

using namespace detail;

void removeLibrary(const std::string& name) {
    S->librariesRemoved.insert(libraryName(name));
}
void removeEntry(const std::string& library, const std::string& entry) {
    S->entriesRemoved.insert({libraryName(library), entry});
}
int libraryLoads(const std::string& name) {
    auto it = S->libraryLoads.find(libraryName(name));
    return it == S->libraryLoads.end() ? 0 : it->second;
}
const std::vector<std::string>& callOrder() {
    return S->callOrder;
}

std::vector<TrayIcon> trayIcons() {
    return S->trayIcons;
}

std::optional<TrayIcon> trayIcon() {
    if (S->trayIcons.size() > 1)
        fail() << S->trayIcons.size() << " tray icons are present, not one";
    if (S->trayIcons.empty())
        return std::nullopt;
    return S->trayIcons.front();
}

const std::vector<TrayRequest>& trayRequests() {
    return S->trayRequests;
}

int coInitializeCount() {
    return S->coInitCalls - S->coUninitCalls;
}
int coInitializeCalls() {
    return S->coInitCalls;
}
void setCoCreateResult(HRESULT result) {
    S->coCreateResult = result;
}
void setPersistFileResult(HRESULT result) {
    S->persistFileResult = result;
}
void setLinkSaveResult(HRESULT result) {
    S->linkSaveResult = result;
}
int liveComObjects() {
    return S->liveComObjects;
}
const std::vector<ShortcutSaved>& shortcutsSaved() {
    return S->shortcuts;
}

std::optional<ShortcutSaved> shortcutFile(const std::string& path) {
    for (auto it = S->shortcuts.rbegin(); it != S->shortcuts.rend(); ++it)
        if (equalNoCase(it->path, path))
            return *it;
    return std::nullopt;
}

void setSpecialFolder(int csidl, const std::string& path) {
    S->specialFolders[csidl] = path;
}
void setSpecialFolderFails(int csidl, HRESULT result) {
    S->specialFolderFailures[csidl] = result;
}
void setPathFromIdListFails(bool fails) {
    S->pathFromIdListFails = fails;
}
int liveItemIdLists() {
    return static_cast<int>(S->itemIdLists.size());
}

void onOpenFile(std::function<BOOL(OPENFILENAMEA&)> answer) {
    S->openFileAnswers.push_back(std::move(answer));
}

void chooseFile(OPENFILENAMEA& request, const std::string& path) {
    if (!request.lpstrFile || request.nMaxFile == 0) {
        fail() << "chooseFile: the request has no file buffer";
        return;
    }
    if (path.size() + 1 > request.nMaxFile)
        fail() << "chooseFile: \"" << path << "\" does not fit the " << request.nMaxFile << "-byte buffer";
    lstrcpynA(request.lpstrFile, path.c_str(), static_cast<int>(request.nMaxFile));
    size_t slash = path.find_last_of("\\/:");
    size_t name = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    request.nFileOffset = static_cast<WORD>(name);
    request.nFileExtension =
        static_cast<WORD>(dot == std::string::npos || dot < name ? path.size() : dot + 1);
}

const std::vector<OpenFileRequest>& openFileRequests() {
    return S->openFileRequests;
}

void setTaskbar(bool present) {
    if (Window* old = findWin(S->taskbarWindow))
        old->alive = false;
    S->taskbarWindow = nullptr;
    S->taskbarMissing = !present;
    if (present)
        S->taskbarWindow = addForeignWindow("Shell_TrayWnd", "", 0x1EEE);
    else
        S->trayIcons.clear();
}

bool broadcastTaskbarCreated() {
    auto it = S->registeredMessages.find("TASKBARCREATED");
    if (it == S->registeredMessages.end())
        return false;
    std::vector<HWND> targets;
    for (const auto& w : S->windows)
        if (w->alive && !w->foreign && !w->isControl)
            targets.push_back(w->handle);
    for (HWND target : targets)
        PostMessageA(target, it->second, 0, 0);
    return true;
}

void clickTray(UINT mouseMessage, HWND window) {
    std::vector<TrayIcon> found;
    for (const TrayIcon& icon : S->trayIcons)
        if (!window || icon.window == window)
            found.push_back(icon);
    if (found.size() != 1) {
        fail() << "clickTray: " << found.size() << " tray icons to click instead of one";
        return;
    }
    PostMessageA(found[0].window, found[0].callbackMessage, found[0].id, static_cast<LPARAM>(mouseMessage));
}

} // namespace sim
