# Shared helpers for running Quillmate.exe under Wine: prefix, Xvfb, the two locales, screenshots, the driver helper.
# Sourced by scripts that run with set -euo pipefail; every wait is bounded.

E2E_REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_ARTIFACTS=${E2E_ARTIFACTS:-$E2E_REPO_ROOT/artifacts/e2e}
E2E_XVFB_PID=
E2E_APP_PID=
E2E_APP_LOG=
E2E_TMP=
E2E_QMDRIVE=
E2E_LOCALE=
E2E_WINE_ENV=()
# How Windows programs are started: the `wine` launcher, or Wine's 64-bit loader itself for
# 64-bit programs (e2e_use_wine64).
E2E_WINE=wine
# native, or qemu where the kernel refuses i386 programs (e2e_wine_route).
E2E_WINE_ROUTE=

# The virtual desktop's size; Xvfb gets the same, so a screenshot of the root is the desktop.
# A script may set a larger one before sourcing this (the dialog grows with the dpi).
E2E_SCREEN=${E2E_SCREEN:-640x480}
# Marks a prefix that e2e_boot_prefix has fully set up; a kept prefix is then reused.
# The number changes with the setup below, so that a prefix from an older setup is redone.
E2E_READY_MARK=.quillmate-ready-2

e2e_log() { printf 'e2e: %s\n' "$*" >&2; }
e2e_fail() {
  printf 'e2e: FAIL: %s\n' "$*" >&2
  exit 1
}

# e2e_init HELPER [PREFIX]: a temporary folder for logs and the locale, removed on exit.
# Without PREFIX the Wine prefix lives in it too and is thrown away; a given PREFIX is kept.
e2e_init() {
  E2E_QMDRIVE=$1
  [ -f "$E2E_QMDRIVE" ] || e2e_fail "helper not found: $E2E_QMDRIVE"
  local tool
  for tool in wine wineserver Xvfb import localedef timeout fc-list; do
    command -v "$tool" >/dev/null || e2e_fail "missing tool: $tool (run scripts/setup.sh)"
  done
  e2e_wine_route
  E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/qm-e2e.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
  export WINEPREFIX=${2:-$E2E_TMP/prefix}
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  # Wine names the profile folder after the user; CI may not set USER.
  export USER=${USER:-$(id -un)}
  e2e_use_english
}

# Wine's 32-bit loader (/usr/lib/wine/wine) is an i386 Linux program, which a kernel without
# 32-bit emulation refuses ("Exec format error"). Then it runs under qemu-user from a folder of
# our own laid out as Wine's own: Wine takes its folder from /proc/self/exe (which qemu gives
# as wine.elf's) and starts every later 32-bit process through the `wine` script beside it,
# and every 64-bit one through the wine64 copy there. No binfmt handler is registered: that
# would change how every process of the machine runs i386 programs.
# QM_WINE_QEMU=1 takes the qemu route even where the kernel runs i386 programs itself.
E2E_QEMU_DIR=$E2E_REPO_ROOT/build/wine-qemu
E2E_QEMU_MARK=.quillmate-route-1
e2e_wine_route() {
  [ -z "$E2E_WINE_ROUTE" ] || return 0
  if [ "${QM_WINE_QEMU:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    E2E_WINE_ROUTE=native
    return
  fi
  local qemu version
  qemu=$(command -v qemu-i386) || e2e_fail "this kernel cannot run Wine's 32-bit loader and qemu-i386 is missing: run scripts/setup.sh (qemu-user from bookworm-backports)"
  version=$("$qemu" --version | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
  # 7.2 ignores MAP_FIXED_NOREPLACE: Wine's reservations land elsewhere and wineboot spins.
  [ "${version:-0}" -ge 10 ] ||
    e2e_fail "qemu-i386 ${version:-?} cannot run Wine's 32-bit loader; version 10 or later is needed (scripts/setup.sh installs it from bookworm-backports)"
  local dir=$E2E_QEMU_DIR/lib/wine
  if [ ! -f "$E2E_QEMU_DIR/$E2E_QEMU_MARK" ] || ! cmp -s /usr/lib/wine/wine "$dir/wine.elf"; then
    # Made aside and moved in whole, so that a test running at the same time never sees half.
    local new
    new=$(mktemp -d "$E2E_REPO_ROOT/build/wine-qemu.XXXXXX")
    mkdir -p "$new/lib/wine" "$new/share"
    cp /usr/lib/wine/wine "$new/lib/wine/wine.elf"
    cp /usr/lib/wine/wine64 "$new/lib/wine/wine64"
    ln -s /usr/lib/wine/wineserver "$new/lib/wine/wineserver"
    ln -s /usr/share/wine "$new/share/wine"
    local triplet
    for triplet in i386-linux-gnu x86_64-linux-gnu; do
      mkdir -p "$new/lib/$triplet"
      ln -s "/usr/lib/$triplet/wine" "$new/lib/$triplet/wine"
    done
    printf '#!/bin/sh\n# Wine'"'"'s 32-bit loader under qemu-user (made by tests/e2e/lib.sh).\nexec %s -0 %s/wine %s/wine.elf "$@"\n' \
      "$qemu" "$E2E_QEMU_DIR/lib/wine" "$E2E_QEMU_DIR/lib/wine" >"$new/lib/wine/wine"
    chmod 755 "$new/lib/wine/wine" "$new/lib/wine/wine.elf" "$new/lib/wine/wine64"
    touch "$new/$E2E_QEMU_MARK"
    rm -rf "$E2E_QEMU_DIR.old"
    [ ! -e "$E2E_QEMU_DIR" ] || mv -T "$E2E_QEMU_DIR" "$E2E_QEMU_DIR.old" 2>/dev/null || true
    mv -T "$new" "$E2E_QEMU_DIR" 2>/dev/null || rm -rf "$new"
    rm -rf "$E2E_QEMU_DIR.old"
  fi
  export PATH=$dir:$PATH
  E2E_WINE_ROUTE=qemu
  e2e_log "Wine's 32-bit loader runs under $("$qemu" --version | head -1)"
}

# 64-bit programs run under Wine's 64-bit loader alone, natively on every machine; its
# prefixes are 64-bit systems without a 32-bit subsystem to set up (wineboot says so once).
e2e_use_wine64() {
  export WINELOADER=/usr/lib/wine/wine64
  E2E_WINE=$WINELOADER
}

e2e_cleanup() {
  local status=$?
  set +e
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
  fi
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null
    wait "$E2E_XVFB_PID" 2>/dev/null
  fi
  if [ -n "$E2E_TMP" ]; then
    if [ "$status" -ne 0 ] && [ -n "${E2E_KEEP:-}" ]; then
      e2e_log "kept $E2E_TMP"
    else
      rm -rf "$E2E_TMP"
    fi
  fi
  exit "$status"
}

# An X server of our own unless one is given: Xvfb picks a free display and tells us.
e2e_start_display() {
  if [ -n "${DISPLAY:-}" ]; then
    e2e_log "using DISPLAY=$DISPLAY"
    return
  fi
  local fifo=$E2E_TMP/displayfd number=
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN}x24" -nolisten tcp 3>"$fifo" >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  read -r -t 20 number <"$fifo" || true
  if [ -z "$number" ]; then
    cat "$E2E_TMP/xvfb.log" >&2
    e2e_fail "Xvfb did not start"
  fi
  export DISPLAY=:$number
  e2e_log "Xvfb on DISPLAY=$DISPLAY"
}

# e2e_wine SECONDS PROGRAM ARGS...: a Wine program in the current locale, bounded in time.
e2e_wine() {
  local seconds=$1
  shift
  env "${E2E_WINE_ENV[@]}" timeout "$seconds" "$E2E_WINE" "$@"
}

# Boots the prefix and gives it what the runs rely on:
# - a virtual desktop, so that windows get a caption bar and close box drawn by Wine and
#   every process of the prefix (the program and our helper) shares one desktop;
# - Wine's own fonts (Tahoma, MS Sans Serif, Marlett for the caption buttons): Debian's Wine
#   does not load them from its data folder, so they are linked into the prefix's Fonts;
# - Chinese glyphs: the Chinese system's dialog face (MS Shell Dlg -> SimSun) becomes
#   Droid Sans Fallback, which has no Latin letters or digits; a font link from it to Tahoma
#   supplies those, and edit controls (drawn through Uniscribe, which falls back per script
#   to Microsoft Sans Serif rather than following font links) get Tahoma under that name;
# - no crash dialog: a program that dies ends at once instead of waiting for a click.
e2e_boot_prefix() {
  local started=$SECONDS fonts=/usr/share/wine/fonts
  if [ -f "$WINEPREFIX/$E2E_READY_MARK" ]; then
    e2e_log "reusing the prefix $WINEPREFIX"
    return
  fi
  [ -f "$fonts/tahoma.ttf" ] || e2e_fail "Wine's fonts are missing ($fonts): install fonts-wine (scripts/setup.sh)"
  fc-list : family 2>/dev/null | grep "Droid Sans Fallback" >/dev/null ||
    e2e_fail "Droid Sans Fallback is missing: install fonts-droid-fallback (scripts/setup.sh)"
  e2e_wine 120 wineboot -i >"$E2E_TMP/wineboot.log" 2>&1 || {
    tail -20 "$E2E_TMP/wineboot.log" >&2
    e2e_fail "wineboot failed"
  }
  ln -sf "$fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/"
  cat >"$E2E_TMP/prefix.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$E2E_SCREEN"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"SimSun"="Droid Sans Fallback"
"NSimSun"="Droid Sans Fallback"
"Microsoft Sans Serif"="Tahoma"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
EOF
  e2e_wine 60 regedit /S "$E2E_TMP/prefix.reg" || e2e_fail "regedit failed"
  e2e_wine 60 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "Droid Sans Fallback" /t REG_MULTI_SZ /d "tahoma.ttf,Tahoma" /f >/dev/null ||
    e2e_fail "could not link the fallback font"
  # The desktop setting is read when the desktop process starts: let it end now.
  timeout 60 wineserver -w || e2e_fail "wineserver did not finish"
  touch "$WINEPREFIX/$E2E_READY_MARK"
  e2e_log "prefix booted in $((SECONDS - started)) s"
}

# Wine takes the UI language from the Unix locale of each process.
e2e_use_english() {
  E2E_LOCALE=en
  E2E_WINE_ENV=(-u LANGUAGE -u LOCPATH LANG=C.UTF-8 LC_ALL=C.UTF-8)
}

# e2e_build_locale NAME (zh_CN, en_US): NAME.UTF-8 built into our temporary folder, the
# machine need not have it installed.
e2e_build_locale() {
  local dir=$E2E_TMP/locale
  if [ ! -d "$dir/$1.UTF-8" ]; then
    mkdir -p "$dir"
    # localedef can report success without writing anything, so the folder is what counts.
    timeout 120 localedef -i "$1" -f UTF-8 "$dir/$1.UTF-8" >"$E2E_TMP/localedef.log" 2>&1 || true
    if [ ! -d "$dir/$1.UTF-8" ]; then
      cat "$E2E_TMP/localedef.log" >&2
      e2e_fail "could not build the $1.UTF-8 locale"
    fi
  fi
}

# A Chinese system: UI language 2052, code page 936.
e2e_use_chinese() {
  e2e_build_locale zh_CN
  E2E_LOCALE=zh
  E2E_WINE_ENV=(-u LANGUAGE LOCPATH="$E2E_TMP/locale" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
}

# A Chinese display language on an English system (a language pack): Wine takes the UI
# language from LC_MESSAGES and the code page from the rest, so UI 2052 with code page 1252.
e2e_use_chinese_display() {
  e2e_build_locale zh_CN
  e2e_build_locale en_US
  E2E_LOCALE=zh-display
  E2E_WINE_ENV=(-u LANGUAGE -u LC_ALL LOCPATH="$E2E_TMP/locale" LANG=en_US.UTF-8
    LC_MESSAGES=zh_CN.UTF-8)
}

# The helper in the current locale (window titles on its command line are UTF-8 in a UTF-8
# locale); its exit status is passed on.
e2e_drive() {
  e2e_wine 60 "$E2E_QMDRIVE" "$@"
}

# "ui=N acp=N oemcp=N lcid=N" as programs in the current locale see it.
e2e_locale_report() {
  e2e_drive locale | tr -d '\r'
}

# e2e_start_app EXE [NAME=VALUE]...: the program in the current locale, with settings of its
# own on top (a debug channel, a DLL override) that the helper's runs do not get.
e2e_start_app() {
  local exe=$1
  shift
  E2E_APP_LOG=$E2E_TMP/app-$E2E_LOCALE-$RANDOM.log
  env "${E2E_WINE_ENV[@]}" "$@" "$E2E_WINE" "$exe" >"$E2E_APP_LOG" 2>&1 &
  E2E_APP_PID=$!
  e2e_log "started $(basename "$exe") as pid $E2E_APP_PID ($E2E_LOCALE)"
}

# Wine's loader becomes the Windows process, so our child's pid is the program's; once it
# has ended it stays a zombie until waited for.
e2e_app_running() {
  [ -n "$E2E_APP_PID" ] || return 1
  local state
  state=$(ps -o stat= -p "$E2E_APP_PID" 2>/dev/null) || return 1
  case "$state" in Z*) return 1 ;; esac
  return 0
}

e2e_wait_app_exit() {
  local deadline=$((SECONDS + $1))
  while e2e_app_running; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
  wait "$E2E_APP_PID" 2>/dev/null || true
  E2E_APP_PID=
}

# Ends a program that a failed check left open, so that the next run starts clean.
e2e_stop_app() {
  if e2e_app_running; then
    kill "$E2E_APP_PID" 2>/dev/null || true
    e2e_wait_app_exit 10 || kill -9 "$E2E_APP_PID" 2>/dev/null || true
  fi
  E2E_APP_PID=
}

# Keeps the wineserver up between programs: values added to HKLM\HARDWARE live only as long
# as it does. The clean-up on exit ends it.
e2e_keep_server() {
  timeout 20 wineserver -p || e2e_fail "could not keep the wineserver up"
}

# e2e_import_reg FILE: a REGEDIT4 file into the prefix.
e2e_import_reg() {
  e2e_wine 60 regedit /S "$1" || e2e_fail "regedit could not import $1"
}

# A Unix path as the prefix's programs name it.
e2e_windows_path() {
  e2e_wine 30 winepath -w "$1" | tr -d '\r'
}

# Screenshot of the whole (virtual) desktop.
e2e_screenshot() {
  mkdir -p "$(dirname "$1")"
  timeout 30 import -window root "$1" || e2e_fail "screenshot failed: $1"
}

# The Windows temporary folder of the prefix, as a Unix path.
e2e_temp_dir() {
  local dir
  for dir in "$WINEPREFIX/drive_c/users/$USER/AppData/Local/Temp" "$WINEPREFIX/drive_c/users/$USER/Temp"; do
    if [ -d "$dir" ]; then
      printf '%s\n' "$dir"
      return
    fi
  done
  e2e_fail "no temporary folder in the prefix"
}

# Checks that do not stop the test: counted, and reported together at the end.
failures=0
failed() {
  printf 'e2e: FAIL: %s\n' "$*" >&2
  failures=$((failures + 1))
}

# A text as the helper prints it: in double quotes, with C escapes.
quoted() {
  local text=${1//\\/\\\\}
  text=${text//\"/\\\"}
  text=${text//$'\r'/\\r}
  text=${text//$'\n'/\\n}
  text=${text//$'\t'/\\t}
  printf '"%s"' "$text"
}
