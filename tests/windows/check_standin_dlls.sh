#!/usr/bin/env bash
# Checks the packed stand-in UNIDRVUI.DLL of x86 and x64: machine, exports, imports, label.
# Usage: check_standin_dlls.sh PACKAGE_ZIP...
set -euo pipefail

[ $# -ge 1 ] || {
  echo "usage: $0 PACKAGE_ZIP..." >&2
  exit 2
}
objdump_x86=${OBJDUMP_X86:-i686-w64-mingw32-objdump}
objdump_x64=${OBJDUMP_X64:-x86_64-w64-mingw32-objdump}
strings_tool=${STRINGS:-i686-w64-mingw32-strings}
for tool in "$objdump_x86" "$objdump_x64" "$strings_tool" unzip; do
  command -v "$tool" >/dev/null || {
    echo "check_standin_dlls: FAIL: $tool not found (scripts/setup.sh installs it)" >&2
    exit 1
  }
done

# What a spooler calls when it makes a queue; DllMain is the entry point, not an export.
wanted_exports="DrvDeviceCapabilities DrvDevicePropertySheets DrvDocumentPropertySheets"
wanted_exports+=" DrvPrinterEvent"
label="Stand-in for the Unidrv user interface (UNIDRVUI.DLL)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
failed() {
  echo "check_standin_dlls: FAIL: $*" >&2
  failures=$((failures + 1))
}

# check_dll ZIP FOLDER OBJDUMP FORMAT MAGIC
check_dll() {
  local zip=$1 member="$2/UNIDRVUI.DLL" objdump=$3 format=$4 magic=$5
  local where="$zip: $member" dll=$work/UNIDRVUI.DLL headers exports imports
  unzip -p "$zip" "$member" >"$dll" 2>/dev/null && [ -s "$dll" ] || {
    failed "$where: not in the archive"
    return
  }
  headers=$("$objdump" -p "$dll" 2>&1) || {
    failed "$where: $objdump cannot read it: $headers"
    return
  }
  grep -qE "file format $format\$" <<<"$headers" || failed "$where: not a $format file"
  grep -qE "^Magic[[:space:]]+$magic" <<<"$headers" ||
    failed "$where: its optional header is not $magic"
  # The flags follow the Characteristics line, one per line, up to the blank line.
  sed -n '/^Characteristics/,/^$/p' <<<"$headers" | grep -qx $'\tDLL' ||
    failed "$where: not flagged as a DLL"

  exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
    awk '$1 == "[" { print $3 } $1 ~ /^\[[0-9]+\]$/ { print $2 }' | sort | xargs)
  [ "$exports" = "$wanted_exports" ] || failed "$where: exports '$exports', want '$wanted_exports'"
  grep -qE "^Name[[:space:]]+[0-9a-f]+ UNIDRVUI.DLL\$" <<<"$headers" ||
    failed "$where: its export table does not name it UNIDRVUI.DLL"

  imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort -u | xargs)
  [ "$imports" = "KERNEL32.DLL" ] || failed "$where: imports '$imports', want only KERNEL32.DLL"

  local texts
  texts=$("$strings_tool" -a -e l "$dll")
  grep -qF "$label" <<<"$texts" || failed "$where: its string table lacks '$label'"
  grep -qx "stand-in" <<<"$texts" || failed "$where: its version resource is not marked stand-in"
}

for zip in "$@"; do
  [ -f "$zip" ] || {
    failed "$zip not found"
    continue
  }
  check_dll "$zip" "Windows NT x86" "$objdump_x86" pei-i386 010b
  check_dll "$zip" "Windows x64" "$objdump_x64" pei-x86-64 020b
done

if [ "$failures" -gt 0 ]; then
  echo "check_standin_dlls: $failures check(s) failed" >&2
  exit 1
fi
echo "check_standin_dlls: UNIDRVUI.DLL for x86 and x64 in $# archive(s): labelled stand-ins" \
  "exporting $wanted_exports, importing KERNEL32.DLL only"
