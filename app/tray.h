// The tray icon's clicks, its two popup menus and the dispatch of every command.
#ifndef KELTO_TRAY_H
#define KELTO_TRAY_H
#include "settings.h"

// The icon's callback message: a click performs or arms the exit, Shift-click the quick menu, a right
// click the main menu.
void OnTrayMessage(WPARAM wParam, LPARAM lParam);
// Checks and grays the main menu's items as the settings are now.
void UpdateMainMenu();
// A command from the menus, an accelerator or a post; while a timed exit is armed only Change Settings,
// About and Exit Program act.
void OnCommand(int id);
#endif
