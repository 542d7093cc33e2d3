// Re-entrancy: the busy marks, and the dialogs' steps that take them.
#include "busy.h"

int EnterBusy(UINT32 busy) {
    if (Settings.Busy & busy)
        return 0;
    Settings.Busy |= busy;
    return 1;
}

void LeaveBusy(UINT32 busy) {
    Settings.Busy &= ~busy;
}

int IsBusy(UINT32 busy) {
    return (Settings.Busy & busy) != 0;
}

INT_PTR HandleDialogMessage(const DialogParts& parts, HWND dialog, UINT message, WPARAM wParam) {
    int command = LOWORD(wParam);
    if (message == WM_INITDIALOG) {
        *parts.handle = dialog;
        parts.open(dialog);
    } else if (message == WM_DESTROY) {
        // Gone with the main window while a box of its step was open: the handle goes at once, not when
        // the box and the dialog's loop have ended.
        if (*parts.handle == dialog)
            *parts.handle = NULL;
    } else if (message == WM_CLOSE) {
        RunDialogStep(parts.busy, parts.step, dialog, parts.closeStep);
    } else if (message == WM_COMMAND &&
               (command == IDOK || command == IDCANCEL || (parts.isStep && parts.isStep(command)))) {
        RunDialogStep(parts.busy, parts.step, dialog, command);
    } else if (message == WM_COMMAND && parts.command) {
        parts.command(dialog, wParam);
    }
    return FALSE;
}

void RunDialogStep(UINT32 busy, DialogStep step, HWND dialog, int command) {
    if (!EnterBusy(busy))
        return;
    int end = step(dialog, command);
    LeaveBusy(busy);
    if (end)
        EndDialog(dialog, 0);
}
