# End-to-end checks of what happens inside the program's nested message loops: a message box, a popup
# menu and the question before an exit each run a loop of their own that goes on dispatching clicks,
# the hotkey and timers.  Sourced by tests/e2e/run after checks.sh; uses the functions of
# checks-tray.sh too.

SCREENSAVER_POST='^user32\.PostMessageA\([0-9a-f]+,00000112,0000f140,00000000\)$'

# Force Exit on, Screensaver chosen from the Shift-click menu: the message, then the screen saver
# once, also when the icon is clicked under the message; Force Exit is off afterwards (a click with
# Shutdown closes no window).
check_quick_menu_screensaver_with_force() {
    guarded_session
    kelto_start /f:f
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000
    quick_menu
    must_drive menu-keys up,up,enter wait-box 60000 # Screensaver, second from the bottom
    expect "text: Screensaver cannot be forced"
    # A plain click under the message is part of the same exit, not a second one.
    must_drive tray lbuttondown sleep 2000 count-boxes
    expect "boxes: 1"
    must_drive wait-box 10000 click 1
    wait_calls 1 "$SCREENSAVER_POST"
    must_drive sleep 2000
    expect_call_count 1 "$SCREENSAVER_POST"
    expect_tip Screensaver

    must_drive command 10 tray lbuttondown
    wait_calls 1 "$EXIT_SHUTDOWN"
    expect_no_call 'SendMessageTimeoutA'
}

# Screensaver chosen from the Shift-click menu with Force Exit on; while "Screensaver cannot be
# forced" shows, Shutdown is chosen from the right-click menu: OK then starts the screen saver once,
# the exit the quick menu chose, and requests no shutdown. Shutdown stays selected.
check_quick_menu_choice_stays_its_own() {
    guarded_session
    kelto_start /f:f
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000
    quick_menu
    must_drive menu-keys up,up,enter wait-box 60000
    expect "text: Screensaver cannot be forced"
    must_drive tray rbuttondown wait-window '#32768' - 10000 menu-keys down,enter sleep 1000 count-boxes
    expect "boxes: 1"
    expect_tip Shutdown among
    must_drive wait-box 10000 click 1
    wait_calls 1 "$SCREENSAVER_POST"
    must_drive sleep 2000
    expect_call_count 1 "$SCREENSAVER_POST"
    expect_no_call 'ExitWindowsEx'
}

# A second click and the hotkey while a program runs before the exit: the wait takes no message, and
# what queued meanwhile is no new ask once the exit is done. One run, one screen saver.
check_click_while_a_program_runs_before_the_exit() {
    store ExitType 80
    store RunBeforeExit 1
    store ProgramsToRun 'C:\driver.exe mark C:\run.log first 3000;'
    guarded_session
    kelto_start /h:q
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown
    wait_log run 'start first'
    must_drive tray lbuttondown hotkey q
    wait_log run 'end first'
    wait_calls 1 "$SCREENSAVER_POST"
    must_drive sleep 3000
    expect_call_count 1 '^KERNEL32\.CreateProcessA\('
    expect_call_count 1 "$SCREENSAVER_POST"
    [[ $(log_of run | grep -c ' start first') == 1 ]] || fail "the program ran more than once"
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
    wait_calls 1 '^user32\.SetTimer\([0-9a-f]{8},00004b01,00007530,'
    kelto_start /a:2300000
    must_drive wait-box 60000 click 1
    expect "text: Timer not started (Invalid time ?)"
    kelto_wait
    expect_exit_code 0
}

# Change Settings while its "Registry" dialog is open brings that one forward: one dialog, and one
# Cancel closes it.
check_registry_dialog_twice() {
    start_session
    kelto_start
    must_drive main-window 60000 command 230 wait-dialog Registry 60000 command 230 sleep 2000 count-boxes
    expect "boxes: 1"
    must_drive wait-dialog Registry 5000 click 2 wait-gone - Registry 10000 no-box 2000 has-main
    expect "main: yes"
}

# A second OK pressed under the box that reports the first one's outcome is not taken: one box, one
# write, and the dialog ends with that box.
check_second_ok_under_outcome() {
    own_desktop_folder
    tray_trace_also CoCreateInstance
    start_session
    kelto_start
    must_drive main-window 60000 command 230 wait-dialog Registry 60000 click-wait 263 click 1 \
        wait-dialog Ok 30000 wait-dialog Registry 5000 click 1 sleep 2000 count-boxes
    expect "boxes: 2"
    must_drive wait-dialog Ok 5000 click 1 wait-gone - Ok 10000 wait-gone - Registry 10000 no-box 3000

    must_drive command 200 wait-dialog Shortcut 60000 click 1 wait-dialog Ok 30000 \
        wait-dialog Shortcut 5000 click 1 sleep 2000 count-boxes
    expect "boxes: 2"
    must_drive wait-dialog Ok 5000 click 1 wait-gone - Ok 10000 wait-gone - Shortcut 10000 no-box 3000
    # Wine's ole32 hands the call on to combase, where the trace sees it.
    expect_call_count 1 '^(ole32|combase)\.CoCreateInstance\('
}

# The about box open over an armed timed exit: a click on the icon still cancels it, and one left to
# fall due still makes its request.
check_armed_exit_under_about() {
    guarded_session
    kelto_start /t:60
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown
    expect_tip "$ARMED_SHUTDOWN"
    must_drive command 120 wait-dialog About 60000 tray lbuttondown
    expect_tip Shutdown
    must_drive wait-dialog About 5000 click 1 wait-gone - About 10000 command 130
    kelto_wait

    # Wine's tray keeps the tip of the first run's icon.
    kelto_start /t:8
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown
    expect_tip "$ARMED_SHUTDOWN" among
    must_drive command 120 wait-dialog About 60000
    wait_calls 1 "$EXIT_SHUTDOWN"
    must_drive sleep 2000
    expect_exit_requests 1
}

# "B" typed in the countdown window of an armed timed exit selects nothing: the exit-type commands are
# grayed while armed, and their accelerator keys are closed too.
check_accelerator_in_countdown() {
    guarded_session
    kelto_start /t:8 /w:6
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown \
        wait-dialog Countdown 30000 type 116 B
    expect_tip "$ARMED_SHUTDOWN"
    wait_calls 1 "$EXIT_SHUTDOWN"
    expect_no_call 'ExitWindowsEx\(00000002'
}
