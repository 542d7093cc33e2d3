// The "Kelto.lnk" shortcut on the desktop or in the start menu, starting the program with "/n".
#include "shortcut.h"
#include "../app/busy.h"
#include "../app/boxes.h"
#include "../app/text.h"
#include "../app/libraries.h"
#include <objbase.h>
#include <shlobj.h>

static const char LinkName[] = "\\Kelto.lnk";

// The shell's link object and its interfaces, by their published values.
static const CLSID ShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID ShellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID PersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

typedef decltype(&CoCreateInstance) CoCreateInstanceEntry;
typedef decltype(&CoTaskMemFree) CoTaskMemFreeEntry;

// The folder's path with the link name, or false when the folder is unknown or the name would not fit.
static bool LinkPath(int onDesktop, char* path, CoTaskMemFreeEntry freeMemory) {
    LPITEMIDLIST folder = NULL;
    if (FAILED(SHGetSpecialFolderLocation(Settings.MainWindow, onDesktop ? CSIDL_DESKTOP : CSIDL_STARTMENU,
                                          &folder)) ||
        !folder)
        return false;
    path[0] = 0;
    BOOL found = SHGetPathFromIDList(folder, path);
    freeMemory(folder);
    if (!found || !path[0])
        return false;
    if (lstrlenA(path) + lstrlenA(LinkName) >= MAX_PATH)
        return false;
    lstrcatA(path, LinkName);
    return true;
}

static int CreateShortcut(int onDesktop) {
    // Without COM from start-up there is no link object to make.
    CoCreateInstanceEntry createInstance = ENTRY_AS(CoCreateInstanceEntry, ComEntry("CoCreateInstance"));
    CoTaskMemFreeEntry freeMemory = ENTRY_AS(CoTaskMemFreeEntry, ComEntry("CoTaskMemFree"));
    if (!createInstance || !freeMemory)
        return 0;
    char linkPath[MAX_PATH];
    if (!LinkPath(onDesktop, linkPath, freeMemory))
        return 0;
    IShellLinkA* link = NULL;
    if (FAILED(createInstance(ShellLinkClass, NULL, CLSCTX_INPROC_SERVER, ShellLinkInterface, (void**)&link)))
        return 0;
    char programPath[MAX_PATH];
    programPath[0] = 0;
    GetModuleFileNameA(NULL, programPath, sizeof programPath);
    if (Settings.HotkeyFlag) {
        char letter[HOTKEY_SIZE];
        CopyText(letter, sizeof letter, Settings.HotKey);
        CharLowerA(letter);
        // Only the virtual-key code is kept; the modifiers are always Ctrl+Alt.
        WORD key = (WORD)(VkKeyScanA(letter[0]) & 0xFF);
        link->SetHotkey((WORD)(key | ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8)));
    }
    link->SetPath(programPath);
    link->SetArguments("/n");
    link->SetIconLocation(programPath, 0);
    IPersistFile* file = NULL;
    HRESULT status = link->QueryInterface(PersistFileInterface, (void**)&file);
    if (SUCCEEDED(status)) {
        WCHAR widePath[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH);
        status = file->Save(widePath, TRUE);
        file->Release();
    }
    link->Release();
    return SUCCEEDED(status) ? 1 : 0;
}

static int ShortcutStep(HWND dialog, int command) {
    if (command != IDOK)
        return 1;
    if (!CreateShortcut(IsDlgButtonChecked(dialog, IDC_ONDESKTOP) == BST_CHECKED)) {
        ReportOutcome(0, NULL, "Could not create shortcut");
        return 0;
    }
    ReportOutcome(1, "Shortcut created", NULL);
    return 1;
}

static void InitShortcutDialog(HWND dialog) {
    CheckDlgButton(dialog, IDC_ONDESKTOP, BST_CHECKED);
}

static const DialogParts ShortcutDialog = {
    &Settings.ShortcutDialog, InitShortcutDialog, BusyShortcutStep, ShortcutStep, NULL, IDCANCEL, NULL};

INT_PTR CALLBACK ShortcutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleDialogMessage(ShortcutDialog, dialog, message, wParam);
}
