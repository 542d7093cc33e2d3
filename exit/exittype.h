// The nine exit types: one row each, read wherever an exit type is named, shown or performed.
#ifndef KELTO_EXITTYPE_H
#define KELTO_EXITTYPE_H
#include "../app/settings.h"

#ifdef KELTO_WIN32
// Windows 95's user32 exports only the undecorated name; the headers would map it to the A form.
#undef BroadcastSystemMessage
extern "C" __declspec(dllimport) LONG WINAPI
    BroadcastSystemMessage(DWORD flags, LPDWORD recipients, UINT message, WPARAM wParam, LPARAM lParam);
#endif

// What Force Exit does for an exit type.
enum ForceEffect {
    ForceIgnored,        // nothing: the session goes on
    ForceClosesPrograms, // before the request, each other program's window is sent the session's end, and one
                         // that does not answer is ended
    ForceBroadcastsEnd,  // before the companion library runs, the session's end is broadcast to the programs
    ForceAsksNoProgram,  // the suspend asks no program first (SetSystemPowerState's force)
    ForceRefused,        // it cannot apply: choosing both is refused with the type's message, Force Exit off
};

struct ExitTypeRow {
    INT32 id;                  // its menu command, IDM_SHUTDOWN ... IDM_RESTARTSHELL; stored as ExitType
    const char* option;        // its command-line option
    const char* helpName;      // its name in the list of options ("/?")
    const char* icon;          // its tray icon's resource name
    const char* tip;           // its tray icon's tooltip
    const char* countdownName; // the end of the default countdown text "Counting down to ..."
    ForceEffect force;
    const char* forceRefusal;     // the message of ForceRefused
    bool keepsMedia;              // no eject before it: the session goes on
    bool endsProgram;             // the program ends after the request: the session it ran in is going
    void (*request)(BOOL forced); // what it asks of the system; forced for ForceAsksNoProgram with Force Exit
};

extern const ExitTypeRow ExitTypes[];
extern const int ExitTypeCount;

// The row of an exit type; null for any other value (a stored number, another command id).
const ExitTypeRow* FindExitType(INT32 id);
bool IsExitType(INT32 value);

// The icon name and tooltip of an exit type; both null for a value that is not an exit type.
const char* ExitTypeIcon(INT32 exitType);
const char* ExitTypeTip(INT32 exitType);
#endif
