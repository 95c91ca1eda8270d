#!/usr/bin/env bash
# The platform probe on the simulated machine, held against what Windows answers.
# Usage: sim_probe.sh PROBE EXPECTED DRIVER_PACKAGE_ZIP
# The output must equal EXPECTED line for line, its '#' comment lines left out; a difference is
# shown as a diff.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 PROBE EXPECTED DRIVER_PACKAGE_ZIP" >&2
  exit 2
fi
probe=$1
expected=$2
zip=$3
command -v unzip >/dev/null || {
  echo "probe: FAIL: unzip is missing (scripts/setup.sh)" >&2
  exit 1
}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qm-probe.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
unzip -q "$zip" 'Windows x64/*' -d "$tmp"
status=0
"$probe" "$tmp/Windows x64" >"$tmp/actual.txt" || status=$?
if [ "$status" -ne 0 ]; then
  echo "probe: FAIL: $probe ended with status $status" >&2
  exit 1
fi
grep -v '^#' "$expected" >"$tmp/expected.txt" || true
if ! diff -u --label "expected (Windows)" --label "simulated machine" "$tmp/expected.txt" "$tmp/actual.txt"; then
  echo "probe: FAIL: the simulated machine answers differently from $expected" >&2
  exit 1
fi
echo "probe: $(wc -l <"$tmp/expected.txt") lines as expected"
