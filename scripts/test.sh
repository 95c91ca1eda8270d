#!/usr/bin/env bash
# Builds both programs (native on the simulated machine, Quillmate.exe for Windows) and runs every test.
set -uo pipefail
cd "$(dirname "$0")/.."

logs=build/test-logs
mkdir -p "$logs"
passed=0
failed=0
status=0

# Runs one preset's configure, build and ctest; adds its counts to the totals.
run_preset() {
  local preset=$1
  echo "== $preset: configure and build"
  if ! cmake --preset "$preset" >"$logs/$preset-configure.log" 2>&1; then
    cat "$logs/$preset-configure.log"
    echo "== $preset: configure FAILED"
    failed=$((failed + 1)); status=1; return
  fi
  if ! cmake --build --preset "$preset" >"$logs/$preset-build.log" 2>&1; then
    tail -50 "$logs/$preset-build.log"
    echo "== $preset: build FAILED"
    failed=$((failed + 1)); status=1; return
  fi
  echo "== $preset: tests"
  ctest --preset "$preset" 2>&1 | tee "$logs/$preset-ctest.log"
  local rc=${PIPESTATUS[0]}
  local line total bad
  line=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$logs/$preset-ctest.log" | tail -1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad)); failed=$((failed + bad))
  elif [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
  fi
  [ "$rc" -eq 0 ] || status=1
}

run_preset native
run_preset windows

echo
echo "$passed passed, $failed failed"
exit $status
