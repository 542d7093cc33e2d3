// The shell's link object and special folders, for the host build.
#ifndef SIM_SHLOBJ_H
#define SIM_SHLOBJ_H
#include <windows.h>
#include <objbase.h>

typedef struct _ITEMIDLIST {
    WORD cb;
} ITEMIDLIST, *LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

#define CSIDL_DESKTOP 0x0000
#define CSIDL_STARTMENU 0x000b

extern const CLSID CLSID_ShellLink;
extern const IID IID_IShellLinkA;
extern const IID IID_IPersistFile;

struct IShellLinkA : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPath(LPCSTR path) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR arguments) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR path, int index) = 0;
};

struct IPersistFile : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Save(LPCWSTR fileName, BOOL remember) = 0;
};

HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder, LPITEMIDLIST* list);
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
#define SHGetPathFromIDList SHGetPathFromIDListA
#endif
