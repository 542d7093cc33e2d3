// Start-up's own steps, for its tests.
#ifndef KELTO_MAIN_INTERNAL_H
#define KELTO_MAIN_INTERNAL_H
#include "main.h"

// After the command line: creates the main window and arms the timed exit the command line asks for (a time
// of day, or a one-shot timeout). 0 when that cannot be armed, after its box: the program ends.
int ArmTimedExitOfCommandLine();
#endif
