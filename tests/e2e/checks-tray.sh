# End-to-end checks of the tray icon, its two menus and the "Set Hotkey" dialog.  Sourced by
# tests/e2e/run after checks.sh, whose helpers they use.
#
# Wine draws the menus inside the program's own process, so their check marks cannot be read from
# the driver: a mark is shown by what the flag does, and by comparing pictures of the menu before and
# after.  The tray icon's picture is compared the same way, cut from the taskbar's right end.

EXIT_REBOOT='^user32\.ExitWindowsEx\(00000002,00000000\)$'
EXIT_SHUTDOWN='^user32\.ExitWindowsEx\(00000001,00000000\)$'

# Trace this function as well, in this check's prefix; before the session starts.
tray_trace_also() {
    sed -i "s/^\"RelayInclude\"=\"/&$1;/" "$WINEPREFIX/user.reg"
    grep -q "^\"RelayInclude\"=\"$1;" "$WINEPREFIX/user.reg" || fail "cannot add $1 to the relay trace"
}

# A picture of the whole screen, $WORK/$1.png.
screen_shot() { import -window root "$WORK/$1.png" || fail "cannot take a picture of the screen"; }

# The tray's end of the taskbar, where the icon is drawn, as $WORK/tray-$1.png.
tray_picture() {
    screen_shot "screen-$1"
    convert "$WORK/screen-$1.png" -gravity SouthEast -crop 40x24+0+0 +repage "$WORK/tray-$1.png" ||
        fail "cannot cut the tray out of the screen"
}

# The number of pixels in which two pictures of $WORK differ.
pixels_differing() {
    local n
    n=$(compare -metric AE "$WORK/$1.png" "$WORK/$2.png" null: 2>&1)
    [[ $n =~ ^[0-9]+$ ]] || {
        echo "cannot compare $1 with $2: $n"
        return 1
    }
    echo "$n"
}

expect_same_picture() {
    local n
    n=$(pixels_differing "$1" "$2") || fail "$n"
    [[ $n == 0 ]] || fail "$1 and $2 differ in $n pixels"
    note "$1 and $2 are the same picture"
}

expect_other_picture() {
    local n
    n=$(pixels_differing "$1" "$2") || fail "$n"
    [[ $n != 0 ]] || fail "$1 and $2 are the same picture"
    note "$1 and $2 differ in $n pixels"
}

# The tray's tip, read until the shell shows this one, as its only tip; with "among" as $2, as one of
# its tips (Wine's tray keeps a deleted icon's tip).  Each read is a Wine process of its own.
expect_tip() {
    local try
    for try in 1 2 3; do
        must_drive sleep 500 tray-tips
        grep -qxE -- "tip: $1" <<<"$OUT" && { [[ ${2:-} == among ]] || saw "tips: 1"; } && return 0
    done
    fail "the tray's tip is not '$1'"
}

# The tip of an armed exit of this type, as a pattern for expect_tip: "Timed Exit: Shutdown at 12:00:30".
ARMED_SHUTDOWN='Timed Exit: Shutdown at [0-9]{2}:[0-9]{2}:[0-9]{2}( on .*)?'

# Close whatever menu is open, and wait until it has gone: a tray message posted while the old menu
# still runs would reach that menu's loop.
close_menus() { must_drive close-menus 20000; }

# A left click on the icon with Shift held: the exit-type menu.
quick_menu() {
    must_drive key-down shift tray lbuttondown wait-window '#32768' - 10000 key-up shift
}

# The program has made exactly $1 calls matching the regular expression $2.
expect_call_count() {
    local n
    n=$(kelto_calls | grep -cE -- "$2")
    [[ $n == "$1" ]] || fail "$n calls matching '$2', expected $1"
    note "$n calls matching '$2' so far"
}

expect_exit_requests() { expect_call_count "$1" '^user32\.ExitWindowsEx\('; }

# A guarded session with the tray requests traced, its empty tray pictured (tray-empty), then
# Kelto95.exe started with the arguments and its main window there.
start_in_pictured_tray() {
    tray_trace_also Shell_NotifyIconA
    guarded_session
    must_drive wait-window Shell_TrayWnd - 60000 sleep 1000
    tray_picture empty
    kelto_start "$@"
    must_drive main-window 60000
}

# The icon and its tip follow the exit type, whether it is chosen by a command, by a letter typed at
# the program or from the right-click menu; the Shift-click menu selects and performs its choice,
# and when dismissed performs nothing; a flag toggled in the right-click menu acts and shows checked
# the next time; Exit Program ends the program and takes its icon out of the tray.
check_tray_icon_and_menus() {
    start_in_pictured_tray
    expect_tip Shutdown
    tray_picture shutdown
    expect_other_picture tray-empty tray-shutdown

    must_drive command 20 # IDM_REBOOT
    expect_tip Reboot
    tray_picture reboot
    expect_other_picture tray-shutdown tray-reboot
    must_drive post-char D
    expect_tip "Exit to DOS"
    tray_picture dos
    expect_other_picture tray-reboot tray-dos
    # S stands for Standby and for Create Shortcut; the first entry wins, and opens no dialog.
    must_drive post-char S no-box 3000
    expect_tip Standby
    must_drive post-char B
    expect_tip Reboot
    tray_picture reboot-again
    expect_same_picture tray-reboot tray-reboot-again
    must_drive tray rbuttondown menu-keys down,enter wait-gone '#32768' - 10000 # Shutdown, at the top
    expect_tip Shutdown
    tray_picture shutdown-again
    expect_same_picture tray-shutdown tray-shutdown-again
    expect_exit_requests 0

    # The Shift-click menu: Reboot, its second item, is selected and performed at once.
    quick_menu
    screen_shot quick-menu
    must_drive menu-keys down,down,enter
    wait_calls 1 "$EXIT_REBOOT"
    end_session_done
    expect_tip Reboot

    # Dismissed, it performs nothing, not even with the next command: Confirm Exit, the second item of
    # Toggles (four up from the bottom), which would ask its question if it performed the exit.
    quick_menu
    close_menus
    must_drive tray rbuttondown menu-keys up,up,up,up,right sleep 1000
    screen_shot toggles-before
    must_drive menu-keys down,enter wait-gone '#32768' - 10000 no-box 3000
    expect_exit_requests 1

    # Confirm Exit is on: a click asks first, and No stops the exit.
    must_drive tray lbuttondown wait-box 60000 click 7 wait-gone - Confirm 10000
    expect "caption: Confirm"
    expect "text: Are you sure you want to exit ?"
    expect_exit_requests 1

    # The Toggles menu opened again differs from the one before only by a mark at Confirm Exit.
    must_drive tray rbuttondown menu-keys up,up,up,up,right sleep 1000
    screen_shot toggles-after
    close_menus
    local n box
    n=$(pixels_differing toggles-before toggles-after) || fail "$n"
    compare "$WORK/toggles-before.png" "$WORK/toggles-after.png" -compose src \
        -highlight-color black -lowlight-color white "$WORK/toggles-difference.png" 2>/dev/null
    box=$(convert "$WORK/toggles-difference.png" -trim -format '%wx%h%O' info:)
    note "the Toggles menu changed in $n pixels, within $box"
    ((n > 0)) || fail "the Toggles menu did not change"
    if ! [[ $box =~ ^([0-9]+)x([0-9]+) ]] || ((BASH_REMATCH[1] > 16 || BASH_REMATCH[2] > 16)); then
        fail "the Toggles menu changed in more than one mark's place ($box)"
    fi

    must_drive tray rbuttondown menu-keys up,enter # Exit Program
    kelto_wait 60
    expect_exit_code 0
    expect_call '^shell32\.Shell_NotifyIconA\(00000002,'
    must_drive sleep 1000
    tray_picture gone
    expect_same_picture tray-empty tray-gone
}

# "Set Hotkey": an empty letter is refused and the dialog stays; a letter typed there, then OK,
# registers Ctrl+Alt+letter, which then performs the exit.
check_tray_hotkey_dialog() {
    guarded_session
    kelto_start
    must_drive main-window 60000 sleep 1000 hotkey k sleep 3000
    expect_no_call 'ExitWindowsEx'

    must_drive command 160 wait-dialog 'Set Hotkey' 60000 is-checked 242 click 242 sleep 500 \
        is-checked 242 set-text 241 "" click 1 wait-dialog Error 30000
    expect "242: unchecked"
    expect "242: checked"
    expect "text: Please enter a letter (A-Z)"
    must_drive click 1 wait-gone - Error 10000 wait-dialog 'Set Hotkey' 5000 type 241 k get-text 241
    expect "caption: Set Hotkey"
    expect "241: K" # the edit takes capitals only
    screen_shot hotkey-dialog
    must_drive click 1 wait-gone - 'Set Hotkey' 10000 hotkey k
    wait_calls 1 "$EXIT_SHUTDOWN"
    kelto_running || fail "Kelto95.exe ended"
}

# A restarting shell's new taskbar has no icons: "TaskbarCreated" brings the program's back with the
# picture and tip of the moment, also while a timed exit is armed; never after Hide Tray Icon, nor
# with /f:h.  Wine's tray keeps a deleted icon's tip, so an icon's presence is read from pictures of
# the tray and from the program's own add requests.
expect_icon_adds() { expect_call_count "$1" '^shell32\.Shell_NotifyIconA\(00000000,'; }

check_tray_icon_after_taskbar_restart() {
    start_in_pictured_tray /t:600 /e:b
    expect_tip Reboot
    tray_picture reboot
    must_drive tray-delete sleep 1000
    tray_picture lost
    expect_same_picture tray-empty tray-lost
    must_drive taskbar-created sleep 1000
    tray_picture back
    expect_same_picture tray-reboot tray-back
    expect_icon_adds 2
    expect_tip Reboot among

    must_drive tray lbuttondown sleep 1000 # arms the timeout
    tray_picture armed
    expect_other_picture tray-reboot tray-armed
    must_drive tray-delete sleep 1000 taskbar-created sleep 1000
    tray_picture armed-back
    expect_same_picture tray-armed tray-armed-back
    expect_icon_adds 3
    expect_tip "Timed Exit: Reboot at .*" among
    must_drive tray lbuttondown sleep 1000 # cancels it
    tray_picture cancelled
    expect_same_picture tray-reboot tray-cancelled

    must_drive command 220 wait-box 60000 click 6 wait-gone - Confirm 10000 sleep 1000 taskbar-created sleep 3000
    tray_picture hidden
    expect_same_picture tray-empty tray-hidden
    expect_icon_adds 3
    must_drive command 130
    kelto_wait 60

    kelto_start /f:h
    must_drive main-window 60000 taskbar-created sleep 3000
    tray_picture never
    expect_same_picture tray-empty tray-never
    expect_icon_adds 0
    expect_exit_requests 0
}
