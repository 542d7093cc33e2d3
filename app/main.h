// Start-up and the hidden main window.
#ifndef KELTO_MAIN_H
#define KELTO_MAIN_H
#include "settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The icon name and tooltip of an exit type; both null for a value that is not an exit type.
const char* ExitTypeIcon(INT32 exitType);
const char* ExitTypeTip(INT32 exitType);
#endif
