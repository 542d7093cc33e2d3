// The compiled resources (.res from windres -O res), parsed for the simulated machine.
#ifndef SIM_RESOURCES_H
#define SIM_RESOURCES_H

#include <windows.h>
#include <string>
#include <vector>

namespace sim {

// A resource name: a number (MAKEINTRESOURCE) or a text, matched case-insensitively as Windows does.
struct ResName {
    bool isNumber = false;
    unsigned number = 0;
    std::string text; // upper-cased when it is a text name
    static ResName from(LPCSTR name);
    bool operator==(const ResName& other) const;
};

struct MenuItemTemplate {
    unsigned id = 0;    // 0 for separators and popups
    std::string text;   // as in the script, with '&' marks and any "\t..." part
    unsigned flags = 0; // MF_ flags from the template (MF_POPUP, MF_SEPARATOR, MF_GRAYED, MF_CHECKED ...)
    std::vector<MenuItemTemplate> children; // for popups
};

struct AccelEntry {
    unsigned flags = 0; // fVirt byte, without the end-of-table mark 0x80
    unsigned key = 0;
    unsigned command = 0;
};

struct DialogControl {
    unsigned id = 0; // 0xFFFF for -1
    std::string
        className; // "BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX" or the named class
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, caption;
    unsigned short pointSize = 0;
    std::string faceName;
    std::vector<DialogControl> controls; // in template (tab) order
};

struct IconInfo {
    int width = 0, height = 0, colors = 0, bitsPerPixel = 0;
};

struct BitmapInfo {
    int width = 0, height = 0, bitsPerPixel = 0;
};

struct VersionInfo {
    DWORD fileVersionMS = 0, fileVersionLS = 0, productVersionMS = 0, productVersionLS = 0;
    DWORD fileOS = 0, fileType = 0;
    std::string translationBlock;                             // e.g. "040904E4"
    std::vector<std::pair<std::string, std::string>> strings; // in resource order
    std::vector<unsigned> translation; // VarFileInfo "Translation": language, code page, ...
};

// Loads the .res file; false (with a reason) when it cannot be read or parsed, and then what was loaded
// before stays. The find functions give nullptr for a name that is not there; their pointers stay valid
// until the next successful load.
bool loadResources(const std::string& path, std::string* error);

const MenuItemTemplate* findMenu(const ResName& name); // the menu's top level as one popup item
const std::vector<AccelEntry>* findAccelerators(const ResName& name);
const DialogTemplate* findDialog(const ResName& name);
const IconInfo* findIcon(const ResName& name);   // RT_GROUP_ICON, first image's facts
const IconInfo* findCursor(const ResName& name); // RT_GROUP_CURSOR, first image; hot spot below
bool cursorHotSpot(const ResName& name, int* x, int* y);
const BitmapInfo* findBitmap(const ResName& name);
const VersionInfo* findVersion();

} // namespace sim
#endif
