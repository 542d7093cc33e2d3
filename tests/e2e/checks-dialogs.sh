# End-to-end checks of the dialogs of the resident program: "Run before exit", "Registry",
# "Shortcut" and "About", each opened by its menu command sent to the main window.  Sourced by
# tests/e2e/run after checks.sh, whose helpers they use.

SETTINGS_KEY=${SETTINGS#HKLM\\}
POLICIES='SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\Explorer'

# Open a dialog of the resident program by its menu command, once the program is up, and wait for
# it; then run the driver commands that follow, if any.
open_dialog() {
    must_drive main-window 60000 command "$1" wait-dialog "$2" 60000 "${@:3}"
}

# Press a dialog's OK, expect the box with this caption and text that reports the outcome and answer
# it; then run the driver commands that follow, if any.
ok_with_box() {
    must_drive click 1 wait-dialog "$1" 30000
    expect "text: $2"
    must_drive click 1 wait-gone - "$1" 10000 "${@:3}"
}

# The program's process has loaded this DLL (by name, any case), by the loader's trace.
kelto_loaded() {
    grep -qiE "^[0-9.]+:$(kelto_pid):[0-9a-f]{4}:trace:loaddll:.*Loaded L\"[^\"]*\\\\$1\"" "$RELAY"
}

# Programs listed in the "Run before exit" dialog and stored through the "Registry" dialog run,
# one after the other, before the exit request of the next start.  Browse fills an entry through the
# open-file dialog of comdlg32, which the program loads only then.
check_run_before_dialog() {
    start_session
    kelto_start
    open_dialog 180 'Run before exit' is-checked 214 click-wait 214
    expect "214: unchecked"
    ! kelto_loaded comdlg32.dll || fail "comdlg32.dll loaded before the first Browse"
    must_drive wait-dialog 'Run before exit' 10000 click 199 wait-dialog Open 60000 \
        set-text 1148 'C:\driver.exe' click 1 wait-gone - Open 30000 wait-dialog 'Run before exit' 10000 get-text 204
    expect '204: C:\driver.exe'
    kelto_loaded comdlg32.dll || fail "comdlg32.dll not loaded after Browse"
    must_drive wait-dialog 'Run before exit' 10000 set-text 204 'C:\driver.exe mark C:\run.log first 1000' \
        set-text 211 'C:\driver.exe mark C:\run.log second 300' click 1 wait-gone - 'Run before exit' 10000
    open_dialog 230 Registry click-wait 263
    ok_with_box Ok 'Registry settings changed' wait-gone - Registry 10000 \
        reg-get HKLM "$SETTINGS_KEY" RunBeforeExit reg-get HKLM "$SETTINGS_KEY" ProgramsToRun
    expect "reg RunBeforeExit: 1"
    expect 'reg ProgramsToRun: C:\driver.exe mark C:\run.log first 1000;C:\driver.exe mark C:\run.log second 300;'

    # A start in a new session loads them.
    end_wine
    start_session
    expect_programs_then_exit 1000 300 /n
}

# The "Registry" dialog saves the settings, sets the log-off policy (only once its key exists: the
# dialog never creates it), then deletes the settings and clears the policy again.
check_registry_dialog() {
    start_session
    kelto_start /e:b
    open_dialog 230 Registry is-checked 269 is-checked 271 click-wait 263 click-wait 271
    expect "269: checked"
    expect "271: unchecked"
    ok_with_box Error 'Could not change registry settings' \
        reg-raw HKCU "$POLICIES" NoLogOff reg-key HKCU "$POLICIES" wait-dialog Registry 5000
    expect "reg NoLogOff: (no key)"
    expect "caption: Registry"
    ok_with_box Ok 'Registry settings changed' wait-gone - Registry 10000 \
        reg-get HKLM "$SETTINGS_KEY" ExitType reg-raw HKCU "$POLICIES" NoLogOff
    expect "reg ExitType: 20"
    expect "reg NoLogOff: type 5 bytes 01 00 00 00"

    open_dialog 230 Registry is-checked 271 click-wait 264 click-wait 271
    expect "271: checked"
    ok_with_box Ok 'Registry settings changed' wait-gone - Registry 10000 \
        reg-get HKLM "$SETTINGS_KEY" ExitType reg-raw HKCU "$POLICIES" NoLogOff
    expect "reg ExitType: (no key)"
    expect "reg NoLogOff: type 5 bytes 00 00 00 00"
}

# The prefix's desktop folder is a link into the home of the clean prefix it was copied from; a check
# that writes a shortcut there gets a folder of its own instead.
own_desktop_folder() {
    local desktop
    for desktop in "$C_DRIVE"/users/*/Desktop; do
        [[ -L $desktop && $desktop != */Public/* ]] && rm "$desktop" && mkdir "$desktop"
    done
}

# "Create Shortcut..." puts Kelto.lnk on the desktop: the program with "/n" and the hotkey as its
# shortcut key.  The about box opens and closes with OK.
check_shortcut_and_about() {
    own_desktop_folder
    start_session
    kelto_start /h:q
    open_dialog 200 Shortcut is-checked 267
    expect "267: checked"
    ok_with_box Ok 'Shortcut created' wait-gone - Shortcut 10000 read-link desktop Kelto.lnk
    expect 'link-path: C:\Kelto95.exe'
    expect "link-args: /n"
    expect "link-hotkey: 0x0651"
    local file
    file=$(ls "$C_DRIVE"/users/*/Desktop/Kelto.lnk 2>/dev/null | head -1)
    [[ -n $file ]] || fail "no Kelto.lnk in the prefix's desktop folder"
    note "written: ${file#"$WINEPREFIX"/}"

    open_dialog 120 About
    expect "caption: About"
    must_drive click 1 wait-gone - About 10000 has-main
    expect "main: yes"
    kelto_running || fail "Kelto95.exe ended with the about box"
}

# The steps of "Removing it" in README.TXT, after a user has saved the settings, set auto-run and both
# start-menu policies and made a shortcut on the desktop and in the start menu: afterwards the settings
# key, the Run value and both shortcuts are gone, and both policies are off.
check_removal() {
    local desktop
    for desktop in "$C_DRIVE"/users/*/Desktop; do
        [[ -L $desktop && $desktop != */Public/* ]] && rm "$desktop" && mkdir "$desktop"
    done
    local run='SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
    start_session
    must_drive reg-key HKCU "$POLICIES"
    kelto_start
    open_dialog 230 Registry click-wait 263 click-wait 265 click-wait 271 click-wait 272
    ok_with_box Ok 'Registry settings changed' wait-gone - Registry 10000
    local where
    for where in 267 268; do
        open_dialog 200 Shortcut click-wait "$where"
        ok_with_box Ok 'Shortcut created' wait-gone - Shortcut 10000
    done
    must_drive reg-get HKLM "$SETTINGS_KEY" ExitType reg-get HKLM "$run" 'Kelto 95/98' \
        reg-raw HKCU "$POLICIES" NoLogOff reg-raw HKCU "$POLICIES" NoClose \
        read-link desktop Kelto.lnk read-link startmenu Kelto.lnk
    expect "reg ExitType: 10"
    expect 'reg Kelto 95/98: C:\Kelto95.exe'
    expect "reg NoLogOff: type 5 bytes 01 00 00 00"
    expect "reg NoClose: type 5 bytes 01 00 00 00"
    local links
    links=$(sed -n 's/^link-file: //p' <<<"$OUT")
    [[ $(wc -l <<<"$links") == 2 ]] || fail "not two shortcuts to remove"

    # 1. "Change Settings...": delete the settings, untick auto-run and both policies, OK.
    open_dialog 230 Registry is-checked 265 is-checked 271 is-checked 272 \
        click-wait 264 click-wait 265 click-wait 271 click-wait 272
    expect "265: checked"
    expect "271: checked"
    expect "272: checked"
    ok_with_box Ok 'Registry settings changed' wait-gone - Registry 10000
    # 2. Delete the shortcuts, as the user does in Explorer.
    local link
    while read -r link; do
        rm "$C_DRIVE/$(sed -e 's/^C:\\//' -e 's/\\/\//g' <<<"$link")" || fail "cannot delete $link"
    done <<<"$links"
    # 3. "Exit Program".
    must_drive command 130
    kelto_wait
    expect_exit_code 0
    # 4. Delete the files.
    rm "$C_DRIVE/Kelto95.exe" || fail "cannot delete Kelto95.exe"

    must_drive reg-get HKLM "$SETTINGS_KEY" ExitType reg-get HKLM "$run" 'Kelto 95/98' \
        reg-raw HKCU "$POLICIES" NoLogOff reg-raw HKCU "$POLICIES" NoClose
    expect "reg ExitType: (no key)"
    expect "reg Kelto 95/98: (missing)"
    expect "reg NoLogOff: type 5 bytes 00 00 00 00"
    expect "reg NoClose: type 5 bytes 00 00 00 00"
    for where in desktop startmenu; do
        drive read-link "$where" Kelto.lnk && fail "a Kelto.lnk is left in the $where folder"
        grep -q '^error: no such file' <<<"$OUT" || fail "cannot tell whether the $where folder holds Kelto.lnk"
    done
}
