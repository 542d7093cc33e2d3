// The program list's own calls, for its tests.
#ifndef KELTO_RUNBEFORE_INTERNAL_H
#define KELTO_RUNBEFORE_INTERNAL_H
#include "runbefore.h"

// True when the text holds .com, .exe, .bat, .pif or .cmd anywhere: it is run as a process.
bool HasProgramExtension(const char* text);
#endif
