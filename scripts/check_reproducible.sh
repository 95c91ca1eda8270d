#!/usr/bin/env bash
# Builds Quillmate.exe a second time in a fresh folder and compares it byte for byte with the first.
# Usage: check_reproducible.sh [windows|windows-x64]   (the preset whose build is compared)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-windows}
case "$preset" in
  windows) toolchain=cmake/mingw-i686.cmake ;;
  windows-x64) toolchain=cmake/mingw-x86_64.cmake ;;
  *)
    echo "usage: $0 [windows|windows-x64]" >&2
    exit 2
    ;;
esac
first=build/$preset/Quillmate.exe
second_dir=build/$preset-repro
[ -f "$first" ] || { echo "reproducible: build the $preset preset first"; exit 1; }
rm -rf "$second_dir"
cmake -S . -B "$second_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DQM_WERROR=ON >"$second_dir.log" 2>&1
cmake --build "$second_dir" --target Quillmate >>"$second_dir.log" 2>&1
if cmp "$first" "$second_dir/Quillmate.exe"; then
  echo "reproducible: two $preset builds give the same $(stat -c %s "$first") bytes ($(sha256sum "$first" | cut -c1-16))"
else
  echo "reproducible: the two $preset builds differ"
  cmp -l "$first" "$second_dir/Quillmate.exe" | head -20
  exit 1
fi
