// The about box.
#ifndef KELTO_ABOUT_H
#define KELTO_ABOUT_H
#include "../app/settings.h"

#define MAKER_MAIL "kelto@garvik.example"
#define MAKER_WEB "http://garvik.example"

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
