// The command line.
#ifndef KELTO_CMDLINE_H
#define KELTO_CMDLINE_H
#include "../app/settings.h"

// 1: start-up goes on; 0: the program ends, after an error message or the list of options ("/?").
int ParseCommandLine(const char* text);
#endif
