// The command line.
#ifndef KELTO_CMDLINE_H
#define KELTO_CMDLINE_H
#include "../app/settings.h"

int ParseCommandLine(const char* text);
#endif
