// Performing the selected exit: the one place where the program acts on the session.
#include "exit.h"
#include "../app/busy.h"
#include "../app/boxes.h"
#include "exittype.h"
#include "eject.h"
#include "runbefore.h"

static const DWORD ForceCloseTimeoutMs = 500;

static BOOL CALLBACK ForceCloseWindow(HWND window, LPARAM) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId())
        return TRUE;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, WM_ENDSESSION, 1, 0, SMTO_ABORTIFHUNG, ForceCloseTimeoutMs, &answer) &&
        process) {
        // A hung window gets one more chance to end on its own before it is terminated.
        if (WaitForSingleObject(process, ForceCloseTimeoutMs) != WAIT_OBJECT_0)
            TerminateProcess(process, 0);
    }
    if (process)
        CloseHandle(process);
    return TRUE;
}

static void BroadcastEndSession() {
    DWORD recipients = BSM_APPLICATIONS;
    BroadcastSystemMessage(BSF_FORCEIFHUNG | BSF_IGNORECURRENTTASK, &recipients, WM_ENDSESSION, 1, 0);
}

// The refusal of the selected type's row, and Force Exit off. It goes off before the message: whatever the
// message's loop takes meanwhile (a click, the menu's Force Exit, an exit falling due) finds it off and does
// not refuse it again.
static void RejectForcedScreensaver() {
    const ExitTypeRow* type = FindExitType(Settings.ExitType);
    Settings.ForceFlag = 0;
    ShowError(type && type->forceRefusal ? type->forceRefusal : "");
}

void RefuseForceWhereItCannotApply() {
    const ExitTypeRow* type = FindExitType(Settings.ExitType);
    if (Settings.ForceFlag && type && type->force == ForceRefused)
        RejectForcedScreensaver();
}

// Everything after the confirmation, in order, ending in the request of the exit type the ask chose and, for
// a type that ends the session the program runs in, the program's own end.
static void PerformExit(INT32 exitType) {
    if (Settings.RunBeforeExit)
        RunProgramsBeforeExit();
    const ExitTypeRow* type = FindExitType(exitType);
    ForceEffect force = Settings.ForceFlag && type ? type->force : ForceIgnored;
    if (force == ForceClosesPrograms)
        EnumWindows(ForceCloseWindow, 0);
    if (Settings.EjectFlag)
        EjectRemovableMedia(exitType);
    // Our own answer to the end-of-session query must not refuse the exit we are about to ask for.
    Settings.BlockFlag = 0;
    if (!type)
        return;
    if (force == ForceBroadcastsEnd)
        BroadcastEndSession();
    type->request(force == ForceAsksNoProgram);
    if (type->endsProgram)
        PostMessageA(Settings.MainWindow, WM_QUIT, 0, 0);
}

// Clicks and hotkey presses that came while the exit was on its way: queued while a program ran before it or
// a window was asked to close, they are no new ask once it is done. Sent ones are taken here, and refused
// while the exit is still on its way.
static void DropInputThatCameMeanwhile() {
    if (!Settings.MainWindow)
        return;
    MSG message;
    while (PeekMessageA(&message, Settings.MainWindow, WM_TRAYNOTIFY, WM_TRAYNOTIFY, PM_REMOVE))
        continue;
    while (PeekMessageA(&message, Settings.MainWindow, WM_HOTKEY, WM_HOTKEY, PM_REMOVE))
        continue;
}

void ExecuteExit(ExitStep firstStep, int argument) {
    // The one way of every exit, whatever started it: a click, the hotkey, a quick-menu choice, a timer
    // falling due. The boxes on the way ("Screensaver cannot be forced", the question) run loops of their
    // own, where a second trigger arrives and is refused.
    if (Settings.TimerActive || !EnterBusy(BusyExit))
        return;
    // The exit the ask chose: a type selected under the boxes on its way does not change it.
    INT32 chosen = firstStep && IsExitType(argument) ? argument : Settings.ExitType;
    if (firstStep)
        firstStep(argument);
    if (!Settings.ConfirmFlag || AskConfirm("Are you sure you want to exit ?"))
        PerformExit(chosen);
    DropInputThatCameMeanwhile();
    LeaveBusy(BusyExit);
}

void ExecuteExit() {
    ExecuteExit(NULL, 0);
}
