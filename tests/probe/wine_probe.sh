#!/usr/bin/env bash
# The platform probe under Wine on a fresh 64-bit prefix, held against what Windows answers.
# Usage: wine_probe.sh PLATFORM_PROBE_EXE EXPECTED WINE_LAXITIES DRIVER_PACKAGE_ZIP
# Every line must equal EXPECTED (its '#' comment lines left out), except the lines the table
# names, which must read as the table says Wine answers: a row that stops being true fails as
# well.
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 PLATFORM_PROBE_EXE EXPECTED WINE_LAXITIES DRIVER_PACKAGE_ZIP" >&2
  exit 2
fi
probe=$1
expected=$2
table=$3
zip=$4
command -v unzip >/dev/null || {
  echo "e2e: FAIL: unzip is missing (scripts/setup.sh)" >&2
  exit 1
}
# shellcheck source=../e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
e2e_init "$probe"
e2e_use_wine64

# The service commands start console programs, which want a desktop.
e2e_start_display
started=$SECONDS
e2e_wine 120 wineboot -i >"$E2E_TMP/wineboot.log" 2>&1 || {
  tail -20 "$E2E_TMP/wineboot.log" >&2
  e2e_fail "wineboot failed"
}
timeout 60 wineserver -w || e2e_fail "wineserver did not finish"
e2e_log "prefix booted in $((SECONDS - started)) s"

# The links the probe looks through, as the simulated machine's harness plants them.
drive=$WINEPREFIX/drive_c
mkdir -p "$drive/QuillmateProbeTarget" "$drive/QuillmateProbeLinks"
printf x >"$drive/QuillmateProbeTarget/inside.txt"
ln -s ../QuillmateProbeTarget "$drive/QuillmateProbeLinks/folder"
ln -s ../QuillmateProbeTarget/inside.txt "$drive/QuillmateProbeLinks/file"
# The driver package's files for the probe's own queue.
unzip -q "$zip" 'Windows x64/*' -d "$E2E_TMP/package"
cp -r "$E2E_TMP/package/Windows x64" "$drive/QuillmateProbeDriver"

actual=$E2E_TMP/actual.txt
status=0
e2e_wine 180 "$probe" 'C:\QuillmateProbeLinks' 'C:\QuillmateProbeTarget' 'C:\QuillmateProbeDriver' 2>"$E2E_TMP/probe.err" | tr -d '\r' >"$actual" ||
  status=$?
if [ "$status" -ne 0 ]; then
  tail -20 "$E2E_TMP/probe.err" >&2
  e2e_fail "the probe ended with status $status"
fi

# The table: "key | Windows | Wine | why", '#' comments. Each row's Windows value must be the
# expected line's, so that the table and the expectation cannot drift apart.
want=$E2E_TMP/wine-expected.txt
awk -F' [|] ' -v table="$table" '
  BEGIN {
    while ((getline row < table) > 0) {
      if (row ~ /^[ \t]*(#|$)/) continue
      n = split(row, f, / [|] /)
      if (n != 4) { printf "table row without 4 fields: %s\n", row > "/dev/stderr"; bad = 1; continue }
      if (f[1] in windows) { printf "table row twice: %s\n", f[1] > "/dev/stderr"; bad = 1 }
      windows[f[1]] = f[2]; wine[f[1]] = f[3]
    }
  }
  /^#/ { next }
  {
    split($0, kv, / -> /)
    key = kv[1]; value = substr($0, length(key) + 5)
    if (key in windows) {
      if (windows[key] != value) {
        printf "table row %s says Windows answers \"%s\", the expectation \"%s\"\n", key, windows[key], value > "/dev/stderr"
        bad = 1
      }
      seen[key] = 1
      print key " -> " wine[key]
    } else {
      print
    }
  }
  END {
    for (key in windows) if (!(key in seen)) { printf "table row %s names no probe line\n", key > "/dev/stderr"; bad = 1 }
    exit bad
  }' "$expected" >"$want" || e2e_fail "the table of Wine's laxities does not fit $expected"

if ! diff -u --label "expected (Windows, with Wine's known laxities)" --label "Wine" "$want" "$actual"; then
  e2e_fail "Wine answers differently from what Windows and the table say"
fi
e2e_log "$(wc -l <"$actual") lines as expected, $((SECONDS - started)) s in all"
