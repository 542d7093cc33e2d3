// Ejecting removable media through VWIN32 before the exit.
#ifndef KELTO_EJECT_H
#define KELTO_EJECT_H
#include "../app/settings.h"

// The VWIN32 register record; its layout is the device's contract.
struct DIOC_REGISTERS {
    DWORD reg_EBX;
    DWORD reg_EDX;
    DWORD reg_ECX;
    DWORD reg_EAX;
    DWORD reg_EDI;
    DWORD reg_ESI;
    DWORD reg_Flags;
};

#define VWIN32_DIOC_DOS_IOCTL 1

void EjectRemovableMedia();
void EjectDrive(HANDLE device, int drive);
#endif
