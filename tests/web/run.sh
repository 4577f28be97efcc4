#!/usr/bin/env bash
# The WebAssembly build: the program for node (BUILD/node/trelvo.js) and the
# web page (BUILD/index.html, trelvo.js, trelvo.wasm, the terminal widget).
# Installs what it needs when missing: Debian's emscripten, node and npm,
# the npm packages pinned in web/package-lock.json, and for the tests
# Debian's chromium.
#
#   tests/web/run.sh build BUILD [JOBS]   builds the program and the page
#   tests/web/run.sh test BUILD [JOBS]    builds, then runs the whole suite
#       under node and the page's dialogues in headless chromium
#   tests/web/run.sh serve BUILD [PORT]   serves the page on localhost
set -euo pipefail
cd "$(dirname "$0")/../.."
action=$1 build=$2

fail() {
  echo "web: $*" >&2
  exit 1
}

. tests/install_missing.sh

install_tools() {
  install_missing cmake cmake make
  install_missing /usr/src/googletest/CMakeLists.txt googletest
  install_missing node nodejs
  install_missing npm npm
  install_missing emcc emscripten
  # The packages of web/package-lock.json, again whenever the lock changes.
  if [ ! -f web/node_modules/.package-lock.json ] ||
    [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
    (cd web && npm ci --no-audit --no-fund)
  fi
}

build() {
  local jobs=${1:-2}
  install_tools
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-web.cmake \
    -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" -j "$jobs"
}

# Some unit tests stay out under node. This build has one core and no
# threads: the kernels' tests on two cores would run as those on one,
# again, and one test starts a second thread, which it cannot. And one
# checks A times its inverse within a tolerance on matrices drawn with the
# standard library's distributions, which libc++ (emscripten's) draws
# differently from libstdc++, giving matrices that the tolerance was not
# chosen for. The program's own random draws are its own code, the same
# everywhere (transcripts check them).
readonly kNotUnderNode='_two_cores( |$)|^LargeBlocks\.TwoThreadsAtOnce$|^InverseMatrix\.TimesTheMatrixGivesTheIdentityOnRandomMatrices$'

run_tests() {
  local jobs=${1:-2}
  build "$jobs"
  install_missing chromium chromium
  (cd "$build" && ctest --output-on-failure -j "$jobs" -E "$kNotUnderNode")
  node tests/web/browser_test.mjs "$build"
}

serve() {
  local port=${1:-8000}
  [ -f "$build/index.html" ] || build
  echo "The page: http://localhost:$port/ (Ctrl-C ends)"
  exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$build"
}

case "$action" in
  build) build "${3:-2}" ;;
  test) run_tests "${3:-2}" ;;
  serve) serve "${3:-8000}" ;;
  *) fail "unknown action $action" ;;
esac
