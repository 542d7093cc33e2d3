// Re-entrancy: what is on its way is not started a second time.
//
// A box, a dialog and a popup menu each run a loop of their own, which goes on dispatching clicks, the
// hotkey, posted commands and timers: the program is re-entered there. One rule answers whatever arrives:
// while something is busy, it is not started again. These are the things that can be busy.
#ifndef KELTO_BUSY_H
#define KELTO_BUSY_H
#include "settings.h"

enum BusyWith : UINT32 {
    BusyExit = 1u << 0,             // an exit, from its trigger to its request
    BusyHideIconQuestion = 1u << 1, // "Are you sure you want to hide the tray icon ?"
    // A dialog's step that may show a box: its OK, Cancel, close, Browse or Edit.
    BusyTimedExitStep = 1u << 2,
    BusyWarningTextStep = 1u << 3,
    BusyHotkeyStep = 1u << 4,
    BusyRunBeforeStep = 1u << 5,
    BusyRegistryStep = 1u << 6,
    BusyShortcutStep = 1u << 7,
};

// Marks it busy and returns 1, or returns 0 and marks nothing when it is busy already.
int EnterBusy(UINT32 busy);
void LeaveBusy(UINT32 busy);
int IsBusy(UINT32 busy);

// A dialog's step: returns non-zero when the dialog is to end.
typedef int (*DialogStep)(HWND dialog, int command);

// Every dialog runs its OK, Cancel, close and the other commands that may show a box through here: the
// box's loop leaves the dialog usable, so until the step is done the dialog takes no second step and does
// not end. Ends the dialog with 0 when the step says so.
void RunDialogStep(UINT32 busy, DialogStep step, HWND dialog, int command);

// What a dialog of the program is made of: the field that keeps it while open, what fills it when it opens,
// its steps (OK, Cancel, the close box, and the commands that may show a box) and its other commands.
struct DialogParts {
    HWND* handle;
    void (*open)(HWND dialog);
    UINT32 busy;
    DialogStep step;
    bool (*isStep)(int command);                 // a step beside OK and Cancel; null: none
    int closeStep;                               // the step the close box runs
    void (*command)(HWND dialog, WPARAM wParam); // the other commands; null: none
};

// The messages every dialog handles alike, its steps under the re-entrancy rule; FALSE, as a dialog procedure
// returns for every message.
INT_PTR HandleDialogMessage(const DialogParts& parts, HWND dialog, UINT message, WPARAM wParam);
#endif
