// The countdown window's own calls, for its tests.
#ifndef KELTO_TIMER_INTERNAL_H
#define KELTO_TIMER_INTERNAL_H
#include "timer.h"

// Shows the time left, in whole seconds rounded up, with the warning text in the countdown window, if open.
void ShowCountdown();
INT_PTR CALLBACK CountdownDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
