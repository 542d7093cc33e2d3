// advapi32's registry on the simulated Windows 98 machine: keys, typed values, test-made failures and a log.
// Windows 9x has no registry security: the access a key is opened with is recorded but not enforced.
#include "internal.h"

#include <cstring>

namespace {

constexpr LONG kErrorInvalidHandle = 6;
constexpr LONG kErrorInvalidParameter = 87;
constexpr LONG kErrorBadKey = 1010;
constexpr LONG kErrorKeyDeleted = 1018;
constexpr DWORD kCreatedNewKey = 1, kOpenedExistingKey = 2;

} // namespace

namespace sim {
namespace detail {

static const char* rootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (root == HKEY_CURRENT_USER)
        return "HKCU";
    if (root == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (root == HKEY_USERS)
        return "HKU";
    return nullptr;
}

// Joins a base path and a sub key, dropping empty parts ("a\\\\b\\" is a\b).
static std::string joinPath(const std::string& base, const char* sub) {
    std::string out = base;
    while (sub && *sub) {
        const char* end = std::strchr(sub, '\\');
        size_t length = end ? static_cast<size_t>(end - sub) : std::strlen(sub);
        if (length) {
            out += '\\';
            out.append(sub, length);
        }
        sub += end ? length + 1 : length;
    }
    return out;
}

static RegKeyData* keyData(const std::string& path) {
    auto it = S->keys.find(path);
    return it == S->keys.end() ? nullptr : &it->second;
}

// What the log shows for a key that could not be named.
static const std::string kInvalidPath = "<invalid>";

// The full path (display form) of a root or open handle, or null for an invalid one; *error says why. The
// text is the key's own, not a copy: it lasts until the key is deleted. *record, when asked for, receives the
// key found on the way (null for a root that has none yet).
static const std::string* basePath(HKEY key, LONG* error, RegKeyData** record = nullptr) {
    static const std::string roots[] = {"HKLM", "HKCU", "HKCR", "HKU"};
    if (const char* root = rootName(key)) {
        for (const std::string& name : roots)
            if (name == root) {
                if (record)
                    *record = keyData(name);
                return &name;
            }
    }
    auto it = S->regHandles.find(handleValue(key));
    if (it == S->regHandles.end() || !it->second.open) {
        *error = kErrorInvalidHandle;
        return nullptr;
    }
    auto data = S->keys.find(it->second.key);
    if (data == S->keys.end()) {
        *error = kErrorKeyDeleted;
        return nullptr;
    }
    if (record)
        *record = &data->second;
    return &data->second.path;
}

static std::optional<LONG> failure(RegOp op, const std::string& path, const std::string& name) {
    for (const RegFailure& f : S->regFailures)
        if (f.op == op && equalNoCase(f.key, path) && (f.name == "*" || equalNoCase(f.name, name)))
            return f.error;
    return std::nullopt;
}

static RegKeyData& createPath(const std::string& path) {
    // A key is made with all its parents and deleted with everything below it, so an existing key has them.
    if (RegKeyData* existing = keyData(path))
        return *existing;
    // Every parent exists too.
    std::string partial;
    RegKeyData* last = nullptr;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        partial = path.substr(0, end);
        RegKeyData& data = S->keys[upper(partial)];
        if (data.path.empty())
            data.path = partial;
        last = &data;
        start = end + 1;
    }
    return *last;
}

static HKEY newRegHandle(const std::string& path) {
    S->nextRegHandle += 4;
    S->regHandles[S->nextRegHandle] = RegHandle{upper(path), true};
    return makeHandle<HKEY>(S->nextRegHandle);
}

static std::pair<std::string, RegValue>* findValue(RegKeyData& data, const std::string& name) {
    for (auto& entry : data.values)
        if (equalNoCase(entry.first, name))
            return &entry;
    return nullptr;
}

static std::string testPath(HKEY root, const std::string& path) {
    const char* name = rootName(root);
    if (!name) {
        fail() << "registry: the test must name a root key";
        return "HKLM";
    }
    return joinPath(name, path.c_str());
}

// Calls logged before the last reset, kept for the storage of their strings: a run logs a call or two dozen,
// and allocating their strings anew in every run was a good part of the registry's cost under the sanitizers.
static std::vector<RegCall>& spareCalls() {
    static std::vector<RegCall> spare;
    return spare;
}

static void log(const char* function, const std::string& key, const std::string& value, DWORD access,
                DWORD type, DWORD size, LONG result) {
    std::vector<RegCall>& spare = spareCalls();
    RegCall call;
    if (!spare.empty()) {
        call = std::move(spare.back());
        spare.pop_back();
    }
    call.function.assign(function);
    call.key.assign(key);
    call.value.assign(value);
    call.access = access;
    call.type = type;
    call.size = size;
    call.result = result;
    S->regCalls.push_back(std::move(call));
}

std::vector<RegCall> recycleRegCalls() {
    std::vector<RegCall> calls = std::move(S->regCalls);
    std::vector<RegCall>& spare = spareCalls();
    for (RegCall& call : calls)
        spare.push_back(std::move(call));
    calls.clear();
    return calls;
}

} // namespace detail

using namespace detail;

// ---- Test API
// -----------------------------------------------------------------------------------------------------

std::string RegValue::text() const {
    std::string out;
    for (BYTE b : bytes) {
        if (!b)
            break;
        out += static_cast<char>(b);
    }
    return out;
}

void regCreateKey(HKEY root, const std::string& path) {
    createPath(testPath(root, path));
}

void regSetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::vector<BYTE>& bytes) {
    RegKeyData& data = createPath(testPath(root, path));
    if (auto* entry = findValue(data, name))
        entry->second = RegValue{type, bytes};
    else
        data.values.emplace_back(name, RegValue{type, bytes});
}

void regSetString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    regSetValue(root, path, name, REG_SZ, bytes);
}

void regSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value, DWORD type) {
    std::vector<BYTE> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    regSetValue(root, path, name, type, bytes);
}

bool regKeyExists(HKEY root, const std::string& path) {
    return keyData(testPath(root, path)) != nullptr;
}

std::optional<RegValue> regValue(HKEY root, const std::string& path, const std::string& name) {
    RegKeyData* data = keyData(testPath(root, path));
    if (!data)
        return std::nullopt;
    auto* entry = findValue(*data, name);
    return entry ? std::optional<RegValue>(entry->second) : std::nullopt;
}

std::vector<std::string> regValueNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    if (RegKeyData* data = keyData(testPath(root, path)))
        for (const auto& entry : data->values)
            names.push_back(entry.first);
    return names;
}

void regFail(RegOp op, HKEY root, const std::string& path, const std::string& name, LONG error) {
    S->regFailures.push_back(
        RegFailure{op, upper(testPath(root, path)), name == "*" ? "*" : upper(name), error});
}

int openKeyCount() {
    int count = 0;
    for (const auto& [value, handle] : S->regHandles)
        count += handle.open;
    return count;
}

const std::vector<RegCall>& regCalls() {
    return S->regCalls;
}

} // namespace sim

using namespace sim;
using namespace sim::detail;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    LONG error = ERROR_SUCCESS;
    const std::string* base = basePath(key, &error);
    std::string path = base ? joinPath(*base, subKey) : kInvalidPath;
    if (base && !result)
        error = kErrorInvalidParameter;
    else if (base) {
        if (std::optional<LONG> fails = failure(RegOp::Open, path, ""))
            error = *fails;
        else if (!keyData(path))
            error = ERROR_FILE_NOT_FOUND;
        else
            *result = newRegHandle(path);
    }
    log("RegOpenKeyExA", path, "", access, 0, 0, error);
    return error;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                            LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    LONG error = ERROR_SUCCESS;
    const std::string* base = basePath(key, &error);
    std::string path = base ? joinPath(*base, subKey) : kInvalidPath;
    if (base && !result)
        error = kErrorInvalidParameter;
    else if (base) {
        if (std::optional<LONG> fails = failure(RegOp::Create, path, "")) {
            error = *fails;
        } else {
            bool existed = keyData(path) != nullptr;
            createPath(path);
            *result = newRegHandle(path);
            if (disposition)
                *disposition = existed ? kOpenedExistingKey : kCreatedNewKey;
        }
    }
    log("RegCreateKeyExA", path, "", access, 0, 0, error);
    return error;
}

// Byte-count semantics: with no data buffer the size is reported; a buffer too small gives ERROR_MORE_DATA
// with the needed size, and its contents are left alone (Windows 9x does not promise anything about them).
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    LONG error = ERROR_SUCCESS;
    RegKeyData* keyRecord = nullptr;
    const std::string* base = basePath(key, &error, &keyRecord);
    std::string valueName = name ? name : "";
    DWORD sizeIn = size ? *size : 0;
    if (base) {
        auto* entry = keyRecord ? findValue(*keyRecord, valueName) : nullptr;
        if (std::optional<LONG> fails = failure(RegOp::Query, *base, valueName))
            error = *fails;
        else if (data && !size)
            error = kErrorInvalidParameter;
        else if (!entry)
            error = ERROR_FILE_NOT_FOUND;
        else {
            DWORD needed = static_cast<DWORD>(entry->second.bytes.size());
            if (type)
                *type = entry->second.type;
            if (data && sizeIn < needed)
                error = ERROR_MORE_DATA;
            else if (data && needed)
                std::memcpy(data, entry->second.bytes.data(), needed);
            if (size)
                *size = needed;
        }
    }
    log("RegQueryValueExA", base ? *base : kInvalidPath, valueName, 0, 0, sizeIn, error);
    return error;
}

// The bytes and the count are stored exactly as given, REG_SZ included.
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    LONG error = ERROR_SUCCESS;
    const std::string* base = basePath(key, &error);
    std::string valueName = name ? name : "";
    if (base) {
        if (std::optional<LONG> fails = failure(RegOp::Set, *base, valueName))
            error = *fails;
        else if (!data && size)
            error = kErrorInvalidParameter;
        else {
            RegKeyData& keyRecord = createPath(*base);
            std::vector<BYTE> bytes(data, data + size);
            if (auto* entry = findValue(keyRecord, valueName))
                entry->second = RegValue{type, bytes};
            else
                keyRecord.values.emplace_back(valueName, RegValue{type, bytes});
        }
    }
    log("RegSetValueExA", base ? *base : kInvalidPath, valueName, 0, type, size, error);
    return error;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
    LONG error = ERROR_SUCCESS;
    const std::string* base = basePath(key, &error);
    std::string valueName = name ? name : "";
    if (base) {
        RegKeyData* keyRecord = keyData(*base);
        auto* entry = keyRecord ? findValue(*keyRecord, valueName) : nullptr;
        if (std::optional<LONG> fails = failure(RegOp::DeleteValue, *base, valueName))
            error = *fails;
        else if (!entry)
            error = ERROR_FILE_NOT_FOUND;
        else
            keyRecord->values.erase(keyRecord->values.begin() + (entry - keyRecord->values.data()));
    }
    log("RegDeleteValueA", base ? *base : kInvalidPath, valueName, 0, 0, 0, error);
    return error;
}

// Windows 9x deletes the key with everything below it.
LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    LONG error = ERROR_SUCCESS;
    // A copy: the key deleted may be the handle's own ("\\" names it again).
    const std::string* found = basePath(key, &error);
    std::optional<std::string> base = found ? std::optional<std::string>(*found) : std::nullopt;
    std::string path = base ? joinPath(*base, subKey) : kInvalidPath;
    if (base) {
        if (!subKey || !*subKey)
            error = kErrorBadKey;
        else if (std::optional<LONG> fails = failure(RegOp::DeleteKey, path, ""))
            error = *fails;
        else if (!keyData(path))
            error = ERROR_FILE_NOT_FOUND;
        else {
            std::string prefix = upper(path);
            for (auto it = S->keys.begin(); it != S->keys.end();)
                if (it->first == prefix || it->first.rfind(prefix + "\\", 0) == 0)
                    it = S->keys.erase(it);
                else
                    ++it;
        }
    }
    log("RegDeleteKeyA", base ? *base : kInvalidPath, subKey ? subKey : "", 0, 0, 0, error);
    return error;
}

LONG WINAPI RegCloseKey(HKEY key) {
    LONG error = ERROR_SUCCESS;
    std::string path;
    if (rootName(key)) {
        path = rootName(key);
    } else {
        auto it = S->regHandles.find(handleValue(key));
        if (it == S->regHandles.end() || !it->second.open) {
            error = kErrorInvalidHandle;
            path = kInvalidPath;
        } else {
            it->second.open = false;
            RegKeyData* data = keyData(it->second.key);
            path = data ? data->path : it->second.key;
        }
    }
    log("RegCloseKey", path, "", 0, 0, 0, error);
    return error;
}
