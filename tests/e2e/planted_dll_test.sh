#!/usr/bin/env bash
# End-to-end test of where the real exe's DLLs come from: a WINSPOOL.DRV and a SETUPAPI.dll planted beside Quillmate.exe (in the Downloads folder it is started from, which is then also the current directory) and in the staging folder are never loaded, even with Wine's load order for them set native first, which is Windows' order for a DLL that is no KnownDLL; a parallel installation still goes through the system's spooler.
# Usage: planted_dll_test.sh QUILLMATE_EXE QMDRIVE_EXE PLANTED_WINSPOOL_DRV PLANTED_SETUPAPI_DLL [x86|x64]
#   x86 (the default)  the 32-bit program on a 32-bit system
#   x64                the 64-bit program on a 64-bit system, under wine64
set -euo pipefail

if [ $# -lt 4 ] || [ $# -gt 5 ] || { [ "${5:-x86}" != x86 ] && [ "${5:-x86}" != x64 ]; }; then
  echo "usage: $0 QUILLMATE_EXE QMDRIVE_EXE PLANTED_WINSPOOL_DRV PLANTED_SETUPAPI_DLL [x86|x64]" >&2
  exit 2
fi
exe=$1
planted=$3
planted_setup=$4
mode=${5:-x86}
for file in "$exe" "$planted" "$planted_setup"; do
  [ -f "$file" ] || {
    echo "e2e: FAIL: not found: $file" >&2
    exit 1
  }
done
# Each program on a system of its own width, where it installs its own flavour.
if [ "$mode" = x86 ]; then export WINEARCH=win32; else unset WINEARCH; fi
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$2"
[ "$mode" != x64 ] || e2e_use_wine64
mkdir -p "$E2E_ARTIFACTS"

TITLE="Korvex 80 Series printer driver"
PARALLEL_MAP='HARDWARE\DEVICEMAP\PARALLEL PORTS'
SHOW_TIMEOUT_MS=30000
MESSAGE_TIMEOUT_MS=20000
# Native first for both, as Windows searches for a DLL that is no KnownDLL.
NATIVE_FIRST="${WINEDLLOVERRIDES};winspool.drv,setupapi=n,b"

e2e_start_display
e2e_boot_prefix
e2e_keep_server
if ! e2e_drive reg-values "$PARALLEL_MAP" | grep -q '^value'; then
  e2e_wine 30 reg add "HKLM\\$PARALLEL_MAP" /v '\Device\Parallel0' /d '\DosDevices\LPT1' /f >/dev/null ||
    e2e_fail "could not add a parallel port"
fi

downloads=$WINEPREFIX/drive_c/users/$USER/Downloads
staging=$(e2e_temp_dir)/Ostra2020
marker=$WINEPREFIX/drive_c/qm-planted-dll.txt
mkdir -p "$downloads" "$staging"
cp "$exe" "$downloads/Quillmate.exe"
for folder in "$downloads" "$staging"; do
  cp "$planted" "$folder/WINSPOOL.DRV"
  cp "$planted_setup" "$folder/SETUPAPI.dll"
done

# The check of the check: loaded, each planted DLL does leave its marker.
for name in WINSPOOL.DRV SETUPAPI.dll; do
  rm -f "$marker"
  env "${E2E_WINE_ENV[@]}" WINEDLLOVERRIDES="$NATIVE_FIRST" timeout 60 "$E2E_WINE" rundll32 \
    "$(e2e_windows_path "$downloads/$name"),Nothing" >/dev/null 2>&1 || true
  [ -s "$marker" ] || e2e_fail "the planted $name leaves no marker even when loaded on purpose"
  e2e_log "loaded on purpose, the planted DLL says: $(tr -d '\r' <"$marker")"
done
rm -f "$marker"

# The user starts the program from Downloads and installs on LPT1.
cd "$downloads"
e2e_start_app "$downloads/Quillmate.exe" WINEDLLOVERRIDES="$NATIVE_FIRST"
cd - >/dev/null
install() {
  e2e_drive wait-window "$TITLE" "$SHOW_TIMEOUT_MS" || {
    failed "no window titled \"$TITLE\""
    return 1
  }
  e2e_drive click "$TITLE" 1008 || {
    failed "could not choose parallel"
    return 1
  }
  local list index deadline=$((SECONDS + 5))
  while :; do
    list=$(e2e_drive list "$TITLE" 1010 | tr -d '\r')
    index=$(awk -F'\t' '$5 == "\"LPT1:\"" { print $3; exit }' <<<"$list")
    [ -z "$index" ] && [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.2
  done
  [ -n "$index" ] || {
    failed "the port list has no LPT1:"
    return 1
  }
  e2e_drive select "$TITLE" 1010 "$index" && e2e_drive click "$TITLE" 1 || {
    failed "could not install on LPT1:"
    return 1
  }
  local record
  record=$(e2e_drive wait-message "$MESSAGE_TIMEOUT_MS" | tr -d '\r') || {
    failed "no message box after the install command"
    return 1
  }
  e2e_log "the program reports: $(awk -F'\t' '$1 == "message" { print $3; exit }' <<<"$record")"
  grep -q 'successfully installed' <<<"$record" || failed "the installation did not succeed"
  e2e_drive answer-message 1 || failed "the message box could not be answered"
  e2e_drive wait-gone "$TITLE" 10000 || failed "the dialog stays open after the installation"
  e2e_wait_app_exit 10 || failed "the program still runs after its dialog closed"
}
if ! install; then
  e2e_screenshot "$E2E_ARTIFACTS/failed-planted-dll-$mode.png"
  tail -20 "$E2E_APP_LOG" >&2 || true
fi
e2e_stop_app

if [ -e "$marker" ]; then
  failed "a planted DLL was loaded into the program: $(tr -d '\r' <"$marker" | tr '\n' ' ')"
fi
e2e_drive printers | tr -d '\r' | grep -qF '"LPT1:"' ||
  failed "the system's spooler has no queue on LPT1: after the installation"

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed"
  exit 1
fi
e2e_log "no planted WINSPOOL.DRV or SETUPAPI.dll was loaded; the installation went through the system's spooler"
