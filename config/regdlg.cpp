// The "Registry" dialog: save or delete the stored settings, auto-run, and the two start-menu policies.
#include "regdlg_internal.h"
#include "../app/busy.h"
#include "../app/boxes.h"
#include "store.h"
#include "../app/text.h"

static int IsValuePresent(HKEY root, const char* keyName, const char* valueName, bool needsNonZero) {
    HKEY key;
    if (RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    // Room for a full path; a policy is read as its first 32-bit word, whatever type another tool gave it.
    BYTE data[MAX_PATH];
    DWORD word = 0;
    DWORD size = needsNonZero ? sizeof word : sizeof data;
    LONG status = RegQueryValueExA(key, valueName, NULL, NULL, needsNonZero ? (LPBYTE)&word : data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return 0;
    return !needsNonZero || word != 0;
}

static int IsAutorunEnabled() {
    return IsValuePresent(HKEY_LOCAL_MACHINE, RUN_KEY, RUN_VALUE, false);
}

int IsNoLogOffSet() {
    return IsValuePresent(HKEY_CURRENT_USER, POLICIES_KEY, "NoLogOff", true);
}

static int IsNoCloseSet() {
    return IsValuePresent(HKEY_CURRENT_USER, POLICIES_KEY, "NoClose", true);
}

static int SetAutorun(int on) {
    if ((on != 0) == (IsAutorunEnabled() != 0))
        return 1;
    // The bytes after the path's terminator are written too: they are zero, not stack contents.
    char path[MAX_PATH];
    ZeroFill(path, sizeof path);
    if (on)
        GetModuleFileNameA(NULL, path, sizeof path);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    LONG status = on ? RegSetValueExA(key, RUN_VALUE, 0, REG_SZ, (const BYTE*)path, sizeof path)
                     : RegDeleteValueA(key, RUN_VALUE);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

static int SetPolicy(const char* name, int on) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, POLICIES_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    // Type 5, as the shell's own tools write these policies; a cleared policy is written as 0, never removed.
    DWORD word = on ? 1 : 0;
    LONG status = RegSetValueExA(key, name, 0, REG_DWORD_BIG_ENDIAN, (const BYTE*)&word, sizeof word);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

static int SetNoLogOff(int on) {
    return SetPolicy("NoLogOff", on);
}

static int SetNoClose(int on) {
    return SetPolicy("NoClose", on);
}

static void InitRegistryDialog(HWND) {
    HWND dialog = Settings.RegistryDialogWindow;
    Settings.InitialAutorun = IsAutorunEnabled();
    Settings.InitialNoLogOff = IsNoLogOffSet();
    Settings.InitialNoClose = IsNoCloseSet();
    CheckDlgButton(dialog, IDC_AUTORUN, CheckState(Settings.InitialAutorun));
    CheckDlgButton(dialog, IDC_NOLOGOFF, CheckState(Settings.InitialNoLogOff));
    CheckDlgButton(dialog, IDC_NOCLOSE, CheckState(Settings.InitialNoClose));
    CheckDlgButton(dialog, IDC_NOCHANGE, BST_CHECKED);
}

static int ApplyRegistryDialog() {
    HWND dialog = Settings.RegistryDialogWindow;
    INT32 autorun = IsDlgButtonChecked(dialog, IDC_AUTORUN) == BST_CHECKED;
    INT32 noLogOff = IsDlgButtonChecked(dialog, IDC_NOLOGOFF) == BST_CHECKED;
    INT32 noClose = IsDlgButtonChecked(dialog, IDC_NOCLOSE) == BST_CHECKED;
    bool save = IsDlgButtonChecked(dialog, IDC_SAVESETTINGS) == BST_CHECKED;
    bool remove = IsDlgButtonChecked(dialog, IDC_DELETESETTINGS) == BST_CHECKED;
    bool noChange = IsDlgButtonChecked(dialog, IDC_NOCHANGE) == BST_CHECKED;
    bool autorunChanged = autorun != (Settings.InitialAutorun != 0);
    bool noLogOffChanged = noLogOff != (Settings.InitialNoLogOff != 0);
    bool noCloseChanged = noClose != (Settings.InitialNoClose != 0);
    if (!autorunChanged && !noLogOffChanged && !noCloseChanged && noChange)
        return 1;

    bool entries = true;
    if (autorunChanged && !SetAutorun(autorun))
        entries = false;
    if (noLogOffChanged && !SetNoLogOff(noLogOff))
        entries = false;
    if (noCloseChanged && !SetNoClose(noClose))
        entries = false;
    bool settings = true;
    if (remove)
        settings = DeleteSettings() != 0;
    else if (save)
        settings = SaveSettings() != 0;

    bool success = entries && settings;
    ReportOutcome(success, "Registry settings changed", "Could not change registry settings");
    return success ? 1 : 0;
}

static int RegistryStep(HWND, int command) {
    return command == IDOK ? ApplyRegistryDialog() : 1;
}

static const DialogParts RegistryDialog = {
    &Settings.RegistryDialogWindow, InitRegistryDialog, BusyRegistryStep, RegistryStep, NULL, IDCANCEL, NULL};

INT_PTR CALLBACK RegistryDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleDialogMessage(RegistryDialog, dialog, message, wParam);
}
