// shell32, ole32 and comdlg32 of the simulated machine: the tray, shell execution, the link object, special
// folders and the open-file dialog; and kernel32's loader for the two libraries the program loads itself.
#include "internal.h"

#include <tlhelp32.h>

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>

const CLSID CLSID_ShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

const IID kIidUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr int kShellSuccess = 33;

bool sameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The shell's link object: records what it is given and writes the "file" on Save.
class ShellLink : public IShellLinkA, public IPersistFile {
  public:
    ShellLink() { ++sim::detail::S->liveComObjects; }
    ~ShellLink() override = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_FAIL;
        *object = nullptr;
        if (sameGuid(iid, IID_IShellLinkA) || sameGuid(iid, kIidUnknown)) {
            *object = static_cast<IShellLinkA*>(this);
        } else if (sameGuid(iid, IID_IPersistFile)) {
            if (FAILED(sim::detail::S->persistFileResult))
                return sim::detail::S->persistFileResult;
            *object = static_cast<IPersistFile*>(this);
        } else {
            return E_NOINTERFACE;
        }
        ++references_;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (references_ == 0) {
            sim::detail::fail() << "the link object was released more often than it was referenced";
            return 0;
        }
        ULONG left = --references_;
        if (left == 0) {
            --sim::detail::S->liveComObjects;
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
        link_.hotkey = hotkey;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR path) override {
        link_.target = std::string(path ? path : "");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR arguments) override {
        link_.arguments = std::string(arguments ? arguments : "");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR path, int index) override {
        link_.iconPath = std::string(path ? path : "");
        link_.iconIndex = index;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Save(LPCWSTR fileName, BOOL remember) override {
        if (!fileName)
            return E_FAIL;
        if (FAILED(sim::detail::S->linkSaveResult))
            return sim::detail::S->linkSaveResult;
        std::string path;
        for (const WCHAR* p = fileName; *p; ++p)
            path += *p < 0x100 ? static_cast<char>(*p) : '?';
        sim::ShortcutSaved saved = link_;
        saved.path = path;
        saved.remember = remember;
        saved.time = sim::now();
        sim::detail::S->shortcuts.push_back(saved);
        sim::addFile(path);
        return S_OK;
    }

  private:
    ULONG references_ = 1;
    sim::ShortcutSaved link_;
};

// The libraries the program may load itself, their handles and the entries the simulation implements.
template <typename F> FARPROC entryAddress(F function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}
struct LibraryEntry {
    const char* name;
    FARPROC address;
};
struct Library {
    const char* name; // lower case
    uintptr_t handle;
    std::vector<LibraryEntry> entries;
};
const std::vector<Library>& libraries() {
    static const std::vector<Library> known = {
        {"ole32.dll",
         0x78000,
         {{"CoInitialize", entryAddress(&CoInitialize)},
          {"CoUninitialize", entryAddress(&CoUninitialize)},
          {"CoCreateInstance", entryAddress(&CoCreateInstance)},
          {"CoTaskMemFree", entryAddress(&CoTaskMemFree)}}},
        {"comdlg32.dll", 0x79000, {{"GetOpenFileNameA", entryAddress(&GetOpenFileNameA)}}},
        {"kernel32.dll",
         0x7A000,
         {{"CreateToolhelp32Snapshot", entryAddress(&CreateToolhelp32Snapshot)},
          {"Process32First", entryAddress(&Process32First)},
          {"Process32Next", entryAddress(&Process32Next)}}},
    };
    return known;
}

// Fails the test when the program calls into a library it has not loaded: the product imports neither, so
// such a call would not even link there.
bool loaded(const char* library, const char* function) {
    if (sim::detail::S->libraryLoads[library] > 0)
        return true;
    sim::detail::fail() << function << " called before " << library << " was loaded";
    return false;
}

} // namespace

namespace sim {
namespace detail {

HMODULE libraryHandle(const std::string& name) {
    for (const Library& library : libraries())
        if (name == library.name)
            return makeHandle<HMODULE>(library.handle);
    return nullptr;
}

// A library name as LoadLibraryA takes it: any case, ".dll" when no extension is given.
std::string libraryName(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.find('.') == std::string::npos)
        name += ".dll";
    return name;
}

} // namespace detail
} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- Tray
// ---------------------------------------------------------------------------------------------------------

// Icons are keyed by window and id: adding one that is there fails, and so do modifying or deleting one that
// is not. A tip must be terminated within its 64 bytes.
BOOL WINAPI Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
    TrayRequest request;
    request.message = message;
    request.time = static_cast<DWORD>(S->clock);
    if (data) {
        request.data = *data;
        request.iconName = resourceNameOf(handleValue(data->hIcon));
    }
    BOOL result = FALSE;
    if (data && data->cbSize >= sizeof(NOTIFYICONDATAA) && !S->taskbarMissing) {
        auto it = S->trayIcons.begin();
        while (it != S->trayIcons.end() && !(it->window == data->hWnd && it->id == data->uID))
            ++it;
        bool present = it != S->trayIcons.end();
        std::string tip;
        if (data->uFlags & NIF_TIP) {
            size_t n = strnlen(data->szTip, sizeof data->szTip);
            if (n == sizeof data->szTip)
                fail() << "tray tip not terminated within its 64 bytes";
            tip.assign(data->szTip, n < sizeof data->szTip ? n : sizeof data->szTip - 1);
        }
        auto apply = [&](TrayIcon& icon) {
            if (data->uFlags & NIF_MESSAGE)
                icon.callbackMessage = data->uCallbackMessage;
            if (data->uFlags & NIF_ICON) {
                icon.icon = data->hIcon;
                icon.iconName = request.iconName;
            }
            if (data->uFlags & NIF_TIP)
                icon.tip = tip;
        };
        switch (message) {
        case NIM_ADD:
            if (!present && liveWin(data->hWnd)) {
                TrayIcon icon;
                icon.window = data->hWnd;
                icon.id = data->uID;
                apply(icon);
                S->trayIcons.push_back(icon);
                result = TRUE;
            }
            break;
        case NIM_MODIFY:
            if (present) {
                apply(*it);
                result = TRUE;
            }
            break;
        case NIM_DELETE:
            if (present) {
                S->trayIcons.erase(it);
                result = TRUE;
            }
            break;
        default: break;
        }
    }
    request.result = result;
    S->trayRequests.push_back(request);
    return result;
}

// ---- Shell execution
// --------------------------------------------------------------------------------------------------

// The shell's own error box on failure (without SEE_MASK_FLAG_NO_UI) is not modelled.
BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        addRequest(makeRequest("ShellExecuteExA", {"<bad record>"}, FALSE));
        return FALSE;
    }
    ProcessPlan plan;
    Process* started = startProcess(info->lpFile ? info->lpFile : "", &plan);
    BOOL result = plan.starts ? TRUE : FALSE;
    Request request =
        makeRequest("ShellExecuteExA",
                    {std::to_string(info->fMask), quoted(info->lpFile), quoted(info->lpVerb),
                     quoted(info->lpParameters), quoted(info->lpDirectory), std::to_string(info->nShow)},
                    result);
    request.window = info->hwnd;
    addRequest(request);
    info->hProcess = nullptr;
    if (!result) {
        info->hInstApp = makeHandle<HINSTANCE>(plan.error);
        return FALSE;
    }
    info->hInstApp = makeHandle<HINSTANCE>(kShellSuccess);
    if (!started)
        return TRUE;
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = newKernelHandle(KernelHandle::ProcessHandle, started->info.pid, 0x1F0FFF);
    return TRUE;
}

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                               int show) {
    Request request = makeRequest("ShellExecuteA",
                                  {owner ? describeWindow(owner) : std::string("NULL"), quoted(verb),
                                   quoted(file), quoted(parameters), quoted(directory), std::to_string(show)},
                                  kShellSuccess);
    request.window = owner;
    addRequest(request);
    return makeHandle<HINSTANCE>(kShellSuccess);
}

// ---- Loading libraries
// ----------------------------------------------------------------------------------------------

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    std::string wanted = libraryName(name ? name : "");
    noteCall("LoadLibraryA(\"" + wanted + "\")");
    if (S->librariesRemoved.count(wanted))
        return nullptr;
    for (const Library& library : libraries())
        if (wanted == library.name) {
            ++S->libraryLoads[wanted];
            return makeHandle<HMODULE>(library.handle);
        }
    return nullptr;
}

// Entries by ordinal are not modelled: they are never found.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    bool byName = name && handleValue(name) >= 0x10000;
    std::string entryText = byName ? quoted(name) : std::string("#ordinal");
    for (const Library& library : libraries()) {
        if (handleValue(module) != library.handle)
            continue;
        noteCall(std::string("GetProcAddress(") + library.name + "," + entryText + ")");
        if (S->libraryLoads[library.name] == 0 || !byName || S->entriesRemoved.count({library.name, name}))
            return nullptr;
        for (const LibraryEntry& entry : library.entries)
            if (std::strcmp(entry.name, name) == 0)
                return entry.address;
        return nullptr;
    }
    noteCall("GetProcAddress(" + hex(static_cast<DWORD>(handleValue(module))) + "," + entryText + ")");
    return nullptr;
}

// ---- COM and the link object
// -------------------------------------------------------------------------------------------

HRESULT WINAPI CoInitialize(LPVOID) {
    noteCall("CoInitialize");
    if (!loaded("ole32.dll", "CoInitialize"))
        return E_FAIL;
    ++S->coInitCalls;
    return S->coInitCalls - S->coUninitCalls > 1 ? 1 /* S_FALSE: already initialised */ : S_OK;
}

void WINAPI CoUninitialize() {
    noteCall("CoUninitialize");
    if (!loaded("ole32.dll", "CoUninitialize"))
        return;
    ++S->coUninitCalls;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** object) {
    if (!loaded("ole32.dll", "CoCreateInstance"))
        return E_FAIL;
    if (!object)
        return E_FAIL;
    *object = nullptr;
    if (S->coInitCalls <= S->coUninitCalls)
        return static_cast<HRESULT>(0x800401F0L); // CO_E_NOTINITIALIZED
    if (!sameGuid(clsid, CLSID_ShellLink) || outer)
        return REGDB_E_CLASSNOTREG;
    if (FAILED(S->coCreateResult))
        return S->coCreateResult;
    if (!sameGuid(iid, IID_IShellLinkA) && !sameGuid(iid, kIidUnknown))
        return E_NOINTERFACE;
    *object = static_cast<IShellLinkA*>(new ShellLink);
    return S_OK;
}

void WINAPI CoTaskMemFree(LPVOID memory) {
    if (!loaded("ole32.dll", "CoTaskMemFree"))
        return;
    if (!memory)
        return;
    auto it = S->itemIdLists.find(memory);
    if (it == S->itemIdLists.end()) {
        fail() << "CoTaskMemFree of memory the shell did not allocate";
        return;
    }
    delete[] static_cast<ITEMIDLIST*>(memory);
    S->itemIdLists.erase(it);
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int folder, LPITEMIDLIST* list) {
    if (!list)
        return E_FAIL;
    *list = nullptr;
    auto failure = S->specialFolderFailures.find(folder);
    if (failure != S->specialFolderFailures.end())
        return failure->second;
    if (!S->specialFolders.count(folder))
        return E_FAIL;
    ITEMIDLIST* items = new ITEMIDLIST[2];
    items[0].cb = sizeof(ITEMIDLIST);
    items[1].cb = 0;
    S->itemIdLists[items] = folder;
    *list = items;
    return S_OK;
}

BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
    auto it = S->itemIdLists.find(list);
    if (!path || it == S->itemIdLists.end() || S->pathFromIdListFails) {
        if (path)
            path[0] = '\0';
        return FALSE;
    }
    lstrcpynA(path, S->specialFolders[it->second].c_str(), MAX_PATH);
    return TRUE;
}

// ---- The open-file dialog
// ---------------------------------------------------------------------------------------------------

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA request) {
    noteCall("GetOpenFileNameA");
    if (!loaded("comdlg32.dll", "GetOpenFileNameA"))
        return FALSE;
    OpenFileRequest record;
    if (request) {
        record.fields = *request;
        if (request->lpstrFilter) {
            for (const char* p = request->lpstrFilter; *p; p += std::strlen(p) + 1)
                record.filter += std::string(p) + "|";
            record.filter += "|"; // the empty string that ends the list
        }
        if (request->lpstrFile)
            record.fileAtCall =
                std::string(request->lpstrFile, strnlen(request->lpstrFile, request->nMaxFile));
    }
    size_t index = S->openFileRequests.size();
    S->openFileRequests.push_back(record);
    BOOL result = FALSE;
    if (!request || request->lStructSize != sizeof(OPENFILENAMEA)) {
        fail() << "GetOpenFileNameA with a bad structure size";
    } else if (S->openFileAnswers.empty() && S->user.openFile) {
        result = S->user.openFile(*request);
    } else if (S->openFileAnswers.empty()) {
        fail() << "a file dialog was opened without an answer; cancelling it";
    } else {
        std::function<BOOL(OPENFILENAMEA&)> answer = std::move(S->openFileAnswers.front());
        S->openFileAnswers.pop_front();
        result = answer(*request);
    }
    // Without OFN_NOCHANGEDIR Windows leaves the chosen file's folder as the current one.
    if (result && request->lpstrFile && !(request->Flags & OFN_NOCHANGEDIR)) {
        std::string chosen(request->lpstrFile, strnlen(request->lpstrFile, request->nMaxFile));
        size_t slash = chosen.find_last_of('\\');
        if (slash != std::string::npos)
            S->currentDirectory = chosen.substr(0, slash == 2 ? 3 : slash);
    }
    S->openFileRequests[index].result = result;
    return result;
}
