#!/usr/bin/env bash
# Writes the files the web decoder is compared on into OUT: the demonstration drawing, every
# file the fuzz corpus writes (replayed with KVG_FUZZ_KEEP), the imported 1:110m world map, and
# under OUT/strangers the reader's fuzz corpus and the hostile files tests/hostile makes.
#   make-corpus.sh KVG FUZZ_REPLAY SOURCE_DIR OUT
set -euo pipefail
kvg=$1 replay=$2 src=$3 out=$4
rm -rf "$out"
mkdir -p "$out"
"$kvg" demo -o "$out/demo.kvg" >/dev/null
KVG_FUZZ_KEEP="$out" "$replay" "$src/fuzz/corpus" >/dev/null 2>&1
"$kvg" import topojson "$src/tests/data/countries-110m.json" -o "$out/countries-110m.kvg" >/dev/null
mkdir -p "$out/strangers"
for f in "$src"/fuzz/reader_corpus/*; do cp "$f" "$out/strangers/reader-$(basename "$f").kvg"; done
python3 "$src/tests/hostile/hostile.py" "$out/strangers"
echo "$(ls "$out" | wc -l) files in $out, $(ls "$out/strangers" | wc -l) in $out/strangers"
