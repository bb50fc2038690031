#!/usr/bin/env bash
# Builds the programs of examples/ and every C and C++ code block of README.md against the
# installed package, as an application would, and runs them, so that neither can drift from
# the library:
#   - README blocks tagged c or cpp are whole programs: each is compiled (warnings are errors)
#     and run, in the order of the README, all in one directory, as a reader following the
#     README would, with the KVG files that the blocks before it wrote as its arguments (a block
#     that reads files has some to read); blocks in other languages are left to their owners'
#     tests;
#   - every program examples/NAME.c or examples/NAME.cpp runs without arguments in a directory
#     of its own holding a copy of examples/data, and must write NAME.kvg there.
# Usage: build.sh BUILD_DIR OUT_DIR; OUT_DIR receives readme/ and one directory per example.
set -euo pipefail
build_dir=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
libdir=$(find "$work/prefix" -name 'libkvgwriter.so' -printf '%h\n' | head -1)

mkdir -p "$work/readme"
awk -v dir="$work/readme" '
  /^```/ {
    if (fence) { fence = 0; file = ""; next }
    fence = 1
    lang = substr($0, 4); sub(/[ \t].*/, "", lang)
    if (lang == "c" || lang == "cpp") file = sprintf("%s/block%02d.%s", dir, ++n, lang)
    next
  }
  fence && file != "" { print > file }
' "$source_dir/README.md"

cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DEXAMPLES_DIR="$source_dir/examples" -DREADME_DIR="$work/readme" >/dev/null
cmake --build "$work/build" >/dev/null

run() {  # PROGRAM DIRECTORY [ARGUMENTS...]
  echo "running $(basename "$1")"
  (cd "$2" && LD_LIBRARY_PATH=$libdir "$1" "${@:3}")
}

rm -rf "$out"
mkdir -p "$out/readme"
shopt -s nullglob
for block in "$work"/readme/*; do
  written=("$out"/readme/*.kvg)
  run "$work/build/readme-$(basename "${block%.*}")" "$out/readme" "${written[@]##*/}"
done
for source in "$source_dir"/examples/*.c "$source_dir"/examples/*.cpp; do
  name=$(basename "${source%.*}")
  mkdir -p "$out/$name"
  cp -r "$source_dir/examples/data" "$out/$name/"
  run "$work/build/$name" "$out/$name"
  [ -s "$out/$name/$name.kvg" ] || { echo "$name wrote no $name.kvg"; exit 1; }
done
echo "examples built and run"
