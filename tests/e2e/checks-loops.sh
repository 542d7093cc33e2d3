# End-to-end checks of what happens inside the program's nested message loops: a message box, a popup
# menu and the question before an exit each run a loop of their own that goes on dispatching clicks,
# the hotkey and timers.  Sourced by tests/e2e/run after checks.sh; uses the functions of
# checks-tray.sh too.

SCREENSAVER_POST='^user32\.PostMessageA\([0-9a-f]+,00000112,0000f140,00000000\)$'

# Force Exit on, Screensaver chosen from the Shift-click menu: the message, then the screen saver,
# and Force Exit is off afterwards (a click with Shutdown closes no window).
check_quick_menu_screensaver_with_force() {
    guarded_session
    kelto_start /f:f
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000
    quick_menu
    must_drive menu-keys up,up,enter wait-box 60000 # Screensaver, second from the bottom
    expect "text: Screensaver cannot be forced"
    must_drive click 1
    wait_calls 1 "$SCREENSAVER_POST"
    expect_tip Screensaver

    must_drive command 10 tray lbuttondown
    wait_calls 1 "$EXIT_SHUTDOWN"
    expect_no_call 'SendMessageTimeoutA'
}

# A second click and the hotkey while "Are you sure you want to exit ?" shows open no second
# question; Yes then makes one request.
check_one_question_at_a_time() {
    guarded_session
    kelto_start /f:c /h:q
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown wait-box 60000
    expect "text: Are you sure you want to exit ?"
    must_drive tray lbuttondown hotkey q sleep 3000 count-boxes
    expect "boxes: 1"
    must_drive wait-box 10000 click 6 wait-gone - Confirm 10000 no-box 3000
    wait_calls 1 "$EXIT_SHUTDOWN"
    must_drive sleep 3000
    expect_exit_requests 1
}

# A timed exit falls due while the Shift-click menu is open: one request, not a second one for the
# exit type's command that the fired timer posts.
check_timed_exit_under_quick_menu() {
    guarded_session
    kelto_start /t:3
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown sleep 300
    quick_menu
    must_drive sleep 6000
    close_menus
    wait_calls 1 "$EXIT_SHUTDOWN"
    must_drive sleep 3000
    expect_exit_requests 1
}

# Numbers longer than their six-character field are out of range, not cut to another number: a
# seven-digit timeout arms the default 30 s, a seven-digit time of day is refused.
check_long_command_line_numbers() {
    tray_trace_also SetTimer
    guarded_session
    kelto_start /t:1000000 /n
    wait_calls 1 '^user32\.SetTimer\(00000000,00000000,00007530,'
    kelto_start /a:2300000
    must_drive wait-box 60000 click 1
    expect "text: Timer not started (Invalid time ?)"
    kelto_wait
    expect_exit_code 0
}
