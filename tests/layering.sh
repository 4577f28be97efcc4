#!/bin/sh
# The layers of src/, top to bottom: main.cpp; the main loop
# (dialogue/main_loop.*); the operations (ops/); the dialogue's helpers (the
# rest of dialogue/); at the bottom base/ and kernels/, which include
# neither each other nor anything above them. Fails, naming each offending
# line, when a file of src/ includes a file of a layer above its own.
#
# Inside kernels/, the files at its top (the entry points, the plain code,
# dispatch, the cores) may include any of it; a file in one of its folders
# includes the top, its own folder and the folders below it, bottom first:
# exact/ (the residues), isa/ (the vector code of each instruction set),
# product/, reduction/, minors/.
# Usage: layering.sh SRC_DIR
set -eu
src=${1:?usage: layering.sh SRC_DIR}

# The layer of a path relative to src/: 5 at the top, 1 at the bottom;
# "base" and "kernels" for the two separate bottom parts.
layer() {
  case $1 in
    main.cpp) echo 5 ;;
    dialogue/main_loop.*) echo 4 ;;
    ops/*) echo 3 ;;
    dialogue/*) echo 2 ;;
    base/*) echo base ;;
    kernels/*) echo kernels ;;
    *) echo unknown ;;
  esac
}

# The rank of a file of kernels/: "top" for the files at its top, 1 to 5
# for its folders, "unknown" for any other folder.
kernel_rank() {
  case $1 in
    kernels/exact/*) echo 1 ;;
    kernels/isa/*) echo 2 ;;
    kernels/product/*) echo 3 ;;
    kernels/reduction/*) echo 4 ;;
    kernels/minors/*) echo 5 ;;
    kernels/*/*) echo unknown ;;
    *) echo top ;;
  esac
}

# Whether kernels/ file $1 may include kernels/ file $2.
kernel_may_include() {
  from=$(kernel_rank "$1")
  to=$(kernel_rank "$2")
  case $from:$to in
    *:unknown | unknown:*) return 1 ;;
    top:* | *:top) return 0 ;;
    *) [ "$from" -ge "$to" ] ;;
  esac
}

# Whether a file of layer $1 may include a file of layer $2.
may_include() {
  case $1:$2 in
    *:unknown | unknown:*) return 1 ;;
    base:base | kernels:kernels) return 0 ;;
    base:* | kernels:*) return 1 ;;
    *:base | *:kernels) return 0 ;;
    *) [ "$1" -ge "$2" ] ;;
  esac
}

# What a layer is called in the messages.
layer_name() {
  case $1 in
    5) echo "main" ;;
    4) echo "main loop" ;;
    3) echo "operations" ;;
    2) echo "dialogue helpers" ;;
    *) echo "$1" ;;
  esac
}

status=0
cd "$src"
for file in $(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' \) | sed 's|^\./||' | sort); do
  from=$(layer "$file")
  for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
    to=$(layer "$included")
    if ! may_include "$from" "$to"; then
      echo "layering: $file ($(layer_name "$from")) includes $included ($(layer_name "$to")), a layer above it or beside it"
      status=1
    elif [ "$from:$to" = "kernels:kernels" ] && ! kernel_may_include "$file" "$included"; then
      echo "layering: $file includes $included, a folder of the kernels above its own"
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "layering: every include of $src points down or sideways"
exit $status
