#!/usr/bin/env bash
# Installs the built library into a scratch prefix, then builds an application against it twice:
# through the CMake package and through pkg-config. Also checks that the shared library exports
# only the library's own C names, and that the installed kvg command runs.
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
libdir=$(find "$work/prefix" -name 'libkvgwriter.so' -printf '%h\n' | head -1)

cmake -S "$source_dir" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-build/consumer" "$work/a.kvg"

export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
cc -o "$work/pc-consumer" "$source_dir/consumer.c" $(pkg-config --cflags --libs kvgwriter)
LD_LIBRARY_PATH=$libdir "$work/pc-consumer" "$work/b.kvg"
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

exported=$(nm -D --defined-only "$libdir/libkvgwriter.so" | awk '{print $3}')
foreign=$(grep -vE '^(KVG_|KVGF_|KVGT_|KVGE_|KVGO_|KVGK_|XIO_|(pa|uca|ula|la)[A-Z])' <<<"$exported" || true)
if [ -n "$foreign" ]; then
  echo "unexpected exported symbols:"; echo "$foreign"; exit 1
fi
for name in KVG_create KVG_close KVG_end KVGF_Polyline KVGT_RelPointArray KVGE_abort paAdd; do
  grep -qx "$name" <<<"$exported" || { echo "missing $name"; exit 1; }
done
# The command is installed and finds the installed library by itself.
"$work/prefix/bin/kvg" --version | grep -q '^kvg '
"$work/prefix/bin/kvg" check "$work/a.kvg" >/dev/null
echo "package check passed"
