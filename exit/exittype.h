// The nine exit types: one row each, read wherever an exit type is named, shown or performed.
#ifndef KELTO_EXITTYPE_H
#define KELTO_EXITTYPE_H
#include "../app/settings.h"

struct ExitTypeRow {
    INT32 id;                  // its menu command, IDM_SHUTDOWN ... IDM_RESTARTSHELL; stored as ExitType
    const char* option;        // its command-line option
    const char* icon;          // its tray icon's resource name
    const char* tip;           // its tray icon's tooltip
    const char* countdownName; // the end of the default countdown text "Counting down to ..."
    bool forceClosesPrograms;  // with Force Exit, the other programs are ended before the request
    bool forceRefused;         // Force Exit cannot apply: choosing both is refused with a message
    bool keepsMedia;           // no eject before it: the session goes on
    void (*request)();         // what it asks of the system
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
