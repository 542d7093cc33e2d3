// The floor Kelto95 is measured against: a CRT-free Win32 program built the same way that only puts
// an icon in the tray and waits for messages.  Anything Kelto95 costs beyond this is its own.
#include <windows.h>
#include <shellapi.h>

static const UINT TrayMessage = WM_USER + 500; // the same callback message as Kelto95's

static LRESULT CALLBACK MinimalWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int RunMinimal(HINSTANCE instance) {
    WNDCLASSA windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MinimalWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "Icon_1");
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = "KeltoMinimal";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "KeltoMinimal", "KeltoMinimal", WS_SYSMENU, 0, 0, 0, 0, NULL, NULL,
                                  instance, NULL);

    // The headers declare the later, longer record; Windows 95 knows only the first 88 bytes of it.
    NOTIFYICONDATAA icon;
    static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the Windows 95 tray record is 88 bytes");
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = TrayMessage;
    icon.hIcon = windowClass.hIcon;
    lstrcpynA(icon.szTip, "Minimal", sizeof icon.szTip);
    Shell_NotifyIconA(NIM_ADD, &icon);

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0))
        DispatchMessageA(&message);

    Shell_NotifyIconA(NIM_DELETE, &icon);
    return (int)message.wParam;
}

extern "C" void MinimalEntry() {
    ExitProcess((UINT)RunMinimal(GetModuleHandleA(NULL)));
}
