// The test's side of dialogs: sim::Dialog, a script's hands and eyes on an open dialog, and the queue of
// dialog scripts that the modal loop of dialogs.cpp takes them from.
#include "internal.h"

namespace {

constexpr UINT kEnChange = 0x0300;

} // namespace

namespace sim {

using namespace detail;

// A modal dialog is closed for the user once EndDialog has run, though its loop destroys it only later.
static Window* openDialog(HWND handle) {
    Window* dialog = liveWin(handle);
    return dialog && dialog->isDialog && !(dialog->modal && dialog->ended) ? dialog : nullptr;
}

static Window* dialogOrFail(HWND handle, const char* what) {
    Window* dialog = openDialog(handle);
    if (!dialog) {
        fail() << what << ": the dialog is not open";
        return nullptr;
    }
    return dialog;
}

static Window* controlOrFail(HWND dialogHandle, int id, const char* what) {
    Window* dialog = dialogOrFail(dialogHandle, what);
    if (!dialog)
        return nullptr;
    Window* control = liveControl(dialogHandle, id);
    if (!control)
        fail() << what << ": dialog " << dialog->dialogId << " has no control " << id;
    return control;
}

bool Dialog::exists() const {
    return openDialog(window_) != nullptr;
}

int Dialog::id() const {
    Window* dialog = findWin(window_);
    return dialog ? dialog->dialogId : 0;
}

std::string Dialog::caption() const {
    Window* dialog = dialogOrFail(window_, "caption()");
    return dialog ? dialog->text : "";
}

bool Dialog::click(int controlId) {
    Window* control = controlOrFail(window_, controlId, "click()");
    if (!control)
        return false;
    // A dialog under a modal one of its own cannot be clicked.
    if (findWin(window_)->style & WS_DISABLED)
        return false;
    if (!(control->style & WS_VISIBLE))
        return false;
    return clickControl(control);
}

static Window* comboOrFail(HWND dialog, int controlId, const char* what) {
    Window* control = controlOrFail(dialog, controlId, what);
    if (control && !equalNoCase(control->className, "COMBOBOX")) {
        fail() << what << ": control " << controlId << " is a " << control->className << ", not a combo box";
        return nullptr;
    }
    return control;
}

void Dialog::dropDown(int controlId) {
    Window* combo = comboOrFail(window_, controlId, "dropDown()");
    if (!combo || (combo->style & WS_DISABLED) || (findWin(window_)->style & WS_DISABLED))
        return;
    if (Window* dialog = liveWin(window_))
        callWindow(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_DROPDOWN),
                   reinterpret_cast<LPARAM>(combo->handle));
}

bool Dialog::choose(int controlId, const std::string& itemStart) {
    Window* combo = comboOrFail(window_, controlId, "choose()");
    if (!combo || (combo->style & WS_DISABLED) || (findWin(window_)->style & WS_DISABLED))
        return false;
    dropDown(controlId);
    combo = liveControl(window_, controlId);
    if (!combo)
        return false;
    for (size_t i = 0; i < combo->items.size(); i++)
        if (combo->items[i].first.compare(0, itemStart.size(), itemStart) == 0) {
            controlProc(combo, CB_SETCURSEL, i, 0);
            if (Window* dialog = liveWin(window_))
                callWindow(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(combo->handle));
            return true;
        }
    return false;
}

std::vector<std::string> Dialog::items(int controlId) const {
    std::vector<std::string> texts;
    if (Window* combo = comboOrFail(window_, controlId, "items()"))
        for (const auto& item : combo->items)
            texts.push_back(item.first);
    return texts;
}

bool Dialog::type(int controlId, const std::string& text) {
    Window* control = controlOrFail(window_, controlId, "type()");
    if (!control)
        return false;
    if (!equalNoCase(control->className, "EDIT")) {
        fail() << "type(): control " << controlId << " is a " << control->className << ", not an edit";
        return false;
    }
    if ((control->style & (WS_DISABLED | ES_READONLY)) || (findWin(window_)->style & WS_DISABLED))
        return false;
    // The edit takes no more keys once its limit is reached.
    setControlText(control, text.substr(0, control->textLimit).c_str());
    if (Window* dialog = liveWin(window_))
        callWindow(dialog, WM_COMMAND, MAKEWPARAM(controlId, kEnChange),
                   reinterpret_cast<LPARAM>(control->handle));
    return true;
}

void Dialog::close() {
    if (Window* dialog = dialogOrFail(window_, "close()"))
        callWindow(dialog, WM_CLOSE, 0, 0);
}

bool Dialog::advance(DWORD ms) const {
    return sim::advance(ms);
}

void Dialog::paint() {
    Window* dialog = dialogOrFail(window_, "paint()");
    if (!dialog)
        return;
    callWindow(dialog, WM_PAINT, 0, 0);
    std::vector<HWND> controls = findWin(window_)->controls;
    for (HWND handle : controls) {
        Window* control = liveWin(handle);
        Window* parent = liveWin(window_);
        if (control && parent && equalNoCase(control->className, "STATIC"))
            callWindow(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(paintContext(handle)),
                       reinterpret_cast<LPARAM>(handle));
    }
}

std::string Dialog::text(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "text()");
    return control ? control->text : "";
}

bool Dialog::checked(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "checked()");
    return control && control->checkState == BST_CHECKED;
}

bool Dialog::enabled(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "enabled()");
    return control && !(control->style & WS_DISABLED);
}

bool Dialog::visible(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "visible()");
    return control && (control->style & WS_VISIBLE);
}

DWORD Dialog::style(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "style()");
    return control ? control->style : 0;
}

HFONT Dialog::font(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "font()");
    return control ? control->font : nullptr;
}

HWND Dialog::control(int controlId) const {
    Window* control = controlOrFail(window_, controlId, "control()");
    return control ? control->handle : nullptr;
}

std::vector<int> Dialog::controlIds() const {
    std::vector<int> ids;
    if (Window* dialog = dialogOrFail(window_, "controlIds()"))
        for (HWND handle : dialog->controls)
            ids.push_back(findWin(handle)->controlId);
    return ids;
}

void onDialog(int templateId, std::function<void(Dialog&)> script) {
    S->dialogScripts[templateId].push_back(std::move(script));
}

Dialog findDialog(int templateId) {
    for (auto it = S->windows.rbegin(); it != S->windows.rend(); ++it)
        if (openDialog((*it)->handle) && (*it)->dialogId == templateId)
            return Dialog((*it)->handle);
    return Dialog();
}

const std::vector<DialogRecord>& dialogsOpened() {
    return S->dialogRecords;
}

} // namespace sim
