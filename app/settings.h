// The one process-wide record: persisted settings, run state, handles and text buffers, and the numbers the
// program knows its windows, timers and fields by.
#ifndef KELTO_SETTINGS_H
#define KELTO_SETTINGS_H

#include <windows.h>
#include <shellapi.h>
#include "../res/resource.h"

#define WM_TRAYNOTIFY (WM_USER + 500)
// Sent to the main window by Restart Shell, wParam the taskbar window it ends: watch for the new one.
#define WM_SHELLRESTARTED (WM_USER + 501)
#define HOTKEY_ID 4097
#define SETTINGS_KEY "SOFTWARE\\Garvik\\Kelto95"

// The longest tray tip: Windows 95's record holds 64 bytes.
#define TRAY_TIP_LENGTH 63

// Capacities of the text fields, terminator included.
#define HOTKEY_SIZE 2
#define NUMBER_SIZE 7
#define WARNING_TEXT_SIZE 100
#define PROGRAM_ENTRY_SIZE 260
#define PROGRAM_COUNT 4
#define PROGRAMS_TO_RUN_SIZE 1024

// The longest timeout or countdown in seconds: six digits, as the fields hold.
#define MAX_TIMER_SECONDS 999999u

// The main window's timers. Timers without a window take their ids from one pool for the whole system on
// Windows 9x, where killing a stale id can end another program's timer (Microsoft KB Q312406, whose remedy is
// a window); the ids are distinct from 1 so that TimerActive never reads as a mere flag.
enum MainWindowTimer : UINT_PTR {
    ExitTimer = 0x4B01,         // an armed timed exit wakes to work out its time left
    CountdownTimer = 0x4B02,    // the countdown window's second
    TaskbarWatchTimer = 0x4B03, // after Restart Shell: waiting for the new taskbar
};

// The tray-icon request record as Windows 95's shell knows it: a 64-byte tip, 88 bytes in all. The
// headers' NOTIFYICONDATAA has grown since, and a 95 shell would not take the larger size.
struct TrayIconRecord {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};
#ifdef KELTO_WIN32
static_assert(sizeof(TrayIconRecord) == 88, "the Windows 95 tray-icon record");
#else
static_assert(sizeof(TrayIconRecord) == sizeof(NOTIFYICONDATAA), "the simulated shell's record");
#endif

struct SettingsRecord {
    // Handles.
    HINSTANCE Instance;
    HWND MainWindow;
    HWND TimedExitDialogWindow;
    HWND CountdownWindow;
    HWND AboutDialog;
    HWND RunBeforeDialog;
    HWND WarningTextDialogWindow;
    HWND HotkeyDialog;
    HWND RegistryDialogWindow;
    HWND ShortcutDialog;
    HMODULE Ole32Library;    // loaded at start-up, NULL when missing
    HMODULE Comdlg32Library; // loaded at the first Browse

    // Exit selection and timer numbers.
    INT32 ExitType;
    UINT32 TimeoutSeconds;
    UINT32 WarnSeconds;
    UINT_PTR CountdownTimerId; // CountdownTimer while the countdown window counts, else 0
    UINT CountdownTickMs;      // its interval now
    INT32 BrowseTarget;
    UINT32 AtSecond;
    UINT32 AtHour;
    UINT32 AtMinute;
    INT32 ExitDelayMs;
    INT32 CountdownRemaining;
    HACCEL AcceleratorTable;

    // When the armed exit falls due. A timeout counts elapsed time on the tick count; a time of day is a date
    // and time on the local clock (milliseconds since 1970 on that clock).
    INT32 DueByClock;
    DWORD ExitDueTick;
    long long ExitDueLocal;
    long long AtDueLocal;  // the next occurrence of AtValue, as the last ParseAtTime found it
    UINT ExitWakeMs;       // the exit timer's interval now
    INT32 CountdownOpened; // the countdown of this arming has begun
    INT32 SuspendNoted;    // PBT_APMSUSPEND came: the clocks as they were then
    DWORD SuspendTick;
    long long SuspendLocal;

    // Exit when a program ends: the choice (never stored: the process is gone at the next start), the program
    // chosen, and while armed the process waited for.
    INT32 ProgramEndFlag;
    DWORD ProgramToWaitFor;
    HANDLE WaitedProgram;
    char WaitedProgramName[MAX_PATH]; // its file name in capitals; on the command line, the name as given
    char OriginalCommandLine[1024];   // the command line before start-up lowered it, for names as typed

    // Flags.
    INT32 ForceFlag;
    INT32 ClickFlag;
    INT32 EjectFlag;
    INT32 HotkeyFlag;
    INT32 NoTimedExitFlag;
    INT32 TimerFlag;
    UINT_PTR TimerActive; // ExitTimer while a timed exit is armed, 0 when idle
    INT32 AtFlag;
    INT32 RunOnceFlag;
    INT32 WarnFlag;
    INT32 WarningTextChanged; // edited in this run: every save stores WarningText
    INT32 WarningTextIsDefault;
    INT32 RunBeforeExit;
    INT32 ProgramEntriesSet; // a save joins the entries: split at load, or set by the dialog's OK
    INT32 BlockFlag;
    INT32 ConfirmFlag;
    INT32 InitialAutorun;
    INT32 InitialNoLogOff;
    INT32 InitialNoClose;
    INT32 HideIconFlag;
    INT32 TimerCancelled;
    UINT32 Busy; // what is on its way now, one bit each (busy.h)
    INT32 ComInitialized;

    // Menus and tray icon.
    HMENU MainMenu;
    HMENU ExitTypeMenu;
    TrayIconRecord TrayIconData;
    INT32 TrayIconWanted;         // an icon was added and not hidden: a new taskbar gets it back
    UINT TaskbarCreatedMessage;   // registered "TaskbarCreated", broadcast by a starting taskbar
    UINT_PTR TaskbarWatchTimerId; // TaskbarWatchTimer after our own Restart Shell, until the new taskbar
    INT32 TaskbarWatchTicksLeft;
    HWND OldTaskbar; // the taskbar window that the shell restart ends

    // Text fields.
    char SavedWarningText[WARNING_TEXT_SIZE];
    char HotKey[HOTKEY_SIZE];
    char TimerValue[NUMBER_SIZE];
    char AtValue[NUMBER_SIZE];
    char WarnValue[NUMBER_SIZE];
    char NumberText[NUMBER_SIZE];
    char WarningText[WARNING_TEXT_SIZE];
    char ProgramEntry[PROGRAM_COUNT][PROGRAM_ENTRY_SIZE];
    char ProgramsToRun[PROGRAMS_TO_RUN_SIZE];
};

extern SettingsRecord Settings;

// Sets the start-up values; the first step after the operating-system check.
void SetStartupValues(HINSTANCE instance);

// Flips a flag: 1 when it was 0, else 0.
INT32 Toggled(INT32 flag);

// A flag as its check box shows it.
UINT CheckState(INT32 flag);

#endif
