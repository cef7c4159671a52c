#!/usr/bin/env bash
# Makes a Debian 12 machine ready to build and test: native toolchain with
# GoogleTest, MinGW-w64 cross compilers for x86 and x64, and Wine able to run
# both. Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
          clang libclang-rt-14-dev python3)

missing() {
  local p out=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || out+=("$p")
  done
  printf '%s\n' "${out[@]}"
}

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

install_packages() {
  echo "setup: installing:" "$@"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "$@" >/dev/null
}

# 32-bit Wine needs a kernel that runs 32-bit Linux programs. Some virtual
# machines run none; there, qemu's user-mode emulator is registered for
# i386 programs so that 32-bit Wine still runs (slowly: about a minute to
# start each Windows process).
ensure_i386_programs_run() {
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then return; fi
  dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed' \
    || install_packages qemu-user-static
  local misc=/proc/sys/fs/binfmt_misc
  [ -e $misc/register ] || $sudo mount -t binfmt_misc binfmt_misc $misc
  if [ ! -e $misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | $sudo tee $misc/register >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "setup: 32-bit programs cannot run" >&2; exit 1; }
  echo "setup: 32-bit programs run through qemu-i386"
}

todo=$(missing)
if [ -n "$todo" ]; then
  # shellcheck disable=SC2086
  install_packages $todo
else
  echo "setup: all packages present"
fi
ensure_i386_programs_run
