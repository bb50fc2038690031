#!/usr/bin/env bash
# Installs the built libraries into a scratch prefix, then builds applications against them
# twice, through the CMake package and through pkg-config: a writer, and a reader that reads
# the writer's file and every file the test suite kept (directory $2), all of which must read
# as valid, the same through both. Also checks that each shared library exports only its own
# C names, and that the installed kvg command runs.
set -euo pipefail
build_dir=$1
kept_files=${2:-}
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
libdir=$(find "$work/prefix" -name 'libkvgwriter.so' -printf '%h\n' | head -1)
export LD_LIBRARY_PATH=$libdir

cmake -S "$source_dir" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer" "$work/a.kvg"

export PKG_CONFIG_PATH=$libdir/pkgconfig
# The .pc files find the prefix from where they lie: their libdir is where the library is.
for library in kvgwriter kvgreader; do
  test "$(realpath "$(pkg-config --variable=libdir $library)")" = "$(realpath "$libdir")"
done
# shellcheck disable=SC2046
cc -o "$work/pc-consumer" "$source_dir/consumer.c" $(pkg-config --cflags --libs kvgwriter)
# shellcheck disable=SC2046
cc -o "$work/pc-reader" "$source_dir/reader_consumer.c" $(pkg-config --cflags --libs kvgreader)
"$work/pc-consumer" "$work/b.kvg"
cmp "$work/a.kvg" "$work/b.kvg"

# The Python package, where it was built, draws the same through the installed module, which
# finds the installed library by itself.
python=$(sed -n 's/^Python_EXECUTABLE:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
package=$(find "$work/prefix" -type d -name kvg -path '*-packages/kvg' -printf '%h\n' | head -1)
if [ -n "$python" ] && [ -n "$package" ]; then
  PYTHONPATH=$package "$python" - "$work/c.kvg" <<'EOF'
import sys
import kvg
with kvg.File(sys.argv[1]) as f:
    f.polyline([(0, 0), (10, 10)])
EOF
  cmp "$work/a.kvg" "$work/c.kvg"
fi

files=("$work/a.kvg")
if [ -n "$kept_files" ] && [ -d "$kept_files" ]; then
  files+=("$kept_files"/*.kvg)
fi
"$work/cmake-build/reader_consumer" "${files[@]}" >"$work/read-cmake.txt"
"$work/pc-reader" "${files[@]}" >"$work/read-pc.txt"
cmp "$work/read-cmake.txt" "$work/read-pc.txt"
[ "$(grep -c ': valid, ' "$work/read-pc.txt")" -eq "${#files[@]}" ]
echo "read ${#files[@]} files through the installed reader"

exported_names() { nm -D --defined-only "$libdir/$1" | awk '{print $3}'; }
exported=$(exported_names libkvgwriter.so)
foreign=$(grep -vE '^(KVG_|KVGF_|KVGT_|KVGE_|KVGO_|KVGK_|XIO_|(pa|uca|ula|la)[A-Z])' <<<"$exported" || true)
foreign+=$(exported_names libkvgreader.so | grep -v '^KVGR_' || true)
if [ -n "$foreign" ]; then
  echo "unexpected exported symbols:"; echo "$foreign"; exit 1
fi
for name in KVG_create KVG_close KVG_end KVGF_Polyline KVGT_RelPointArray KVGE_abort paAdd; do
  grep -qx "$name" <<<"$exported" || { echo "missing $name"; exit 1; }
done
for name in KVGR_new KVGR_openFile KVGR_next KVGR_pageMapping KVGR_getImageRGBA; do
  exported_names libkvgreader.so | grep -qx "$name" || { echo "missing $name"; exit 1; }
done
# The command is installed and finds the installed library by itself.
"$work/prefix/bin/kvg" --version | grep -q '^kvg '
"$work/prefix/bin/kvg" check "$work/a.kvg" >/dev/null
echo "package check passed"
