# End-to-end check of the package that scripts/package leaves in dist/.  Sourced by tests/e2e/run
# after checks.sh and checks-tray.sh, whose functions it uses.

# Installed as a user installs it from the floppy: KELTO95.EXE and KELTODLL.DLL copied into the
# Windows folder and started from there.  Its icon and the tip "Shutdown" show in the tray, and a
# one-shot start from the same place requests the shutdown.
check_package_floppy() {
    local image=$KELTO_ROOT/dist/Kelto95.img
    [[ -f $image ]] || fail "no floppy image $image (scripts/package makes it)"
    mcopy -n -i "$image" ::KELTO95.EXE ::KELTODLL.DLL "$C_DRIVE/windows/" ||
        fail "mtools cannot copy the program out of $image"
    KELTO_PATH='C:\WINDOWS\KELTO95.EXE'
    note "copied KELTO95.EXE and KELTODLL.DLL from the floppy image into C:\\WINDOWS"

    guarded_session
    must_drive wait-window Shell_TrayWnd - 60000 sleep 1000
    tray_picture empty
    kelto_start
    must_drive main-window 60000
    expect "main: Kelto95"
    expect_tip Shutdown
    tray_picture shutdown
    expect_other_picture tray-empty tray-shutdown

    kelto_run /n
    expect_exit_code 0
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
}
