// The command line.
#ifndef KELTO_CMDLINE_H
#define KELTO_CMDLINE_H
#include "../app/settings.h"

// Reads the stored settings (unless /z), applies the options over them and shows a box for what it refuses,
// a time-of-day exit (/a) that cannot start included; start-up arms it. 1: start-up goes on; 0: the program
// ends, after an error message or the list of options ("/?").
int ParseCommandLine(const char* text);
#endif
