// Performing the selected exit.
#ifndef KELTO_EXIT_H
#define KELTO_EXIT_H
#include "../app/settings.h"

void ExecuteExit();
BOOL CALLBACK ForceCloseWindow(HWND window, LPARAM value);
void RejectForcedScreensaver();
#endif
