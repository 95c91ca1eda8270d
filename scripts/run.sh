#!/usr/bin/env bash
# Builds Quillmate.exe and runs it under Wine in the prefix build/wineprefix (kept between runs).
# Usage: scripts/run.sh [--zh]
#   With a DISPLAY the program runs until you close it. Without one it runs under Xvfb:
#   the window is saved to artifacts/run/quillmate.png and the program is closed with Exit.
#   --zh runs it on a Chinese system (UI language 2052, code page 936).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

language=en
for arg in "$@"; do
  case "$arg" in
    --zh) language=zh ;;
    -h | --help)
      sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "run: unknown argument $arg (try --help)" >&2
      exit 2
      ;;
  esac
done

cmake --preset windows >/dev/null
cmake --build --preset windows

exe=$root/build/windows/Quillmate.exe
helper=$root/build/windows/tests/e2e/qmdrive.exe
# shellcheck source=../tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh"
e2e_init "$helper" "$root/build/wineprefix"
had_display=${DISPLAY:-}
e2e_start_display
e2e_boot_prefix

if [ "$language" = zh ]; then
  e2e_use_chinese
  title="Korvex 80系列打印机驱动安装"
else
  title="Korvex 80 Series printer driver"
fi
e2e_log "UI seen by programs: $(e2e_locale_report)"

if [ -n "$had_display" ]; then
  e2e_log "running $exe; close its window to end"
  env "${E2E_WINE_ENV[@]}" "$E2E_WINE" "$exe"
  exit 0
fi

shot=$root/artifacts/run/quillmate.png
e2e_start_app "$exe"
if ! e2e_drive wait-window "$title" 30000; then
  cat "$E2E_APP_LOG" >&2
  e2e_fail "no window titled \"$title\""
fi
sleep 0.5 # let the window paint
e2e_screenshot "$shot"
echo "$shot"
e2e_drive click "$title" 2 || e2e_fail "could not press Exit"
e2e_wait_app_exit 10 || e2e_fail "the program did not end after Exit"
