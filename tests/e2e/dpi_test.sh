#!/usr/bin/env bash
# End-to-end test of the dialog at 96 and 144 dpi under Wine, in English and Chinese: screenshots, and which captions do not fit their controls.
# Usage: dpi_test.sh QUILLMATE_EXE QMDRIVE_EXE
# Every clipped caption is recorded; the ones the fixed template is known to clip are listed
# below, and any other clipped caption fails the test.
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
# At 144 dpi the dialog is about 470 pixels square, with its caption bar; lib.sh reads this.
# shellcheck disable=SC2034
E2E_SCREEN=800x600
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$2"
mkdir -p "$E2E_ARTIFACTS"

EN_TITLE="Korvex 80 Series printer driver"
ZH_TITLE="Korvex 80系列打印机驱动安装"
SHOW_TIMEOUT_MS=30000
EXIT_TIMEOUT_S=10


# Wine 8 takes the dpi from HKCU\Control Panel\Desktop\LogPixels when a process starts; the
# wineserver is let go first, so that the desktop starts again at the new size too.
set_dpi() {
  e2e_wine 30 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null ||
    e2e_fail "could not set LogPixels to $1"
  timeout 60 wineserver -w || e2e_fail "wineserver did not finish"
}

# measure DPI LOCALE TITLE: screenshot and fit report of the opening dialog, the report in
# artifacts/e2e/fit-DPI-LOCALE.txt.
measure() {
  local dpi=$1 locale=$2 title=$3 report=$E2E_ARTIFACTS/fit-$1-$2.txt
  e2e_start_app "$exe"
  if ! e2e_drive wait-window "$title" "$SHOW_TIMEOUT_MS"; then
    e2e_screenshot "$E2E_ARTIFACTS/no-window-dpi-$dpi-$locale.png"
    e2e_stop_app
    failed "$dpi dpi, $locale: no window titled \"$title\""
    return
  fi
  sleep 0.5 # let the window paint
  e2e_screenshot "$E2E_ARTIFACTS/dpi-$dpi-$locale.png"
  if ! e2e_drive fit "$title" | tr -d '\r' >"$report"; then
    failed "$dpi dpi, $locale: the captions could not be measured"
  fi
  local seen
  seen=$(awk -F'\t' '$1 == "font" { print $4; exit }' "$report")
  [ "$seen" = "$dpi" ] || failed "$locale: set to $dpi dpi, the helper sees ${seen:-nothing}"
  e2e_drive click "$title" 2 || failed "$dpi dpi, $locale: Exit was refused"
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || {
    failed "$dpi dpi, $locale: the program still runs after Exit"
    e2e_stop_app
  }
}

# The clipped captions of a report, one "id "text"" a line.
clipped() {
  awk -F'\t' '$1 == "fit" && $4 != "fits" { print $2 " " $7 " (" $4 ": needs " $5 ", has " $6 ")" }' "$1"
}

e2e_start_display
e2e_boot_prefix

for dpi in 96 144; do
  set_dpi "$dpi"
  e2e_use_english
  measure "$dpi" en "$EN_TITLE"
  e2e_use_chinese
  measure "$dpi" zh "$ZH_TITLE"
done

for locale in en zh; do
  small=$E2E_ARTIFACTS/fit-96-$locale.txt
  large=$E2E_ARTIFACTS/fit-144-$locale.txt
  if [ ! -s "$small" ] || [ ! -s "$large" ]; then continue; fi
  for dpi in 96 144; do
    list=$(clipped "$E2E_ARTIFACTS/fit-$dpi-$locale.txt")
    e2e_log "$locale at $dpi dpi, clipped: ${list:+$'\n'}${list:-none}"
  done
  # The fixed template clips these under Wine's fonts (dialog units round down while the text
  # grows by the full factor); any other clipped caption is a change in the layout or the texts.
  for dpi in 96 144; do
    case "$locale-$dpi" in
      en-96 | en-144) known="1031 1014" ;;
      zh-96) known="" ;;
      zh-144) known="1009 1014" ;;
    esac
    unexpected=$(awk -F'\t' -v known=" $known " '$1 == "fit" && $4 != "fits" && index(known, " " $2 " ") == 0 { printf "%s%s %s", sep, $2, $7; sep = "; " }' \
      "$E2E_ARTIFACTS/fit-$dpi-$locale.txt")
    [ -z "$unexpected" ] || failed "$locale at $dpi dpi: newly clipped: $unexpected"
  done
done

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed; screenshots and fit reports in $E2E_ARTIFACTS"
  exit 1
fi
e2e_log "all checks passed; screenshots and fit reports in $E2E_ARTIFACTS"
