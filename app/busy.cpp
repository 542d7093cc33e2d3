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

void RunDialogStep(UINT32 busy, DialogStep step, HWND dialog, int command) {
    if (!EnterBusy(busy))
        return;
    int end = step(dialog, command);
    LeaveBusy(busy);
    if (end)
        EndDialog(dialog, 0);
}
