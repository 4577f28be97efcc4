#!/usr/bin/env bash
# Types one row of the bad-input table into the program, alone, and checks
# that the run ends by itself within the time limit, with exit status 0 and
# nothing on standard error (where every sanitizer report goes).
#
# Usage: run_bad_input.sh PROGRAM TABLE LINE SANITIZED
#   LINE is the row's line number in TABLE; SANITIZED is ON for a build
#   with AddressSanitizer.
#
# Sizes that pass every test but need gigabytes are refused for want of
# storage: the address space is limited to 1 GiB, or, under AddressSanitizer
# (which needs a huge address space of its own), single allocations are.
set -u
program=$1 table=$2 line=$3 sanitized=$4
readonly time_limit=30

row=$(sed -n "${line}p" "$table")
input=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$input" "$errors"' EXIT
printf '%b' "$row" >"$input"

if [ "$sanitized" = ON ]; then
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=1024"
else
  ulimit -v $((1024 * 1024))
fi
timeout -k 5 "$time_limit" "$program" <"$input" >/dev/null 2>"$errors"
status=$?

# The sanitizer's note that it refused an allocation is the refusal itself.
report=$(grep -v '^==[0-9]*==WARNING: AddressSanitizer failed to allocate 0x[0-9a-f]* bytes$' "$errors")
echo "row $line: $row"
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "no end within $time_limit seconds"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "exit status $status"
  echo "$report"
  exit 1
fi
if [ -n "$report" ]; then
  echo "standard error:"
  echo "$report"
  exit 1
fi
