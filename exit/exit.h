// Performing the selected exit.
#ifndef KELTO_EXIT_H
#define KELTO_EXIT_H
#include "../app/settings.h"

// Performs the selected exit, after the question when Confirm Exit is on; nothing while a timed exit is
// armed or another exit is on its way.
void ExecuteExit();
// The same, with the trigger's own first step on the way (the quick menu's choice: select, and its message).
typedef void (*ExitStep)(int argument);
void ExecuteExit(ExitStep firstStep, int argument);
// With Force Exit on and an exit type that cannot be forced: "Screensaver cannot be forced", Force Exit off.
void RefuseForceWhereItCannotApply();
#endif
