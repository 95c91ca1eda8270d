#!/usr/bin/env bash
# End-to-end test under Wine: a net.exe and a rundll32.exe planted beside the exe and in the staging folder never run, at start-up, at the wizard link or at a network installation; the system's own run from the system directory instead.
# Usage: planted_programs_test.sh QUILLMATE_EXE QMDRIVE_EXE PLANTED_PROGRAM_EXE
set -euo pipefail

[ $# -eq 3 ] || {
  echo "usage: $0 QUILLMATE_EXE QMDRIVE_EXE PLANTED_PROGRAM_EXE" >&2
  exit 2
}
exe=$1
planted=$3
for file in "$exe" "$planted"; do
  [ -f "$file" ] || {
    echo "e2e: FAIL: not found: $file" >&2
    exit 1
  }
done
# A 32-bit system, where the 32-bit program's network installation goes through to the queue.
export WINEARCH=win32
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$2"
mkdir -p "$E2E_ARTIFACTS"

TITLE="Korvex 80 Series printer driver"
TCPIP_PORTS='SYSTEM\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port\Ports'
# The spooler's stop and start (the program gives each at most 60 s) come before the message.
NETWORK_TIMEOUT_MS=150000

e2e_start_display
e2e_boot_prefix
e2e_keep_server

# Where the planted programs note that they ran.
MARKER=$WINEPREFIX/drive_c/planted-programs-ran.txt

# plant FOLDER: the stand-in as net.exe and rundll32.exe in FOLDER.
plant() {
  cp "$planted" "$1/net.exe"
  cp "$planted" "$1/rundll32.exe"
}

# expect_none_ran STEP: no planted program has run so far.
expect_none_ran() {
  if [ -s "$MARKER" ]; then
    failed "$1: a planted program ran:"
    tr -d '\r' <"$MARKER" >&2
    rm -f "$MARKER"
  else
    e2e_log "$1: no planted program ran"
  fi
}

# The stand-in does note its runs: started as a bare name from its folder, Wine finds it first.
SELF_TEST=$E2E_TMP/self-test
mkdir -p "$SELF_TEST"
plant "$SELF_TEST"
(cd "$SELF_TEST" && e2e_wine 30 "$SELF_TEST/net.exe" start spooler) >/dev/null 2>&1 || true
grep -aq 'net.exe' "$MARKER" 2>/dev/null || e2e_fail "the planted program does not note its runs in $MARKER"
rm -f "$MARKER"

# The exe as a user gets it: in a folder of the user's own, started from there.
APP_DIR=$WINEPREFIX/drive_c/users/$USER/Downloads/quillmate
mkdir -p "$APP_DIR"
cp "$exe" "$APP_DIR/Quillmate.exe"
STAGING=$(e2e_temp_dir)/Ostra2020
system='\"C:\\windows\\system32\\'

if ! e2e_drive reg-values "$TCPIP_PORTS" >/dev/null 2>&1; then
  # Wine has no Standard TCP/IP port monitor: its Ports key is made here, as install_test.sh does.
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n' "$TCPIP_PORTS" >"$E2E_TMP/tcpip.reg"
  e2e_import_reg "$E2E_TMP/tcpip.reg"
fi

# one_run WHERE: the programs planted beside the exe before the start (WHERE exe), or in the
# staging folder once the dialog is open (WHERE staging); then the wizard link and a network
# installation. A bare name would find the first before the system's at every command, the
# second at the two that come after the dialog opened.
one_run() {
  local where=$1 record commands staging_windows want
  rm -f "$APP_DIR/net.exe" "$APP_DIR/rundll32.exe"
  [ "$where" != exe ] || plant "$APP_DIR"
  # Processes are traced to see which commands the program started.
  cd "$APP_DIR"
  e2e_start_app "$APP_DIR/Quillmate.exe" WINEDEBUG=+process
  cd - >/dev/null
  e2e_drive wait-window "$TITLE" 30000 >/dev/null || {
    failed "$where: no window titled \"$TITLE\""
    return 1
  }
  # The start-up's spooler start is given time to have run.
  sleep 2
  expect_none_ran "$where: start-up"

  # The staging folder is the program's current directory once the dialog is open.
  [ -d "$STAGING/Windows NT x86" ] || failed "$where: the package is not unpacked into $STAGING"
  [ "$where" != staging ] || plant "$STAGING"

  e2e_drive click "$TITLE" 1023 || failed "$where: could not click the wizard link"
  sleep 3
  e2e_drive wait-window "$TITLE" 1000 >/dev/null ||
    failed "$where: the dialog did not stay open after the wizard link"
  expect_none_ran "$where: wizard link"

  e2e_drive click "$TITLE" 1009 || failed "$where: could not choose the network connection"
  e2e_drive set-ip "$TITLE" 1011 10 0 0 7 || failed "$where: could not type the address"
  e2e_drive click "$TITLE" 1 || failed "$where: could not click install"
  record=$(e2e_drive wait-message "$NETWORK_TIMEOUT_MS" | tr -d '\r') || {
    failed "$where: no message box after the network installation"
    return 1
  }
  grep -qF 'successfully installed' <<<"$record" ||
    failed "$where: the network installation reports $(cut -f3 <<<"$record")"
  e2e_drive answer-message 1 || failed "$where: the message box could not be answered"
  e2e_drive wait-gone "$TITLE" 10000 || failed "$where: the dialog stays open after the report"
  e2e_wait_app_exit 10 || failed "$where: the program still runs after its dialog closed"
  expect_none_ran "$where: network installation"

  # What the program started instead, from Wine's process trace: the system's own programs by
  # their full path, with the commands' own arguments, in their order.
  commands=$(grep -a 'CreateProcessInternalW app (null) cmdline' "$E2E_APP_LOG" |
    sed 's/.*cmdline L"\(.*\)"$/\1/' | grep -aiE -e 'net(\.exe)?\\"' -e 'rundll32' || true)
  staging_windows=$(e2e_windows_path "$STAGING")
  want=$(
    printf '%snet.exe\\" start spooler\n' "$system"
    printf '%srundll32.exe\\" printui.dll PrintUIEntry /ii /f \\"%s\\\\Windows NT x86\\\\KVDRV.INF\\"\n' \
      "$system" "${staging_windows//\\/\\\\}"
    printf '%snet.exe\\" stop spooler\n' "$system"
    printf '%snet.exe\\" start spooler\n' "$system"
  )
  if [ "$commands" = "$want" ]; then
    e2e_log "$where: the system's net.exe and rundll32.exe ran, by their full path"
  else
    failed "$where: the program started:"
    printf '%s\n' "${commands:-nothing}" >&2
    e2e_log "want:"
    printf '%s\n' "$want" >&2
  fi
}

run() {
  local before=$failures
  one_run "$1" || true
  if [ "$failures" -ne "$before" ]; then
    e2e_screenshot "$E2E_ARTIFACTS/failed-planted-programs-$1.png"
    e2e_log "$1: program output (last lines):"
    tail -20 "$E2E_APP_LOG" >&2 || true
  fi
  e2e_stop_app
}

run exe
run staging

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed"
  exit 1
fi
e2e_log "all checks passed"
