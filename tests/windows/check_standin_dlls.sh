#!/usr/bin/env bash
# Checks the packed stand-in UNIDRV.DLL, UNIDRVUI.DLL and UNIRES.DLL of x86 and x64: machine,
# exports, imports, label, and the version record that keeps the spooler from preferring them.
# Usage: check_standin_dlls.sh PACKAGE_ZIP...
set -euo pipefail

[ $# -ge 1 ] || {
  echo "usage: $0 PACKAGE_ZIP..." >&2
  exit 2
}
objdump_x86=${OBJDUMP_X86:-i686-w64-mingw32-objdump}
objdump_x64=${OBJDUMP_X64:-x86_64-w64-mingw32-objdump}
windres_x86=${WINDRES_X86:-i686-w64-mingw32-windres}
windres_x64=${WINDRES_X64:-x86_64-w64-mingw32-windres}
strings_tool=${STRINGS:-i686-w64-mingw32-strings}
for tool in "$objdump_x86" "$objdump_x64" "$windres_x86" "$windres_x64" "$strings_tool" unzip; do
  command -v "$tool" >/dev/null || {
    echo "check_standin_dlls: FAIL: $tool not found (scripts/setup.sh installs it)" >&2
    exit 1
  }
done

# Per DLL: what it exports (DllMain is the entry point, not an export), what it imports, and
# its label. UNIDRVUI.DLL answers what a spooler calls when it makes a queue; UNIDRV.DLL only
# whether it runs in user mode (DrvQueryDriverInfo); UNIRES.DLL holds resources alone.
declare -A exports_of=(
  [UNIDRVUI.DLL]="DrvDeviceCapabilities DrvDevicePropertySheets DrvDocumentPropertySheets DrvPrinterEvent"
  [UNIDRV.DLL]="DrvQueryDriverInfo"
  [UNIRES.DLL]="")
declare -A imports_of=([UNIDRVUI.DLL]=KERNEL32.DLL [UNIDRV.DLL]=KERNEL32.DLL [UNIRES.DLL]="")
declare -A label_of=(
  [UNIDRVUI.DLL]="Stand-in for the Unidrv user interface (UNIDRVUI.DLL)"
  [UNIDRV.DLL]="Stand-in for the Unidrv rendering core (UNIDRV.DLL)"
  [UNIRES.DLL]="Stand-in for the Unidrv resources (UNIRES.DLL)")
# A versioned printer-driver file (VFT_DRV, VFT2_DRV_VERSIONED_PRINTER) at 0.3.0.0, the lowest
# version of a user-mode one, as windres writes the record back as a script.
wanted_version="FILEVERSION 0, 3, 0, 0|FILETYPE 0x3|FILESUBTYPE 0xc"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
failed() {
  echo "check_standin_dlls: FAIL: $*" >&2
  failures=$((failures + 1))
}

# check_dll ZIP FOLDER NAME OBJDUMP WINDRES FORMAT MAGIC
check_dll() {
  local zip=$1 member="$2/$3" name=$3 objdump=$4 windres=$5 format=$6 magic=$7
  local where="$zip: $member" dll=$work/$3 headers exports imports version
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
  [ "$exports" = "${exports_of[$name]}" ] ||
    failed "$where: exports '$exports', want '${exports_of[$name]}'"
  if [ -n "${exports_of[$name]}" ]; then
    grep -qE "^Name[[:space:]]+[0-9a-f]+ $name\$" <<<"$headers" ||
      failed "$where: its export table does not name it $name"
  fi

  imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort -u | xargs)
  [ "$imports" = "${imports_of[$name]}" ] ||
    failed "$where: imports '$imports', want '${imports_of[$name]}'"

  version=$("$windres" -i "$dll" -O rc 2>&1 | grep -E '^ *(FILEVERSION|FILETYPE|FILESUBTYPE) ' |
    sed 's/^ *//' | paste -sd'|') || true
  [ "$version" = "$wanted_version" ] || failed "$where: version record '$version', want '$wanted_version'"

  local texts
  texts=$("$strings_tool" -a -e l "$dll")
  grep -qF "${label_of[$name]}" <<<"$texts" || failed "$where: its string table lacks '${label_of[$name]}'"
  grep -qx "stand-in" <<<"$texts" || failed "$where: its version resource is not marked stand-in"
}

for zip in "$@"; do
  [ -f "$zip" ] || {
    failed "$zip not found"
    continue
  }
  for name in UNIDRV.DLL UNIDRVUI.DLL UNIRES.DLL; do
    check_dll "$zip" "Windows NT x86" "$name" "$objdump_x86" "$windres_x86" pei-i386 010b
    check_dll "$zip" "Windows x64" "$name" "$objdump_x64" "$windres_x64" pei-x86-64 020b
  done
done

if [ "$failures" -gt 0 ]; then
  echo "check_standin_dlls: $failures check(s) failed" >&2
  exit 1
fi
echo "check_standin_dlls: UNIDRV.DLL, UNIDRVUI.DLL and UNIRES.DLL for x86 and x64 in $# archive(s):" \
  "labelled stand-ins, versioned printer-driver files at 0.3.0.0, with the exports and imports listed"
