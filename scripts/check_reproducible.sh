#!/usr/bin/env bash
# Builds Quillmate.exe a second time in a fresh folder and compares it byte for byte with the first.
set -euo pipefail
cd "$(dirname "$0")/.."
first=build/windows/Quillmate.exe
second_dir=build/windows-repro
[ -f "$first" ] || { echo "reproducible: build the windows preset first"; exit 1; }
rm -rf "$second_dir"
cmake -S . -B "$second_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DQM_WERROR=ON >"$second_dir.log" 2>&1
cmake --build "$second_dir" --target Quillmate >>"$second_dir.log" 2>&1
if cmp "$first" "$second_dir/Quillmate.exe"; then
  echo "reproducible: two builds give the same $(stat -c %s "$first") bytes ($(sha256sum "$first" | cut -c1-16))"
else
  echo "reproducible: the two builds differ"
  cmp -l "$first" "$second_dir/Quillmate.exe" | head -20
  exit 1
fi
