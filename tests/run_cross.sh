#!/usr/bin/env bash
# Cross builds for ARM64 Linux and Windows x86-64, tested on this (Debian
# x86-64) machine under emulation: ARM64 under qemu-aarch64, Windows under
# wine64. Installs the toolchain and the emulator when they are missing.
#
#   tests/run_cross.sh arm64|windows test|package BUILD [JOBS]
#     test: builds in BUILD and runs the whole suite under the emulator.
#     package: builds in BUILD and makes the package (arm64 .deb, Windows ZIP).
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1 action=$2 build=$3 jobs=${4:-2}

fail() {
  echo "run_cross: $*" >&2
  exit 1
}

. tests/install_missing.sh

install_tools() {
  install_missing cmake cmake make
  install_missing /usr/src/googletest/CMakeLists.txt googletest
  install_missing file file  # CPack finds the binaries with it
  if [ "$target" = arm64 ]; then
    install_missing aarch64-linux-gnu-g++ g++-aarch64-linux-gnu
    install_missing qemu-aarch64 qemu-user
  else
    install_missing x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix mingw-w64
    install_missing /usr/lib/wine/wine64 wine64
  fi
}

# One wine server and prefix for the whole run, in the build tree: a
# prefix's first start takes about 20 seconds, later ones a fraction.
start_wine() {
  export WINEPREFIX=$PWD/$build/wine-prefix WINEDEBUG=-all
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p
  trap '"$wineserver" -k || true' EXIT
  "$wine" wineboot --init >/dev/null 2>&1 || true
}

install_tools
[ "$target" = windows ] && start_wine
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$target.cmake" \
  -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$jobs"
case "$action" in
  # Under wine a process now and then fails to start, with no output at
  # all: a test that fails is run once more there. A fault of the program
  # fails both times.
  test)
    retry=()
    [ "$target" = windows ] && retry=(--repeat until-pass:2)
    (cd "$build" && ctest --output-on-failure -j "$jobs" "${retry[@]}")
    ;;
  package) (cd "$build" && cpack) ;;
  *) fail "unknown action $action" ;;
esac
