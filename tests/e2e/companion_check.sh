#!/bin/bash
# End-to-end check of KeltoDLL.dll in Wine: for each entry, "Rundll.exe KeltoDLL.dll,<entry>" goes
# through Wine's 16-bit rundll, which loads the library, calls its initialisation and the entry,
# and the entry must reach the 16-bit USER function with the right arguments and return. All of
# that is read from a relay trace.
#
# Usage: companion_check.sh BUILD_DIR
# Uses BUILD_DIR/companion-wine/KeltoDLL.dll (the Wine copy: it imports "USER.EXE"; see
# companion/keltodll.asm) and keeps its Wine prefix in BUILD_DIR/companion-e2e.
# Exit status: 0 passed, 1 failed, 77 skipped (Wine cannot run on this machine).
set -u

fail() { echo "companion_check: FAIL: $*" >&2; exit 1; }
skip() { echo "companion_check: SKIPPED: $*" >&2; exit 77; }
note() { echo "companion_check: $*"; }

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" 2>/dev/null && pwd) || fail "no build folder '$1'"
dll="$build/companion-wine/KeltoDLL.dll"
[ -f "$dll" ] || fail "$dll is missing: build the 'companion' target first"

if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
    skip "Wine is not installed"
fi

work="$build/companion-e2e"
export WINEPREFIX="$work/prefix" WINEARCH=win32 HOME="$work/home"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
mkdir -p "$HOME"

# 32-bit Wine needs a kernel that runs i386 programs, or an emulator registered for them.
if ! version=$(timeout 120 wine --version 2>&1); then
    skip "Wine does not start here: ${version:-timed out}"
fi

stop_wine() { timeout 60 wineserver -k >/dev/null 2>&1; }
trap stop_wine EXIT

# One prefix per build folder, made once. Under an emulator Wine sometimes fails to map its
# shared page at start-up, so a failed creation is retried.
if [ ! -f "$work/prefix.ready" ]; then
    for attempt in 1 2 3; do
        stop_wine
        rm -rf "$WINEPREFIX"
        note "creating the Wine prefix (attempt $attempt)"
        if timeout 600 wineboot -i >"$work/wineboot.log" 2>&1 && timeout 120 wineserver -w &&
            [ -f "$WINEPREFIX/drive_c/windows/rundll.exe" ]; then
            break
        fi
    done
    [ -f "$WINEPREFIX/drive_c/windows/rundll.exe" ] || fail "could not create a Wine prefix; see $work/wineboot.log"
    # Windows 98, where "rundll.exe" is the 16-bit Rundll; relay only the calls we look at.
    if ! timeout 120 wine reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1 ||
        ! timeout 120 wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
            /d 'ExitWindows;ExitWindowsExec;ExitWindowsEx' /f >/dev/null 2>&1 ||
        ! timeout 120 wineserver -w; then
        fail "could not configure the Wine prefix"
    fi
    touch "$work/prefix.ready"
fi

# The library lies beside Rundll.exe in the Windows folder, as it would on Windows 98.
windir="$WINEPREFIX/drive_c/windows"
cp "$dll" "$windir/KeltoDLL.dll" || fail "cannot copy the library into $windir"

display=()
command -v xvfb-run >/dev/null && display=(xvfb-run -a)

# run ENTRY TRACE: Rundll.exe KeltoDLL.dll,ENTRY with a relay trace, until the prefix is idle.
# Wine's 16-bit rundll hands the call to rundll32 and returns at once, hence the wait.
run() {
    (cd "$windir" && WINEDEBUG=-all,+relay timeout 300 "${display[@]}" \
        sh -c "wine rundll.exe KeltoDLL.dll,$1; timeout 240 wineserver -w") >"$2" 2>&1
    local status=$?
    stop_wine
    return $status
}

# check TRACE CALL_PATTERN: exactly one USER call matches the pattern; it came from the code
# segment of an entry that Wine called with Rundll's five argument words, and that entry
# returned; before it, the library's initialisation returned AX=1. (Wine restores the 16-bit
# stack after every call into 16-bit code, so a wrong RETF count would go unseen here; the
# structural test decodes it.)
check() {
    local trace=$1 pattern=$2 calls tid
    calls=$(grep -E "^[0-9a-f]{4}:Call $pattern" "$trace")
    [ -n "$calls" ] || fail "no call matching '$pattern' in $trace$(grep -m3 -E 'Could not load|Unable to' "$trace" | sed 's/^/; /')"
    [ "$(printf '%s\n' "$calls" | wc -l)" -eq 1 ] || fail "more than one call matching '$pattern' in $trace"
    note "seen: ${calls#*:}"
    tid=${calls%%:*}
    grep -E "^$tid:(CallTo16|RetFrom16|Call USER\.|Ret  USER\.)" "$trace" | cut -d: -f2- |
        CALL_LINE=${calls#*:} awk '
        { line[NR] = $0 }
        $0 == ENVIRON["CALL_LINE"] { call = NR }
        END {
            if (!call) { print "the USER call is not in its own thread"; exit 1 }
            for (i = call - 1; i > 0 && line[i] !~ /^CallTo16\(func=[0-9a-f]+:[0-9a-f]+,/; i--) ;
            if (!i) { print "no 16-bit call into the entry before the USER call"; exit 1 }
            split(line[i], f, /[=(),: ]+/)   # CallTo16 func SEL OFF ds DS a1..a5 ss sp SS SP
            sel = f[3]; nargs = 0
            for (j = 7; j < 20 && f[j] != "ss"; j++) nargs++
            if (nargs != 5) { print "the entry was called with " nargs " argument words, not 5"; exit 1 }
            if (line[call] !~ ("ret=" sel ":")) { print "the USER call did not come from segment " sel; exit 1 }
            for (k = call + 1; k <= NR && line[k] !~ /^RetFrom16\(\)/; k++) ;
            if (k > NR) { print "the entry never returned"; exit 1 }
            for (m = i - 1; m > 0 && line[m] !~ ("^CallTo16\\(func=" sel ":[0-9a-f]+\\) "); m--) ;
            if (!m) { print "the library initialisation was not called"; exit 1 }
            if (line[m + 1] !~ /^RetFrom16\(\).* ax=0001/) { print "initialisation returned: " line[m + 1]; exit 1 }
            print "entry " sel ":" f[4] " called with 5 argument words and returned; initialisation returned AX=1"
        }' || fail "$trace: see above"
}

note "$version"
run CallExitWindows "$work/CallExitWindows.trace" || fail "Rundll timed out; see $work/CallExitWindows.trace"
check "$work/CallExitWindows.trace" 'USER\.7: EXITWINDOWS\(00000042,0000\)'

run CallExitWindowsExec "$work/CallExitWindowsExec.trace" || fail "Rundll timed out; see $work/CallExitWindowsExec.trace"
check "$work/CallExitWindowsExec.trace" 'USER\.246: EXITWINDOWSEXEC\([0-9a-f]{8} "COMMAND\.COM",[0-9a-f]{8} ""\)'

note "passed"
