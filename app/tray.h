// Tray icon, the two popup menus and the dispatch of every command.
#ifndef KELTO_TRAY_H
#define KELTO_TRAY_H
#include "settings.h"

BOOL AddTrayIcon(HWND window, HICON icon, const char* tip);
BOOL SetTrayIcon(HICON icon, const char* tip);
BOOL RemoveTrayIcon(HWND window);
void RestoreTrayIcon();
void WatchForNewTaskbar(HWND oldTaskbar);
void CALLBACK OnTaskbarWatchTick(HWND window, UINT message, UINT_PTR id, DWORD time);
void OnTrayMessage(WPARAM wParam, LPARAM lParam);
void OnTrayClick();
void UpdateMainMenu();
void UpdateExitTypeMenu();
void OnCommand(int id);
#endif
