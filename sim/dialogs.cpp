// user32's dialogs on the simulated machine: dialogs built from the program's own templates, the modal loop
// with the scripts that play the user in it, and the button, edit and static controls they hold.
#include "internal.h"

#include <algorithm>

namespace {

constexpr UINT kBnClicked = 0, kStnClicked = 0;
constexpr UINT kWmGetTextLength = 0x000E, kWmGetFont = 0x0031;
constexpr DWORD kEsLowercase = 0x0010;

} // namespace

namespace sim {
namespace detail {

// ---- Controls
// -----------------------------------------------------------------------------------------------------

Window* liveControl(HWND dialog, int id) {
    Window* parent = liveWin(dialog);
    if (!parent)
        return nullptr;
    for (HWND handle : parent->controls) {
        Window* control = liveWin(handle);
        if (control && static_cast<WORD>(control->controlId) == static_cast<WORD>(id))
            return control;
    }
    return nullptr;
}

UINT buttonKind(const Window* control) {
    if (!control->isControl || !equalNoCase(control->className, "BUTTON"))
        return 0xFFFF;
    return control->style & 0x0F;
}

static bool isCheckable(const Window* control) {
    UINT kind = buttonKind(control);
    return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_RADIOBUTTON || kind == 5 ||
           kind == 6 || kind == BS_AUTORADIOBUTTON;
}

void setControlText(Window* control, const char* text) {
    std::string value = text ? text : "";
    // The edit control converts whatever it is given, typed or set, when it has a case style.
    if (equalNoCase(control->className, "EDIT")) {
        if (control->style & ES_UPPERCASE)
            CharUpperA(value.data());
        else if (control->style & kEsLowercase)
            CharLowerA(value.data());
    }
    control->text = value;
}

// Checks an auto radio button and unchecks the other auto radio buttons of its group: from the nearest
// control at or before it with WS_GROUP up to the next control with WS_GROUP.
static void checkInGroup(Window* control) {
    Window* dialog = liveWin(control->owner);
    control->checkState = BST_CHECKED;
    if (!dialog)
        return;
    const std::vector<HWND>& all = dialog->controls;
    size_t at = std::find(all.begin(), all.end(), control->handle) - all.begin();
    size_t start = at;
    while (start > 0 && !(findWin(all[start])->style & WS_GROUP))
        --start;
    for (size_t i = start; i < all.size(); ++i) {
        Window* other = findWin(all[i]);
        if (i > start && (other->style & WS_GROUP))
            break;
        if (other != control && buttonKind(other) == BS_AUTORADIOBUTTON)
            other->checkState = BST_UNCHECKED;
    }
}

// A click as the button control handles it: state first, then the notification to the dialog.
bool clickControl(Window* control) {
    if (!control->alive || (control->style & WS_DISABLED))
        return false;
    HWND dialog = control->owner;
    if (equalNoCase(control->className, "BUTTON")) {
        UINT kind = buttonKind(control);
        if (kind == BS_GROUPBOX)
            return false;
        if (kind == BS_AUTOCHECKBOX)
            control->checkState = control->checkState == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        else if (kind == 6) // BS_AUTO3STATE
            control->checkState = (control->checkState + 1) % 3;
        else if (kind == BS_AUTORADIOBUTTON)
            checkInGroup(control);
        if (Window* parent = liveWin(dialog))
            callWindow(parent, WM_COMMAND, MAKEWPARAM(control->controlId, kBnClicked),
                       reinterpret_cast<LPARAM>(control->handle));
        return true;
    }
    if (equalNoCase(control->className, "STATIC")) {
        // Statics without SS_NOTIFY are transparent to the mouse.
        if (!(control->style & SS_NOTIFY))
            return false;
        if (Window* parent = liveWin(dialog))
            callWindow(parent, WM_COMMAND, MAKEWPARAM(control->controlId, kStnClicked),
                       reinterpret_cast<LPARAM>(control->handle));
        return true;
    }
    return equalNoCase(control->className, "EDIT"); // takes the focus, nothing more
}

// A drop-down list: the items in the order added (no CBS_SORT is modelled), the selection's text as the box's
// own.
static LRESULT comboProc(Window* combo, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& items = combo->items;
    size_t index = static_cast<size_t>(wParam);
    bool valid = index < items.size();
    switch (message) {
    case CB_ADDSTRING:
        items.push_back({lParam ? reinterpret_cast<const char*>(lParam) : "", 0});
        return static_cast<LRESULT>(items.size() - 1);
    case CB_GETCOUNT: return static_cast<LRESULT>(items.size());
    case CB_GETCURSEL: return combo->selected;
    case CB_GETLBTEXTLEN: return valid ? static_cast<LRESULT>(items[index].first.size()) : CB_ERR;
    case CB_GETLBTEXT:
        if (!valid || !lParam)
            return CB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), items[index].first.c_str(),
                    items[index].first.size() + 1);
        return static_cast<LRESULT>(items[index].first.size());
    case CB_RESETCONTENT:
        items.clear();
        combo->selected = -1;
        combo->text.clear();
        return 0;
    case CB_SETCURSEL:
        combo->selected = valid ? static_cast<int>(index) : -1;
        combo->text = valid ? items[index].first : "";
        return valid ? static_cast<LRESULT>(index) : CB_ERR;
    case CB_GETITEMDATA: return valid ? items[index].second : CB_ERR;
    case CB_SETITEMDATA:
        if (!valid)
            return CB_ERR;
        items[index].second = lParam;
        return TRUE;
    default: return 0;
    }
}

LRESULT controlProc(Window* control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETTEXT: setControlText(control, reinterpret_cast<const char*>(lParam)); return TRUE;
    case WM_GETTEXT: return copyText(control->text, wParam, lParam);
    case kWmGetTextLength: return static_cast<LRESULT>(control->text.size());
    case BM_GETCHECK: return isCheckable(control) ? control->checkState : 0;
    case BM_SETCHECK:
        if (isCheckable(control))
            control->checkState = static_cast<UINT>(wParam);
        return 0;
    case BM_CLICK: clickControl(control); return 0;
    case EM_LIMITTEXT:
        // Limits typing only; WM_SETTEXT still sets any text, as documented for EM_LIMITTEXT.
        if (equalNoCase(control->className, "EDIT"))
            control->textLimit = wParam ? static_cast<size_t>(wParam) : 32767;
        return 0;
    case WM_SETFONT: control->font = reinterpret_cast<HFONT>(wParam); return 0;
    case kWmGetFont: return reinterpret_cast<LRESULT>(control->font);
    default:
        return equalNoCase(control->className, "COMBOBOX") ? comboProc(control, message, wParam, lParam) : 0;
    }
}

// ---- Dialogs
// ------------------------------------------------------------------------------------------------------

// What DefDlgProc does with the messages a dialog procedure left alone (returned FALSE for), and its result.
static LRESULT defaultDialog(Window* dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
    case WM_POWERBROADCAST: return TRUE;
    case WM_CLOSE: {
        // The close box stands for Cancel, unless a Cancel button is there and disabled.
        Window* cancel = liveControl(dialog->handle, IDCANCEL);
        if (!cancel || !(cancel->style & WS_DISABLED))
            PostMessageA(dialog->handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, kBnClicked),
                         reinterpret_cast<LPARAM>(cancel ? cancel->handle : nullptr));
        break;
    }
    case WM_SETTEXT: dialog->text = lParam ? reinterpret_cast<const char*>(lParam) : ""; return TRUE;
    default: (void)wParam; break;
    }
    return 0;
}

// Messages whose result is the dialog procedure's own return value; for the others a handled message gives
// the DWL_MSGRESULT, which this program never sets (0).
static bool returnsDirectly(UINT message) {
    return message == WM_INITDIALOG || (message >= 0x0132 && message <= 0x0138);
}

// The dialog class's window procedure: the dialog procedure first, then what DefDlgProc does.
LRESULT dialogClassProc(Window* dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT)
        return copyText(dialog->text, wParam, lParam);
    INT_PTR handled = dialog->dialogProc ? dialog->dialogProc(dialog->handle, message, wParam, lParam) : 0;
    if (returnsDirectly(message))
        return handled;
    if (!handled && dialog->alive)
        return defaultDialog(dialog, message, wParam, lParam);
    return 0;
}

static Window* buildDialog(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param,
                           bool modal) {
    if (instance != sim::instance())
        return nullptr;
    ResName resName = ResName::from(name);
    const DialogTemplate* tpl = findDialog(resName);
    if (!tpl)
        return nullptr;
    Window* dialog = newWindow();
    dialog->className = tpl->className.empty() ? "#32770" : tpl->className;
    dialog->text = tpl->caption;
    dialog->style = tpl->style;
    dialog->exStyle = tpl->exStyle;
    dialog->x = tpl->x;
    dialog->y = tpl->y;
    dialog->width = tpl->cx;
    dialog->height = tpl->cy;
    dialog->owner = owner;
    dialog->instance = instance;
    dialog->isDialog = true;
    dialog->dialogId = resName.isNumber ? static_cast<int>(resName.number) : 0;
    dialog->dialogProc = procedure;
    dialog->modal = modal;
    HWND dialogHandle = dialog->handle;
    for (const DialogControl& c : tpl->controls) {
        Window* control = newWindow();
        control->isControl = true;
        control->className = c.className;
        control->text = c.text;
        control->style = c.style;
        control->exStyle = c.exStyle;
        control->x = c.x;
        control->y = c.y;
        control->width = c.cx;
        control->height = c.cy;
        control->owner = dialogHandle;
        control->instance = instance;
        control->controlId = static_cast<int>(c.id);
        findWin(dialogHandle)->controls.push_back(control->handle);
    }
    dialog = findWin(dialogHandle);
    DialogRecord record;
    record.templateId = dialog->dialogId;
    record.window = dialogHandle;
    record.owner = owner;
    record.param = param;
    record.modal = modal;
    record.openedAt = static_cast<DWORD>(S->clock);
    dialog->recordIndex = S->dialogRecords.size();
    S->dialogRecords.push_back(record);
    HWND focus = nullptr;
    for (HWND handle : dialog->controls)
        if (findWin(handle)->style & WS_TABSTOP) {
            focus = handle;
            break;
        }
    if (procedure)
        procedure(dialogHandle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
    return findWin(dialogHandle);
}

static void forceEnd(Window* dialog) {
    if (dialog->alive && !dialog->ended) {
        dialog->ended = true;
        dialog->result = 0;
    }
}

} // namespace detail
} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- What the program calls
// ---------------------------------------------------------------------------------------

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) {
    if (owner && !liveWin(owner))
        return -1;
    Window* ownerWindow = liveWin(owner);
    BOOL ownerWasDisabled = FALSE;
    if (ownerWindow)
        ownerWasDisabled = EnableWindow(owner, FALSE);
    Window* dialog = buildDialog(instance, name, owner, procedure, param, true);
    if (!dialog) {
        if (ownerWindow && !ownerWasDisabled)
            EnableWindow(owner, TRUE);
        return -1;
    }
    dialog->enablesOwner = ownerWindow && !ownerWasDisabled;
    HWND handle = dialog->handle;
    int id = dialog->dialogId;
    auto done = [handle] {
        Window* w = findWin(handle);
        return !w->alive || w->ended;
    };
    std::unique_ptr<Script> script;
    if (!done()) {
        auto& queue = S->dialogScripts[id];
        if (!queue.empty() || S->user.dialog) {
            std::function<void(Dialog&)> body;
            if (queue.empty()) {
                body = S->user.dialog;
            } else {
                body = std::move(queue.front());
                queue.pop_front();
            }
            script = makeScript([handle, body] {
                Dialog view(handle);
                body(view);
            });
        } else {
            fail() << "modal dialog " << id << " (\"" << dialog->text
                   << "\") opened without a script; closing it";
        }
        bool quit = modalLoop(script.get(), done);
        if (quit && !done()) {
            // Wine's DIALOG_DoDialogBox (dialog.c) breaks out on the quit message, posts it again and returns
            // the dialog's result as it stands: the id of the template's default push button.
            Window* w = findWin(handle);
            w->ended = true;
            w->result = 0;
            for (HWND control : w->controls)
                if (Window* c = findWin(control); c && buttonKind(c) == BS_DEFPUSHBUTTON) {
                    w->result = c->controlId;
                    break;
                }
        }
        if (!done() && !S->runaway) {
            if (script)
                fail() << "dialog " << id << " is still open after its script; closing it";
            if (Window* w = liveWin(handle))
                callWindow(w, WM_CLOSE, 0, 0);
            modalLoop(nullptr, done);
        }
        if (!done())
            forceEnd(findWin(handle));
    }
    dialog = findWin(handle);
    INT_PTR result = dialog->result;
    S->dialogRecords[dialog->recordIndex].result = result;
    if (dialog->alive)
        DestroyWindow(handle);
    if (ownerWindow && !ownerWasDisabled)
        EnableWindow(owner, TRUE);
    if (script)
        finishScript(*script);
    return result;
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) {
    if (owner && !liveWin(owner))
        return nullptr;
    Window* dialog = buildDialog(instance, name, owner, procedure, param, false);
    return dialog && dialog->alive ? dialog->handle : nullptr;
}

BOOL WINAPI EndDialog(HWND handle, INT_PTR result) {
    Window* dialog = liveWin(handle);
    if (!dialog || !dialog->isDialog)
        return FALSE;
    dialog->ended = true;
    dialog->result = result;
    // EndDialog hides the dialog at once and gives the owner its input back before the dialog's loop has
    // even ended (Wine's EndDialog in dialog.c: EnableWindow(owner, TRUE), then SWP_HIDEWINDOW; Microsoft's
    // DialogBox remarks: the owner is enabled again "if previously enabled"). A modeless one is only hidden.
    dialog->style &= ~static_cast<DWORD>(WS_VISIBLE);
    if (dialog->modal && dialog->enablesOwner && liveWin(dialog->owner))
        EnableWindow(dialog->owner, TRUE);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Window* control = liveControl(dialog, id);
    return control ? control->handle : nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    Window* control = liveControl(dialog, id);
    if (!control)
        return FALSE;
    setControlText(control, text);
    return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
    Window* control = liveControl(dialog, id);
    if (!control) {
        if (text && size > 0)
            text[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(
        copyText(control->text, size > 0 ? static_cast<WPARAM>(size) : 0, reinterpret_cast<LPARAM>(text)));
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    Window* control = liveControl(dialog, id);
    if (!control)
        return FALSE;
    controlProc(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    Window* control = liveControl(dialog, id);
    return control ? static_cast<UINT>(controlProc(control, BM_GETCHECK, 0, 0)) : 0;
}
