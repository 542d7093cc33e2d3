// Ejecting removable media through VWIN32 before the exit.
#ifndef KELTO_EJECT_H
#define KELTO_EJECT_H
#include "../app/settings.h"

// Ejects the media of every removable and CD-ROM drive but A: and B:; nothing before an exit type that
// keeps the session.
void EjectRemovableMedia(INT32 exitType);
#endif
