// The tray icon's own request, for its tests.
#ifndef KELTO_TRAYICON_INTERNAL_H
#define KELTO_TRAYICON_INTERNAL_H
#include "trayicon.h"

// Changes the picture and tip; the record keeps them for a new taskbar even when the change fails.
BOOL SetTrayIcon(HICON icon, const char* tip);
#endif
