#!/usr/bin/env bash
# End-to-end test of whole installations under Wine: every connection type (serial on a port the spooler lists and on one it does not), a queue named as the model in another case, the default printer, the wizard link and a Chinese system, on a 32-bit system (the 32-bit program, x86 flavour) and on a 64-bit one (the 64-bit program, x64 flavour); and the 32-bit program's truthful refusal of the x64 flavour on a 64-bit system.
# Usage: install_test.sh x86|x64|wow64 QUILLMATE_EXE QMDRIVE_EXE [STANDIN_PROBE_EXE]
#   x86    the 32-bit program on a 32-bit system
#   x64    the 64-bit program on a 64-bit system
#   wow64  the 32-bit program on a 64-bit system
# With a probe (a build that packs the stand-in Unidrv files), the installed UNIDRVUI.DLL and
# UNIDRV.DLL are also called as a spooler calls them.
set -euo pipefail

if [ $# -lt 3 ] || [ $# -gt 4 ] || { [ "$1" != x86 ] && [ "$1" != x64 ] && [ "$1" != wow64 ]; }; then
  echo "usage: $0 x86|x64|wow64 QUILLMATE_EXE QMDRIVE_EXE [STANDIN_PROBE_EXE]" >&2
  exit 2
fi
mode=$1
exe=$2
probe=${4:-}
[ -f "$exe" ] || {
  echo "e2e: FAIL: not found: $exe" >&2
  exit 1
}
# WINEARCH=win32 gives a 32-bit system, where the program takes its "Windows NT x86" flavour;
# without it the prefix is a 64-bit system and the program takes "Windows x64".
if [ "$mode" = x86 ]; then export WINEARCH=win32; else unset WINEARCH; fi
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$3"
[ "$mode" != x64 ] || e2e_use_wine64
mkdir -p "$E2E_ARTIFACTS"

EN_TITLE="Korvex 80 Series printer driver"
ZH_TITLE="Korvex 80系列打印机驱动安装"
MODEL=KV-80C
SHOW_TIMEOUT_MS=30000
MESSAGE_TIMEOUT_MS=20000
# The spooler's stop and start (the program gives each at most 60 s) come before the message.
NETWORK_TIMEOUT_MS=150000
EXIT_TIMEOUT_S=10
PARALLEL_MAP='HARDWARE\DEVICEMAP\PARALLEL PORTS'
SERIAL_SETTINGS='SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports'
TCPIP_PORTS='SYSTEM\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port\Ports'
USB_INTERFACES='SYSTEM\CurrentControlSet\Control\DeviceClasses\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'



# success_text NAME PORT: the engine's report in the current language, into SUCCESS.
success_text() {
  if [ "$E2E_LOCALE" = zh ]; then
    printf -v SUCCESS '打印机驱动已经成功的安装在您的电脑上 !\r\n打印机名称 : %s\r\n打印机端口 : %s\r\n' "$1" "$2"
  else
    printf -v SUCCESS 'The printer driver has been successfully installed on your computer!\r\nPrinter name : %s\r\nPrinter port : %s\r\n' "$1" "$2"
  fi
}

# A run of the program; RUN names it in messages and artifacts.
RUN=
TITLE=

open_dialog() {
  RUN=$1
  TITLE=$2
  shift 2
  e2e_start_app "$exe" "${APP_ENV[@]}" "$@"
  e2e_drive wait-window "$TITLE" "$SHOW_TIMEOUT_MS" && return
  e2e_screenshot "$E2E_ARTIFACTS/no-window-$RUN.png"
  failed "$RUN: no window titled \"$TITLE\" (screenshot no-window-$RUN.png)"
  return 1
}

# What went on when a run failed: the windows on the desktop and the program's output.
show_state() {
  e2e_log "$RUN: windows on the desktop:"
  e2e_drive windows >&2 || true
  e2e_log "$RUN: program output (last lines):"
  tail -20 "$E2E_APP_LOG" >&2 || true
}

# run_case FUNCTION: one case; whatever it leaves open is ended before the next.
run_case() {
  local before=$failures started=$SECONDS
  "$@" || true
  if [ "$failures" -ne "$before" ]; then
    e2e_screenshot "$E2E_ARTIFACTS/failed-$RUN.png"
    show_state
  fi
  e2e_stop_app
  e2e_log "$RUN: $((SECONDS - started)) s"
}

click() {
  e2e_drive click "$TITLE" "$1" || {
    failed "$RUN: could not click control $1"
    return 1
  }
}

# expect_message WANT [TIMEOUT_MS [SCREENSHOT]]: the program's next message box, under the
# program's name, reads WANT; it is answered with OK.
expect_message() {
  local want=$1 timeout=${2:-$MESSAGE_TIMEOUT_MS} shot=${3:-} record caption text
  if ! record=$(e2e_drive wait-message "$timeout" | tr -d '\r'); then
    failed "$RUN: no message box within $timeout ms; want $(quoted "$want")"
    return 1
  fi
  caption=$(awk -F'\t' '$1 == "message" { print $2; exit }' <<<"$record")
  text=$(awk -F'\t' '$1 == "message" { print $3; exit }' <<<"$record")
  if [ -n "$shot" ]; then
    sleep 0.3 # let the box paint
    e2e_screenshot "$shot"
  fi
  [ "$caption" = '"Quillmate"' ] || failed "$RUN: a message box is captioned $caption, want \"Quillmate\""
  [ "$text" = "$(quoted "$want")" ] || failed "$RUN: the message reads $text, want $(quoted "$want")"
  e2e_drive answer-message 1 || failed "$RUN: the message box could not be answered"
}

# After a successful installation the dialog closes, the program ends and the staging
# folder is emptied.
expect_closed() {
  e2e_drive wait-gone "$TITLE" $((EXIT_TIMEOUT_S * 1000)) || {
    failed "$RUN: the dialog stays open after the success message"
    return 1
  }
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || {
    failed "$RUN: the program still runs ${EXIT_TIMEOUT_S} s after its dialog closed"
    return 1
  }
  local left
  left=$(find "$(e2e_temp_dir)/Ostra2020" -mindepth 1 2>/dev/null | head -3)
  [ -z "$left" ] || failed "$RUN: after closing, the staging folder still holds $left"
}

# After a refused installation the dialog stays open, ready for another try: its buttons,
# disabled while the command runs, are enabled again.
expect_still_open() {
  local dump deadline=$((SECONDS + 5)) enabled
  while :; do
    dump=$(e2e_drive dump "$TITLE" | tr -d '\r') || {
      failed "$RUN: the dialog did not stay open"
      return 1
    }
    enabled=$(awk -F'\t' '$1 == "ctrl" && ($2 == 1 || $2 == 2) && $5 == "enabled"' <<<"$dump" | wc -l)
    [ "$enabled" -eq 2 ] && return
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.2
  done
  failed "$RUN: the install and Exit buttons are not both enabled again after the refusal"
}

# A click is posted, and the helper's reads are sent, which the dialog may answer first: the
# prompt at the top says that the list has been rebuilt for the connection type.
list_index() {
  local prompt=$1 port=$2 list deadline=$((SECONDS + 5))
  while :; do
    list=$(e2e_drive list "$TITLE" 1010 | tr -d '\r') || return 1
    awk -F'\t' -v p="$(quoted "$prompt")" '$3 == 0 && $5 == p { found = 1 } END { exit !found }' \
      <<<"$list" && break
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.2
  done
  e2e_log "$RUN: the port list reads: $(awk -F'\t' '{ printf "%s%s", sep, $5; sep = ", " }' <<<"$list")"
  awk -F'\t' -v p="$(quoted "$prompt")" '$3 == 0 && $5 == p { found = 1 } END { exit !found }' <<<"$list" ||
    failed "$RUN: the port list does not start with $(quoted "$prompt")"
  awk -F'\t' '$3 == 1 && $4 == "selected" { found = 1 } END { exit !found }' <<<"$list" ||
    failed "$RUN: the first port is not selected"
  INDEX=$(awk -F'\t' -v p="$(quoted "$port")" '$5 == p { print $3; exit }' <<<"$list")
  [ -n "$INDEX" ] || {
    failed "$RUN: the port list has no $port"
    return 1
  }
}

# expect_listed MAP FORM: the list's ports, in order, are the device map's, named as the
# program names them: FORM parallel takes "LPT" and the data's last character, serial the data.
expect_listed() {
  local want actual
  want=$(e2e_drive reg-values "$1" | tr -d '\r' | awk -F'\t' -v form="$2" '$1 == "value" {
    data = substr($5, 2, length($5) - 2)
    print "\"" (form == "parallel" ? "LPT" substr(data, length(data), 1) : data) ":\""
  }')
  actual=$(e2e_drive list "$TITLE" 1010 | tr -d '\r' | awk -F'\t' '$3 > 0 { print $5 }')
  if [ -z "$want" ] || [ "$actual" != "$want" ]; then
    failed "$RUN: the list shows $(tr '\n' ' ' <<<"$actual"), want the device map's $(tr '\n' ' ' <<<"$want")"
  fi
}

choose_port() {
  list_index "$1" "$2" || return 1
  e2e_drive select "$TITLE" 1010 "$INDEX" || {
    failed "$RUN: could not select $2"
    return 1
  }
}

printers() { e2e_drive printers | tr -d '\r'; }

# expect_printer NAME PORT: the spooler lists the queue on that port with the model's driver.
expect_printer() {
  local want
  want=$(printf 'printer\t%s\t%s\t%s' "$(quoted "$1")" "$(quoted "$2")" "$(quoted "$MODEL")")
  grep -qxF "$want" <<<"$(printers)" || failed "$RUN: the spooler has no queue $1 on $2 with driver $MODEL"
}

# next_name FORMAT: the name the next installation must choose, into NAME: the model's, or
# the first copy name that no queue has.
next_name() {
  local format=$1 names n=1
  names=$(printers | cut -f2)
  NAME=$MODEL
  # Without regard to case, as the spooler and the program compare names.
  while grep -qixF "$(quoted "$NAME")" <<<"$names"; do
    # shellcheck disable=SC2059
    printf -v NAME "$format" "$MODEL" "$n"
    n=$((n + 1))
  done
}

default_printer() { e2e_drive default-printer 2>/dev/null | tr -d '\r' | awk -F'\t' '{ print $2 }'; }

# value KEY NAME: a value's record from the helper (type, size, data), empty when absent.
value() {
  e2e_drive reg-values "$1" 2>/dev/null | tr -d '\r' |
    awk -F'\t' -v n="$(quoted "$2")" '$1 == "value" && $2 == n { print $3 "\t" $4 "\t" $5; exit }'
}

# --- setup ---------------------------------------------------------------------------------

e2e_start_display
e2e_boot_prefix
e2e_keep_server

# The program runs exactly as a user starts it: no DLL override, no debug channel of its own
# (the network case traces processes to see the commands started).
APP_ENV=()

# Wine's map of parallel ports is empty; a value added now lives as long as the wineserver.
if e2e_drive reg-values "$PARALLEL_MAP" | grep -q '^value'; then
  e2e_log "Wine's parallel ports: $(e2e_drive reg-values "$PARALLEL_MAP" | tr -d '\r' | cut -f2,5 | tr '\n' ' ')"
else
  e2e_log "Wine's map of parallel ports is empty: adding \\Device\\Parallel0 = \\DosDevices\\LPT1"
  e2e_wine 30 reg add "HKLM\\$PARALLEL_MAP" /v '\Device\Parallel0' /d '\DosDevices\LPT1' /f >/dev/null ||
    e2e_fail "could not add a parallel port"
fi

# --- whole installations, on the system's own flavour ----------------------------------------

if [ "$mode" = x64 ]; then
  ENVIRONMENT="Windows x64"
  DRIVER_DIR=$WINEPREFIX/drive_c/windows/system32/spool/drivers/x64
  WIZARD_INF='Windows x64\\KVDRVx64.INF'
  SCREENSHOT_TAG=-x64
else
  ENVIRONMENT="Windows NT x86"
  DRIVER_DIR=$WINEPREFIX/drive_c/windows/system32/spool/drivers/w32x86
  WIZARD_INF='Windows NT x86\\KVDRV.INF'
  SCREENSHOT_TAG=
fi

DRIVER_FILES="KV80.DLL KV80C.GPD UNIDRV.DLL UNIDRVUI.DLL UNIRES.DLL UNIDRV.HLP TTFSUB.GPD STDNAMES.GPD"

# The package's own files of the flavour's folder, unpacked from the archive the exe carries.
PACKAGE=
unpack_package() {
  [ -n "$PACKAGE" ] && return
  [ -f "${QM_PACKAGE_ZIP:-}" ] || e2e_fail "QM_PACKAGE_ZIP does not name the built package"
  PACKAGE=$E2E_TMP/package
  mkdir -p "$PACKAGE"
  unzip -q -o "$QM_PACKAGE_ZIP" "$ENVIRONMENT/*" -d "$PACKAGE" || e2e_fail "cannot unpack $QM_PACKAGE_ZIP"
}

# What another program of the user tries on the staged driver files while the dialog is open:
# writing, deleting and renaming them and their folder must all be refused.
tamper_with_staged_files() {
  local staging file out
  staging=$(e2e_windows_path "$(e2e_temp_dir)/Ostra2020")
  for file in UNIDRV.DLL UNIDRVUI.DLL; do
    out=$(e2e_drive tamper "$staging\\$ENVIRONMENT\\$file" | tr -d '\r')
    e2e_log "$RUN: another program on $file: $(tr '\n\t' '; ' <<<"$out")"
    [ "$(grep -c $'\trefused\t' <<<"$out")" -eq 4 ] ||
      failed "$RUN: another program could change the staged $file: $(tr '\n' ' ' <<<"$out")"
  done
}

# The spooler's own copies of the eight files are byte for byte the package's.
expect_package_files() {
  unpack_package
  local file copy
  for file in $DRIVER_FILES; do
    copy=$(find "$DRIVER_DIR/3" -maxdepth 1 -iname "$file" 2>/dev/null | head -1)
    cmp -s "$copy" "$PACKAGE/$ENVIRONMENT/$file" ||
      failed "$RUN: the spooler's ${copy:-missing} $file is not the package's"
  done
}

# A read-only file left in the staging folder before the start cannot be written over, so it
# is not the program's own: the installation is refused as a failed copy and installs nothing.
readonly_leftover() {
  local planted
  planted="$(e2e_temp_dir)/Ostra2020/$ENVIRONMENT/UNIDRVUI.DLL"
  mkdir -p "$(dirname "$planted")"
  printf planted >"$planted"
  chmod 444 "$planted" # Wine's read-only attribute
  open_dialog readonly-leftover "$EN_TITLE" || return 1
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  click 1 || return 1
  expect_message $'Malfunction !\nPls try using <Run as administrator>open this App' || return 1
  expect_still_open || return 1
  if e2e_drive drivers "$ENVIRONMENT" | grep -qF "\"$MODEL\""; then
    failed "$RUN: a driver $MODEL was registered from a staging folder that is not the program's"
  fi
  local file
  for file in $DRIVER_FILES; do
    [ -z "$(find "$DRIVER_DIR" -iname "$file" 2>/dev/null)" ] ||
      failed "$RUN: the refused installation left $file in the driver directory"
  done
  [ "$(cat "$planted")" = planted ] || failed "$RUN: the leftover was changed"
  click 2 || return 1
  e2e_drive wait-gone "$TITLE" $((EXIT_TIMEOUT_S * 1000)) || failed "$RUN: the dialog stays open after Exit"
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || failed "$RUN: the program still runs after Exit"
  rm -f "$planted"
}

# A parallel installation registers the driver, makes the queue, reports both and closes.
parallel_first() {
  local default_before
  default_before=$(default_printer)
  open_dialog parallel "$EN_TITLE" || return 1
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  expect_listed "$PARALLEL_MAP" parallel
  next_name "%s (copy %d)"
  [ "$NAME" = "$MODEL" ] || failed "$RUN: a queue named $MODEL exists before the first installation"
  tamper_with_staged_files
  click 1 || return 1
  success_text "$MODEL" LPT1:
  expect_message "$SUCCESS" "$MESSAGE_TIMEOUT_MS" "$E2E_ARTIFACTS/success$SCREENSHOT_TAG-en.png" || return 1
  expect_closed || return 1
  expect_printer "$MODEL" LPT1:
  local driver
  driver=$(e2e_drive drivers "$ENVIRONMENT" | tr -d '\r' | awk -F'\t' -v n="$(quoted "$MODEL")" '$2 == n')
  case "$driver" in
    *"\"$ENVIRONMENT\""*'\\3\\uniDRV.DLL"'*'\\3\\KV80C.GPD"'*'\\3\\uniDRVUI.DLL"'*) ;;
    *) failed "$RUN: the driver $MODEL for $ENVIRONMENT is registered as: ${driver:-nothing}" ;;
  esac
  # The spooler keeps its own copies; the program's own, put in the driver directory for
  # the registration, are removed again.
  expect_package_files
  local file
  for file in $DRIVER_FILES; do
    [ -n "$(find "$DRIVER_DIR/3" -maxdepth 1 -iname "$file" 2>/dev/null)" ] ||
      failed "$RUN: the spooler's driver folder lacks $file"
    [ -z "$(find "$DRIVER_DIR" -maxdepth 1 -iname "$file" 2>/dev/null)" ] ||
      failed "$RUN: the program left its copy of $file in the driver directory"
  done
  [ "$(default_printer)" = "$default_before" ] ||
    failed "$RUN: the default printer changed to $(default_printer) though the answer was no"
}

# The configuration file and the graphics DLL the spooler now keeps for the queue, called as
# the spooler calls them: the stand-in's default settings for the roll, its refusals, and the
# graphics DLL telling that it runs in user mode.
standin_answers() {
  RUN=standin
  [ -n "$probe" ] || return 0
  local dll core output
  dll=$(e2e_windows_path "$DRIVER_DIR/3/UNIDRVUI.DLL")
  core=$(e2e_windows_path "$DRIVER_DIR/3/UNIDRV.DLL")
  if output=$(e2e_wine 60 "$probe" "$dll" "$core" 2>&1 | tr -d '\r'); then
    e2e_log "standin: $(grep -c '^ok ' <<<"$output") answers as expected from $dll and $core"
  else
    failed "$RUN: the installed UNIDRVUI.DLL and UNIDRV.DLL answer:"
    printf '%s\n' "$output" >&2
  fi
}

# Installing again makes the next copy name; the answer yes makes it the default printer.
parallel_again_as_default() {
  open_dialog parallel-again "$EN_TITLE" || return 1
  click 1003 || return 1
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  next_name "%s (copy %d)"
  [ "$NAME" = "$MODEL (copy 1)" ] || failed "$RUN: the queues before it make the name $NAME, want $MODEL (copy 1)"
  click 1 || return 1
  success_text "$NAME" LPT1:
  expect_message "$SUCCESS" || return 1
  expect_closed || return 1
  expect_printer "$NAME" LPT1:
  expect_printer "$MODEL" LPT1:
  local default
  default=$(default_printer)
  [ "$default" = "$(quoted "$NAME")" ] || failed "$RUN: the default printer is ${default:-none}, want $NAME"
}

# A serial installation writes the port's settings into the system's Ports key first.
serial_115200() {
  local before after
  before=$(value "$SERIAL_SETTINGS" COM1:)
  e2e_log "serial: Wine's Ports key holds COM1: = ${before:-nothing}"
  grep -qxF "$(printf 'port\t"COM1:"')" <<<"$(e2e_drive ports | tr -d '\r')" ||
    failed "$RUN: Wine's spooler does not list COM1:"
  # Wine's localspl traces each command its Local Port monitor is given.
  open_dialog serial "$EN_TITLE" WINEDEBUG=+localspl || return 1
  click 1007 || return 1
  choose_port "Please select serial port:" COM1: || return 1
  expect_listed 'HARDWARE\DEVICEMAP\SERIALCOMM' serial
  local dump id
  dump=$(e2e_drive dump "$TITLE" | tr -d '\r')
  for id in 1028 1024 1025 1026 1027; do
    awk -F'\t' -v id="$id" '$1 == "ctrl" && $2 == id && $4 == "visible" { f = 1 } END { exit !f }' <<<"$dump" ||
      failed "$RUN: the baud control $id is not shown for a serial connection"
  done
  click 1027 || return 1
  next_name "%s (copy %d)"
  click 1 || return 1
  success_text "$NAME" COM1:
  expect_message "$SUCCESS" || return 1
  expect_closed || return 1
  expect_printer "$NAME" COM1:
  # A port the spooler lists is left alone: the monitor is given nothing.
  if grep -aq 'localmon_XcvDataPort' "$E2E_APP_LOG"; then
    failed "$RUN: the Local Port monitor was given a command for COM1:: $(grep -a 'localmon_XcvDataPort' "$E2E_APP_LOG" | head -3)"
  fi
  after=$(value "$SERIAL_SETTINGS" COM1:)
  if [ -z "$before" ]; then
    # The key is the system's: the program opens it, it does not make it.
    [ -z "$after" ] || failed "$RUN: the program wrote COM1: into a Ports key Wine did not have"
  else
    # Sizes as the W calls report them: the terminating NUL is counted.
    [ "$after" = "$(printf 'REG_SZ\t30\t"115200,n,8,1,p"')" ] ||
      failed "$RUN: COM1: in the Ports key is $after, want REG_SZ \"115200,n,8,1,p\" with its NUL"
  fi
}

# One run: the wizard link, an untouched address refused, then a network installation.
# Program events are traced (+process) to see the commands it starts.
network_and_wizard() {
  local ports_existed=1
  if ! e2e_drive reg-values "$TCPIP_PORTS" >/dev/null 2>&1; then
    # Wine has no Standard TCP/IP port monitor; the program opens the monitor's Ports key and
    # makes only the port's own key, so the Ports key is made here.
    ports_existed=0
    e2e_log "network: Wine has no $TCPIP_PORTS key; the test makes it (the Ports key only)"
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n' "$TCPIP_PORTS" >"$E2E_TMP/tcpip.reg"
    e2e_import_reg "$E2E_TMP/tcpip.reg"
  fi
  open_dialog network "$EN_TITLE" WINEDEBUG=+process || return 1
  local log=$E2E_APP_LOG staging
  staging=$(e2e_windows_path "$(e2e_temp_dir)/Ostra2020")

  click 1023 || return 1
  sleep 2
  e2e_drive wait-window "$TITLE" 1000 >/dev/null || failed "$RUN: the dialog did not stay open after the wizard link"

  click 1009 || return 1
  click 1 || return 1
  expect_message "Please enter the printer's valid IP address !" || return 1
  expect_still_open || return 1
  if e2e_drive reg-values "$TCPIP_PORTS\\IP_[0.0.0.0]" >/dev/null 2>&1; then
    failed "$RUN: the refused address left a port key IP_[0.0.0.0]"
  fi

  e2e_drive set-ip "$TITLE" 1011 10 0 0 7 || {
    failed "$RUN: could not type the address"
    return 1
  }
  next_name "%s (copy %d)"
  local started=$SECONDS
  click 1 || return 1
  success_text "$NAME" "IP_[10.0.0.7]"
  expect_message "$SUCCESS" "$NETWORK_TIMEOUT_MS" || return 1
  e2e_log "network: from the click to the report $((SECONDS - started)) s (spooler stopped and started)"
  expect_closed || return 1
  expect_printer "$NAME" "IP_[10.0.0.7]"

  local want actual
  want=$(
    printf 'value\t"HostName"\tREG_SZ\t18\t"10.0.0.7"\n'
    printf 'value\t"HWAddress"\tREG_SZ\t2\t""\n'
    printf 'value\t"IPAddress"\tREG_SZ\t2\t""\n'
    printf 'value\t"PortMonMibPortIndex"\tREG_DWORD\t4\t0\n'
    printf 'value\t"PortNumber"\tREG_DWORD\t4\t9100\n'
    printf 'value\t"Protocol"\tREG_DWORD\t4\t1\n'
    printf 'value\t"SNMP Community"\tREG_SZ\t14\t"tarnel"\n'
    printf 'value\t"SNMP Enabled"\tREG_DWORD\t4\t0\n'
    printf 'value\t"SNMP Index"\tREG_DWORD\t4\t1\n'
    printf 'value\t"Version"\tREG_DWORD\t4\t2\n'
  )
  actual=$(e2e_drive reg-values "$TCPIP_PORTS\\IP_[10.0.0.7]" | tr -d '\r' | LC_ALL=C sort)
  if [ "$actual" != "$(LC_ALL=C sort <<<"$want")" ]; then
    failed "$RUN: the port key IP_[10.0.0.7] holds:"
    printf '%s\n' "${actual:-(no key)}" >&2
  fi
  [ "$ports_existed" = 1 ] || e2e_log "network: the Ports key was made by the test"

  # The commands the program started, in order, from Wine's process trace: the system's own
  # programs, by their full path.
  local commands
  commands=$(grep -a 'CreateProcessInternalW app (null) cmdline' "$log" |
    sed 's/.*cmdline L"\(.*\)"$/\1/' | grep -aiE -e 'net(\.exe)?\\"' -e 'rundll32')
  e2e_log "network: commands started: $(tr '\n' '|' <<<"$commands")"
  local wizard
  wizard="\\\"C:\\\\windows\\\\system32\\\\rundll32.exe\\\" printui.dll PrintUIEntry /ii /f \\\"${staging//\\/\\\\}\\\\$WIZARD_INF\\\""
  grep -qxF "$wizard" <<<"$commands" ||
    failed "$RUN: the wizard link did not start $wizard"
  grep -a -q 'fixme:printui:PrintUIEntryW command not implemented: L"ii"' "$log" &&
    e2e_log "network: Wine's PrintUIEntry parsed /ii and did nothing"
  local restart
  restart=$(grep -e ' spooler$' <<<"$commands" | tr '\n' '|')
  local net='\"C:\\windows\\system32\\net.exe\"'
  # The first start is the program's own at start-up; the install stops and starts again.
  [ "$restart" = "$net start spooler|$net stop spooler|$net start spooler|" ] ||
    failed "$RUN: the spooler commands were: $restart"
  local service
  service=$(e2e_wine 30 sc query spooler 2>/dev/null | tr -d '\r' | awk '/STATE/ { print $4 }')
  [ "$service" = RUNNING ] || failed "$RUN: after the restart the spooler is ${service:-unknown}, want RUNNING"
}

# A USB printer given to Wine's SetupDi through the registry, with its port mapped to a file
# that receives the test page as PostScript.
usb_with_test_page() {
  local job=$E2E_TMP/usb001.ps interfaces=$USB_INTERFACES
  cat >"$E2E_TMP/usb.reg" <<EOF
REGEDIT4

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0416&PID_5011\\ABC]
"ClassGUID"="{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"

[HKEY_LOCAL_MACHINE\\$interfaces\\##?#usb#vid_0416&pid_5011#abc#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}]
"DeviceInstance"="USB\\\\VID_0416&PID_5011\\\\ABC"

[HKEY_LOCAL_MACHINE\\$interfaces\\##?#usb#vid_0416&pid_5011#abc#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#]
"SymbolicLink"="\\\\\\\\?\\\\usb#vid_0416&pid_5011#abc#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"

[HKEY_LOCAL_MACHINE\\$interfaces\\##?#usb#vid_0416&pid_5011#abc#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Control]
"Linked"=dword:00000001

[HKEY_LOCAL_MACHINE\\$interfaces\\##?#usb#vid_0416&pid_5011#abc#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Device Parameters]
"Port Number"=dword:00000001

[HKEY_CURRENT_USER\\Software\\Wine\\Printing\\Spooler]
"USB001"="$job"
EOF
  e2e_import_reg "$E2E_TMP/usb.reg"
  open_dialog usb "$EN_TITLE" || return 1
  choose_port "Please select USB port:" USB001 || return 1
  next_name "%s (copy %d)"
  click 1 || return 1
  success_text "$NAME" USB001
  expect_message "$SUCCESS" || return 1
  # The test page is printed after the report, then the dialog closes.
  expect_closed || return 1
  expect_printer "$NAME" USB001
  local deadline=$((SECONDS + 10))
  until grep -qa '^%%EOF' "$job" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
  if [ ! -s "$job" ]; then
    failed "$RUN: no print job arrived at USB001 ($job)"
    return 1
  fi
  cp "$job" "$E2E_ARTIFACTS/testpage$SCREENSHOT_TAG-usb001.ps"
  head -1 "$job" | grep -q '^%!PS-Adobe' || failed "$RUN: the job at USB001 is not PostScript"
  grep -qaxF "%%Title: $NAME" "$job" || failed "$RUN: the job at USB001 is not titled $NAME"
  grep -qax '%%Pages: 1' "$job" || failed "$RUN: the job at USB001 is not one page"
  grep -qax 'showpage' "$job" || failed "$RUN: the job at USB001 shows no page"
  e2e_log "usb: the test page arrived at USB001 as $(wc -c <"$job") bytes of PostScript"
  # The page as printed: rendered with ghostscript, each element looked for at its place.
  local png=$E2E_ARTIFACTS/testpage$SCREENSHOT_TAG-usb001.png
  if ! command -v gs >/dev/null; then
    failed "$RUN: ghostscript (gs) is missing: the test page cannot be rendered"
  elif ! python3 "$(dirname "${BASH_SOURCE[0]}")/test_page_check.py" "$job" "$png" >&2; then
    failed "$RUN: the test page at USB001 lacks elements (rendered as $(basename "$png"))"
  fi
}

# Deletes every queue named after the model, in any letter case and with any suffix.
delete_model_queues() {
  local kind name
  while IFS=$'\t' read -r kind name _; do
    [ "$kind" = printer ] || continue
    name=${name#\"}
    name=${name%\"}
    case "${name,,}" in "${MODEL,,}"*) e2e_drive delete-printer "$name" || failed "could not delete $name" ;; esac
  done <<<"$(printers)"
}

# On a Chinese system the report is Chinese and copies are named with 副本.
chinese_parallel() {
  local name
  # Both Chinese installations start from a spooler without the model's queues.
  delete_model_queues
  e2e_use_chinese
  local round
  for round in 1 2; do
    open_dialog "zh-$round" "$ZH_TITLE" || return 1
    click 1008 || return 1
    choose_port "请选择以下并口端口:" LPT1: || return 1
    if [ "$round" = 1 ]; then
      sleep 0.3
      e2e_screenshot "$E2E_ARTIFACTS/dialog$SCREENSHOT_TAG-zh-install.png"
      name=$MODEL
    else
      name="$MODEL (副本 1)"
    fi
    click 1 || return 1
    success_text "$name" LPT1:
    local shot=
    [ "$round" = 1 ] && shot=$E2E_ARTIFACTS/success$SCREENSHOT_TAG-zh.png
    expect_message "$SUCCESS" "$MESSAGE_TIMEOUT_MS" "$shot" || return 1
    expect_closed || return 1
    expect_printer "$name" LPT1:
  done
  e2e_use_english
}

# A serial port that the running spooler does not list, as a USB-to-serial adapter's COM7 is on
# Windows: the program has the Local Port monitor add it, then writes its settings. Wine's
# spooler lists the Ports key as it is at each call (its localspl reads the key), and its
# monitor implements AddPort: it refuses a port the spooler lists and writes a new one into the
# key with no settings.
serial_new_port() {
  RUN=serial-new
  local map='HARDWARE\DEVICEMAP\SERIALCOMM' ports
  e2e_wine 30 reg add "HKLM\\$map" /v '\Device\Serial6' /d COM7 /f >/dev/null || {
    failed "$RUN: could not add COM7 to the serial device map"
    return 1
  }
  ports=$(e2e_drive ports | tr -d '\r')
  e2e_log "serial-new: Wine's spooler lists $(cut -f2 <<<"$ports" | tr '\n' ' ')"
  if grep -qixF "$(printf 'port\t"COM7:"')" <<<"$ports" || [ -n "$(value "$SERIAL_SETTINGS" COM7:)" ]; then
    failed "$RUN: Wine knows COM7: before the installation"
    return 1
  fi
  open_dialog serial-new "$EN_TITLE" WINEDEBUG=+localspl || return 1
  click 1007 || return 1
  choose_port "Please select serial port:" COM7: || return 1
  next_name "%s (copy %d)"
  click 1 || return 1
  success_text "$NAME" COM7:
  expect_message "$SUCCESS" || return 1
  expect_closed || return 1
  expect_printer "$NAME" COM7:
  # Exactly one command to the monitor: AddPort of COM7: (12 bytes, its NUL counted), done.
  local commands
  commands=$(grep -a 'localmon_XcvDataPort' "$E2E_APP_LOG" | grep -a -e 'InputData' -e '=> ' |
    sed 's/.*localmon_XcvDataPort //' | tr -d '\r' | tr '\n' '|')
  e2e_log "serial-new: the Local Port monitor traced: $commands"
  [ "$commands" = 'InputData (12): L"COM7:"|=> 0|' ] ||
    failed "$RUN: the Local Port monitor was given $commands, want one AddPort of COM7: answered 0"
  grep -a -q 'localmon_XcvDataPort (.*L"AddPort"' "$E2E_APP_LOG" ||
    failed "$RUN: the monitor's command was not AddPort"
  grep -qxF "$(printf 'port\t"COM7:"')" <<<"$(e2e_drive ports | tr -d '\r')" ||
    failed "$RUN: the spooler does not list COM7: after the installation"
  # The settings written after the port was added, so the monitor's empty value is replaced.
  [ "$(value "$SERIAL_SETTINGS" COM7:)" = "$(printf 'REG_SZ\t26\t"9600,n,8,1,p"')" ] ||
    failed "$RUN: COM7: in the Ports key is $(value "$SERIAL_SETTINGS" COM7:), want REG_SZ \"9600,n,8,1,p\""
}

# A queue named as the model in another case, made before the installation: Windows' spooler
# would refuse the model's name beside it (Wine's would replace the queue), so the installation
# takes the first copy name and both queues stay.
other_case_queue() {
  RUN=other-case
  delete_model_queues
  e2e_drive add-printer kv-80c LPT1: "$MODEL" || {
    failed "$RUN: could not make the queue kv-80c"
    return 1
  }
  open_dialog other-case "$EN_TITLE" || return 1
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  click 1 || return 1
  success_text "$MODEL (copy 1)" LPT1:
  expect_message "$SUCCESS" || return 1
  expect_closed || return 1
  local want actual
  want=$(printf 'printer\t"%s (copy 1)"\t"LPT1:"\t"%s"\nprinter\t"kv-80c"\t"LPT1:"\t"%s"' \
    "$MODEL" "$MODEL" "$MODEL")
  actual=$(printers | awk -F'\t' -v m="\"${MODEL,,}" 'index(tolower($2), m) == 1' | LC_ALL=C sort)
  [ "$actual" = "$want" ] || failed "$RUN: the model's queues are $(tr '\n\t' '; ' <<<"$actual"), want KV-80C (copy 1) and kv-80c"
}

# A Chinese display language on code page 1252: GBK texts would be garbage there, so the
# dialog, its lists and the report are English, and the copy is named "(copy 1)" next to the
# queues the Chinese system left.
chinese_display_parallel() {
  e2e_use_chinese_display
  local report
  report=$(e2e_locale_report)
  e2e_log "Chinese display language on an English system: $report"
  case "$report" in
    ui=2052\ acp=1252\ *) ;;
    *)
      failed "the locale is not UI language 2052 with code page 1252: $report"
      e2e_use_english
      return 1
      ;;
  esac
  next_name "%s (copy %d)"
  local name=$NAME
  [ "$name" != "$MODEL" ] || failed "the Chinese system's queue $MODEL is gone"
  open_dialog zh-display "$EN_TITLE" || return 1
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  sleep 0.3
  e2e_screenshot "$E2E_ARTIFACTS/dialog$SCREENSHOT_TAG-zh-display.png"
  click 1 || return 1
  success_text "$name" LPT1:
  expect_message "$SUCCESS" || return 1
  expect_closed || return 1
  expect_printer "$name" LPT1:
  e2e_use_english
}

# A user name that code page 1252 cannot spell (Chinese, on an English system): GetTempPathA
# would answer "C:\users\??\Temp\". The program takes the temporary folder's short form, and
# makes that folder, which is missing, itself. Last: it leaves TMP and TEMP changed.
wide_temp_parallel() {
  e2e_use_english
  local profile="$WINEPREFIX/drive_c/users/张伟" temp='C:\users\张伟\Temp' var
  mkdir -p "$profile"
  for var in TMP TEMP; do
    e2e_wine 60 reg add 'HKCU\Environment' /v "$var" /t REG_SZ /d "$temp" /f >/dev/null ||
      failed "could not set $var to $temp"
  done
  next_name "%s (copy %d)"
  local name=$NAME
  open_dialog wide-temp "$EN_TITLE" || return 1
  local staged
  staged=$(find "$profile/Temp/Ostra2020" -type f 2>/dev/null | wc -l)
  [ "$staged" = 20 ] || failed "$RUN: $staged files unpacked below $temp\Ostra2020, want 20"
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  click 1 || return 1
  success_text "$name" LPT1:
  expect_message "$SUCCESS" || return 1
  expect_closed || return 1
  expect_printer "$name" LPT1:
  local left
  left=$(find "$profile/Temp/Ostra2020" -mindepth 1 2>/dev/null | head -3)
  [ -z "$left" ] || failed "$RUN: after closing, $temp\Ostra2020 still holds $left"
  [ -d "$profile/Temp/Ostra2020" ] || failed "$RUN: no staging folder below $temp"
}

# --- the 32-bit program on a 64-bit system ---------------------------------------------------

# The driver registers for "Windows x64", but Wine's AddPrinterA from a 32-bit process finds
# only drivers for "Windows NT x86": the system's text for its error, then the failure, and
# the dialog stays open.
x64_refused() {
  local error
  error=$(e2e_drive error-text 87 | tr -d '\r' | cut -f2)
  open_dialog x64 "$EN_TITLE" || return 1
  click 1008 || return 1
  choose_port "Please select parallel port:" LPT1: || return 1
  click 1 || return 1
  local record text
  if ! record=$(e2e_drive wait-message "$MESSAGE_TIMEOUT_MS" | tr -d '\r'); then
    failed "$RUN: no message box after the refused queue"
    return 1
  fi
  text=$(cut -f3 <<<"$record")
  e2e_screenshot "$E2E_ARTIFACTS/x64-error.png"
  e2e_log "x64: the first message reads $text"
  if [ -z "$error" ] || [ "$text" != "$error" ]; then
    failed "$RUN: the first message reads $text, want the system's text for error 87: ${error:-none}"
  fi
  e2e_drive answer-message 1 || failed "$RUN: the message box could not be answered"
  expect_message "Install Failed !" || return 1
  expect_still_open || return 1
  local drivers
  drivers=$(e2e_drive drivers "Windows x64" | tr -d '\r')
  grep -qF "$(printf 'driver\t"%s"\t"Windows x64"' "$MODEL")" <<<"$drivers" ||
    failed "$RUN: the driver $MODEL is not registered for Windows x64"
  if printers | grep -qF "\"$MODEL"; then failed "$RUN: a queue was made though AddPrinterA failed"; fi
  click 2 || return 1
  expect_closed
}

if [ "$mode" != wow64 ]; then
  run_case readonly_leftover
  run_case parallel_first
  run_case standin_answers
  run_case parallel_again_as_default
  run_case serial_115200
  run_case serial_new_port
  run_case network_and_wizard
  run_case usb_with_test_page
  run_case chinese_parallel
  run_case other_case_queue
  run_case chinese_display_parallel
  run_case wide_temp_parallel
else
  run_case x64_refused
fi

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed; screenshots in $E2E_ARTIFACTS"
  exit 1
fi
e2e_log "all checks passed; screenshots in $E2E_ARTIFACTS"
