// Programs run before the exit: the list, its stored form, the runner and its dialog.
#ifndef KELTO_RUNBEFORE_H
#define KELTO_RUNBEFORE_H
#include "../app/settings.h"

// The four entries into ProgramsToRun, each followed by ";"; an entry that does not fit whole is left out.
void JoinProgramList();
// ProgramsToRun into the four entries; empty entries are skipped, one too long for its field is left empty.
void SplitProgramList();
// Runs the four entries in order, each to its end: a program as a process, anything else through the shell.
void RunProgramsBeforeExit();
INT_PTR CALLBACK RunBeforeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
