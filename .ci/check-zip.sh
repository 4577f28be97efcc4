#!/usr/bin/env bash
# Builds the Windows ZIP with `make package-windows`, unpacks it, checks
# that it holds trelvo.exe and LEGGIMI.txt (with Windows line ends) and
# runs the unpacked program under wine on the manual page's example.
# Usage: .ci/check-zip.sh [BUILD directory]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}

fail() {
  echo "check-zip: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(trelvo VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
make package-windows WINDOWS_BUILD="$build"
zip=$PWD/$build/trelvo-$version-windows-x86_64.zip
[ -f "$zip" ] || fail "make package-windows made no $zip"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
[ "$(cd "$work" && ls | sort | tr '\n' ' ')" = "LEGGIMI.txt trelvo.exe " ] ||
  fail "the ZIP holds $(ls "$work"), not trelvo.exe and LEGGIMI.txt"
grep -q "Come avviarlo" "$work/LEGGIMI.txt" || fail "LEGGIMI.txt tells not how to start"
[ "$(grep -c $'\r$' "$work/LEGGIMI.txt")" -eq "$(wc -l <"$work/LEGGIMI.txt")" ] ||
  fail "LEGGIMI.txt has lines without Windows line ends"

# The example of the manual page: the determinant of rows (2, 1) and (1, 3).
export WINEPREFIX=$PWD/$build/wine-prefix WINEDEBUG=-all
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
printf '5\n2\n2\n2\n2\n1\n1\n3\n9\n' | "$wine" "$work/trelvo.exe" >"$work/out.txt" ||
  fail "the unpacked program exited with $?"
for line in "      2.00      1.00" "   0.00 |   2.50 |" "Determinante=    5.00"; do
  grep -qFx -- "$line"$'\r' "$work/out.txt" || fail "no line '$line' (with \\r\\n) in its answer"
done
echo "check-zip: $zip holds trelvo.exe and LEGGIMI.txt, and the program runs"
