#!/usr/bin/env bash
# Types INPUT into the program with its address space limited to 256 MiB,
# and checks that the whole output equals EXPECTED byte for byte, with exit
# status 0 and nothing on standard error. The inputs ask for sizes whose
# storage cannot be had under this limit, at each place where storage is
# sized, and show the working matrix afterwards.
#
# Usage: run_memory_limit.sh PROGRAM INPUT EXPECTED ACTUAL
set -u
program=$1 input=$2 expected=$3 actual=$4
readonly limit_kib=$((256 * 1024)) time_limit=90

mkdir -p "$(dirname "$actual")"
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
(
  ulimit -v "$limit_kib"
  exec timeout -k 5 "$time_limit" "$program" <"$input" >"$actual" 2>"$errors"
)
status=$?
if [ "$status" -ne 0 ]; then
  echo "exit status $status"
  cat "$errors"
  exit 1
fi
if [ -s "$errors" ]; then
  echo "standard error:"
  cat "$errors"
  exit 1
fi
if ! cmp -s "$expected" "$actual"; then
  diff -u "$expected" "$actual" | head -100
  exit 1
fi
