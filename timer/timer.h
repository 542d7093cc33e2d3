// The exit timer and the countdown window.
#ifndef KELTO_TIMER_H
#define KELTO_TIMER_H
#include "../app/settings.h"

// Arms the exit from the settings (TimerFlag: after TimeoutSeconds; AtFlag: at AtValue) and, with WarnFlag,
// the countdown window; shows "Timer not started (Invalid time ?)" or "Warning time is bigger than timeout"
// and arms nothing when the times cannot be; arms nothing while an exit is on its way. Sets the icon to
// "Timed Exit" and unregisters the hotkey.
void StartTimedExit();
// Non-zero while nothing may be armed: an exit is on its way.
int ArmingRefused();
// The one message for a timed exit that cannot be armed.
void ReportTimerNotStarted();
// Disarms: kills the timers, closes the countdown, registers the hotkey again and posts the exit type's
// command, which puts its icon back.
void CancelTimedExit();
// Reads AtValue (hhmmss, hour 00 as 24) into AtHour, AtMinute, AtSecond and the delay from now into
// ExitDelayMs (tomorrow when passed); 0 for a time that is none.
int ParseAtTime();
// "Counting down to " and the exit type's name, into WarningText.
void MakeDefaultWarningText();
#endif
