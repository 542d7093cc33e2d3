// Libraries loaded when first needed: start-up maps neither ole32 nor comdlg32 (nor what they pull in),
// and a machine without one loses only the feature that uses it.
#include "libraries.h"
#include <objbase.h>

FARPROC LibraryEntry(HMODULE* module, const char* library, const char* entry) {
    if (!*module)
        *module = LoadLibraryA(library);
    return *module ? GetProcAddress(*module, entry) : NULL;
}

void StartCom() {
    typedef decltype(&CoInitialize) CoInitializeEntry;
    CoInitializeEntry initialize =
        ENTRY_AS(CoInitializeEntry, LibraryEntry(&Settings.Ole32Library, "ole32.dll", "CoInitialize"));
    if (initialize && SUCCEEDED(initialize(NULL)))
        Settings.ComInitialized = 1;
}

void EndCom() {
    if (!Settings.ComInitialized)
        return;
    typedef decltype(&CoUninitialize) CoUninitializeEntry;
    CoUninitializeEntry uninitialize = ENTRY_AS(CoUninitializeEntry, ComEntry("CoUninitialize"));
    if (uninitialize)
        uninitialize();
    Settings.ComInitialized = 0;
}

FARPROC ComEntry(const char* entry) {
    return Settings.Ole32Library ? GetProcAddress(Settings.Ole32Library, entry) : NULL;
}
