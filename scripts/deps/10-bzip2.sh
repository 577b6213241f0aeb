#!/usr/bin/env bash
# Static libbz2 for Windows.
set -euo pipefail
[ -f "$PREFIX/lib/libbz2.a" ] && exit 0
src=$(fetch_source bzip2)
work=$(mktemp -d)
for f in blocksort huffman crctable randtable compress decompress bzlib; do
  "$HOST-gcc-posix" -O2 -D_FILE_OFFSET_BITS=64 -c "$src/$f.c" -o "$work/$f.o"
done
"$HOST-ar" rcs "$PREFIX/lib/libbz2.a" "$work"/*.o
cp "$src/bzlib.h" "$PREFIX/include/"
rm -rf "$work"
echo "bzip2 for $ARCH built"
