#!/usr/bin/env bash
# Makes the release package: configures and builds the x86 and x64 Windows
# builds where needed, installs both into one tree with CPack and zips it.
#   bash scripts/package.sh
# Result: build/package/qelmoset-<version>.zip and its .sha256. Inside: x86/
# and x64/ with qelmoset.dll, include/qelmoset.h, samples/qelmoset.ini, the
# README and docs/reference.md, examples/, qelrun and the emulated handset's
# RAPI.dll under tools/<arch>/, and SHA256SUMS over every file.
#
# QEL_PACKAGE_WIN32_BUILD, QEL_PACKAGE_WIN64_BUILD and QEL_PACKAGE_OUT name
# other build and output folders (the package test uses its own).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
x86=${QEL_PACKAGE_WIN32_BUILD:-$root/build/win32}
x64=${QEL_PACKAGE_WIN64_BUILD:-$root/build/win64}
out=${QEL_PACKAGE_OUT:-$root/build/package}

# Configures a build the first time; builds what it needs in any case.
build() {
  local preset=$1 dir=$2
  [ -f "$dir/CMakeCache.txt" ] || cmake --preset "$preset" -B "$dir" >/dev/null
  cmake --build "$dir" -- -j2 >/dev/null
}

build win32 "$x86"
build win64 "$x64"

# Each build installs its own binaries into the folders of its architecture;
# the files common to both come from the x64 build.
rm -rf "$out"
cpack --config "$x64/CPackConfig.cmake" -B "$out" \
  -D "CPACK_INSTALL_CMAKE_PROJECTS=$x86;qelmoset;arch;/;$x64;qelmoset;arch;/;$x64;qelmoset;common;/" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/*.zip
