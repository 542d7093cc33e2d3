// Performing the exit: its own calls, for its tests.
#ifndef KELTO_EXIT_INTERNAL_H
#define KELTO_EXIT_INTERNAL_H
#include "exit.h"

// "Screensaver cannot be forced", and Force Exit off.
void RejectForcedScreensaver();
#endif
