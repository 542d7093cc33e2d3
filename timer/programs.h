// The programs running now, and the title of a window of one.
#ifndef KELTO_PROGRAMS_H
#define KELTO_PROGRAMS_H
#include "../app/settings.h"

// A program running now: its process id, its file as the system lists it, and its file name alone in
// capitals (DEFRAG.EXE).
struct RunningProgram {
    DWORD id;
    char path[MAX_PATH];
    char name[MAX_PATH];
};

// Called for each program running now but this one, in the system's order, until it returns false.
typedef bool (*ProgramVisitor)(const RunningProgram& program, void* context);
// 0 when there is no list to read (a system without ToolHelp).
int ForEachRunningProgram(ProgramVisitor visit, void* context);
// The first program running that the name names, case-blind, with or without its folder; or, for a null
// name, the one with that process id.
bool FindRunningProgram(const char* name, DWORD id, RunningProgram* found);
// The title of a visible top-level window of that process; empty when it has none.
void ProgramWindowTitle(DWORD id, char* title, int capacity);
#endif
