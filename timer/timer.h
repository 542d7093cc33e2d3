// The exit timer and the countdown window.
#ifndef KELTO_TIMER_H
#define KELTO_TIMER_H
#include "../app/settings.h"

void StartTimedExit();
// Non-zero while nothing may be armed: an exit is on its way.
int ArmingRefused();
// The one message for a timed exit that cannot be armed.
void ReportTimerNotStarted();
void CancelTimedExit();
// Moves the armed exit five minutes later; nothing changes when its new timer cannot be made.
void PostponeTimedExit();
int ParseAtTime();
void ArmWarning();
void ShowCountdown();
void MakeDefaultWarningText();
void CALLBACK OnExitTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
void CALLBACK OnWarningTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
void CALLBACK OnCountdownTick(HWND window, UINT message, UINT_PTR id, DWORD time);
INT_PTR CALLBACK CountdownDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
