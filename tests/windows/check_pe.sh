#!/usr/bin/env bash
# Checks the built Quillmate.exe as a Windows file: PE32 for i386 or PE32+ for x86-64, GUI subsystem, system DLLs only, and its resources.
# Usage: check_pe.sh QUILLMATE_EXE VERSION x86|x64
set -euo pipefail

[ $# -eq 3 ] && { [ "$3" = x86 ] || [ "$3" = x64 ]; } || {
  echo "usage: $0 QUILLMATE_EXE VERSION x86|x64" >&2
  exit 2
}
exe=$1
version=$2
arch=$3
if [ "$arch" = x86 ]; then
  format=pei-i386 magic=010b kind="PE32 i386"
  objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
else
  format=pei-x86-64 magic=020b kind="PE32+ x86-64"
  objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
fi
[ -f "$exe" ] || {
  echo "check_pe: FAIL: $exe not found" >&2
  exit 1
}
command -v "$objdump" >/dev/null || {
  echo "check_pe: FAIL: $objdump not found (scripts/setup.sh installs the MinGW tools)" >&2
  exit 1
}

# Windows' own DLLs, present on every system the installer runs on. The MinGW runtime
# (libgcc_s, libstdc++, libwinpthread) must be linked in, never imported. Only KnownDLLs and
# COMCTL32 (side by side, through the manifest): WINSPOOL.DRV is delay-loaded, and
# check_imports.py holds every function to what XP exports.
allowed="ADVAPI32.DLL COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL SHELL32.DLL
USER32.DLL OLE32.DLL OLEAUT32.DLL SHLWAPI.DLL COMDLG32.DLL"

failures=0
failed() {
  echo "check_pe: FAIL: $*" >&2
  failures=$((failures + 1))
}

headers=$("$objdump" -p "$exe" 2>&1) || failed "$objdump cannot read it as a PE file: $headers"
[ -n "$(grep -E "file format $format$" <<<"$headers")" ] || failed "not a $kind file ($format)"
[ -n "$(grep -E "^Magic[[:space:]]+$magic" <<<"$headers")" ] || failed "optional header is not $kind (magic $magic)"
[ -n "$(grep -E "^Subsystem[[:space:]]+00000002" <<<"$headers")" ] ||
  failed "subsystem is not Windows GUI (2): $(grep -E '^Subsystem' <<<"$headers")"

imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort -u)
[ -n "$imports" ] || failed "no imported DLLs found"
for dll in $imports; do
  case " $(echo $allowed) " in
    *" $dll "*) ;;
    *) failed "imports $dll, which is not a Windows system DLL" ;;
  esac
done

resource_report=$(python3 "$(dirname "${BASH_SOURCE[0]}")/pe_resources.py" "$exe" "$version" "$arch") || {
  while IFS= read -r line; do failed "$line"; done <<<"$resource_report"
}

if [ "$failures" -gt 0 ]; then
  echo "check_pe: $failures check(s) failed for $exe" >&2
  exit 1
fi
echo "check_pe: $exe: $kind GUI, imports $(echo $imports), resources as expected"
