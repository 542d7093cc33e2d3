// Programs run before the exit: the list, its stored form, the runner and its dialog.
#ifndef KELTO_RUNBEFORE_H
#define KELTO_RUNBEFORE_H
#include "../app/settings.h"

void JoinProgramList();
void SplitProgramList();
void RunProgramsBeforeExit();
bool HasProgramExtension(const char* text);
void RunAsProcess(const char* text);
void RunThroughShell(const char* text);
INT_PTR CALLBACK RunBeforeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void BrowseForProgram();
#endif
