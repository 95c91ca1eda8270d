#!/usr/bin/env bash
# End-to-end test of a serial port named with 250 characters under Wine, at 96 and 144 dpi: the dialog stays inside the screen and its work area, every text shows (the long entry through the list's horizontal scroll bar), nothing stale is left painted, and the port installs.
# Usage: long_port_test.sh QUILLMATE_EXE QMDRIVE_EXE
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
# The screen e2e_dpi uses: the dialog with its caption bar fits it at 144 dpi.
# shellcheck disable=SC2034
E2E_SCREEN=800x600
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$2"
mkdir -p "$E2E_ARTIFACTS"

EN_TITLE="Korvex 80 Series printer driver"
ZH_TITLE="Korvex 80系列打印机驱动安装"
SHOW_TIMEOUT_MS=30000
MESSAGE_TIMEOUT_MS=30000
EXIT_TIMEOUT_S=10
SERIAL_MAP='HARDWARE\DEVICEMAP\SERIALCOMM'
CUTS=$(dirname "${BASH_SOURCE[0]}")/wine_cut_texts.txt

# 250 characters without a repeating stretch (the squares, dash-separated), so that a list
# scrolled sideways lines up with its twin one way only.
LONG=COM
n=1
while [ ${#LONG} -lt 250 ]; do
  LONG+=-$((n * n))
  n=$((n + 1))
done
LONG=${LONG:0:250}

# The dpi is read when a process starts; the device map lives as long as the wineserver, which
# is kept up once the long port is in it and let go before the next dpi.
set_dpi() {
  timeout 20 wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w || e2e_fail "wineserver did not finish"
  e2e_wine 30 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null ||
    e2e_fail "could not set LogPixels to $1"
  timeout 60 wineserver -w || e2e_fail "wineserver did not finish"
  e2e_keep_server
  e2e_wine 30 reg add "HKLM\\$SERIAL_MAP" /v '\Device\VSerial0' /t REG_SZ /d "$LONG" /f >/dev/null ||
    e2e_fail "could not add the long serial port"
}

known_cuts() { awk -v d="$1" -v l="$2" '!/^#/ && $1 == d && $2 == l { printf "%s ", $3 }' "$CUTS"; }

# check DPI LOCALE TITLE: the serial state with the long port on screen.
check() {
  local dpi=$1 locale=$2 title=$3 tag=$1-$2 report stale bad
  report=$E2E_ARTIFACTS/long-port-$tag.txt
  e2e_start_app "$exe"
  if ! e2e_drive wait-window "$title" "$SHOW_TIMEOUT_MS"; then
    failed "$tag: no window titled \"$title\""
    e2e_stop_app
    return 1
  fi
  e2e_drive click "$title" 1007 || failed "$tag: serial could not be chosen"
  sleep 1 # let the new layout paint
  e2e_screenshot "$E2E_ARTIFACTS/long-port-$tag.png"
  stale=$(e2e_drive stale "$title" | tr -d '\r')
  e2e_log "$tag: $stale"
  [ "$(cut -f2 <<<"$stale")" = 0 ] || failed "$tag: a full repaint changes the dialog: $stale"
  if ! e2e_drive fit "$title" | tr -d '\r' >"$report"; then
    failed "$tag: the dialog could not be measured"
  fi
  e2e_log "$tag: $(awk -F'\t' '$1 == "frame" { print "window " $2 ", work area " $3 ", screen " $4 }' "$report")"
  bad=$(awk -F'\t' '$1 == "place" && $4 != "inside" { printf "%s ", $2 }' "$report")
  [ -z "$bad" ] || failed "$tag: controls outside the dialog, the work area or the screen: $bad"
  awk -F'\t' '$1 == "frame" {
      split($2, w, ","); split($3, a, ","); split($4, s, ",")
      exit !(w[1] >= a[1] && w[2] >= a[2] && w[3] <= a[3] && w[4] <= a[4] &&
             w[1] >= s[1] && w[2] >= s[2] && w[3] <= s[3] && w[4] <= s[4]) }' "$report" ||
    failed "$tag: the dialog is not inside the work area and the screen"
  bad=$(awk -F'\t' '$1 == "fit" && $4 != "fits" { printf "%s%s %s (%s)", sep, $2, $7, $4; sep = "; " }' "$report")
  [ -z "$bad" ] || failed "$tag: $bad"
  bad=$(awk -F'\t' -v known="$(known_cuts "$dpi" "$locale")" -v long="\"$LONG:\"" '
    BEGIN { n = split(known, k, " "); for (i = 1; i <= n; i++) cut[k[i]] = 1 }
    $1 == "drawn" && $5 == "cut" && ($2 in cut) { next }
    $1 == "drawn" && $5 == "scrolled" && $2 == 1010 && $8 == long { next }
    $1 == "drawn" && $5 != "shown" { printf "%s%s %s (%s)", sep, $2, $8, $5; sep = "; " }' "$report")
  [ -z "$bad" ] || failed "$tag, as drawn: $bad"
  awk -F'\t' -v long="\"$LONG:\"" '$1 == "drawn" && $2 == 1010 && $8 == long && ($5 == "scrolled" || $5 == "shown") { f = 1 } END { exit !f }' "$report" ||
    failed "$tag: the long port's whole name is not seen in the list, scrolled or not"
}

# The long port, chosen and installed: the queue is on the whole name.
install_long() {
  local title=$1 index record text want
  index=$(e2e_drive list "$title" 1010 | tr -d '\r' |
    awk -F'\t' -v long="\"$LONG:\"" '$1 == "item" && $5 == long { print $3; exit }')
  [ -n "$index" ] || {
    failed "the long port is not listed"
    return 1
  }
  e2e_drive select "$title" 1010 "$index" || failed "the long port could not be selected"
  e2e_drive click "$title" 1 || failed "install was refused"
  if ! record=$(e2e_drive wait-message "$MESSAGE_TIMEOUT_MS" | tr -d '\r'); then
    failed "no message after installing on the long port"
    return 1
  fi
  text=$(awk -F'\t' '$1 == "message" { print $3; exit }' <<<"$record")
  printf -v want 'The printer driver has been successfully installed on your computer!\r\nPrinter name : KV-80C\r\nPrinter port : %s:\r\n' "$LONG"
  [ "$text" = "$(quoted "$want")" ] || failed "installing on the long port says $text"
  e2e_drive answer-message 1 || failed "the message box could not be answered"
  e2e_drive wait-gone "$title" $((EXIT_TIMEOUT_S * 1000)) || failed "the dialog stays open after installing"
  grep -qxF "$(printf 'printer\t"KV-80C"\t"%s:"\t"KV-80C"' "$LONG")" <<<"$(e2e_drive printers | tr -d '\r')" ||
    failed "the spooler has no queue KV-80C on the long port"
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || failed "the program still runs after installing"
  e2e_stop_app
}

quit() {
  e2e_drive click "$1" 2 || failed "Exit was refused"
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || failed "the program still runs after Exit"
  e2e_stop_app
}

e2e_start_display
e2e_boot_prefix
e2e_log "the long port: $LONG (${#LONG} characters)"

set_dpi 144
e2e_use_english
check 144 en "$EN_TITLE" && quit "$EN_TITLE"
e2e_use_chinese
check 144 zh "$ZH_TITLE" && quit "$ZH_TITLE"

set_dpi 96
e2e_use_english
check 96 en "$EN_TITLE" && install_long "$EN_TITLE"

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed; screenshots and reports in $E2E_ARTIFACTS"
  exit 1
fi
e2e_log "all checks passed; screenshots and reports in $E2E_ARTIFACTS"
