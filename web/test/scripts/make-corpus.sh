#!/usr/bin/env bash
# Writes the files the web decoder is compared on into OUT: the demonstration drawing, every
# file the fuzz corpus writes (replayed with KVG_FUZZ_KEEP) and the imported 1:110m world map.
#   make-corpus.sh KVG FUZZ_REPLAY SOURCE_DIR OUT
set -euo pipefail
kvg=$1 replay=$2 src=$3 out=$4
rm -rf "$out"
mkdir -p "$out"
"$kvg" demo -o "$out/demo.kvg" >/dev/null
KVG_FUZZ_KEEP="$out" "$replay" "$src/fuzz/corpus" >/dev/null 2>&1
"$kvg" import topojson "$src/tests/data/countries-110m.json" -o "$out/countries-110m.kvg" >/dev/null
echo "$(ls "$out" | wc -l) files in $out"
