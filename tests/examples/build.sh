#!/usr/bin/env bash
# Builds the programs of examples/ and every C and C++ code block of README.md against the
# installed package, as an application would, and runs them, so that neither can drift from
# the library:
#   - README blocks tagged c or cpp are whole programs: each is built as the application `app`
#     of a CMake project made of the README's own cmake blocks (nothing else: no C++ standard,
#     no include path), so the package's targets must carry what their headers need; warnings
#     are errors. They run in the order of the README, all in one directory, as a reader
#     following the README would, with the KVG files that the blocks before it wrote as its
#     arguments (a block that reads files has some to read); blocks in other languages are left
#     to their owners' tests;
#   - the C++ headers, included under C++17, stop with one clear line (they need C++20);
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

quietly() {  # COMMAND...: its output shown only when it fails
  "$@" >"$work/log" 2>&1 || { cat "$work/log"; return 1; }
}

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
libdir=$(find "$work/prefix" -name 'libkvgwriter.so' -printf '%h\n' | head -1)

# Each C or C++ block becomes readme/blockNN/main.c or main.cpp; the cmake blocks, in order,
# readme/snippet.cmake.
mkdir -p "$work/readme"
awk -v dir="$work/readme" '
  /^```/ {
    if (fence) { fence = 0; file = ""; next }
    fence = 1
    lang = substr($0, 4); sub(/[ \t].*/, "", lang)
    if (lang == "c" || lang == "cpp") {
      file = sprintf("%s/block%02d/main.%s", dir, ++n, lang)
      system("mkdir -p " dir sprintf("/block%02d", n))
    } else if (lang == "cmake") {
      file = dir "/snippet.cmake"
    }
    next
  }
  fence && file != "" { print >> file }
' "$source_dir/README.md"
grep -q 'kvgwriter::kvgwriter' "$work/readme/snippet.cmake"
for block in "$work"/readme/block*; do
  main=$(cd "$block" && ls main.*)
  {
    echo "cmake_minimum_required(VERSION 3.20)"
    echo "project(app C CXX)"
    echo "add_executable(app $main)"
    cat "$work/readme/snippet.cmake"
    echo "target_compile_options(app PRIVATE -Wall -Wextra -Werror)"
  } >"$block/CMakeLists.txt"
  quietly cmake -S "$block" -B "$block/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix"
  quietly cmake --build "$block/build"
done

include_dir="$work/prefix/include/kvgwriter"
for header in kvgwriter.hpp kvgreader.hpp; do
  echo "#include \"$header\"" >"$work/old.cpp"
  if c++ -std=c++17 -fsyntax-only -I"$include_dir" "$work/old.cpp" 2>"$work/old.txt"; then
    echo "$header compiled under C++17"; exit 1
  fi
  [ "$(grep -c 'error:' "$work/old.txt")" -eq 1 ] && grep -q "$header needs C++20" "$work/old.txt" ||
    { echo "$header under C++17:"; cat "$work/old.txt"; exit 1; }
done

quietly cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
        -DEXAMPLES_DIR="$source_dir/examples"
quietly cmake --build "$work/build"

run() {  # PROGRAM DIRECTORY [ARGUMENTS...]
  echo "running ${1#"$work"/}"
  (cd "$2" && LD_LIBRARY_PATH=$libdir "$1" "${@:3}")
}

rm -rf "$out"
mkdir -p "$out/readme"
shopt -s nullglob
for block in "$work"/readme/block*; do
  written=("$out"/readme/*.kvg)
  run "$block/build/app" "$out/readme" "${written[@]##*/}"
done
for source in "$source_dir"/examples/*.c "$source_dir"/examples/*.cpp; do
  name=$(basename "${source%.*}")
  mkdir -p "$out/$name"
  cp -r "$source_dir/examples/data" "$out/$name/"
  run "$work/build/$name" "$out/$name"
  [ -s "$out/$name/$name.kvg" ] || { echo "$name wrote no $name.kvg"; exit 1; }
done
echo "examples built and run"
