// Libraries loaded when a feature first needs them rather than by the loader before start-up: ole32
// for the shortcut's link object, comdlg32 for the open-file dialog.
#ifndef KELTO_LIBRARIES_H
#define KELTO_LIBRARIES_H
#include "settings.h"

// GetProcAddress gives every entry one type; this names the entry's own. The cast through a function
// of no arguments tells the compiler the change of type is meant.
#define ENTRY_AS(type, address) ((type)(void (*)())(address))

// The entry of a library, loading the library into *module on first use; NULL when either is missing.
FARPROC LibraryEntry(HMODULE* module, const char* library, const char* entry);

// Start-up's step before the message loop: loads ole32 and initialises COM. A missing library or entry
// leaves COM off, and only the shortcut fails.
void StartCom();
// After the message loop: ends COM when StartCom began it.
void EndCom();
// An entry of the ole32 that start-up loaded; NULL when there is none.
FARPROC ComEntry(const char* entry);
#endif
