#!/usr/bin/env bash
# End-to-end check of the calls the program falls back on where kernel32 is XP's: ntdll_files.exe makes them under Wine with the program's own structures and holds them against kernel32's.
# Usage: ntdll_files_test.sh NTDLL_FILES_EXE x86|x64
set -euo pipefail

if [ $# -ne 2 ] || { [ "$2" != x86 ] && [ "$2" != x64 ]; }; then
  echo "usage: $0 NTDLL_FILES_EXE x86|x64" >&2
  exit 2
fi
if [ "$2" = x86 ]; then export WINEARCH=win32; else unset WINEARCH; fi
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1"
[ "$2" != x64 ] || e2e_use_wine64
e2e_boot_prefix
output=$(e2e_wine 60 "$1" 2>&1 | tr -d '\r') && status=0 || status=$?
printf '%s\n' "$output" >&2
[ "$status" -eq 0 ] || e2e_fail "ntdll's calls do not answer as the program expects"
e2e_log "ntdll's calls answer as the program expects ($(grep -c '^ok ' <<<"$output") checks)"
