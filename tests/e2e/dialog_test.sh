#!/usr/bin/env bash
# End-to-end test of the main dialog under Wine: captions in both languages; Exit, Esc and the close box; the unpacked package in the staging folder.
# Usage: dialog_test.sh QUILLMATE_EXE QMDRIVE_EXE VERSION
set -euo pipefail

[ $# -eq 3 ] || {
  echo "usage: $0 QUILLMATE_EXE QMDRIVE_EXE VERSION" >&2
  exit 2
}
exe=$1
version=$3
[ -f "$exe" ] || {
  echo "e2e: FAIL: program not found: $exe" >&2
  exit 1
}
# A 32-bit system: it boots faster than a 64-bit one and the dialog is the same on both.
export WINEARCH=win32
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$2"
mkdir -p "$E2E_ARTIFACTS"

EN_TITLE="Korvex 80 Series printer driver"
ZH_TITLE="Korvex 80系列打印机驱动安装"
STAGING_NAME=Ostra2020
SIXTEEN_BLANKS=$(printf '%16s' '')
# Start-up unpacks the driver package before the window shows; Wine's first run of a
# program in a fresh prefix is the slow one.
SHOW_TIMEOUT_MS=30000
EXIT_TIMEOUT_S=10



# field DUMP ID COLUMN: one column of a control's record (3 class, 4 visible, 5 enabled,
# 6 check state, 7 text).
field() {
  awk -F'\t' -v id="$2" -v col="$3" '$1 == "ctrl" && $2 == id { print $col; exit }' "$1"
}

# expect_captions DUMP ID TEXT [ID TEXT]...: ID "title" is the window's own caption.
expect_captions() {
  local dump=$1 id want actual
  shift
  while [ $# -ge 2 ]; do
    id=$1
    want=$(quoted "$2")
    shift 2
    if [ "$id" = title ]; then
      actual=$(awk -F'\t' '$1 == "title" { print $2; exit }' "$dump")
    else
      actual=$(field "$dump" "$id" 7)
    fi
    [ "$actual" = "$want" ] || failed "$E2E_LOCALE: control $id reads ${actual:-<no such control>}, want $want"
  done
}

# The answers the dialog opens with: no, USB, 9600; the address field reset to 0.0.0.0.
expect_opening_state() {
  local dump=$1 id
  for id in 1002 1006 1024; do
    [ "$(field "$dump" "$id" 6)" = checked ] || failed "$E2E_LOCALE: button $id is not checked at opening"
  done
  for id in 1003 1007 1008 1009 1025 1026 1027; do
    [ "$(field "$dump" "$id" 6)" = unchecked ] || failed "$E2E_LOCALE: button $id is checked at opening"
  done
  local address
  address=$(awk -F'\t' '$1 == "fields" && $2 == 1011 { print $3; exit }' "$dump")
  [ "$address" = '"0.0.0.0"' ] || failed "$E2E_LOCALE: the IP address fields read ${address:-nothing}, want \"0.0.0.0\""
  local notice
  notice=$(field "$dump" 1032 7)
  case "$notice" in *"$version"*) ;; *) failed "$E2E_LOCALE: the maker's notice ${notice:-<no control 1032>} lacks the version $version" ;; esac
  [ "$(field "$dump" 1032 5)" = disabled ] || failed "$E2E_LOCALE: the maker's notice is not disabled"
}

staging_dir() { printf '%s/%s\n' "$(e2e_temp_dir)" "$STAGING_NAME"; }

# While the window is open the package lies unpacked in the staging folder: two folders, and
# in each the ten files of its architecture, none of them empty.
UNIDRV_FILES=(STDNAMES.GPD TTFSUB.GPD UNIDRV.DLL UNIDRV.HLP UNIDRVUI.DLL UNIRES.DLL KV80.DLL KV80C.GPD)
expect_unpacked() {
  local dir sub want actual entries empty
  dir=$(staging_dir)
  entries=$(find "$dir" -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
  [ "$entries" = "Windows NT x86 Windows x64 " ] ||
    failed "$E2E_LOCALE: the open dialog's staging folder holds: ${entries:-nothing}; want the two architecture folders"
  for sub in "Windows NT x86:KVDRV" "Windows x64:KVDRVx64"; do
    want=$(printf '%s\n' "${UNIDRV_FILES[@]}" "${sub#*:}.cat" "${sub#*:}.INF" | LC_ALL=C sort | tr '\n' ' ')
    actual=$(find "$dir/${sub%%:*}" -mindepth 1 -printf '%f\n' 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
    [ "$actual" = "$want" ] ||
      failed "$E2E_LOCALE: \"${sub%%:*}\" holds ${actual:-nothing}; want the ten files $want"
    empty=$(find "$dir/${sub%%:*}" -mindepth 1 -type f -empty -printf '%f ' 2>/dev/null)
    [ -z "$empty" ] || failed "$E2E_LOCALE: \"${sub%%:*}\" has empty files: $empty"
  done
}

# Closing deletes what lies beneath the staging folder and keeps the folder itself.
expect_cleaned() {
  local how=$1 dir left
  dir=$(staging_dir)
  if [ ! -d "$dir" ]; then
    failed "$E2E_LOCALE: after $how the staging folder $dir is gone; it should stay, empty"
    return
  fi
  left=$(find "$dir" -mindepth 1 | head -5)
  [ -z "$left" ] || failed "$E2E_LOCALE: after $how the staging folder still holds: $left"
}

# open_dialog TITLE NAME: starts the program, waits for its window and keeps its dump in
# DUMP, artifacts/e2e/dump-NAME.txt. Not run in a subshell: the program must stay our child.
open_dialog() {
  local title=$1
  DUMP=$E2E_ARTIFACTS/dump-$2.txt
  e2e_start_app "$exe"
  if ! e2e_drive wait-window "$title" "$SHOW_TIMEOUT_MS"; then
    e2e_screenshot "$E2E_ARTIFACTS/no-window-$2.png"
    e2e_log "program output:"
    cat "$E2E_APP_LOG" >&2
    e2e_fail "$E2E_LOCALE: no window titled \"$title\" (screenshot no-window-$2.png)"
  fi
  e2e_drive dump "$title" | tr -d '\r' >"$DUMP" || e2e_fail "$E2E_LOCALE: could not read the window"
}

# close_dialog TITLE COMMAND [ID]: closes as a user would (the helper's click on 2,
# key-escape, close) and expects the window to go, the process to end and the staging
# folder to be emptied.
close_dialog() {
  local title=$1 how="${*:2}"
  e2e_drive "$2" "$title" "${@:3}" || failed "$E2E_LOCALE: '$how' was refused"
  e2e_drive wait-gone "$title" $((EXIT_TIMEOUT_S * 1000)) || failed "$E2E_LOCALE: the window stays open after '$how'"
  if ! e2e_wait_app_exit "$EXIT_TIMEOUT_S"; then
    failed "$E2E_LOCALE: the program still runs ${EXIT_TIMEOUT_S} s after '$how'"
    e2e_stop_app
    return
  fi
  expect_cleaned "'$how'"
}

show_dump() {
  e2e_log "seen in $1:"
  cat "$1" >&2
}

e2e_start_display
e2e_boot_prefix

# --- English -------------------------------------------------------------------------------
report=$(e2e_locale_report)
e2e_log "English locale: $report"
case "$report" in ui=2052\ *) e2e_fail "the English locale reports UI language 2052: $report" ;; esac

before=$failures
open_dialog "$EN_TITLE" en
expect_captions "$DUMP" \
  title "$EN_TITLE" \
  1001 "1.Set this printer to the system's default printer?" \
  1002 "No (not default)" \
  1003 "Yes (default)" \
  1031 "2.How does your printer connect to your computer?" \
  1006 "USB " \
  1007 "COM" \
  1008 "LPT" \
  1009 "LAN" \
  1012 "Printer IP address:" \
  1028 "Baud rate" \
  1 "installing the printer driver" \
  2 "Exit" \
  1023 "*Click here to try the installation using the wizard." \
  1024 "9600" \
  1025 "19200" \
  1026 "38400" \
  1027 "115200" \
  1033 "$SIXTEEN_BLANKS"
expect_opening_state "$DUMP"
expect_unpacked
sleep 0.5 # let the window paint
e2e_screenshot "$E2E_ARTIFACTS/dialog-en.png"
close_dialog "$EN_TITLE" click 2
[ "$failures" -eq "$before" ] || show_dump "$DUMP"

open_dialog "$EN_TITLE" en-escape
expect_unpacked
close_dialog "$EN_TITLE" key-escape

open_dialog "$EN_TITLE" en-closebox
expect_unpacked
close_dialog "$EN_TITLE" close

# --- another program's link in the staging folder -------------------------------------------
# A link left at "Windows x64" before the start, to a folder outside: nothing may be written
# through it or deleted beneath it, while the program runs or when it closes. Windows removes
# such a link through a handle on the link itself and the program makes the real folder; Wine 8
# opens through a Unix link even when asked not to, and every call that would remove one
# deletes or moves what it points at instead, so under Wine the program leaves the link where
# it is and unpacks nothing into it.
outside=$E2E_TMP/outside
mkdir -p "$outside/sub" "$(staging_dir)"
echo kept >"$outside/keep.txt"
echo deeper >"$outside/sub/deep.txt"
ln -s "$outside" "$(staging_dir)/Windows x64"
outside_state() { (cd "$outside" && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort); }
outside_before=$(outside_state)
open_dialog "$EN_TITLE" en-planted-link
x86=$(find "$(staging_dir)/Windows NT x86" -mindepth 1 -type f 2>/dev/null | wc -l)
[ "$x86" -eq 10 ] || failed "planted link: \"Windows NT x86\" holds $x86 files, want 10"
if [ -L "$(staging_dir)/Windows x64" ]; then
  e2e_log "planted link: Wine kept the link; nothing was unpacked into it"
else
  x64=$(find "$(staging_dir)/Windows x64" -mindepth 1 -type f 2>/dev/null | wc -l)
  [ "$x64" -eq 10 ] || failed "planted link: the real \"Windows x64\" holds $x64 files, want 10"
fi
[ "$(outside_state)" = "$outside_before" ] || failed "planted link: the folder it points at changed while the dialog was open"
e2e_drive click "$EN_TITLE" 2 || failed "planted link: Exit was refused"
e2e_wait_app_exit "$EXIT_TIMEOUT_S" || failed "planted link: the program still runs after Exit"
[ "$(outside_state)" = "$outside_before" ] || {
  failed "planted link: the folder it points at changed after Exit:"
  outside_state >&2
}
left=$(find "$(staging_dir)" -mindepth 1 ! -path "$(staging_dir)/Windows x64" | head -3)
[ -z "$left" ] || failed "planted link: after Exit the staging folder still holds $left"
rm -f "$(staging_dir)/Windows x64"

# --- Chinese -------------------------------------------------------------------------------
e2e_use_chinese
report=$(e2e_locale_report)
e2e_log "Chinese locale: $report"
case "$report" in ui=2052\ acp=936\ *) ;; *) e2e_fail "the Chinese locale is not UI language 2052, code page 936: $report" ;; esac

before=$failures
open_dialog "$ZH_TITLE" zh
expect_captions "$DUMP" \
  title "$ZH_TITLE" \
  1001 "1. 您是否需要将此次安装设置为系统默认的打印机?" \
  1002 "否 (不设置为默认)" \
  1003 "是 (设置为默认)" \
  1031 "2. 您的打印机通过哪种方式与电脑连接 ?" \
  1006 "USB " \
  1007 "串口" \
  1008 "并口" \
  1009 "以太网" \
  1012 "打印机 IP 地址:" \
  1028 "* 波特率 " \
  1 "开始安装打印机驱动" \
  2 "退出" \
  1023 "*安装出现问题 ? 点击这里尝试使用向导进行安装." \
  1033 "$SIXTEEN_BLANKS"
expect_opening_state "$DUMP"
expect_unpacked
sleep 0.5
e2e_screenshot "$E2E_ARTIFACTS/dialog-zh.png"
close_dialog "$ZH_TITLE" click 2
[ "$failures" -eq "$before" ] || show_dump "$DUMP"

if [ "$failures" -gt 0 ]; then
  e2e_log "$failures check(s) failed; screenshots and dumps in $E2E_ARTIFACTS"
  exit 1
fi
e2e_log "all checks passed; screenshots in $E2E_ARTIFACTS"
