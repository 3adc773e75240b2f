#!/usr/bin/env bash
# Builds the Debian package build-package/vestrel_<version>_amd64.deb with Debian's compiler and
# hardening flags, leaving the tests out. Install it with: sudo apt install ./build-package/vestrel_*.deb
# Usage: package.sh [build folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-package}"
"$root/scripts/deps.sh" package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTREL_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build"
(cd "$build" && cpack -B "$build")
ls "$build"/vestrel_*_amd64.deb
