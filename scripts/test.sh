#!/usr/bin/env bash
# Builds every program (native on the simulated machine, Quillmate.exe for 32-bit and 64-bit Windows) and runs every test.
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

# Bounded fuzzing of the archive reader; any crash, sanitizer report or write outside the
# scratch folder fails it.
run_fuzz() {
  echo "== fuzz: configure and build"
  if ! { cmake --preset fuzz && cmake --build --preset fuzz; } >"$logs/fuzz-build.log" 2>&1; then
    tail -50 "$logs/fuzz-build.log"
    echo "== fuzz: build FAILED"
    failed=$((failed + 1)); status=1; return
  fi
  local corpus=build/fuzz/corpus
  mkdir -p "$corpus" && cp tests/fuzz/corpus/* "$corpus/"
  echo "== fuzz: archive reader for ${QM_FUZZ_SECONDS:-60} s"
  if (cd build/fuzz && ./tests/fuzz/archive_fuzzer -max_total_time="${QM_FUZZ_SECONDS:-60}" \
        -max_len=8192 -print_final_stats=1 corpus) >"$logs/fuzz.log" 2>&1; then
    grep -E "Done [0-9]+ runs" "$logs/fuzz.log"
    passed=$((passed + 1))
  else
    tail -40 "$logs/fuzz.log"
    echo "== fuzz: FAILED"
    failed=$((failed + 1)); status=1
  fi
}

# Two builds of Quillmate.exe from the same sources must be the same bytes.
run_reproducible() {
  echo "== reproducible exe ($1)"
  if bash scripts/check_reproducible.sh "$1"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); status=1
  fi
}

run_preset native
run_preset native-asan
run_preset windows
run_reproducible windows
run_preset windows-x64
run_reproducible windows-x64
run_fuzz

echo
echo "$passed passed, $failed failed"
exit $status
