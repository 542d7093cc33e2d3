// Start-up, the hidden main window and the message loop.
#ifndef KELTO_MAIN_H
#define KELTO_MAIN_H
#include "settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
#endif
