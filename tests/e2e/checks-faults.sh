# Faults the program meets in the field: stored values of the wrong type or too long, a system.ini
# without a shell line, a program list naming what does not exist, and many hung applications under
# Force Exit.  Sourced by tests/e2e/run beside checks.sh, whose helpers these checks use.  Each check
# runs a table of rows in one session, one line per row, and names the row that fails.

# ---- rows ---------------------------------------------------------------------------------------

FAULT_ROWS=0

# Run one row, a function with its arguments, in a subshell: a failing expectation ends the row, and
# the check fails naming it.  Each row's runs get relay logs of their own (run numbers from row*10).
fault_row() {
    local name=$1 start=$SECONDS
    shift
    FAULT_ROWS=$((FAULT_ROWS + 1))
    RUNS=$((FAULT_ROWS * 10))
    note "-- row $FAULT_ROWS: $name"
    rm -f "$WORK/row.failure"
    if (
        fail() {
            echo "$*" >"$WORK/row.failure"
            exit 1
        }
        "$@"
    ); then
        echo "   row $FAULT_ROWS ok ($((SECONDS - start)) s): $name"
    else
        fail "row $FAULT_ROWS ($name): $(cat "$WORK/row.failure" 2>/dev/null || echo 'ended early')"
    fi
}

# ---- stored values ------------------------------------------------------------------------------

FAULT_KEY='SOFTWARE\Garvik\Kelto95'

# A string value as a line of a .reg file.
fault_sz() {
    local data=${2//\\/\\\\}
    printf '"%s"="%s"' "$1" "${data//\"/\\\"}"
}

# Replace the program's key by one holding exactly these .reg value lines ("Name"=dword:..., hex:...,
# or fault_sz's), in one reg.exe run.
fault_store_only() {
    local file=$WORK/settings-$RUNS.reg
    {
        printf 'REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\%s]\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n' "$FAULT_KEY" "$FAULT_KEY"
        printf '%s\r\n' "$@"
    } >"$file"
    timeout 60 wine reg import "Z:${file//\//\\}" >/dev/null 2>>"$WORK/wine.err" || fail "cannot import $file"
}

# A value in one short line: control bytes in hex, a long text by its start and length.
fault_shown() {
    if [[ $1 == *[![:print:]]* ]]; then
        printf 'bytes%s' "$(printf '%s' "$1" | od -An -tx1)"
    elif ((${#1} > 24)); then
        printf "'%s...', %d characters" "${1:0:20}" ${#1}
    else
        printf "'%s'" "$1"
    fi
}

# The stored values read back as the program's queries see them: a value the import did not store
# would leave the start-up value in place too, and a row could pass without its fault.
fault_expect_stored() {
    local args=() pair
    for pair in "$@"; do args+=(reg-get HKLM "$FAULT_KEY" "${pair%%=*}"); done
    drive "${args[@]}" >/dev/null || fail "driver failed: ${args[*]}"
    for pair in "$@"; do
        expect "reg ${pair%%=*}: ${pair#*=}"
        note "stored ${pair%%=*}: $(fault_shown "${pair#*=}")"
    done
}

# A one-shot run, which ends by itself with exit code 0.
fault_one_shot() {
    kelto_run "$@"
    expect_exit_code 0
}

fault_exittype_too_long() {
    # Cut to six characters it would read as 20, Reboot.
    fault_store_only "$(fault_sz ExitType 20xxxxx)"
    fault_expect_stored "ExitType=20xxxxx"
    fault_one_shot /n
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    expect_no_call '^user32\.ExitWindowsEx\(00000002,'
}

fault_exittype_dword_one_shot() {
    fault_store_only '"ExitType"=dword:00000014'
    fault_expect_stored "ExitType="$'\x14'
    fault_one_shot /n
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    expect_no_call '^(user32\.ExitWindowsEx\(00000002|KERNEL32\.WinExec|KERNEL32\.SetSystemPowerState|user32\.BroadcastSystemMessage)'
}

# How many of the tray's icons show this tip.  Wine's tray keeps the icon of an earlier row's program
# for a while after it ended, so a row counts the icons its own program adds.
fault_tip_count() {
    must_drive tray-tips >/dev/null
    grep -cxF "tip: $1" <<<"$OUT"
}

# One more icon with this tip than $2 before.
fault_expect_new_tip() {
    local try
    for try in 1 2 3 4 5 6; do
        (($(fault_tip_count "$1") == $2 + 1)) && return 0
        must_drive sleep 500
    done
    fail "no new tray icon with the tip '$1' ($2 before, $(fault_tip_count "$1") now)"
}

# A stored exit type that is no exit type leaves Shutdown: the resident program shows its icon and tip,
# never a process without one.
fault_exittype_resident_shutdown() {
    fault_store_only "$1"
    local before
    before=$(fault_tip_count Shutdown)
    kelto_start
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000
    expect "main: Kelto95"
    fault_expect_new_tip Shutdown "$before"
    must_drive command 130 # IDM_EXITPROGRAM
    kelto_wait 60
    expect_exit_code 0
}

# 130 is the Exit Program command: stored as the exit type it would end the program when a timed exit
# armed by a click is cancelled by its firing.  Shutdown instead: the request comes, the program stays.
fault_exittype_command_id() {
    fault_store_only "$(fault_sz ExitType 130)" "$(fault_sz TimerFlag 1)" "$(fault_sz TimerValue 3)"
    fault_expect_stored ExitType=130
    local before
    before=$(fault_tip_count Shutdown)
    kelto_start
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000
    fault_expect_new_tip Shutdown "$before"
    must_drive tray lbuttondown
    wait_calls 1 "$EXIT_SHUTDOWN"
    must_drive sleep 2000
    kelto_running || fail "the program ended after the timed exit"
    fault_expect_new_tip Shutdown "$before"
    must_drive command 130
    kelto_wait 60
    expect_exit_code 0
}

# Binary data without a terminator is read as the text it spells.
fault_exittype_binary() {
    fault_store_only '"ExitType"=hex:32,30'
    fault_expect_stored "ExitType=20"
    fault_one_shot /n
    expect_call '^user32\.ExitWindowsEx\(00000002,00000000\)$'
}

# RunBeforeExit as a DWORD 1 reads as the byte 01, not a number: the list is not run.
fault_runbefore_dword() {
    fault_store_only '"RunBeforeExit"=dword:00000001' "$(fault_sz ProgramsToRun 'C:\driver.exe mark C:\faults.log dword;')"
    fault_expect_stored "RunBeforeExit="$'\x01'
    fault_one_shot /n
    expect_no_call '^KERNEL32\.CreateProcessA\('
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    log_of faults | grep -q ' start dword$' && fail "the listed program ran"
    return 0
}

# A list longer than its 1024-byte field is ignored whole; cut short it would still run its program.
fault_programs_too_long() {
    local list
    list="C:\\driver.exe mark C:\\faults.log long;$(printf ';%.0s' {1..1020})"
    fault_store_only "$(fault_sz RunBeforeExit 1)" "$(fault_sz ProgramsToRun "$list")"
    fault_expect_stored "ProgramsToRun=$list"
    fault_one_shot /n
    expect_no_call '^KERNEL32\.CreateProcessA\('
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    log_of faults | grep -q ' start long$' && fail "a program of the over-long list ran"
    return 0
}

# Over-long timeout, warning and countdown text keep their start-up values, as the timed exit dialog
# and the warning text dialog show them.  The tray icon of the valid exit type is there.
fault_timer_values_too_long() {
    local text
    text="Stored countdown text $(printf 'x%.0s' {1..130})"
    fault_store_only "$(fault_sz TimerFlag 1)" "$(fault_sz TimerValue 1234567)" "$(fault_sz WarnFlag 1)" \
        "$(fault_sz WarnValue 7654321)" "$(fault_sz WarningText "$text")"
    fault_expect_stored TimerValue=1234567 WarnValue=7654321 "WarningText=$text"
    kelto_start
    must_drive main-window 60000 command 170 wait-dialog "Timed Exit Options" 30000 \
        get-text 107 get-text 111 click 215 wait-dialog "Enter warning window text" 30000 get-text 216 click 2
    expect "107: 30"
    expect "111: 10"
    expect "216: Counting down to shutdown"
    must_drive wait-dialog "Timed Exit Options" 10000 click 2 sleep 500 command 130
    kelto_wait 60
    expect_call '^shell32\.Shell_NotifyIconA\(00000000,'
}

# A stored timeout of 0 runs at start-up as 30 s; the options dialog's opening converts it again.  A click
# after Cancel then arms nothing and says so, never an exit at once.
fault_timer_value_zero() {
    fault_store_only "$(fault_sz TimerFlag 1)" "$(fault_sz TimerValue 0)"
    local before
    before=$(fault_tip_count Shutdown)
    kelto_start
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 command 170 \
        wait-dialog "Timed Exit Options" 30000 get-text 107 click 2 wait-gone - "Timed Exit Options" 10000 \
        tray lbuttondown wait-box 30000
    expect "107: 0"
    expect "text: Timer not started (Invalid time ?)"
    must_drive click 1 sleep 3000
    expect_no_call 'ExitWindowsEx'
    fault_expect_new_tip Shutdown "$before"
    must_drive command 130
    kelto_wait 60
}

# One-shot, a countdown longer than the delay to the time of day: both messages stay until answered,
# then the program ends with code 0 and nothing armed.
fault_one_shot_second_box_stays() {
    fault_store_only
    local at
    at=$(date -d "@$(($(date +%s) + 60))" +%H%M%S)
    kelto_start "/a:$at" /w:120 /n
    must_drive wait-box 60000
    expect "text: Warning time is bigger than timeout"
    must_drive click 1 sleep 1000 wait-box 30000 sleep 2000 count-boxes
    expect "text: Timer not started (Invalid time ?)"
    expect "boxes: 1"
    must_drive click 1
    kelto_wait 60
    expect_exit_code 0
    expect_no_call 'ExitWindowsEx'
}

# ---- programs run before the exit ---------------------------------------------------------------

# A list stored while Run before Exit was off: the dialog shows it all the same.  Ticked there and
# cancelled, a save through the Registry dialog stores Run before Exit on with the list the dialog
# showed, not one the user never saw.
fault_program_list_kept_by_save() {
    fault_store_only "$(fault_sz RunBeforeExit 0)" "$(fault_sz ProgramsToRun 'c:\backup.bat;c:\report.doc;')"
    kelto_start
    must_drive main-window 60000 command 180 wait-dialog 'Run before exit' 30000 get-text 204 get-text 211 \
        get-text 212 click-wait 214 is-checked 214 click 2 wait-gone - 'Run before exit' 10000 \
        command 230 wait-dialog Registry 30000 click-wait 263 click 1 wait-dialog Ok 30000
    expect '204: c:\backup.bat'
    expect '211: c:\report.doc'
    expect "212: "
    expect "214: checked"
    expect "text: Registry settings changed"
    must_drive click 1 wait-gone - Ok 10000 reg-get HKLM "$FAULT_KEY" ProgramsToRun \
        reg-get HKLM "$FAULT_KEY" RunBeforeExit
    expect 'reg ProgramsToRun: c:\backup.bat;c:\report.doc;'
    expect "reg RunBeforeExit: 1"
    must_drive command 130
    kelto_wait 60
}

# A program that does not exist is skipped without a word; the next one runs, then the exit.
fault_missing_program() {
    fault_store_only "$(fault_sz RunBeforeExit 1)" \
        "$(fault_sz ProgramsToRun 'c:\nothere.exe;C:\driver.exe mark C:\faults.log second 800;')"
    fault_one_shot /e:s /n
    local calls
    calls=$(kelto_calls | grep -E '^(KERNEL32\.CreateProcessA|user32\.ExitWindowsEx)\(' |
        sed -E 's/^KERNEL32\.CreateProcessA\(00000000,[0-9a-f]+ "([^"]*)".*/run \1/')
    note "order: $(tr '\n' '|' <<<"$calls")"
    [[ $(tr '\n' '|' <<<"$calls") == 'run c:\\nothere.exe|run C:\\driver.exe mark C:\\faults.log second 800|user32.ExitWindowsEx(00000001,00000000)|' ]] ||
        fail "not: the missing program, the next one, the exit request"
    log_of faults | grep -q ' end second$' || fail "the program after the missing one did not run to its end"
}

# A document that does not exist goes to the shell, which says so in a box of its own; after it is
# answered the next entry runs and the exit follows.
fault_missing_document() {
    fault_store_only "$(fault_sz RunBeforeExit 1)" \
        "$(fault_sz ProgramsToRun 'c:\nothere.txt;C:\driver.exe mark C:\faults.log third;')"
    kelto_start /e:s /n
    must_drive wait-box 60000 click 1
    grep -q '^text: File not found' <<<"$OUT" || fail "the box was not the shell's 'File not found'"
    kelto_wait 60
    expect_exit_code 0
    expect_call '^shell32\.ShellExecuteExA\('
    expect_call '^KERNEL32\.CreateProcessA\(00000000,[0-9a-f]+ "C:\\\\driver\.exe mark C:\\\\faults\.log third"'
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    log_of faults | grep -q ' end third$' || fail "the program after the missing document did not run"
}

# ---- the shell line of system.ini ---------------------------------------------------------------

FAULT_INI=

# A row that starts from the prefix's own system.ini, and no stored settings.
fault_ini_row() {
    fault_store_only
    rm -rf "$FAULT_INI"
    cp "$WORK/system.ini" "$FAULT_INI"
    fault_row "$@"
}

# Restart Shell starts this command (as the trace shows the text) with SW_SHOW.
fault_restart_shell_starts() {
    fault_one_shot /x:r /n
    expect_call "^KERNEL32\\.WinExec\\([0-9a-f]+ \"$1\",00000005\\)\$"
}

fault_no_boot_section() {
    grep -qi '^\[boot\]' "$FAULT_INI" && fail "the fixture has a [boot] section"
    fault_restart_shell_starts 'explorer\.exe'
}

fault_boot_without_shell() {
    printf '[boot]\r\nshell.note=none\r\n[boot.description]\r\nshell=C:\\driver.exe\r\n' >>"$FAULT_INI"
    fault_restart_shell_starts 'explorer\.exe'
}

fault_no_system_ini() {
    rm -f "$FAULT_INI"
    fault_restart_shell_starts 'explorer\.exe'
}

# A folder where the file should be: it cannot be opened for reading.
fault_unreadable_system_ini() {
    rm -f "$FAULT_INI"
    mkdir "$FAULT_INI"
    fault_restart_shell_starts 'explorer\.exe'
}

# A 2000-character shell line is cut to the 259 characters the buffer holds; the shell stand-in logs
# the argument it got, so the cut is seen where it lands.
fault_long_shell_line() {
    local command tail
    tail=$(printf '%s' {1000..1999}) # 4000 digits that tell every position apart
    command="C:\\driver.exe mark C:\\shell.log ${tail:0:1968}"
    printf '[boot]\r\nshell=%s\r\n' "$command" >>"$FAULT_INI"
    ((${#command} == 2000)) || fail "the fixture line is ${#command} characters"
    fault_one_shot /x:r /n
    expect_call '^KERNEL32\.WinExec\([0-9a-f]+ "C:\\\\driver\.exe mark C:\\\\shell\.log 100010011002'
    wait_log shell "end [0-9]+"
    local got
    got=$(log_of shell | awk '$3 == "start" { print $4 }')
    note "the shell got an argument of ${#got} characters"
    [[ $got == "${command:32:227}" ]] || fail "the shell line was not cut to 259 characters: argument '$got'"
}

# ---- checks -------------------------------------------------------------------------------------

# Stored values of the wrong type or too long, a program list naming what does not exist, and
# system.ini without a usable shell line, one row after another in one guarded session.
check_faults_table() {
    # Tray icons are seen in the trace.
    sed -i -E 's/^("RelayInclude"=".*)"$/\1;Shell_NotifyIconA"/' "$WINEPREFIX/user.reg"
    guarded_session
    fault_row "ExitType '20xxxxx', too long: ignored, Shutdown" fault_exittype_too_long
    fault_row "ExitType DWORD 20: not a number, Shutdown" fault_exittype_dword_one_shot
    fault_row "ExitType DWORD 20, resident: the Shutdown icon" fault_exittype_resident_shutdown \
        '"ExitType"=dword:00000014'
    fault_row "ExitType 'abc', resident: the Shutdown icon" fault_exittype_resident_shutdown \
        "$(fault_sz ExitType abc)"
    fault_row "ExitType '130', a click's timed exit: the shutdown request, the program stays" \
        fault_exittype_command_id
    fault_row "TimerValue '0', the options dialog cancelled, a click: not started" fault_timer_value_zero
    fault_row "one-shot, countdown longer than the delay: both boxes stay" fault_one_shot_second_box_stays
    fault_row "ExitType binary '20' without terminator: Reboot" fault_exittype_binary
    fault_row "RunBeforeExit DWORD 1: not on, nothing run" fault_runbefore_dword
    fault_row "ProgramsToRun of 1058 characters: ignored" fault_programs_too_long
    fault_row "TimerValue, WarnValue, WarningText too long: start-up values" fault_timer_values_too_long
    fault_row "ProgramsToRun: missing program, then the next, then the exit" fault_missing_program
    fault_row "ProgramsToRun: missing document, then the next, then the exit" fault_missing_document
    fault_row "RunBeforeExit '0' with a list: shown, ticked, Cancel, saved as shown" fault_program_list_kept_by_save

    # Restart Shell's starts land on a stand-in shell in the program's folder, found before Wine's
    # own explorer.exe, which would open a folder window in the session for every row.
    cp "$C_DRIVE/driver.exe" "$C_DRIVE/explorer.exe"
    FAULT_INI=$C_DRIVE/windows/system.ini
    cp "$FAULT_INI" "$WORK/system.ini"
    fault_ini_row "system.ini without [boot]: explorer.exe" fault_no_boot_section
    fault_ini_row "[boot] without shell=: explorer.exe" fault_boot_without_shell
    fault_ini_row "no system.ini: explorer.exe" fault_no_system_ini
    fault_ini_row "system.ini unreadable: explorer.exe" fault_unreadable_system_ini
    fault_ini_row "shell= of 2000 characters: cut to 259" fault_long_shell_line
    note "$FAULT_ROWS rows in $SECONDS s"
}

# For each process the forced close terminated: its id, how long the message took to fail and how
# long it then waited before terminating, in milliseconds by the trace's clock.
fault_close_times() {
    grep -E "^[0-9.]+:$(kelto_pid):" "$RELAY" | awk '
        { now = substr($0, 1, index($0, ":") - 1) * 1000 }
        /:Call KERNEL32\.OpenProcess\(00100001,/ { match($0, /,[0-9a-f]+\) ret/); target = substr($0, RSTART + 1, 8); handle = ""; next }
        /:Ret  KERNEL32\.OpenProcess\(\)/ { match($0, /retval=[0-9a-f]+/); handle = substr($0, RSTART + 7, 8); next }
        /:Call user32\.SendMessageTimeoutA\([0-9a-f]+,00000016,/ { sending = now; next }
        /:Ret  user32\.SendMessageTimeoutA\(\)/ { sent = now; next }
        /:Call KERNEL32\.TerminateProcess\(/ {
            if (handle != "" && index($0, "(" handle ",")) printf "%s %d %d\n", target, sent - sending, now - sent
        }'
}

# Force Exit with ten hung applications: each is sent WM_ENDSESSION, given up to 500 ms more to end,
# and terminated, so the forced close is over within about ten seconds and the exit request follows.
check_faults_ten_hung_force_exit() {
    local count=10 limit_ms=12000
    start_session
    local i units=()
    for ((i = 0; i < count; i++)); do
        start_app hung hung
        units+=("$APP_PID")
    done
    poll 240 eval '(( $(log_of hung | grep -c " ready ") >= count ))' ||
        fail "only $(log_of hung | grep -c ' ready ') of $count hung applications came up"
    local hung
    hung=$(log_of hung | awk '$3 == "ready" { printf "%08x %s\n", $2, $4 }')

    kelto_run /f:f /e:s /n
    expect_exit_code 0
    local summary
    summary=$(forced_close_summary)
    sed 's/^/   closed| /' <<<"$summary"
    local times pid window send waited slowest=0
    times=$(fault_close_times)
    while read -r pid window; do
        grep -qE "^pid=$pid window=$window sent=0 terminated=1 " <<<"$summary" ||
            fail "the hung application $pid (window $window) was not terminated after its message failed"
        read -r send waited < <(awk -v pid="$pid" '$1 == pid { print $2, $3 }' <<<"$times")
        [[ -n $waited ]] || fail "no timing of the forced close of $pid in the trace"
        # 500 ms for the message and 500 ms for the process to end; the rest is the emulator's.
        ((send <= 750 && waited <= 750)) ||
            fail "the hung application $pid took $send ms to send to and $waited ms more to terminate"
        ((send + waited > slowest)) && slowest=$((send + waited))
    done <<<"$hung"
    note "all $count hung applications terminated, each at most $slowest ms after its message began"

    # From the first process opened to the exit request, by the trace's clock.
    local took
    took=$(grep -E "^[0-9.]+:$(kelto_pid):" "$RELAY" | awk -F: '
        /:Call KERNEL32\.OpenProcess\(00100001,/ && !first { first = $1 }
        /:Call user32\.ExitWindowsEx\(00000001,00000000\)/ && first { printf "%d\n", ($1 - first) * 1000; exit }')
    [[ -n $took ]] || fail "no forced close followed by the Shutdown request"
    note "forced close to Shutdown request: $took ms"
    ((took <= limit_ms)) || fail "the forced close took $took ms, more than $limit_ms"

    local unit
    for unit in "${units[@]}"; do
        poll 20 eval '! kill -0 $unit 2>/dev/null' || fail "a hung application (unix pid $unit) is still running"
    done
    note "no hung application left"
}
