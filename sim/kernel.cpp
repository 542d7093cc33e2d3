// kernel32 of the simulated machine: strings and formatting, version and time, processes and waits, files,
// drives and the VWIN32 device, profile files.
#include "internal.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kDocumentedBuild98 = 1998;
constexpr DWORD kVwin32DosIoctl = 1;
constexpr size_t kRegisterRecord = 28;
constexpr int kWsprintfLimit = 1024;

// Code page 1252 letters outside A-Z and a-z, with their other case (0 when there is none).
struct Letter {
    unsigned char code, other;
    bool isUpper;
};
constexpr Letter kLetters[] = {
    {0x83, 0, false},    {0x8A, 0x9A, true},  {0x8C, 0x9C, true},  {0x8E, 0x9E, true}, {0x9A, 0x8A, false},
    {0x9C, 0x8C, false}, {0x9E, 0x8E, false}, {0x9F, 0xFF, true},  {0xAA, 0, false},   {0xB5, 0, false},
    {0xBA, 0, false},    {0xDF, 0, false},    {0xFF, 0x9F, false},
};

const sim::detail::State::Drive* driveOf(char letter) {
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        return nullptr;
    return &sim::detail::S->drives[letter - 'A'];
}

unsigned char toUpperAnsi(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    for (const Letter& letter : kLetters)
        if (letter.code == c && !letter.isUpper && letter.other)
            return letter.other;
    return c;
}

unsigned char toLowerAnsi(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 0x20);
    for (const Letter& letter : kLetters)
        if (letter.code == c && letter.isUpper)
            return letter.other;
    return c;
}

} // namespace

namespace sim {
namespace detail {

Process* findProcess(DWORD pid) {
    auto it = S->processes.find(pid);
    return it == S->processes.end() ? nullptr : &it->second;
}

void endProcess(Process& process, bool terminated, UINT exitCode) {
    if (!process.info.alive)
        return;
    process.info.alive = false;
    process.info.terminated = terminated;
    process.info.exitCode = exitCode;
    process.endsAt = S->clock;
    destroyWindowsOf(process.info.pid);
}

void settleProcesses() {
    for (auto& [pid, process] : S->processes)
        if (process.info.alive && process.endsAt && *process.endsAt <= S->clock) {
            uint64_t at = *process.endsAt;
            endProcess(process, false, 0);
            process.endsAt = at;
        }
}

HANDLE newKernelHandle(KernelHandle::Kind kind, DWORD pid, DWORD access) {
    S->nextKernelHandle += 4;
    KernelHandle handle;
    handle.kind = kind;
    handle.pid = pid;
    handle.access = access;
    S->kernelHandles[S->nextKernelHandle] = handle;
    return makeHandle<HANDLE>(S->nextKernelHandle);
}

static KernelHandle* openHandle(HANDLE handle) {
    auto it = S->kernelHandles.find(handleValue(handle));
    return it != S->kernelHandles.end() && it->second.open ? &it->second : nullptr;
}

static ProcessInfo publicInfo(const Process& process) {
    ProcessInfo info = process.info;
    if (process.endsAt)
        info.endsAt = static_cast<DWORD>(*process.endsAt);
    return info;
}

// Starts a process by the next plan; null when the plan says the start fails or starts no process.
Process* startProcess(const std::string& commandLine, ProcessPlan* usedPlan) {
    ProcessPlan plan;
    if (!S->processPlans.empty()) {
        plan = S->processPlans.front();
        S->processPlans.pop_front();
    }
    *usedPlan = plan;
    if (!plan.starts || plan.noProcess)
        return nullptr;
    Process process;
    process.info.pid = S->nextPid;
    S->nextPid += 0x10;
    process.info.commandLine = commandLine;
    // The program's file is the line's first word, in quotes or not.
    size_t start = commandLine.empty() || commandLine[0] != '"' ? 0 : 1;
    size_t end = commandLine.find(start ? '"' : ' ', start);
    process.info.exeFile =
        commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start);
    process.info.alive = true;
    process.info.startedAt = static_cast<DWORD>(S->clock);
    if (!plan.endless)
        process.endsAt = S->clock + plan.runsMs;
    DWORD pid = process.info.pid;
    S->processes[pid] = process;
    S->processOrder.push_back(pid);
    return &S->processes[pid];
}

} // namespace detail

using namespace detail;

// ---- Test API
// ---------------------------------------------------------------------------------------------------------

DWORD addProcess(const std::string& exeFile, std::optional<DWORD> runsMs) {
    Process process;
    process.info.pid = S->nextPid;
    S->nextPid += 0x10;
    process.info.exeFile = exeFile;
    process.info.foreign = true;
    process.info.alive = true;
    process.info.startedAt = static_cast<DWORD>(S->clock);
    if (runsMs)
        process.endsAt = S->clock + *runsMs;
    DWORD pid = process.info.pid;
    S->processes[pid] = process;
    S->processOrder.push_back(pid);
    return pid;
}

void stopProcess(DWORD pid) {
    if (Process* process = findProcess(pid))
        endProcess(*process, false, 0);
}

void setPlatform(DWORD platformId) {
    S->platform = platformId;
    switch (platformId) {
    case VER_PLATFORM_WIN32_NT: S->major = 4, S->minor = 0, S->build = 1381, S->csd = "Service Pack 6"; break;
    case VER_PLATFORM_WIN32s: S->major = 3, S->minor = 11, S->build = 0, S->csd = ""; break;
    default: S->major = 4, S->minor = 10, S->build = kDocumentedBuild98, S->csd = " A "; break;
    }
}

void setModulePath(const std::string& path) {
    S->modulePath = path;
    S->processes[ownProcessId()].info.commandLine = path;
}

void setProfileString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) {
    auto& entries = S->profiles[upper(file)][upper(section)];
    for (auto& entry : entries)
        if (equalNoCase(entry.first, key)) {
            entry.second = value;
            return;
        }
    entries.emplace_back(key, value);
}

void addFile(const std::string& fullPath) {
    S->files.insert(upper(fullPath));
}
bool fileExists(const std::string& fullPath) {
    return S->files.count(upper(fullPath)) != 0;
}
void setCurrentDirectory(const std::string& path) {
    S->currentDirectory = path;
}
std::string currentDirectory() {
    return S->currentDirectory;
}

void setDrive(char letter, UINT type, bool mediaIdSucceeds, bool ejectSucceeds) {
    auto* drive = const_cast<State::Drive*>(driveOf(letter));
    if (!drive) {
        fail() << "setDrive: no drive letter " << letter;
        return;
    }
    drive->present = true;
    drive->type = type;
    drive->mediaIdSucceeds = mediaIdSucceeds;
    drive->ejectSucceeds = ejectSucceeds;
}

void removeDrive(char letter) {
    if (auto* drive = const_cast<State::Drive*>(driveOf(letter)))
        *drive = State::Drive{};
}

const std::vector<std::string>& driveTypeQueries() {
    return S->driveTypeQueries;
}
const std::vector<std::string>& createFileCalls() {
    return S->createFileCalls;
}
void setVwin32Available(bool available) {
    S->vwin32Available = available;
}
void setVwin32FirstRelease(bool firstRelease) {
    S->vwin32FirstRelease = firstRelease;
}
void setDeviceIoControlFails(bool fails) {
    S->deviceIoControlFails = fails;
}

int openHandleCount() {
    int count = 0;
    for (const auto& [value, handle] : S->kernelHandles)
        count += handle.open;
    return count;
}

void planProcess(const ProcessPlan& plan) {
    S->processPlans.push_back(plan);
}

void setOpenProcessFails(DWORD pid, bool fails) {
    if (Process* process = findProcess(pid))
        process->openFails = fails;
    else
        fail() << "setOpenProcessFails: no process " << pid;
}

std::vector<ProcessInfo> processes() {
    settleProcesses();
    std::vector<ProcessInfo> out;
    for (DWORD pid : S->processOrder)
        out.push_back(publicInfo(S->processes[pid]));
    return out;
}

std::optional<ProcessInfo> process(DWORD pid) {
    settleProcesses();
    Process* found = findProcess(pid);
    return found ? std::optional<ProcessInfo>(publicInfo(*found)) : std::nullopt;
}

} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- Strings
// ------------------------------------------------------------------------------------------------------------

int WINAPI lstrlenA(LPCSTR text) {
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

LPSTR WINAPI lstrcpyA(LPSTR destination, LPCSTR source) {
    if (!destination || !source)
        return nullptr;
    return std::strcpy(destination, source);
}

// At most length-1 characters and a terminator; nothing at all for a length of 0.
LPSTR WINAPI lstrcpynA(LPSTR destination, LPCSTR source, int length) {
    if (!destination || !source)
        return nullptr;
    char* d = destination;
    const char* s = source;
    int count = length;
    while (count > 1 && *s) {
        --count;
        *d++ = *s++;
    }
    if (count > 0)
        *d = '\0';
    return destination;
}

LPSTR WINAPI lstrcatA(LPSTR destination, LPCSTR source) {
    if (!destination || !source)
        return nullptr;
    return std::strcat(destination, source);
}

// Windows compares by the user's locale: equal texts give 0; otherwise this orders case-insensitively first
// and lower case before upper case, which is close to the word sort for plain Latin text.
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    if (!a || !b)
        return a ? 1 : (b ? -1 : 0);
    if (std::strcmp(a, b) == 0)
        return 0;
    for (size_t i = 0;; ++i) {
        unsigned char x = toUpperAnsi(static_cast<unsigned char>(a[i]));
        unsigned char y = toUpperAnsi(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            break;
    }
    for (size_t i = 0;; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x > y ? -1 : 1; // lower case first
        if (!x)
            return 0;
    }
}

// A pointer below 0x10000 is one character in the low word, as the Win32 functions treat it.
LPSTR WINAPI CharLowerA(LPSTR text) {
    if (IS_INTRESOURCE(text)) // a single character passed in the low word
        return reinterpret_cast<LPSTR>(
            static_cast<DWORD_PTR>(toLowerAnsi(LOBYTE(reinterpret_cast<DWORD_PTR>(text)))));
    for (char* p = text; *p; ++p)
        *p = static_cast<char>(toLowerAnsi(static_cast<unsigned char>(*p)));
    return text;
}

LPSTR WINAPI CharUpperA(LPSTR text) {
    if (IS_INTRESOURCE(text)) // a single character passed in the low word
        return reinterpret_cast<LPSTR>(
            static_cast<DWORD_PTR>(toUpperAnsi(LOBYTE(reinterpret_cast<DWORD_PTR>(text)))));
    for (char* p = text; *p; ++p)
        *p = static_cast<char>(toUpperAnsi(static_cast<unsigned char>(*p)));
    return text;
}

BOOL WINAPI IsCharAlphaA(CHAR c) {
    unsigned char code = static_cast<unsigned char>(c);
    if ((code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z'))
        return TRUE;
    if (code >= 0xC0 && code != 0xD7 && code != 0xF7)
        return TRUE;
    for (const Letter& letter : kLetters)
        if (letter.code == code)
            return TRUE;
    return FALSE;
}

// The U.S. layout for letters, digits and the space; other characters have no key here (-1).
SHORT WINAPI VkKeyScanA(CHAR c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<SHORT>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<SHORT>(0x100 | c);
    if ((c >= '0' && c <= '9') || c == ' ')
        return static_cast<SHORT>(c);
    return -1;
}

// ---- wsprintfA
// --------------------------------------------------------------------------------------------------------

// The subset the program uses: %s %c %hc %d %i %u %x %X with the l and h size prefixes, flags '-' and '0' and
// a width; %% gives '%'. Like Windows, there is no floating point; an unknown conversion prints its letter.
// The output stops at 1023 characters and a terminator (wsprintfA's buffer is at most 1024 bytes).
int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list args) {
    std::string out;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
            continue;
        }
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                zero = true;
            else
                break;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9')
            width = width * 10 + (*p++ - '0');
        while (*p == 'l' || *p == 'h')
            ++p;
        std::string field;
        bool numeric = false;
        switch (*p) {
        case 's': {
            const char* text = va_arg(args, const char*);
            field = text ? text : "(null)";
            break;
        }
        case 'c': field = std::string(1, static_cast<char>(va_arg(args, int))); break;
        case 'd':
        case 'i': {
            int value = va_arg(args, int);
            numeric = true;
            if (value < 0) {
                field = "-" + std::to_string(-static_cast<long long>(value));
            } else {
                field = std::to_string(value);
            }
            break;
        }
        case 'u':
            field = std::to_string(va_arg(args, unsigned int));
            numeric = true;
            break;
        case 'x':
        case 'X': {
            char text[16];
            std::snprintf(text, sizeof text, *p == 'x' ? "%x" : "%X", va_arg(args, unsigned int));
            field = text;
            numeric = true;
            break;
        }
        case '\0': --p; continue;
        default: field = std::string(1, *p); break;
        }
        int pad = width - static_cast<int>(field.size());
        if (pad > 0) {
            if (left)
                field += std::string(pad, ' ');
            else if (zero && numeric && field[0] == '-')
                field = "-" + std::string(pad, '0') + field.substr(1);
            else
                field = std::string(pad, zero ? '0' : ' ') + field;
        }
        out += field;
    }
    if (out.size() > kWsprintfLimit - 1)
        out.resize(kWsprintfLimit - 1);
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int written = wvsprintfA(buffer, format, args);
    va_end(args);
    return written;
}

int WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR text, int length, LPWSTR wide, int wideLength) {
    if (!text)
        return 0;
    size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    if (wideLength == 0)
        return static_cast<int>(n);
    if (!wide || static_cast<size_t>(wideLength) < n)
        return 0;
    for (size_t i = 0; i < n; ++i)
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i])); // Latin-1
    return static_cast<int>(n);
}

// ---- Version, time, the module
// --------------------------------------------------------------------------------------------

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize != 148)
        return FALSE;
    info->dwMajorVersion = S->major;
    info->dwMinorVersion = S->minor;
    // Windows 9x packs the version into the high word of the build number.
    info->dwBuildNumber =
        S->platform == VER_PLATFORM_WIN32_WINDOWS ? (S->major << 24 | S->minor << 16 | S->build) : S->build;
    info->dwPlatformId = S->platform;
    lstrcpynA(info->szCSDVersion, S->csd.c_str(), sizeof info->szCSDVersion);
    return TRUE;
}

static int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

DWORD WINAPI GetTickCount() {
    return S->ticksAtZero + static_cast<DWORD>(S->clock);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    int64_t ms = S->timeOfDayAtZeroMs + static_cast<int64_t>(S->clock);
    int64_t dayOffset = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    ms -= dayOffset * 86400000;
    int year = S->year, month = S->month, day = S->day;
    for (int64_t i = 0; i < dayOffset; ++i)
        if (++day > daysInMonth(year, month)) {
            day = 1;
            if (++month > 12)
                month = 1, ++year;
        }
    for (int64_t i = 0; i > dayOffset; --i)
        if (--day < 1) {
            if (--month < 1)
                month = 12, --year;
            day = daysInMonth(year, month);
        }
    // Zeller-style day of the week, Sunday = 0.
    int y = month < 3 ? year - 1 : year;
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int weekday = (y + y / 4 - y / 100 + y / 400 + offsets[month - 1] + day) % 7;
    time->wYear = static_cast<WORD>(year);
    time->wMonth = static_cast<WORD>(month);
    time->wDayOfWeek = static_cast<WORD>(weekday);
    time->wDay = static_cast<WORD>(day);
    time->wHour = static_cast<WORD>(ms / 3600000);
    time->wMinute = static_cast<WORD>(ms / 60000 % 60);
    time->wSecond = static_cast<WORD>(ms / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(ms % 1000);
}

// The short date of the user's locale as Wine's English (United States) locale writes it, M/d/yyyy; other
// formats, flags and locales are not modelled.
int WINAPI GetDateFormatA(LCID, DWORD flags, const SYSTEMTIME* date, LPCSTR format, LPSTR buffer, int size) {
    if (!date || format || flags != DATE_SHORTDATE || size < 0 || date->wMonth < 1 || date->wMonth > 12 ||
        date->wDay < 1 || date->wDay > daysInMonth(date->wYear, date->wMonth))
        return 0;
    char text[32];
    int length = std::snprintf(text, sizeof text, "%u/%u/%u", date->wMonth, date->wDay, date->wYear) + 1;
    if (size == 0)
        return length;
    if (!buffer || size < length)
        return 0;
    std::memcpy(buffer, text, static_cast<size_t>(length));
    return length;
}

LPSTR WINAPI GetCommandLineA() {
    static std::string line;
    line = S->commandLine;
    return line.data();
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA info) {
    std::memset(info, 0, sizeof *info);
    info->cb = sizeof *info;
    info->wShowWindow = SW_SHOWNORMAL;
}

// The program's own module, and KERNEL32, which every process has loaded.
HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name)
        return sim::instance();
    return libraryName(name) == "kernel32.dll" ? libraryHandle("kernel32.dll") : nullptr;
}

// Windows 9x cuts the path to the buffer and terminates it.
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if ((module && module != sim::instance()) || !buffer || size == 0)
        return 0;
    lstrcpynA(buffer, S->modulePath.c_str(), static_cast<int>(size));
    return static_cast<DWORD>(std::strlen(buffer));
}

void WINAPI ExitProcess(UINT code) {
    std::fprintf(stderr, "sim: the program called ExitProcess(%u), which the host build does not allow\n",
                 code);
    std::abort();
}

// ---- Processes and waits
// --------------------------------------------------------------------------------------------------

DWORD WINAPI GetCurrentProcessId() {
    return ownProcessId();
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL, DWORD processId) {
    settleProcesses();
    Process* process = findProcess(processId);
    if (!process || !process->info.alive || process->openFails)
        return nullptr;
    return newKernelHandle(KernelHandle::ProcessHandle, processId, access);
}

BOOL WINAPI TerminateProcess(HANDLE handle, UINT code) {
    KernelHandle* kernel = openHandle(handle);
    bool isProcess = kernel && kernel->kind == KernelHandle::ProcessHandle;
    Process* process = isProcess ? findProcess(kernel->pid) : nullptr;
    settleProcesses();
    BOOL result = process && process->info.alive ? TRUE : FALSE;
    addRequest(makeRequest(
        "TerminateProcess",
        {isProcess ? std::to_string(kernel->pid) : std::string("<invalid>"), std::to_string(code)}, result));
    if (process && process->info.pid == ownProcessId())
        fail() << "the program terminated its own process";
    if (result)
        endProcess(*process, true, code);
    return result;
}

// What the user did while the program was blocked: posted, so queued until the program asks for input again
// (WaitForSingleObject, unlike MsgWaitForMultipleObjects, never looks at the queue).
static void inputDuringWait() {
    std::list<std::function<void()>> actions = std::move(S->whileWaiting);
    S->whileWaiting.clear();
    for (std::function<void()>& action : actions)
        action();
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    KernelHandle* kernel = openHandle(handle);
    if (!kernel || kernel->kind == KernelHandle::Device)
        return WAIT_FAILED;
    settleProcesses();
    Process* process = findProcess(kernel->pid);
    if (!process)
        return WAIT_FAILED;
    if (!process->info.alive)
        return WAIT_OBJECT_0;
    if (process->endsAt && (milliseconds == INFINITE || *process->endsAt <= S->clock + milliseconds)) {
        passTime(*process->endsAt - S->clock);
        inputDuringWait();
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) {
        fail() << "the program waits without end for process " << process->info.pid << " (\""
               << process->info.commandLine << "\"), which never ends";
        return WAIT_FAILED;
    }
    passTime(milliseconds);
    inputDuringWait();
    return WAIT_TIMEOUT;
}

// ---- ToolHelp: the process list of Windows 95 (not of NT 4)
// ----------------------------------------------------------------------------------

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    if (!(flags & TH32CS_SNAPPROCESS))
        return INVALID_HANDLE_VALUE;
    settleProcesses();
    HANDLE handle = newKernelHandle(KernelHandle::Snapshot, 0, 0);
    KernelHandle* snapshot = openHandle(handle);
    for (DWORD pid : S->processOrder)
        if (const Process* process = findProcess(pid); process && process->info.alive)
            snapshot->processes.push_back({pid, process->info.exeFile});
    return handle;
}

// Windows 95 takes the record only when its size field says the size it knows.
static BOOL nextProcessEntry(HANDLE handle, LPPROCESSENTRY32 entry, bool first) {
    KernelHandle* snapshot = openHandle(handle);
    if (!snapshot || snapshot->kind != KernelHandle::Snapshot || !entry || entry->dwSize != sizeof *entry)
        return FALSE;
    if (first)
        snapshot->next = 0;
    if (snapshot->next >= snapshot->processes.size())
        return FALSE;
    const auto& [pid, file] = snapshot->processes[snapshot->next++];
    DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof *entry);
    entry->dwSize = size;
    entry->th32ProcessID = pid;
    entry->cntThreads = 1;
    lstrcpynA(entry->szExeFile, file.c_str(), sizeof entry->szExeFile);
    return TRUE;
}

BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    return nextProcessEntry(snapshot, entry, true);
}

BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    return nextProcessEntry(snapshot, entry, false);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    KernelHandle* kernel = openHandle(handle);
    if (!kernel)
        return FALSE;
    kernel->open = false;
    return TRUE;
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                           LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                           LPPROCESS_INFORMATION info) {
    (void)processAttributes;
    (void)threadAttributes;
    std::string line = commandLine ? commandLine : (application ? application : "");
    ProcessPlan plan;
    Process* process = startup && info ? startProcess(line, &plan) : nullptr;
    BOOL result = process ? TRUE : FALSE;
    addRequest(makeRequest(
        "CreateProcessA",
        {quoted(application), quoted(commandLine), std::to_string(inherit), std::to_string(flags)}, result));
    if (!process)
        return FALSE;
    process->info.startup = *startup;
    process->info.startup.lpReserved = nullptr;
    process->info.startup.lpDesktop = nullptr;
    process->info.startup.lpTitle = nullptr;
    if (directory)
        process->info.directory = std::string(directory);
    process->info.environmentGiven = environment != nullptr;
    DWORD pid = process->info.pid;
    info->hProcess = newKernelHandle(KernelHandle::ProcessHandle, pid, 0x1F0FFF);
    info->hThread = newKernelHandle(KernelHandle::ThreadHandle, pid, 0x1F03FF);
    info->dwProcessId = pid;
    info->dwThreadId = pid + 4;
    return TRUE;
}

UINT WINAPI WinExec(LPCSTR commandLine, UINT show) {
    addRequest(makeRequest("WinExec", {quoted(commandLine), std::to_string(show)}, 33));
    return 33;
}

BOOL WINAPI SetSystemPowerState(BOOL suspend, BOOL force) {
    addRequest(makeRequest("SetSystemPowerState", {std::to_string(suspend), std::to_string(force)}, TRUE));
    return TRUE;
}

// ---- Profile files
// -----------------------------------------------------------------------------------------------------------

// Reads the sections set by the test. Windows also strips trailing blanks from the default and quotes around
// values; only the first is modelled.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD size,
                                      LPCSTR file) {
    if (!buffer || size == 0)
        return 0;
    auto fileIt = S->profiles.find(upper(file ? file : "win.ini"));
    std::string value;
    bool found = false;
    if (fileIt != S->profiles.end() && section) {
        auto sectionIt = fileIt->second.find(upper(section));
        if (sectionIt != fileIt->second.end() && key)
            for (const auto& entry : sectionIt->second)
                if (equalNoCase(entry.first, key)) {
                    value = entry.second;
                    found = true;
                    break;
                }
    }
    if (!found) {
        value = fallback ? fallback : "";
        while (!value.empty() && value.back() == ' ')
            value.pop_back();
    }
    size_t n = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// ---- Files
// -----------------------------------------------------------------------------------------------------------------------

// OF_EXIST against the files the test made; the record gets the fully qualified upper-case name, as the
// Windows 9x file service reports it. A name too long for the record's path field is not found.
HFILE WINAPI OpenFile(LPCSTR name, LPOFSTRUCT info, UINT style) {
    if (!name || !info)
        return HFILE_ERROR;
    std::string path = name;
    bool qualified =
        (path.size() >= 2 && path[1] == ':') || (path.size() >= 2 && path[0] == '\\' && path[1] == '\\');
    if (!qualified)
        path = path[0] == '\\' ? S->currentDirectory.substr(0, 2) + path : S->currentDirectory + "\\" + path;
    path = upper(path);
    info->cBytes = static_cast<BYTE>(sizeof *info);
    info->fFixedDisk = 1;
    if (!(style & OF_EXIST) || !S->files.count(path) || path.size() >= sizeof info->szPathName) {
        info->nErrCode = ERROR_FILE_NOT_FOUND;
        return HFILE_ERROR;
    }
    info->nErrCode = 0;
    lstrcpynA(info->szPathName, path.c_str(), sizeof info->szPathName);
    return 1;
}

// The length without the terminator, or the size needed with it when the buffer is too small.
DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    DWORD length = static_cast<DWORD>(S->currentDirectory.size());
    if (!buffer || size <= length)
        return length + 1;
    lstrcpynA(buffer, S->currentDirectory.c_str(), static_cast<int>(size));
    return length;
}

// Any folder is taken: the simulated machine keeps no folders, only files.
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    if (!path || !*path)
        return FALSE;
    S->currentDirectory = path;
    return TRUE;
}

// ---- Drives and VWIN32
// ----------------------------------------------------------------------------------------------------------

DWORD WINAPI GetLogicalDrives() {
    DWORD mask = 0;
    for (int i = 0; i < 26; ++i)
        if (S->drives[i].present)
            mask |= 1u << i;
    return mask;
}

UINT WINAPI GetDriveTypeA(LPCSTR root) {
    std::string text = root ? root : "";
    S->driveTypeQueries.push_back(root ? text : "NULL");
    if (!root)
        text = S->currentDirectory.substr(0, 2);
    if (text.size() < 2 || text[1] != ':' || (text.size() > 2 && text.substr(2) != "\\"))
        return DRIVE_NO_ROOT_DIR;
    const State::Drive* drive = driveOf(text[0]);
    return drive && drive->present ? drive->type : DRIVE_NO_ROOT_DIR;
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    S->createFileCalls.push_back("CreateFileA(" + quoted(name) + "," + std::to_string(access) + "," +
                                 std::to_string(share) + "," + (security ? "ptr" : "NULL") + "," +
                                 std::to_string(disposition) + "," + std::to_string(flags) + "," +
                                 (templateFile ? "ptr" : "NULL") + ")");
    if (name && equalNoCase(name, "\\\\.\\vwin32") && S->vwin32Available)
        return newKernelHandle(KernelHandle::Device, 0, access);
    return INVALID_HANDLE_VALUE;
}

// VWIN32_DIOC_DOS_IOCTL with Int 21h 440Dh: Get Media ID (0x4866, or 0x0866) clears the carry flag when the
// drive gives an id; Eject (0x0849) clears it when the drive ejects. Nothing is written through the EDX
// buffer address, which the host build cannot hold in 32 bits anyway.
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                            LPDWORD returned, LPOVERLAPPED) {
    KernelHandle* kernel = openHandle(device);
    if (!kernel || kernel->kind != KernelHandle::Device)
        return FALSE;
    Request request = makeRequest("DeviceIoControl", {std::to_string(code)});
    DWORD regs[7] = {};
    if (in && inSize >= kRegisterRecord)
        std::memcpy(regs, in, sizeof regs);
    std::copy(regs, regs + 7, request.registersIn);
    enum { EBX, EDX, ECX, EAX, EDI, ESI, FLAGS };
    request.args.push_back("eax=" + hex(regs[EAX]));
    request.args.push_back("ebx=" + std::to_string(regs[EBX]));
    request.args.push_back("ecx=" + hex(regs[ECX]));
    request.args.push_back("flags=" + std::to_string(regs[FLAGS]));
    bool handled = !S->deviceIoControlFails && code == kVwin32DosIoctl && in && out &&
                   inSize >= kRegisterRecord && outSize >= kRegisterRecord;
    if (handled) {
        if ((regs[EAX] & 0xFFFF) == 0x440D) {
            BYTE driveNumber = static_cast<BYTE>(regs[EBX] & 0xFF);
            const State::Drive* drive =
                driveNumber >= 1 && driveNumber <= 26 ? &S->drives[driveNumber - 1] : nullptr;
            bool present = drive && drive->present;
            DWORD minor = regs[ECX] & 0xFFFF;
            if (minor == 0x4866 && S->vwin32FirstRelease) {
                // Category 48h came with FAT32 (OSR2): the first release fails it as an unknown function.
                regs[FLAGS] |= 1u;
                regs[EAX] = (regs[EAX] & 0xFFFF0000u) | 0x0001;
            } else if (minor == 0x4866 || minor == 0x0866) {
                if (present && drive->mediaIdSucceeds)
                    regs[FLAGS] &= ~1u;
            } else if ((regs[ECX] & 0xFFFF) == 0x0849) {
                if (present && drive->ejectSucceeds)
                    regs[FLAGS] &= ~1u;
                else
                    regs[FLAGS] |= 1u;
            }
        }
        std::memcpy(out, regs, sizeof regs);
        if (returned)
            *returned = kRegisterRecord;
    }
    std::copy(regs, regs + 7, request.registersOut);
    request.result = handled;
    addRequest(request);
    return handled ? TRUE : FALSE;
}
