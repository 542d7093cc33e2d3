# End-to-end checks of the timed exit: the timeout, the countdown window and its Abort, and the
# "Timed Exit Options" dialog.  Sourced by tests/e2e/run after checks.sh, whose helpers they use.
#
# When a timer was set and when it fired are read from the relay trace's time stamps; SetTimer is
# traced too for these checks, and its interval argument shows the delay the program computed.

# Trace these functions as well, in this check's prefix; before the session starts.
relay_also() {
    sed -i "s/^\"RelayInclude\"=\"/&$1;/" "$WINEPREFIX/user.reg"
    grep -q "^\"RelayInclude\"=\"$1;" "$WINEPREFIX/user.reg" || fail "cannot add $1 to the relay trace"
}

# The time stamp, in milliseconds, of the first call of the program's process matching the extended
# regular expression (written as kelto_calls shows calls: "module.Function(arguments)").
call_ms() {
    local pid
    pid=$(kelto_pid)
    grep -E "^[0-9.]+:$pid:[0-9a-f]{4}:Call " "$RELAY" |
        PATTERN=$1 awk '{
            call = $0; sub(/^[0-9.]+:[0-9a-f]+:[0-9a-f]+:Call /, "", call); sub(/ ret=[0-9a-f]+$/, "", call)
            if (call ~ ENVIRON["PATTERN"]) { split($0, field, ":"); printf "%.0f\n", field[1] * 1000; exit }
        }'
}

# SetTimer(window 0, id 0, interval, callback): the program's thread timers, of which the exit timer
# is the first to be set.
EXIT_TIMER_CALL='^user32\.SetTimer\(00000000,00000000,'

# The exit timer's interval in milliseconds, from its traced SetTimer call.
exit_timer_interval() {
    kelto_calls | grep -m1 -E -- "$EXIT_TIMER_CALL" | sed -E 's/^[^(]*\(00000000,00000000,([0-9a-f]+),.*/\1/' |
        { read -r hex && echo $((16#$hex)); }
}

# The exit request came this long after the exit timer was set: at least $1 ms, at most $2 ms.
expect_fired_after() {
    local armed fired
    armed=$(call_ms "$EXIT_TIMER_CALL")
    fired=$(call_ms '^user32\.ExitWindowsEx\(')
    [[ -n $armed && -n $fired ]] || fail "no SetTimer or no ExitWindowsEx in the trace"
    local after=$((fired - armed))
    note "the exit request came $after ms after the exit timer was set"
    ((after >= $1)) || fail "the exit request came $after ms after the timer was set, before $1 ms"
    ((after <= $2)) || fail "the exit request came $after ms after the timer was set, later than $2 ms"
}

# /t:3 /n waits three seconds, then makes the exit request and ends.
check_timed_exit_timeout() {
    relay_also SetTimer
    guarded_session
    kelto_run /t:3 /n
    expect_exit_code 0
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    local interval
    interval=$(exit_timer_interval)
    note "exit timer interval: $interval ms"
    [[ $interval == 3000 ]] || fail "the exit timer was set for $interval ms, not 3000"
    # Generous above: the emulated process may be slow to get its turn.
    expect_fired_after 2900 8000
}

# The countdown window opens before a timed exit with the stored warning text and the seconds left;
# Abort cancels the exit, and the one-shot program goes on running, without an icon.
check_countdown_abort() {
    store WarningText 'Save your work now'
    relay_also SetTimer
    guarded_session
    kelto_start /t:4 /w:2 /n
    must_drive wait-dialog Countdown 60000 get-text 116 get-text 109 click 113 wait-gone - Countdown 10000
    expect "116: Save your work now"
    saw "109: 00:02" || saw "109: 00:01" || fail "the countdown showed no count of 00:02 or 00:01"
    # Well past the time the exit was due.
    must_drive sleep 5000 has-main tray-tips
    expect "main: yes"
    expect "tips: 0"
    kelto_running || fail "Kelto95.exe ended after Abort"
    [[ $(exit_timer_interval) == 4000 ]] || fail "the exit timer was not set for 4000 ms"
    expect_no_call 'ExitWindowsEx'
}

# The "Timed Exit Options" dialog: a timeout of 0 is refused with "Invalid time" and the dialog stays;
# a time of day a few seconds ahead arms the timed exit at once, shown in the tray, and it fires then.
check_timed_exit_dialog() {
    relay_also SetTimer
    guarded_session
    kelto_start /e:b
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 command 170 \
        wait-dialog 'Timed Exit Options' 60000 click-wait 102 set-text 107 0 click 1 wait-dialog Error 30000
    expect "text: Invalid time"
    must_drive click 1 wait-gone - Error 10000 wait-dialog 'Timed Exit Options' 5000
    expect "caption: Timed Exit Options"
    expect_no_call "$EXIT_TIMER_CALL"

    # The program reads the time of day of the prefix, which is this machine's local time.
    local lead=12 due at
    due=$(($(date +%s) + lead))
    at=$(date -d "@$due" +%H%M%S)
    must_drive click-wait 103 set-text 108 "$at" click 1 wait-gone - 'Timed Exit Options' 10000 sleep 500 tray-tips
    (($(date +%s) < due)) || fail "the check was too slow to see the armed exit before $at"
    expect "tip: Timed Exit"
    expect_no_call 'ExitWindowsEx'
    wait_calls 1 '^user32\.ExitWindowsEx\(00000002,00000000\)$'
    local interval
    interval=$(exit_timer_interval)
    note "armed for $at: exit timer interval $interval ms"
    # Set between the dialog's OK and the end of the driver's run, some seconds before $at.
    ((interval > 1000 && interval <= lead * 1000)) || fail "an exit at $at was set $interval ms ahead"
    expect_fired_after $((interval - 100)) $((interval + 5000))
    kelto_running || fail "the resident program ended after the timed exit"
}

# Seconds shown as mm:ss by the countdown in the driver's output $1, in its line number $2 of those
# ("109: 05:07" gives 307).
shown_seconds() {
    local shown
    shown=$(sed -n "s/^109: \([0-9]*\):\([0-9][0-9]\)$/\1 \2/p" <<<"$1" | sed -n "${2:-1}p")
    [[ -n $shown ]] || fail "no count in the countdown"
    set -- $shown
    echo $((10#$1 * 60 + 10#$2))
}

# Postpone in the open countdown: five minutes more at once, the window counts on, the exit does not
# come when it was due, the icon still says "Timed Exit"; Abort then cancels the postponed exit.
check_countdown_postpone() {
    relay_also SetTimer
    guarded_session
    kelto_start /t:10 /w:10
    # The count before and after in one run of the driver: a tick may come between, no more.
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown \
        wait-dialog Countdown 60000 get-text 109 click-wait 118 get-text 109 tray-tips
    local armed=$SECONDS before after
    before=$(shown_seconds "$OUT" 1)
    after=$(shown_seconds "$OUT" 2)
    note "the count went from $before to $after seconds"
    ((after - before >= 297 && after - before <= 300)) || fail "Postpone took the count from $before to $after"
    expect "tip: Timed Exit"
    # Well past the time the exit was first due; the window is still there, counting.
    local wait=$((armed + 14 - SECONDS))
    ((wait > 0)) || wait=0
    must_drive sleep $((wait * 1000)) wait-dialog Countdown 5000 get-text 109
    local later
    later=$(shown_seconds "$OUT")
    ((later < after && later > after - 60)) || fail "the count went from $after to $later"
    expect_no_call 'ExitWindowsEx'
    # The exit timer made anew for what was left plus 300,000 ms.
    local intervals
    intervals=$(kelto_calls | grep -E -- "$EXIT_TIMER_CALL" |
        sed -E 's/^[^(]*\(00000000,00000000,([0-9a-f]+),.*/\1/' | while read -r hex; do echo $((16#$hex)); done)
    note "timer intervals: $(echo $intervals)"
    grep -qxE '30[0-9]{4}' <<<"$intervals" || fail "no exit timer of 300,000 to 309,999 ms was set"

    must_drive click 113 wait-gone - Countdown 10000 sleep 1000 tray-tips
    expect "tip: Shutdown"
    expect_no_call 'ExitWindowsEx'
    kelto_running || fail "Kelto95.exe ended after Abort"
}

# A time of day that "Timed Exit Options" refused, then Cancel and a save in "Change Settings...": the
# refused time is not stored, and a plain start over what was saved stays resident without a box.
check_timed_exit_refused_not_saved() {
    local key=${SETTINGS#HKLM\\}
    start_session
    kelto_start
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 command 170 \
        wait-dialog 'Timed Exit Options' 60000 click-wait 103 set-text 108 999999 click 1 wait-dialog Error 30000
    expect "text: Invalid time"
    must_drive click 1 wait-gone - Error 10000 wait-dialog 'Timed Exit Options' 5000 click 2 \
        wait-gone - 'Timed Exit Options' 10000 command 230 wait-dialog Registry 30000 click-wait 263 click 1 \
        wait-dialog Ok 30000
    expect "text: Registry settings changed"
    must_drive click 1 wait-gone - Ok 10000 reg-get HKLM "$key" AtFlag reg-get HKLM "$key" AtValue command 130
    expect "reg AtFlag: 0"
    expect "reg AtValue: 230000"
    kelto_wait 60
    expect_exit_code 0

    kelto_start
    must_drive main-window 60000 no-box 3000
    expect "main: Kelto95"
    kelto_running || fail "Kelto95.exe ended at the start over the saved settings"
}
