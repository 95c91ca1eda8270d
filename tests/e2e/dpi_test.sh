#!/usr/bin/env bash
# End-to-end test of the dialog at 96, 120 and 144 dpi under Wine, in English and Chinese: in
# every state of its port area, a screenshot, nothing stale left painted, and for each text
# (captions and list entries) whether the screen shows all of its glyphs and whether its
# measured extent fits.
# Usage: dpi_test.sh QUILLMATE_EXE QMDRIVE_EXE
# Any text clipped, or any control reaching out of the dialog, fails the test.
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
# The states of the port area, each with the radio button that brings it: USB (the notice:
# the prefix has no USB printer), serial (Wine's COM ports and the baud group), parallel (the
# notice: Wine maps no parallel port) and network (the address caption).
STATES="usb:1006 serial:1007 parallel:1008 network:1009"

# Wine 8 takes the dpi from HKCU\Control Panel\Desktop\LogPixels when a process starts; the
# wineserver is let go first, so that the desktop starts again at the new size too.
set_dpi() {
  e2e_wine 30 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null ||
    e2e_fail "could not set LogPixels to $1"
  timeout 60 wineserver -w || e2e_fail "wineserver did not finish"
}

# fit_state DPI LOCALE TITLE STATE: screenshot and fit report of the state on screen, the
# report in artifacts/e2e/fit-DPI-LOCALE-STATE.txt.
fit_state() {
  local dpi=$1 locale=$2 title=$3 state=$4 report=$E2E_ARTIFACTS/fit-$1-$2-$4.txt seen
  sleep 0.5 # let the window paint
  e2e_screenshot "$E2E_ARTIFACTS/dpi-$dpi-$locale-$state.png"
  # Nothing of an earlier layout may stay on the screen: a full repaint changes no pixel.
  seen=$(e2e_drive stale "$title" | tr -d '\r')
  [ "$(cut -f2 <<<"$seen")" = 0 ] || failed "$dpi dpi, $locale, $state: a full repaint changes the dialog: $seen"
  if ! e2e_drive fit "$title" | tr -d '\r' >"$report"; then
    failed "$dpi dpi, $locale, $state: the captions could not be measured"
  fi
  seen=$(awk -F'\t' '$1 == "font" { print $4; exit }' "$report")
  [ "$seen" = "$dpi" ] || failed "$locale: set to $dpi dpi, the helper sees ${seen:-nothing}"
}

# measure DPI LOCALE TITLE: every state, from the opening on, chosen as a user would.
measure() {
  local dpi=$1 locale=$2 title=$3 entry state id
  e2e_start_app "$exe"
  if ! e2e_drive wait-window "$title" "$SHOW_TIMEOUT_MS"; then
    e2e_screenshot "$E2E_ARTIFACTS/no-window-dpi-$dpi-$locale.png"
    e2e_stop_app
    failed "$dpi dpi, $locale: no window titled \"$title\""
    return
  fi
  for entry in $STATES; do
    state=${entry%%:*} id=${entry##*:}
    if [ "$state" != usb ]; then # the dialog opens on USB
      e2e_drive click "$title" "$id" || failed "$dpi dpi, $locale: $state could not be chosen"
    fi
    fit_state "$dpi" "$locale" "$title" "$state"
  done
  e2e_drive click "$title" 2 || failed "$dpi dpi, $locale: Exit was refused"
  e2e_wait_app_exit "$EXIT_TIMEOUT_S" || {
    failed "$dpi dpi, $locale: the program still runs after Exit"
    e2e_stop_app
  }
}

e2e_start_display
e2e_boot_prefix

for dpi in 96 120 144; do
  set_dpi "$dpi"
  e2e_use_english
  measure "$dpi" en "$EN_TITLE"
  e2e_use_chinese
  measure "$dpi" zh "$ZH_TITLE"
done

# Texts Wine's controls cut whatever the room (wine_cut_texts.txt): "DPI LOCALE ID" lines.
CUTS=$(dirname "${BASH_SOURCE[0]}")/wine_cut_texts.txt
known_cuts() { awk -v d="$1" -v l="$2" '!/^#/ && $1 == d && $2 == l { printf "%s ", $3 }' "$CUTS"; }
seen_cuts=$E2E_TMP/seen-cuts
: >"$seen_cuts"

for dpi in 96 120 144; do
  for locale in en zh; do
    for entry in $STATES; do
      state=${entry%%:*}
      report=$E2E_ARTIFACTS/fit-$dpi-$locale-$state.txt
      [ -s "$report" ] || continue
      e2e_log "$locale at $dpi dpi, $state: $(awk -F'\t' '$1 == "client" { print "client " $2 ", its units give " $3 }' "$report")"
      bad=$(awk -F'\t' '$1 == "fit" && $4 != "fits" { printf "%s%s %s (%s: needs %s, has %s)", sep, $2, $7, $4, $5, $6; sep = "; " }' "$report")
      [ -z "$bad" ] || failed "$locale at $dpi dpi, $state: $bad"
      # From the pixels: every text measured above is also judged by what it drew.
      bad=$(awk -F'\t' -v known="$(known_cuts "$dpi" "$locale")" '
        BEGIN { n = split(known, k, " "); for (i = 1; i <= n; i++) cut[k[i]] = 1 }
        $1 == "drawn" && $5 == "cut" && ($2 in cut) { next }
        $1 == "drawn" && $5 != "shown" { printf "%s%s%s %s (%s: %s glyph columns missing, the first at %s)", sep, $2, ($3 == "-" ? "" : " entry " $3), $8, $5, $6, $7; sep = "; " }' "$report")
      [ -z "$bad" ] || failed "$locale at $dpi dpi, $state, as drawn: $bad"
      awk -F'\t' -v tag="$dpi $locale" '$1 == "drawn" && $5 == "cut" { print tag " " $2 }' "$report" >>"$seen_cuts"
      unjudged=$(awk -F'\t' '$1 == "fit" { fit[$2] = 1 } $1 == "drawn" { seen[$2] = 1 }
        END { for (id in fit) if (!(id in seen)) printf "%s ", id }' "$report")
      [ -z "$unjudged" ] || failed "$locale at $dpi dpi, $state: no pixels judged for $unjudged"
      # The serial state shows the port list (its prompt and Wine's COM ports).
      if [ "$state" = serial ] && ! grep -q $'^drawn\t[0-9]*\t[0-9]' "$report"; then
        failed "$locale at $dpi dpi, serial: no list entry judged"
      fi
    done
  done
done

while read -r dpi locale id; do
  grep -qx "$dpi $locale $id" "$seen_cuts" ||
    failed "$locale at $dpi dpi: control $id is no longer cut by Wine; drop it from $CUTS"
done < <(grep -v '^#' "$CUTS")

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed; screenshots and fit reports in $E2E_ARTIFACTS"
  exit 1
fi
e2e_log "all checks passed; screenshots and fit reports in $E2E_ARTIFACTS"
