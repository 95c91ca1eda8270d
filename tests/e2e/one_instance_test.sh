#!/usr/bin/env bash
# End-to-end test of starting the program again under Wine: a second start while the dialog is open and minimised brings it forward and ends; two starts at once leave one dialog, which installs.
# Usage: one_instance_test.sh QUILLMATE_EXE QMDRIVE_EXE
set -euo pipefail

[ $# -eq 2 ] || {
  echo "usage: $0 QUILLMATE_EXE QMDRIVE_EXE" >&2
  exit 2
}
exe=$1
[ -f "$exe" ] || {
  echo "e2e: FAIL: program not found: $exe" >&2
  exit 1
}
export WINEARCH=win32
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$2"
mkdir -p "$E2E_ARTIFACTS"

EN_TITLE="Korvex 80 Series printer driver"
SHOW_TIMEOUT_MS=30000
MESSAGE_TIMEOUT_MS=30000
# A second start ends as soon as the running dialog answers; Wine's own start comes first.
SECOND_EXIT_TIMEOUT_S=60
EXIT_TIMEOUT_S=10

# start_second: another start of the program beside the one e2e_start_app keeps, its pid in
# SECOND_PID.
SECOND_PID=
SECOND_LOG=
start_second() {
  SECOND_LOG=$E2E_TMP/second-$RANDOM.log
  env "${E2E_WINE_ENV[@]}" "$E2E_WINE" "$exe" >"$SECOND_LOG" 2>&1 &
  SECOND_PID=$!
  e2e_log "started $(basename "$exe") again as pid $SECOND_PID"
}

running() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  case "$state" in Z*) return 1 ;; esac
}

# wait_exit PID SECONDS: true once the process has ended.
wait_exit() {
  local deadline=$((SECONDS + $2))
  while running "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
  wait "$1" 2>/dev/null || true
}

states() { e2e_drive window-state "$EN_TITLE" | tr -d '\r'; }

staged() {
  (cd "$(e2e_temp_dir)/Ostra2020" 2>/dev/null && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort)
}

e2e_start_display
e2e_boot_prefix

# --- a second start while the dialog is open and minimised ---------------------------------
e2e_start_app "$exe"
e2e_drive wait-window "$EN_TITLE" "$SHOW_TIMEOUT_MS" || e2e_fail "the first start shows no dialog"
e2e_drive minimize "$EN_TITLE" || failed "the dialog could not be minimised"
before=$(states)
e2e_log "before the second start: $before"
grep -q $'\ticonic\t' <<<"$before" || failed "the dialog is not minimised before the second start"
staged_before=$(staged)
started=$SECONDS
start_second
if wait_exit "$SECOND_PID" "$SECOND_EXIT_TIMEOUT_S"; then
  e2e_log "the second start ended after $((SECONDS - started)) s"
else
  failed "the second start still runs after $SECOND_EXIT_TIMEOUT_S s"
  kill "$SECOND_PID" 2>/dev/null || true
fi
sleep 1 # let the restored dialog paint
e2e_screenshot "$E2E_ARTIFACTS/one-instance-forward.png"
after=$(states)
e2e_log "after the second start: $after"
[ "$(grep -c '^state' <<<"$after")" -eq 1 ] || failed "after a second start there are these windows: $after"
[ "$after" = "$(printf 'state\t%s\tvisible\trestored\tforeground' "$(cut -f2 <<<"$after" | head -1)")" ] ||
  failed "the running dialog is not shown restored in the foreground: $after"
[ "$(staged)" = "$staged_before" ] || failed "the staging folder changed at the second start"
e2e_drive click "$EN_TITLE" 2 || failed "Exit was refused"
e2e_wait_app_exit "$EXIT_TIMEOUT_S" || failed "the first start still runs after Exit"
e2e_stop_app

# --- two starts at once ---------------------------------------------------------------------
e2e_start_app "$exe"
start_second
e2e_drive wait-window "$EN_TITLE" "$SHOW_TIMEOUT_MS" || e2e_fail "neither start shows a dialog"
# One of the two ends; the other keeps the dialog.
ended=
deadline=$((SECONDS + SECOND_EXIT_TIMEOUT_S))
while [ -z "$ended" ] && [ "$SECONDS" -lt "$deadline" ]; do
  running "$SECOND_PID" || ended=second
  e2e_app_running || ended=first
  sleep 0.2
done
e2e_log "of two starts at once, the $ended ended"
[ -n "$ended" ] || failed "both starts at once still run after $SECOND_EXIT_TIMEOUT_S s"
sleep 1
e2e_screenshot "$E2E_ARTIFACTS/one-instance-both.png"
after=$(states)
[ "$(grep -c $'^state.*\tvisible\t' <<<"$after")" -eq 1 ] || failed "two starts at once leave these windows: $after"
# The dialog that stays installs on Wine's COM1.
e2e_drive click "$EN_TITLE" 1007 || failed "serial could not be chosen"
e2e_drive click "$EN_TITLE" 1 || failed "install was refused"
if record=$(e2e_drive wait-message "$MESSAGE_TIMEOUT_MS" | tr -d '\r'); then
  printf -v want '"The printer driver has been successfully installed on your computer!\\r\\nPrinter name : KV-80C\\r\\nPrinter port : COM1:\\r\\n"'
  text=$(awk -F'\t' '$1 == "message" { print $3; exit }' <<<"$record")
  [ "$text" = "$want" ] || failed "the installation says $text, want $want"
  e2e_drive answer-message 1 || failed "the message box could not be answered"
else
  failed "no message after the installation"
fi
e2e_drive wait-gone "$EN_TITLE" $((EXIT_TIMEOUT_S * 1000)) || failed "the dialog stays open after installing"
grep -qxF "$(printf 'printer\t"KV-80C"\t"COM1:"\t"KV-80C"')" <<<"$(e2e_drive printers | tr -d '\r')" ||
  failed "the spooler has no queue KV-80C on COM1:"
if [ "$ended" = first ]; then
  wait_exit "$SECOND_PID" "$EXIT_TIMEOUT_S" || failed "the start that installed still runs"
else
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || failed "the start that installed still runs"
fi
e2e_stop_app

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed; screenshots in $E2E_ARTIFACTS"
  exit 1
fi
e2e_log "all checks passed; screenshots in $E2E_ARTIFACTS"
