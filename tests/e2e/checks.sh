# The end-to-end checks, sourced by tests/e2e/run.  Each check_NAME function runs in a fresh copy of
# the clean prefix with its own X display and Wine session; it returns 0 or calls fail.
#
# What Wine does with the program's requests decides how each one is observed: ExitWindowsEx starts
# "wineboot --end-session" whatever the flags, so flags and other requests are read from a relay
# trace of the program's own process; stand-in applications of the driver log what they
# receive.

SETTINGS='HKLM\SOFTWARE\Garvik\Kelto95'

fail() {
    echo "FAIL: $*"
    exit 1
}

note() { echo "   $*"; }

# ---- the driver ---------------------------------------------------------------------------------

# Run the driver with a list of commands; its output lines are left in $OUT.
drive() {
    OUT=$(timeout 120 wine 'C:\driver.exe' "$@" 2>>"$WORK/wine.err")
    local rc=$?
    [[ -n $OUT ]] && sed 's/^/   driver| /' <<<"$OUT"
    return $rc
}

must_drive() { drive "$@" || fail "driver failed: $*"; }

# The driver printed exactly this line.
saw() { grep -qxF -- "$1" <<<"$OUT"; }
expect() { saw "$1" || fail "expected the line '$1'"; }

# Start the Wine session: server, services and the virtual desktop with its taskbar.
start_session() {
    must_drive wait-window Shell_TrayWnd - 90000
}

# A session that outlives exit requests: its first window, a guard's, refuses to let it end, and Wine
# goes no further.  For checks that look only at the requests themselves.
guarded_session() {
    start_app guard guard
    wait_log guard ready
}

# Start a stand-in application of the driver in the background; its log is drive_c/$2.log.
start_app() {
    timeout 300 wine 'C:\driver.exe' "$1" "C:\\$2.log" >/dev/null 2>>"$WORK/wine.err" &
    APP_PID=$!
}

log_of() { cat "$C_DRIVE/$1.log" 2>/dev/null; }

# Wait until a stand-in's log holds a line with this event.
wait_log() {
    poll 60 eval "log_of $1 | grep -qE ' $2( |\$)'" || fail "$1 never logged '$2'"
}

# ---- the program --------------------------------------------------------------------------------

RUNS=0
# Where Windows finds the program; a check may install it elsewhere first.
KELTO_PATH='C:\Kelto95.exe'

# Start Kelto95.exe with the arguments; stderr gets a relay trace of the requests it makes, each line
# led by "seconds.milliseconds:pid:tid:".
kelto_start() {
    RUNS=$((RUNS + 1))
    RELAY=$WORK/relay-$RUNS.log
    note "run $RUNS: Kelto95.exe $*"
    WINEDEBUG=+timestamp,+pid,+loaddll,+relay timeout 300 wine "$KELTO_PATH" "$@" 2>"$RELAY" &
    KELTO_PID=$!
}

kelto_running() { kill -0 "$KELTO_PID" 2>/dev/null; }

# Wait for the program to end; its exit code is left in $KELTO_RC.
kelto_wait() {
    poll "${1:-60}" eval '! kelto_running' || fail "Kelto95.exe is still running after ${1:-60} s"
    wait "$KELTO_PID"
    KELTO_RC=$?
    note "exit code $KELTO_RC"
}

kelto_run() {
    kelto_start "$@"
    kelto_wait 90
}

expect_exit_code() { [[ $KELTO_RC == "$1" ]] || fail "exit code $KELTO_RC, expected $1"; }

# The traced calls of the program's own process, as "module.Function(arguments)".  Its children and,
# when it started the session, Wine's services trace too: its pid is the one that loaded Kelto95.exe.
kelto_calls() {
    local pid
    pid=$(kelto_pid)
    [[ -n $pid ]] || return 1
    grep -E "^[0-9.]+:$pid:[0-9a-f]{4}:Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+\(" "$RELAY" |
        sed -E 's/^[0-9.]+:[0-9a-f]{4}:[0-9a-f]{4}:Call //; s/ ret=[0-9a-f]+$//'
}

# Wait until the program has made this many calls matching the regular expression.
wait_calls() {
    local count=$1 pattern=$2
    poll 60 eval '(( $(kelto_calls | grep -cE -- "$pattern") >= count ))' || {
        kelto_calls | sed 's/^/   trace| /'
        fail "fewer than $count calls matching '$pattern'"
    }
    note "call $count: $(kelto_calls | grep -E -- "$pattern" | sed -n "${count}p")"
}

# The program's Windows process id, in hex as the trace shows it.
kelto_pid() {
    grep -m1 -iE '^[0-9.]+:[0-9a-f]{4}:[0-9a-f]{4}:trace:loaddll:.*Loaded L"[^"]*\\\\Kelto95\.exe"' "$RELAY" | cut -d: -f2
}

# What the forced close did, one line per top-level window, from the program's own trace: the process
# it opened, the window it sent WM_ENDSESSION to, whether the send succeeded, whether it terminated
# the process and, if so, how many milliseconds after it began to send.
forced_close_summary() {
    local pid
    pid=$(kelto_pid)
    grep -E "^[0-9.]+:$pid:" "$RELAY" | awk '
        function flush() {
            if (open) printf "pid=%s window=%s sent=%s terminated=%d%s\n", target, window, sent, killed, after
            open = 0
        }
        { now = substr($0, 1, index($0, ":") - 1) * 1000 }
        /:Call KERNEL32\.OpenProcess\(00100001,/ {
            flush(); open = 1; match($0, /,[0-9a-f]+\) ret/); target = substr($0, RSTART + 1, 8)
            handle = ""; window = "-"; sent = "-"; killed = 0; after = ""; next
        }
        /:Ret  KERNEL32\.OpenProcess\(\)/ { match($0, /retval=[0-9a-f]+/); handle = substr($0, RSTART + 7, 8); next }
        /:Call user32\.SendMessageTimeoutA\([0-9a-f]+,00000016,/ {
            match($0, /\([0-9a-f]+/); window = substr($0, RSTART + 1, 8); sending = now; next
        }
        /:Ret  user32\.SendMessageTimeoutA\(\)/ { match($0, /retval=[0-9a-f]+/); sent = substr($0, RSTART + 7, 8) + 0; next }
        /:Call KERNEL32\.TerminateProcess\(/ {
            if (index($0, "(" handle ",")) { killed = 1; after = sprintf(" after=%d", now - sending) }
            next
        }
        /:Call user32\.ExitWindowsEx/ { flush() }
        END { flush() }'
}

# A traced call matching this extended regular expression was made / was not made.
expect_call() {
    local calls
    calls=$(kelto_calls)
    if ! grep -qE -- "$1" <<<"$calls"; then
        sed 's/^/   trace| /' <<<"$calls"
        fail "no call matching '$1'"
    fi
    note "made $(grep -m1 -E -- "$1" <<<"$calls")"
}

expect_no_call() {
    local calls
    calls=$(kelto_calls)
    if grep -qE -- "$1" <<<"$calls"; then
        fail "unexpected call $(grep -m1 -E -- "$1" <<<"$calls")"
    fi
    note "made no call matching $1"
}

# The window of the first traced call matching the regular expression.
call_window() { kelto_calls | grep -m1 -E -- "$1" | sed -E 's/^[^(]*\(([0-9a-f]+),.*/\1/'; }

# Wait until the session end that another program asked for is over: wineboot has been through
# every window, or given up at one that refused.
end_session_done() {
    poll 60 eval '! wine_pids | xargs -r -I{} cat /proc/{}/cmdline 2>/dev/null | tr "\0" " " | grep -q -- "--end-session"' ||
        fail "wineboot --end-session did not finish"
}

# Store a setting as a string value under the program's key.  Before the session starts it goes
# straight into the prefix's registry file, which the server reads when it starts (a Wine process
# costs a second or more under emulation); once the session runs, through reg.exe.
store() {
    if no_wine_left; then
        local data=${2//\\/\\\\}
        printf '\n[Software\\\\Garvik\\\\Kelto95] 1700000000\n"%s"="%s"\n' "$1" "${data//\"/\\\"}" >>"$WINEPREFIX/system.reg"
    else
        timeout 60 wine reg add "$SETTINGS" /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>>"$WORK/wine.err" ||
            fail "cannot store $1"
    fi
}

# ---- checks -------------------------------------------------------------------------------------

# What GetVersionExA reports for each Windows version the checks run on (Wine's Windows 98 is the
# second edition).
declare -A REPORTED_VERSION=([win98]="4.10.2222 platform 1" [win95]="4.0.950 platform 1")

# Refused on Windows NT with exit code 0; starts resident once the prefix says Windows 98 (or 95).
check_windows_version() {
    # Wine's own default: a version of the NT family.
    sed -i "/^\"Version\"=\"$E2E_WINDOWS\"\$/d" "$WINEPREFIX/user.reg"
    start_session
    kelto_start
    must_drive wait-box 60000
    expect "text: This program cannot run on Windows NT"
    must_drive click 1
    kelto_wait
    expect_exit_code 0

    timeout 60 wine reg add 'HKCU\Software\Wine' /v Version /d "$E2E_WINDOWS" /f >/dev/null 2>&1 ||
        fail "cannot set $E2E_WINDOWS"
    kelto_start
    must_drive version main-window 60000 no-box 2000
    expect "version: ${REPORTED_VERSION[$E2E_WINDOWS]}"
    expect "main: Kelto95"
    kelto_running || fail "Kelto95.exe ended"
}

# Each rejected command line shows its message and ends the program with exit code 0, as "/?" does after
# its list of options.
check_command_line_messages() {
    local cases=(
        "/e:s /e:b|Too many options specified"
        "/w:5|The '/w' option can only be\\nused with '/a' or '/t'"
        "/t:5 /w:10|Warning time is bigger than\\ntimeout value"
    )
    start_session
    local entry
    for entry in "${cases[@]}"; do
        kelto_start ${entry%%|*}
        must_drive wait-box 60000 click 1
        expect "text: ${entry#*|}"
        kelto_wait
        expect_exit_code 0
    done

    # "/?" lists the options in a box of its own, with no window behind it, and ends: the one-shot
    # Reboot on the same line is never requested.
    kelto_start /e:b /n '/?'
    must_drive wait-box 60000 has-main
    expect "caption: Kelto95"
    grep -qF 'text: Kelto95 [options]\n\nExit type, one of:\n  /e:s Shutdown' <<<"$OUT" ||
        fail "the box does not list the options"
    grep -qF '\n/?  Show this list' <<<"$OUT" || fail "the list does not end with /?"
    expect "main: no"
    must_drive click 1
    kelto_wait
    expect_exit_code 0
    expect_no_call 'ExitWindowsEx'

    # Screensaver with force is only a warning: the program goes on, resident.
    kelto_start /x:s/f:f
    must_drive wait-box 60000 click 1
    expect "text: Screensaver cannot be forced"
    must_drive main-window 60000
    expect "main: Kelto95"
    kelto_running || fail "Kelto95.exe ended after the screensaver warning"
}

# Stored settings lie over the start-up values, the command line over both, and /z skips them.
check_stored_settings() {
    store ExitType 20
    guarded_session
    kelto_run /n
    expect_exit_code 0
    expect_call '^user32\.ExitWindowsEx\(00000002,00000000\)$' # stored Reboot

    kelto_run /z /n
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$' # start-up Shutdown

    kelto_run /e:l /n
    expect_call '^user32\.ExitWindowsEx\(00000000,ffffffff\)$' # the command line's Logoff

    # A stored flag switches on what the command line does not mention: confirmation.
    store ConfirmFlag 1
    kelto_start /n
    must_drive wait-box 60000 click 7
    expect "caption: Confirm"
    kelto_wait
    expect_no_call 'ExitWindowsEx'
}

# Each one-shot exit makes its own request and ends with exit code 0.
check_one_shot_exits() {
    local cases=(
        "/e:s|^user32\.ExitWindowsEx\(00000001,00000000\)$"
        "/e:b|^user32\.ExitWindowsEx\(00000002,00000000\)$"
        "/e:l|^user32\.ExitWindowsEx\(00000000,ffffffff\)$"
        "/e:p|^user32\.ExitWindowsEx\(00000009,00000000\)$"
        "/e:r|^KERNEL32\.WinExec\([0-9a-f]+ \"Rundll\.exe KeltoDLL\.dll,CallExitWindows\",00000000\)$"
        "/e:d|^KERNEL32\.WinExec\([0-9a-f]+ \"Rundll\.exe KeltoDLL\.dll,CallExitWindowsExec\",00000000\)$"
        "/x:s|^user32\.PostMessageA\([0-9a-f]+,00000112,0000f140,00000000\)$"
    )
    guarded_session
    local entry
    for entry in "${cases[@]}"; do
        kelto_run ${entry%%|*} /n
        expect_exit_code 0
        expect_call "${entry#*|}"
    done
    # Screensaver: WM_SYSCOMMAND SC_SCREENSAVE went to the desktop window.
    expect_window_class '^user32\.PostMessageA\([0-9a-f]+,00000112' '#32769'
}

# The window of a traced call has this class.
expect_window_class() {
    must_drive class "$(call_window "$1")"
    expect "class: $2"
}

# Restart Shell tells the shell's window to quit and starts the shell named in system.ini.
check_restart_shell() {
    printf '\r\n[boot]\r\nshell=C:\\driver.exe mark C:\\shell.log shell\r\n' >>"$C_DRIVE/windows/system.ini"
    start_session
    start_app progman progman
    wait_log progman ready
    kelto_run /x:r /n
    expect_exit_code 0
    expect_call '^user32\.PostMessageA\([0-9a-f]+,00000012,00000000,00000000\)$'
    local progman
    progman=$(log_of progman | awk '$3 == "ready" { print $4 }')
    [[ $(call_window '^user32\.PostMessageA\([0-9a-f]+,00000012') == "$progman" ]] ||
        fail "WM_QUIT did not go to the Progman window $progman"
    expect_call '^KERNEL32\.WinExec\([0-9a-f]+ "C:\\\\driver\.exe mark C:\\\\shell\.log shell",00000005\)$'
    wait_log progman quit
    wait_log shell "end shell"
    note "progman: $(log_of progman | tr '\n' '|')"
    note "shell: $(log_of shell | tr '\n' '|')"
}

# With Block Shutdown stored on, the resident program refuses a session end another program starts,
# and keeps running; once it is switched off (its menu command), the session end takes it down.
check_block_shutdown() {
    store BlockFlag 1
    start_session
    kelto_start
    must_drive main-window 60000 exit-windows 0
    expect "exit-windows: 1"
    end_session_done
    must_drive has-main
    expect "main: yes"
    kelto_running || fail "Kelto95.exe ended although it blocks shutdown"
    note "Block Shutdown on: still running after the session end was refused"

    must_drive command 190 sleep 1000 exit-windows 0 # IDM_BLOCK
    expect "exit-windows: 1"
    end_session_done
    kelto_wait 30
    note "Block Shutdown off: ended by the session end"
}

# Forced close: a window that answers is sent WM_ENDSESSION and left alone; a process whose thread
# never pumps is terminated; the program never ends itself.  Wine's own session end, which the
# request starts afterwards, then ends everyone else.
check_force_exit() {
    start_session
    start_app answer answer
    wait_log answer ready
    start_app hung hung
    local hung_unix=$APP_PID
    wait_log hung ready
    local answer_pid answer_window hung_pid hung_window
    read -r answer_pid answer_window < <(log_of answer | awk '$3 == "ready" { printf "%08x %s\n", $2, $4 }')
    read -r hung_pid hung_window < <(log_of hung | awk '$3 == "ready" { printf "%08x %s\n", $2, $4 }')
    note "answering application: pid $answer_pid window $answer_window; hung one: pid $hung_pid window $hung_window"

    kelto_run /f:f /e:s /n
    expect_exit_code 0
    forced_close_summary | sed 's/^/   closed| /'
    local kelto_pid
    kelto_pid=$(printf '%08x' "0x$(kelto_pid)")
    forced_close_summary | grep -q "^pid=$kelto_pid " && fail "the program dealt with its own windows"
    local after
    after=$(forced_close_summary | grep -E "^pid=$hung_pid window=$hung_window sent=0 terminated=1 after=" | cut -d= -f6)
    [[ -n $after ]] || fail "the hung process was not terminated after the message timed out"
    # Up to 500 ms for the message and 500 ms more for the process to end on its own.
    ((after >= 400 && after <= 2500)) || fail "the hung process was terminated $after ms after the message, not about a second"
    note "the hung process was terminated $after ms after the message began"
    forced_close_summary | grep -qx "pid=$answer_pid window=$answer_window sent=1 terminated=0" ||
        fail "the answering window was not sent WM_ENDSESSION, or its process was terminated"
    expect_no_call '^KERNEL32\.TerminateProcess\(ffffffff'
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    poll 10 eval '! kill -0 $hung_unix 2>/dev/null' || fail "the hung application is still running"
    wait "$hung_unix"
    note "the hung application ended with exit code $?"

    # The answering window got WM_ENDSESSION before any query: that was the forced close.  A query
    # after it comes from Wine's session end, so the application outlived the forced close.
    wait_log answer queryendsession
    note "answer: $(log_of answer | awk '{ print $3, $4 }' | tr '\n' '|')"
    log_of answer | awk '$3 ~ /endsession$/' | head -1 | grep -q ' endsession 1$' ||
        fail "the answering window did not get WM_ENDSESSION first"
    log_of answer | awk '$3 == "endsession" { seen = 1 } seen && $3 == "queryendsession" { ok = 1 } END { exit !ok }' ||
        fail "the answering application did not live on after the forced close"
}

# Confirm Exit asks first; No stops the exit, Yes lets it go on.
check_confirm_exit() {
    guarded_session
    kelto_start /f:c /e:s /n
    must_drive wait-box 60000 click 7
    expect "caption: Confirm"
    expect "text: Are you sure you want to exit ?"
    kelto_wait
    expect_exit_code 0
    expect_no_call 'ExitWindowsEx'

    kelto_start /f:c /e:s /n
    must_drive wait-box 60000 click 6
    expect "text: Are you sure you want to exit ?"
    kelto_wait
    expect_exit_code 0
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
}

# The listed programs run one after the other, each waited for, before the exit request.
check_run_before_exit() {
    store RunBeforeExit 1
    store ProgramsToRun 'C:\driver.exe mark C:\run.log first 1500;C:\driver.exe mark C:\run.log second 500;'
    start_session
    expect_programs_then_exit 1500 500 /e:s /n
}

# Runs Kelto95 with the given options while the listed programs "first" and "second" (each marking its
# start and end in run.log for the given milliseconds) are stored: they run one after the other, each
# waited for, before the exit request.
expect_programs_then_exit() {
    local first=$1 second=$2
    shift 2
    start_app answer run # its queries mark when the session end began, in the same log
    wait_log run ready
    kelto_run "$@"
    expect_exit_code 0
    expect_call '^KERNEL32\.CreateProcessA\(00000000,[0-9a-f]+ "C:\\\\driver\.exe mark C:\\\\run\.log first '"$first"'"'
    expect_call '^KERNEL32\.CreateProcessA\(00000000,[0-9a-f]+ "C:\\\\driver\.exe mark C:\\\\run\.log second '"$second"'"'
    expect_call '^user32\.ExitWindowsEx\(00000001,00000000\)$'
    wait_log run queryendsession
    local order
    order=$(log_of run | awk '{ $1 = $2 = ""; print substr($0, 3) }' | grep -v -e '^ready' -e '^message' | tr '\n' '|')
    note "order: $order"
    [[ $order == "start first|end first|start second|end second|queryendsession|"* ]] ||
        fail "programs and exit request out of order"
}

# The resident program: a single left click on the tray icon performs the exit, and so does the
# hotkey; the right-click menu's last item, Exit Program, ends the program.
check_tray_hotkey_and_menu() {
    guarded_session
    kelto_start /e:b /h:q
    must_drive main-window 60000 wait-window Shell_TrayWnd - 10000 tray lbuttondown
    wait_calls 1 '^user32\.ExitWindowsEx\(00000002,00000000\)$'
    must_drive hotkey q
    wait_calls 2 '^user32\.ExitWindowsEx\(00000002,00000000\)$'
    kelto_running || fail "Kelto95.exe ended"
    must_drive tray rbuttondown menu-keys up,enter
    kelto_wait 60
    expect_exit_code 0
}
