#!/usr/bin/env bash
# Runs the program on one input under a memory limit and checks that the run
# ends by itself within the time limit, with exit status 0 and nothing on
# standard error (where every sanitizer report goes).
#
#   run_limited.sh bad-input PROGRAM TABLE LINE SANITIZED [LIMITED]
#     Types the row on line LINE of the bad-input table TABLE (escapes read
#     by printf '%b'), alone. Sizes that pass every test but need gigabytes
#     are refused for want of storage: the address space is limited to
#     1 GiB, or, when SANITIZED is ON (AddressSanitizer needs a huge address
#     space of its own), single allocations are. LIMITED "data" limits the
#     writable data to 1 GiB instead of the address space: wine reserves
#     most of the address space as it starts.
#   run_limited.sh memory-limit PROGRAM INPUT EXPECTED ACTUAL
#     Types INPUT with the address space limited to 256 MiB, where the sizes
#     it asks for cannot be had; the whole output, written to ACTUAL, must
#     also equal EXPECTED byte for byte. The stack limit is set to 64 MiB,
#     the stack a new thread reserves, so that an input can leave room for
#     its storage but not for a second thread.
set -u
readonly time_limit=60
errors=$(mktemp)
typed=
trap 'rm -f "$errors" ${typed:+"$typed"}' EXIT

# run_program PROGRAM INPUT OUTPUT LIMIT_KIB (0: no limit) [STACK_KIB]
# The limit is on the address space, or on data where $limited is "data".
limited=address
run_program() {
  (
    if [ "$4" -ne 0 ]; then
      if [ "$limited" = data ]; then ulimit -d "$4"; else ulimit -v "$4"; fi
    fi
    [ -z "${5:-}" ] || ulimit -s "$5"
    exec timeout -k 5 "$time_limit" "$1" <"$2" >"$3" 2>"$errors"
  )
  local status=$?
  # The sanitizer's note that it refused an allocation is the refusal itself.
  local report
  report=$(grep -v '^==[0-9]*==WARNING: AddressSanitizer failed to allocate 0x[0-9a-f]* bytes$' "$errors")
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "no end within $time_limit seconds"
    return 1
  fi
  if [ "$status" -ne 0 ]; then
    echo "exit status $status"
    echo "$report"
    return 1
  fi
  if [ -n "$report" ]; then
    echo "standard error:"
    echo "$report"
    return 1
  fi
}

bad_input() {
  local program=$1 table=$2 line=$3 sanitized=$4 limit_kib=$((1024 * 1024))
  local row
  limited=${5:-address}
  row=$(sed -n "${line}p" "$table")
  echo "row $line: $row"
  typed=$(mktemp)
  printf '%b' "$row" >"$typed"
  if [ "$sanitized" = ON ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=1024"
    limit_kib=0
  fi
  run_program "$program" "$typed" /dev/null "$limit_kib"
}

memory_limit() {
  local program=$1 input=$2 expected=$3 actual=$4
  mkdir -p "$(dirname "$actual")"
  run_program "$program" "$input" "$actual" $((256 * 1024)) $((64 * 1024)) || return 1
  if ! cmp -s "$expected" "$actual"; then
    diff -u "$expected" "$actual" | head -100
    return 1
  fi
}

case "${1:-}" in
  bad-input) shift && bad_input "$@" ;;
  memory-limit) shift && memory_limit "$@" ;;
  *) echo "usage: $0 bad-input|memory-limit ..." >&2 && exit 2 ;;
esac
