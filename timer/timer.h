// The armed exit: when it falls due, and the countdown window before it.
#ifndef KELTO_TIMER_H
#define KELTO_TIMER_H
#include "../app/settings.h"

// Arms the exit from the settings (TimerFlag: after TimeoutSeconds; AtFlag: at the next occurrence of
// AtValue) and, with WarnFlag, the countdown window before it; sets the icon to "Timed Exit" with its time
// and unregisters the hotkey. Arms nothing, and leaves an earlier arming as it was, while an exit is on its
// way or when TimedExitCanStart refuses.
void StartTimedExit();
// Whether StartTimedExit would arm now, without arming: shows "Timer not started (Invalid time ?)" for times
// out of range and "Warning time is bigger than timeout" for a countdown longer than the delay (nothing armed
// then: that arming fails as a whole), and says nothing of a time of day that is none.
int TimedExitCanStart();
// Non-zero while nothing may be armed: an exit is on its way.
int ArmingRefused();
// The one message for a timed exit that cannot be armed.
void ReportTimerNotStarted();
// Arms the exit for when the program ProgramToWaitFor ends (exit when a program ends): "Icon_9" with its tip,
// the hotkey released, the program looked at every two seconds. 0, after "Program not running: " or "Cannot
// wait for program: " with WaitedProgramName, when it cannot be waited for.
int StartWaitingForProgram();
// The error box of a program: the message and the program's name.
void ReportProgram(const char* message, const char* name);
// Disarms: stops the timers, closes the countdown, registers the hotkey again and posts the exit type's
// command, which puts its icon back.
void CancelTimedExit();
// Works out the armed exit's time left now: performs it when due, opens the countdown when its time has come,
// and gives an exit overdue after a jump of the clock or a standby its countdown first.
void CheckTimedExit();
// WM_POWERBROADCAST: notes a suspend, and on a resume counts the standby into a timeout and checks at once.
void OnPowerBroadcast(WPARAM event);
// "Icon_9" with the tip that says which exit comes when.
void ShowArmedIcon();
// Reads AtValue (hhmmss, hour 24 as 0) into AtHour, AtMinute, AtSecond, and its next occurrence into
// AtDueLocal and the delay from now into ExitDelayMs; 0 for a time that is none.
int ParseAtTime();
// "Counting down to " and the exit type's name, into WarningText.
void MakeDefaultWarningText();
#endif
