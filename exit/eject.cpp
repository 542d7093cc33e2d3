// Ejecting removable and CD-ROM media through the VWIN32 device (MS-DOS IOCTL 440Dh).
#include "eject.h"
#include "exittype.h"
#include "../app/text.h"

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

#ifdef KELTO_WIN32
static_assert(sizeof(DIOC_REGISTERS) == 28, "the VWIN32 register record is 28 bytes");
#endif

static const DWORD DosIoctl = 0x440D;
// Get Media ID in its FAT32-aware form (category 48h, Windows 95 OSR2 and later), and the form every
// Windows 95 knows (category 08h), to be asked when the first one fails.
static const DWORD GetMediaId = 0x4866;
static const DWORD GetMediaIdFirstRelease = 0x0866;
static const DWORD EjectMedia = 0x0849;
static const DWORD CarryFlag = 1;

static void SendIoctl(HANDLE device, DIOC_REGISTERS* registers) {
    DWORD returned = 0;
    DeviceIoControl(device, VWIN32_DIOC_DOS_IOCTL, registers, sizeof *registers, registers, sizeof *registers,
                    &returned, NULL);
}

// One Get Media ID request into the zero-filled buffer; true when the carry comes back clear.
static bool AskMediaId(HANDLE device, DIOC_REGISTERS* registers, int drive, BYTE* mediaId, DWORD form) {
    registers->reg_EBX = (DWORD)drive;
    registers->reg_EDX = (DWORD)(ULONG_PTR)mediaId;
    registers->reg_ECX = form;
    registers->reg_EAX = DosIoctl;
    registers->reg_EDI = 0;
    registers->reg_ESI = 0;
    // Preset carry: a request the device does not carry out then counts as failed.
    registers->reg_Flags = CarryFlag;
    SendIoctl(device, registers);
    return !(registers->reg_Flags & CarryFlag);
}

static void EjectDrive(HANDLE device, int drive) {
    if (drive == 1 || drive == 2)
        return;
    BYTE mediaId[28];
    ZeroFill(mediaId, sizeof mediaId);
    DIOC_REGISTERS registers;
    if (!AskMediaId(device, &registers, drive, mediaId, GetMediaId) &&
        !AskMediaId(device, &registers, drive, mediaId, GetMediaIdFirstRelease))
        return;
    registers.reg_EAX = DosIoctl;
    registers.reg_EBX = (DWORD)drive;
    registers.reg_ECX = EjectMedia;
    SendIoctl(device, &registers);
}

void EjectRemovableMedia(INT32 exitType) {
    const ExitTypeRow* type = FindExitType(exitType);
    if (type && type->keepsMedia)
        return;
    HANDLE device = CreateFileA("\\\\.\\vwin32", 0, 0, NULL, 0, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (device == INVALID_HANDLE_VALUE)
        return;
    DWORD drives = GetLogicalDrives();
    DWORD bit = 1;
    for (int drive = 1; drive <= 26; drive++, bit <<= 1) {
        if (!(drives & bit))
            continue;
        char root[4];
        // Plain %c: the h prefix is not known to every wsprintfA, and the two characters are the same.
        wsprintfA(root, "%c:", 64 + drive);
        UINT type = GetDriveTypeA(root);
        if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM)
            EjectDrive(device, drive);
    }
    CloseHandle(device);
}
