// Ejecting removable and CD-ROM media through the VWIN32 device (MS-DOS IOCTL 440Dh).
#include "eject.h"

#ifdef KELTO_WIN32
static_assert(sizeof(DIOC_REGISTERS) == 28, "the VWIN32 register record is 28 bytes");
#endif

static const DWORD DosIoctl = 0x440D;
static const DWORD GetMediaId = 0x4866;
static const DWORD EjectMedia = 0x0849;
static const DWORD CarryFlag = 1;

static void SendIoctl(HANDLE device, DIOC_REGISTERS* registers) {
    DWORD returned = 0;
    DeviceIoControl(device, VWIN32_DIOC_DOS_IOCTL, registers, sizeof *registers, registers, sizeof *registers,
                    &returned, NULL);
}

void EjectDrive(HANDLE device, int drive) {
    if (drive == 1 || drive == 2)
        return;
    BYTE mediaId[28];
    for (unsigned i = 0; i < sizeof mediaId; i++)
        mediaId[i] = 0;
    DIOC_REGISTERS registers;
    registers.reg_EBX = (DWORD)drive;
    registers.reg_EDX = (DWORD)(ULONG_PTR)mediaId;
    registers.reg_ECX = GetMediaId;
    registers.reg_EAX = DosIoctl;
    registers.reg_EDI = 0;
    registers.reg_ESI = 0;
    // Preset carry: a request the device does not carry out then counts as failed.
    registers.reg_Flags = CarryFlag;
    SendIoctl(device, &registers);
    if (registers.reg_Flags & CarryFlag)
        return;
    registers.reg_EAX = DosIoctl;
    registers.reg_EBX = (DWORD)drive;
    registers.reg_ECX = EjectMedia;
    SendIoctl(device, &registers);
}

void EjectRemovableMedia() {
    if (Settings.ExitType == IDM_STANDBY || Settings.ExitType == IDM_SCREENSAVER)
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
        wsprintfA(root, "%hc:", (char)(64 + drive));
        UINT type = GetDriveTypeA(root);
        if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM)
            EjectDrive(device, drive);
    }
    CloseHandle(device);
}
