// The tray icon: its request record, and its return on a new taskbar.
#ifndef KELTO_TRAYICON_H
#define KELTO_TRAYICON_H
#include "settings.h"

// Adds the icon, unless one-shot or hidden; from then on a new taskbar gets it back.
BOOL AddTrayIcon(HWND window, HICON icon, const char* tip);
BOOL RemoveTrayIcon(HWND window);
// Shows the icon and tip of an exit type, or "Icon_9" with the tip of an armed timed exit; the record keeps
// them for a new taskbar even when the change fails.
void ShowExitTypeIcon(INT32 exitType);
void ShowTimedExitIcon(const char* tip);
// Removes the icon for the rest of this run: no new taskbar brings it back.
void HideTrayIcon();
// On "TaskbarCreated": adds the icon again as it is now.
void RestoreTrayIcon();
// After Restart Shell: watches for a minute until a taskbar other than oldTaskbar is there, then adds the
// icon again (a shell that broadcasts nothing when its taskbar starts).
void WatchForNewTaskbar(HWND oldTaskbar);
#endif
