; KeltoDLL.dll - the 16-bit companion library of Kelto95.
;
; Kelto95 starts it through the 16-bit Rundll.exe of Windows 95/98:
;   Rundll.exe KeltoDLL.dll,CallExitWindows      restart Windows, not the machine
;   Rundll.exe KeltoDLL.dll,CallExitWindowsExec  end Windows, leave the machine at MS-DOS
; Both requests exist only in the 16-bit USER (ExitWindows with EW_RESTARTWINDOWS,
; ExitWindowsExec), which is why this library is a Windows 3.x style NE module.
;
; There is no 16-bit linker in our toolchain, so this file is the whole module: the
; assembler writes the MZ stub, the NE header and every table itself (nasm -f bin).
; All offsets and sizes below come from labels; nothing is counted by hand.
;
; Build:  nasm -f bin -o KeltoDLL.dll keltodll.asm
;         nasm -f bin -DWINE_IMPORT_NAMES -o KeltoDLL.dll keltodll.asm   (Wine test copy)

        bits    16
        cpu     286

; ---------------------------------------------------------------------------
; Constants
; ---------------------------------------------------------------------------

; USER ordinals and arguments
USER_ExitWindows        equ 7           ; BOOL ExitWindows(DWORD dwReturnCode, UINT reserved)
USER_ExitWindowsExec    equ 246         ; BOOL ExitWindowsExec(LPCSTR lpszExe, LPCSTR lpszParams)
EW_RESTARTWINDOWS       equ 0x42        ; return code: restart Windows, not the machine

; Our export ordinals
ORD_CallExitWindows     equ 1
ORD_CallExitWindowsExec equ 2

; A Rundll entry is void FAR PASCAL Entry(HWND, HINSTANCE, LPSTR, int): the callee pops
; 2 + 2 + 4 + 2 bytes.
RUNDLL_ARG_BYTES        equ 2 + 2 + 4 + 2

; NE header values
NE_TARGET_WINDOWS       equ 2           ; target operating system: Windows
NE_FLAG_NOAUTODATA      equ 0x0000      ; no DGROUP: nothing here needs a data segment
NE_FLAG_LIBRARY         equ 0x8000      ; a library module (DLL), not a task
NE_EXPECTED_WINVER      equ 0x030A      ; 3.10: loads on every Windows that has Rundll.exe
NE_ALIGN_SHIFT          equ 4           ; segment data starts on 16-byte boundaries
NE_SECTOR               equ 1 << NE_ALIGN_SHIFT

; Segment table flags
SEG_CODE                equ 0x0000
SEG_MOVEABLE            equ 0x0010
SEG_PRELOAD             equ 0x0040
SEG_RELOCINFO           equ 0x0100      ; a relocation table follows the segment data

; Entry table
ENT_MOVEABLE_BUNDLE     equ 0xFF        ; bundle type for entries in moveable segments
ENT_EXPORTED            equ 0x01        ; entry flag: exported
INT_3F                  equ 0x3FCD      ; bytes CD 3F, the INT 3Fh a moveable entry holds

; Relocation records
REL_ADDR_FARPTR         equ 3           ; source: a 32-bit segment:offset pointer
REL_IMPORT_ORDINAL      equ 1           ; target: imported by module index and ordinal
REL_CHAIN_END           equ 0xFFFF      ; offset word at the fixup site that ends the chain

; The import module's name. Windows 9x has USER loaded before any task runs and finds it
; by its module name, "USER", the name every Windows linker writes. Wine's 16-bit loader
; looks the name up the same way, but its USER is not loaded yet when rundll32 loads us;
; it then appends ".DLL" and finds nothing, because its 16-bit USER is the file user.exe16.
; The Wine test copy therefore names the file, "USER.EXE", which Wine matches by file name
; or loads. Only this one string differs between the two builds.
%ifdef WINE_IMPORT_NAMES
  %define USER_IMPORT_NAME 'USER.EXE'
%else
  %define USER_IMPORT_NAME 'USER'
%endif

; ---------------------------------------------------------------------------
; MZ header and DOS stub
; ---------------------------------------------------------------------------

file_start:
mz_header:
        dw      'MZ'                            ; e_magic
        dw      (stub_end - file_start) % 512   ; e_cblp: bytes in the last page
        dw      (stub_end - file_start + 511) / 512 ; e_cp: pages of the DOS image
        dw      0                               ; e_crlc: no DOS relocations
        dw      (mz_header_end - file_start) / 16 ; e_cparhdr: header size in paragraphs
        dw      0                               ; e_minalloc
        dw      0xFFFF                          ; e_maxalloc
        dw      0                               ; e_ss
        dw      0x00B8                          ; e_sp
        dw      0                               ; e_csum
        dw      stub_code - mz_header_end       ; e_ip
        dw      0                               ; e_cs
        dw      mz_header_end - file_start      ; e_lfarlc: 0x40 or more marks a new executable
        dw      0                               ; e_ovno
        times   0x3C - ($ - file_start) db 0    ; e_res, e_oemid, e_oeminfo, e_res2
        dd      ne_header - file_start          ; e_lfanew
mz_header_end:

; Started from MS-DOS, the file says so and ends.
stub_code:
        push    cs
        pop     ds
        mov     dx, stub_message - mz_header_end
        mov     ah, 0x09                        ; DOS: print string
        int     0x21
        mov     ax, 0x4C01                      ; DOS: exit with code 1
        int     0x21
stub_message:
        db      'This program requires Microsoft Windows.', 13, 10, '$'
stub_end:

; ---------------------------------------------------------------------------
; NE header; the table offsets in it count from its first byte
; ---------------------------------------------------------------------------

        align   16, db 0
ne_header:
        dw      'NE'                            ; ne_magic
        db      5                               ; ne_ver: linker version
        db      10                              ; ne_rev: linker revision
        dw      entry_table - ne_header         ; ne_enttab
        dw      entry_table_end - entry_table   ; ne_cbenttab
        dd      0                               ; ne_crc: not checked by Windows
        dw      NE_FLAG_LIBRARY | NE_FLAG_NOAUTODATA ; ne_flags
        dw      0                               ; ne_autodata: no data segment
        dw      0                               ; ne_heap
        dw      0                               ; ne_stack: a library runs on its caller's stack
        dw      LibMain - code_start            ; ne_csip: initialisation offset ...
        dw      CODE_SEGMENT                    ; ... in segment 1
        dd      0                               ; ne_sssp: none for a library
        dw      SEGMENT_COUNT                   ; ne_cseg
        dw      MODULE_REF_COUNT                ; ne_cmod
        dw      nonresident_names_end - nonresident_names ; ne_cbnrestab
        dw      segment_table - ne_header       ; ne_segtab
        dw      resource_table - ne_header      ; ne_rsrctab: empty, equal to ne_restab
        dw      resident_names - ne_header      ; ne_restab
        dw      module_refs - ne_header         ; ne_modtab
        dw      imported_names - ne_header      ; ne_imptab
        dd      nonresident_names - file_start  ; ne_nrestab: counts from the file start
        dw      MOVEABLE_ENTRY_COUNT            ; ne_cmovent
        dw      NE_ALIGN_SHIFT                  ; ne_align: segment sector shift
        dw      0                               ; ne_cres: no resource segments
        db      NE_TARGET_WINDOWS               ; ne_exetyp
        db      0                               ; ne_flagsothers
        dw      0                               ; ne_pretthunks: no fast-load area
        dw      0                               ; ne_psegrefbytes
        dw      0                               ; ne_swaparea
        dw      NE_EXPECTED_WINVER              ; ne_expver
ne_header_end:

; Segment table: one entry of 8 bytes per segment.
CODE_SEGMENT            equ 1
segment_table:
        dw      (code_start - file_start) >> NE_ALIGN_SHIFT ; file offset in sectors
        dw      code_end - code_start           ; length in the file
        dw      SEG_CODE | SEG_MOVEABLE | SEG_PRELOAD | SEG_RELOCINFO ; flags
        dw      code_end - code_start           ; allocation size (0 would mean 64 KB)
segment_table_end:
SEGMENT_COUNT           equ (segment_table_end - segment_table) / 8

; No resources: the table is empty, so it starts where the resident names start.
resource_table:

; Resident names: length byte, name, ordinal word. The first entry is the module name.
; Windows upper-cases the name it is asked for before it compares, so the names are stored
; in upper case.
resident_names:
        db      .module_end - .module
.module: db     'KELTODLL'
.module_end:
        dw      0
        db      .restart_end - .restart
.restart: db    'CALLEXITWINDOWS'
.restart_end:
        dw      ORD_CallExitWindows
        db      .dos_end - .dos
.dos:   db      'CALLEXITWINDOWSEXEC'
.dos_end:
        dw      ORD_CallExitWindowsExec
        db      0                               ; end of table

; Module references: one word per imported module, its name's offset in imported_names.
module_refs:
        dw      user_name - imported_names
module_refs_end:
MODULE_REF_COUNT        equ (module_refs_end - module_refs) / 2
USER_MODULE             equ 1                   ; 1-based index into module_refs

; Imported names: length-prefixed strings. Offset 0 holds an empty name, as linkers write,
; so that no module reference points at offset 0.
imported_names:
        db      0
user_name:
        db      .end - .name
.name:  db      USER_IMPORT_NAME
.end:

; Entry table: one bundle of moveable entries, ordinals 1 and 2. A moveable entry is
; flags, INT 3Fh, segment number, offset. The code segment is moveable because Windows
; keeps a fixed library segment in conventional memory below 1 MB, which is scarce; the
; loader finds moveable entries through these records.
entry_table:
        db      (.bundle_end - .bundle) / 6     ; entries in the bundle
        db      ENT_MOVEABLE_BUNDLE             ; bundle type
.bundle:
        db      ENT_EXPORTED                    ; ordinal 1: CallExitWindows
        dw      INT_3F
        db      CODE_SEGMENT
        dw      CallExitWindows - code_start
        db      ENT_EXPORTED                    ; ordinal 2: CallExitWindowsExec
        dw      INT_3F
        db      CODE_SEGMENT
        dw      CallExitWindowsExec - code_start
.bundle_end:
        db      0                               ; end of table
entry_table_end:
MOVEABLE_ENTRY_COUNT    equ (entry_table.bundle_end - entry_table.bundle) / 6

; Non-resident names: the first entry is the module description.
nonresident_names:
        db      .desc_end - .desc
.desc:  db      'Kelto95 companion: restart Windows, exit to MS-DOS'
.desc_end:
        dw      0
        db      0                               ; end of table
nonresident_names_end:

; ---------------------------------------------------------------------------
; Segment 1: code. No DGROUP: the strings live here and go out as CS-based pointers.
; PASCAL callees must keep SI, DI, BP and DS; nothing here touches them.
; ---------------------------------------------------------------------------

        align   NE_SECTOR, db 0
code_start:

; The loader calls this once when the library loads. AX = 1 accepts the load.
LibMain:
        mov     ax, 1
        retf

; void FAR PASCAL CallExitWindows(HWND, HINSTANCE, LPSTR, int)
; Asks USER to restart Windows. Each application is asked first; if one refuses,
; ExitWindows returns FALSE and we simply return: Windows keeps running.
CallExitWindows:
        push    word 0                          ; dwReturnCode, high word
        push    word EW_RESTARTWINDOWS          ; dwReturnCode, low word
        push    word 0                          ; reserved
        call    0:REL_CHAIN_END                 ; USER.7 ExitWindows, filled in by the loader
ExitWindows_site equ $ - 4
        retf    RUNDLL_ARG_BYTES

; void FAR PASCAL CallExitWindowsExec(HWND, HINSTANCE, LPSTR, int)
; Asks USER to end Windows and run COMMAND.COM in real-mode MS-DOS. The user is left at
; the DOS prompt; typing EXIT ends COMMAND.COM, and WIN.COM then starts Windows again.
; The parameter string is empty rather than NULL: safe whether or not USER checks for NULL.
; If an application refuses to end, ExitWindowsExec returns FALSE and we simply return.
; The name has no path: MS-DOS looks for it in the current directory once Windows is gone,
; normally the one Windows was started from, and Windows 95/98 keep COMMAND.COM both in the
; root of the boot drive and in the Windows directory.
CallExitWindowsExec:
        push    cs                              ; lpszExe, segment
        push    word dos_program - code_start   ; lpszExe, offset
        push    cs                              ; lpszParams, segment
        push    word dos_params - code_start    ; lpszParams, offset
        call    0:REL_CHAIN_END                 ; USER.246 ExitWindowsExec, filled in by the loader
ExitWindowsExec_site equ $ - 4
        retf    RUNDLL_ARG_BYTES

dos_program:
        db      'COMMAND.COM', 0
dos_params:
        db      0
code_end:

; Relocations of segment 1, right after its data: a count, then 8-byte records. Each
; record patches the far pointer of one CALL. The records are non-additive: the loader
; writes the target over the pointer and follows the chain through the offset word it
; found there, which we end at once with 0xFFFF. That is the form Microsoft's linker
; writes for imported calls; a second call to the same function would join the chain.
relocations:
        dw      (relocations_end - relocations - 2) / 8
        db      REL_ADDR_FARPTR                 ; source type
        db      REL_IMPORT_ORDINAL              ; target type
        dw      ExitWindows_site - code_start   ; where the pointer is
        dw      USER_MODULE                     ; module reference index
        dw      USER_ExitWindows                ; ordinal
        db      REL_ADDR_FARPTR
        db      REL_IMPORT_ORDINAL
        dw      ExitWindowsExec_site - code_start
        dw      USER_MODULE
        dw      USER_ExitWindowsExec
relocations_end:

; ---------------------------------------------------------------------------
; Assembly-time checks of what Windows relies on
; ---------------------------------------------------------------------------
%if (code_start - file_start) % NE_SECTOR
  %error "segment data is not on a sector boundary"
%endif
%if code_end - code_start > 0xFFFF
  %error "code segment too large"
%endif
%if ne_header_end - ne_header != 0x40
  %error "NE header must be 64 bytes"
%endif
