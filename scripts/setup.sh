#!/usr/bin/env bash
# Installs what the builds and the tests need on Debian 12 (run as root). Safe to run again.
set -u
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  zlib1g-dev libminizip-dev libgtest-dev libgmock-dev libbenchmark-dev
  wine wine32:i386 wine64 fonts-wine xvfb xdotool x11-utils imagemagick fonts-droid-fallback locales
  dpkg-dev unzip python3 unifont ghostscript
)

# Wine's 32-bit loader runs under qemu-user where the kernel refuses i386 programs; only
# qemu-user 10 (bookworm-backports) runs it, 7.2 (bookworm) does not. No binfmt handler is
# installed with it (that is qemu-user-binfmt, which is not wanted).
backports=/etc/apt/sources.list.d/quillmate-backports.sources
qemu_ok() {
  local v
  v=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null) || return 1
  dpkg --compare-versions "$v" ge 1:10
}

# The Windows build compiles minizip from the distribution's zlib source package.
sources=/etc/apt/sources.list.d/quillmate-src.sources
need_update=0
if ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  cat >"$sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  need_update=1
fi
if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  cat >"$backports" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
qemu_missing=0
qemu_ok || qemu_missing=1
if [ ${#missing[@]} -eq 0 ] && [ $need_update -eq 0 ] && [ $qemu_missing -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
echo "setup: installing ${missing[*]}$([ $qemu_missing -eq 1 ] && echo " qemu-user (bookworm-backports)")"

dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# A mirror in the middle of a sync can fail one index; apt then keeps the others.
for attempt in 1 2 3; do
  apt-get update && break
  echo "setup: apt-get update failed (attempt $attempt), going on with what was fetched"
  sleep 5
done

status=0
if [ $qemu_missing -eq 1 ]; then
  apt-get install -y --no-install-recommends -t bookworm-backports qemu-user || status=1
fi
[ ${#missing[@]} -eq 0 ] && exit $status
apt-get install -y --no-install-recommends "${missing[@]}" && exit $status
# With the security index for i386 missing, the amd64 and i386 halves of a multiarch
# library can disagree in version; the release's own versions always agree.
echo "setup: retrying with the release's own package versions"
apt-get install -y --no-install-recommends -t bookworm "${missing[@]}" || status=1
exit $status
