#!/usr/bin/env bash
# Builds the Debian package with `make package` (or, for arm64 from this
# x86-64 machine, `make package-arm64`), unpacks it into a temporary root,
# runs the installed program on a short dialogue (an arm64 one under qemu)
# and checks the installed manual page.
# Usage: .ci/check-package.sh [BUILD directory [ARCHITECTURE]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${BUILD:-build}}
native=$(dpkg --print-architecture)
arch=${2:-$native}

fail() {
  echo "check-package: $*" >&2
  exit 1
}

install_missing_tools() {
  local need=()
  command -v groff >/dev/null || need+=(groff-base)
  command -v man >/dev/null || need+=(man-db)
  command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
  command -v file >/dev/null || need+=(file)  # CPack finds the binaries with it
  [ ${#need[@]} -eq 0 ] && return
  [ "$(id -u)" -eq 0 ] || fail "missing ${need[*]}; install them or run as root"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${need[@]}"
}

# The one version of the project, as project() in CMakeLists.txt declares it.
project_version() {
  sed -n 's/^project(trelvo VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt
}

# Runs a program of the package's architecture.
run_target() {
  if [ "$arch" = "$native" ]; then
    "$@"
  else
    qemu-aarch64 -L /usr/aarch64-linux-gnu "$@"
  fi
}

# Fails unless control field $2 of package $1 equals $3.
expect_field() {
  local value
  value=$(dpkg-deb -f "$1" "$2")
  [ "$value" = "$3" ] || fail "$2 is '$value', expected '$3'"
}

check_control() {
  local deb=$1 version=$2
  expect_field "$deb" Package trelvo
  expect_field "$deb" Version "$version"
  expect_field "$deb" Maintainer "TRELVO developers <trelvo@example.org>"
  expect_field "$deb" Architecture "$arch"
  local depends description
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libstdc++6; do
    [[ "$depends" == *"$library "* ]] || fail "Depends lacks $library: '$depends'"
  done
  description=$(dpkg-deb -f "$deb" Description)
  [ "$(printf '%s\n' "$description" | wc -l)" -gt 2 ] ||
    fail "Description has no long part: '$description'"
}

# Runs the installed program $1 on the typed answers $2 (printf escapes) and
# fails unless it exits with 0, prints every line given after them and
# answers byte for byte like the program in the build tree.
check_dialogue() {
  local program=$1 answers=$2 output=$work/installed.out status=0 line
  shift 2
  printf '%b' "$answers" | run_target "$program" >"$output" || status=$?
  [ "$status" -eq 0 ] || fail "the installed program exited with $status on '$answers'"
  for line in "$@"; do
    grep -qFx -- "$line" "$output" || fail "no line '$line' in the answer to '$answers'"
  done
  printf '%b' "$answers" | run_target "$build/trelvo" >"$work/built.out"
  cmp -s "$output" "$work/built.out" ||
    fail "the installed program answers '$answers' differently from $build/trelvo"
}

check_manual_page() {
  local page=$1 version=$2 warnings
  [ -f "$page" ] || fail "no manual page at $page"
  warnings=$(groff -ww -z -man "$page" 2>&1)
  [ -z "$warnings" ] || fail "groff warns: $warnings"
  MAN_DISABLE_SECCOMP=1 MANWIDTH=80 MANROFFOPT=-ww man -l "$page" \
    >"$work/page.txt" 2>"$work/man.err" || fail "man -l fails: $(cat "$work/man.err")"
  [ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
  for heading in NOME SINOSSI DESCRIZIONE ESEMPIO "STATO D'USCITA"; do
    grep -qx -- "$heading" "$work/page.txt" || fail "man -l shows no $heading"
  done
  grep -q "trelvo $version" "$work/page.txt" ||
    fail "the manual page does not show version $version"
}

install_missing_tools
version=$(project_version)
[ -n "$version" ] || fail "no version in project() of CMakeLists.txt"
if [ "$arch" = "$native" ]; then
  make package BUILD="$build"
else
  make "package-$arch" ARM64_BUILD="$build"
fi
deb="$build/trelvo_${version}_$arch.deb"
[ -f "$deb" ] || fail "make package made no $deb"
check_control "$deb" "$version"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg -x "$deb" "$root"
program=$root/usr/bin/trelvo
# A scalar product by 2,5 kept, then a transpose declined, then the exit.
check_dialogue "$program" '1\n2\n2\n2\n1\n2\n3\n4\n2,5\n1\n1\n3\n0\n9\n' \
  "                                     TRELVO                    " \
  "   2.50   5.00" "   7.50  10.00" "La seguente matrice e' in memoria:" \
  "   2.50   7.50" "   5.00  10.00"
# The example of the manual page: the determinant of rows (2, 1) and (1, 3).
check_dialogue "$program" '5\n2\n2\n2\n2\n1\n1\n3\n9\n' \
  "      2.00      1.00" "   0.00 |   2.50 |" "Determinante=    5.00"
check_manual_page "$root/usr/share/man/man1/trelvo.1" "$version"
echo "check-package: $deb installs, runs and shows its manual page"
