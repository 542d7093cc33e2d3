// The timed exit dialog's own calls, for its tests.
#ifndef KELTO_TIMERDLG_INTERNAL_H
#define KELTO_TIMERDLG_INTERNAL_H
#include "timerdlg.h"

// Each converts its stored text (TimerValue, AtValue, WarnValue) and shows it in its edit of the open dialog;
// the timeout and the time of day each clear the other's edit.
void ShowTimeoutValue();
void ShowAtValue();
void ShowWarnValue();
#endif
