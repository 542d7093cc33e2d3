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

# SetTimer(main window, 0x4B01, interval, callback): the exit timer, which wakes an armed exit at least
# once a minute.
EXIT_TIMER_CALL='^user32\.SetTimer\([0-9a-f]+,00004b01,'

# The intervals in milliseconds of the program's SetTimer calls matching the pattern, one a line.
timer_intervals() {
    kelto_calls | grep -E -- "$1" | sed -E 's/^[^(]*\([0-9a-f]+,[0-9a-f]+,([0-9a-f]+),.*/\1/' |
        while read -r hex; do echo $((16#$hex)); done
}

# The exit timer's first interval in milliseconds, from its traced SetTimer call.
exit_timer_interval() {
    timer_intervals "$EXIT_TIMER_CALL" | head -n 1
}

# The tip of an armed exit of this type due at this time of the local clock (seconds since 1970): the
# date follows, as Wine's short date M/D/YYYY, when it is not today.
armed_tip() {
    local tip="Timed Exit: $1 at $(date -d "@$2" +%H:%M:%S)"
    [[ $(date -d "@$2" +%F) == "$(date +%F)" ]] || tip+=" on $(date -d "@$2" +%-m/%-d/%Y)"
    echo "$tip"
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
    [[ $(exit_timer_interval) == 2000 ]] || fail "the exit timer did not first wake when the countdown was due"
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

    # The program reads the time of day of the prefix, which is this machine's local time; whatever the
    # hour, the time means its next occurrence.
    local lead=12 due at
    due=$(($(date +%s) + lead))
    at=$(date -d "@$due" +%H%M%S)
    must_drive click-wait 103 set-text 108 "$at" click 1 wait-gone - 'Timed Exit Options' 10000 sleep 500 tray-tips
    (($(date +%s) < due)) || fail "the check was too slow to see the armed exit before $at"
    expect "tip: $(armed_tip Reboot "$due")"
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
# come when it was due, the tip's time moves five minutes on; Abort then cancels the postponed exit.
check_countdown_postpone() {
    relay_also SetTimer
    guarded_session
    kelto_start /t:10 /w:10
    # The count and the tip before and after in one run of the driver: a tick may come between, no more.
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown \
        wait-dialog Countdown 60000 get-text 109 tray-tips click-wait 118 get-text 109 tray-tips
    local armed=$SECONDS before after
    before=$(shown_seconds "$OUT" 1)
    after=$(shown_seconds "$OUT" 2)
    note "the count went from $before to $after seconds"
    ((after - before >= 297 && after - before <= 300)) || fail "Postpone took the count from $before to $after"
    local tips due moved
    tips=$(sed -n 's/^tip: Timed Exit: Shutdown at \([0-9:]*\).*$/\1/p' <<<"$OUT")
    [[ $(wc -l <<<"$tips") == 2 ]] || fail "no armed tip before and after Postpone"
    due=$(date -d "$(sed -n 1p <<<"$tips")" +%s)
    moved=$(date -d "$(sed -n 2p <<<"$tips")" +%s)
    # Across midnight the second time reads as today's: a day earlier.
    (((moved - due + 86400) % 86400 == 300)) || fail "Postpone moved the tip from $(echo $tips)"
    # Well past the time the exit was first due; the window is still there, counting.
    local wait=$((armed + 14 - SECONDS))
    ((wait > 0)) || wait=0
    must_drive sleep $((wait * 1000)) wait-dialog Countdown 5000 get-text 109
    local later
    later=$(shown_seconds "$OUT")
    ((later < after && later > after - 60)) || fail "the count went from $after to $later"
    expect_no_call 'ExitWindowsEx'

    must_drive click 113 wait-gone - Countdown 10000 sleep 1000 tray-tips
    expect "tip: Shutdown"
    expect_no_call 'ExitWindowsEx'
    kelto_running || fail "Kelto95.exe ended after Abort"
}

# A timeout of ten minutes and a time of day a day away: the exit timer wakes the program at least once
# a minute, and no SetTimer asks Windows 95 for an interval above 65,535 ms, which nothing documents it
# honours. The tips say which exit comes when.
check_timer_intervals() {
    relay_also SetTimer
    guarded_session
    kelto_start /t:600 /w:30
    local armed=$(($(date +%s) + 600))
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown sleep 1000 tray-tips
    saw "tip: $(armed_tip Shutdown "$armed")" || saw "tip: $(armed_tip Shutdown $((armed + 1)))" ||
        saw "tip: $(armed_tip Shutdown $((armed + 2)))" || fail "no armed tip for $(date -d "@$armed" +%T)"
    must_drive command 130
    kelto_wait
    # An hour ago means tomorrow, which the tip says with the date.
    local tomorrow=$(($(date +%s) + 23 * 3600))
    kelto_start "/a:$(date -d "@$tomorrow" +%H%M%S)"
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 sleep 1000 tray-tips command 130
    expect "tip: $(armed_tip Shutdown "$tomorrow")"
    kelto_wait
    local intervals
    intervals=$(RELAY=$WORK/relay-1.log timer_intervals '^user32\.SetTimer\('; timer_intervals '^user32\.SetTimer\(')
    note "intervals asked for: $(echo $intervals)"
    [[ -n $intervals ]] || fail "no SetTimer in the traces"
    grep -qx 60000 <<<"$intervals" || fail "the exit timer never woke in a minute"
    while read -r interval; do
        ((interval <= 65535)) || fail "SetTimer asked for $interval ms"
    done <<<"$intervals"
    expect_no_call 'ExitWindowsEx'
}

# A time of day a few seconds ahead from the command line: armed from the start, the tip says which
# exit comes when, and the request comes at that time, whatever the hour.
check_time_of_day_from_the_line() {
    relay_also SetTimer
    guarded_session
    local lead=10 due
    due=$(($(date +%s) + lead))
    kelto_start "/a:$(date -d "@$due" +%H%M%S)" /e:p
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 sleep 500 tray-tips
    (($(date +%s) < due)) || fail "the check was too slow to see the armed exit"
    expect "tip: $(armed_tip Power-off "$due")"
    expect_no_call 'ExitWindowsEx'
    # Seen on this machine's clock, which is the prefix's: not before its time, and soon after it.
    wait_calls 1 '^user32\.ExitWindowsEx\(00000009,00000000\)$'
    local seen
    seen=$(date +%s)
    note "the request was seen at $(date -d "@$seen" +%T), due at $(date -d "@$due" +%T)"
    ((seen >= due && seen <= due + 5)) || fail "the request came at $(date -d "@$seen" +%T)"
    kelto_running || fail "the resident program ended after the timed exit"
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

# A job for "exit when a program ends": a copy of the driver named JOB.EXE that runs for $1 ms, as the
# process list shows it.
start_job() {
    cp "$C_DRIVE/driver.exe" "$C_DRIVE/job.exe"
    timeout 300 wine 'C:\job.exe' mark 'C:\job.log' job "$1" >/dev/null 2>>"$WORK/wine.err" &
    wait_log job start
}

# Exit when a program ends, from the command line: while the job runs the exit is armed and the tip
# says for which program; when it ends the countdown opens, and the exit request comes after it, not
# at once. A program that is not running is refused with its name as typed, and nothing is armed.
check_exit_when_a_program_ends() {
    guarded_session
    kelto_start /p:NotHere.exe
    must_drive wait-box 60000
    expect "text: Program not running: NotHere.exe"
    must_drive click 1
    kelto_wait 60
    expect_exit_code 0

    start_job 8000
    kelto_start /p:job.exe /w:3
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 sleep 500 tray-tips
    expect "tip: Timed Exit: Shutdown when JOB.EXE"
    wait_log job end
    expect_no_call 'ExitWindowsEx'
    must_drive wait-dialog Countdown 10000
    local opened=$SECONDS
    expect_no_call 'ExitWindowsEx'
    wait_calls 1 '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    note "the request came $((SECONDS - opened)) s after the countdown opened"
    ((SECONDS - opened >= 2)) || fail "the exit came with the program's end, not after its countdown"
}

# The same from Timed Exit Options: the list names the job, OK arms for it with its tip, and Abort in
# the countdown after its end cancels the exit.
check_exit_when_a_program_ends_from_the_dialog() {
    guarded_session
    start_job 6000
    kelto_start
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 command 170 \
        wait-dialog 'Timed Exit Options' 60000 click-wait 122 combo-choose 123 JOB.EXE click 1 \
        wait-gone - 'Timed Exit Options' 10000 sleep 500 tray-tips
    expect "item: JOB.EXE"
    saw "item: KELTO95.EXE" && fail "the list names Kelto95 itself"
    expect "tip: Timed Exit: Shutdown when JOB.EXE"
    wait_log job end
    must_drive wait-dialog Countdown 10000 click 113 wait-gone - Countdown 10000 sleep 1000 tray-tips
    expect "tip: Shutdown"
    must_drive sleep 3000
    expect_no_call 'ExitWindowsEx'
    kelto_running || fail "Kelto95.exe ended after Abort"
}
