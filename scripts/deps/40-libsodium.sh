#!/usr/bin/env bash
# Static libsodium for Windows (the signature check of the file list), built from Debian's
# source package. The package carries no generated configure script, so the sources are
# compiled directly, as the project's Visual Studio files do: every SIMD variant is guarded
# by a HAVE_ switch and drops out, the portable reference code stays.
set -euo pipefail
[ -f "$PREFIX/lib/libsodium.a" ] && [ -f "$PREFIX/include/sodium.h" ] && exit 0
src=$(fetch_source libsodium)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lib=$src/src/libsodium
# The version header that configure would make; the Visual Studio build ships it made.
mkdir -p "$work/include/sodium"
cp "$src/builds/msvc/version.h" "$work/include/sodium/version.h"
flags=(-O2 -DSODIUM_STATIC -DNATIVE_LITTLE_ENDIAN -DNDEBUG -I"$work/include/sodium" -I"$lib/include/sodium"
  -I"$lib/include" -w)
mapfile -t sources < <(cd "$lib" && find . -name '*.c' | sort)
pids=()
for s in "${sources[@]}"; do
  o=$work/$(echo "${s#./}" | tr '/' '_').o
  "$HOST-gcc-posix" "${flags[@]}" -c "$lib/$s" -o "$o" &
  pids+=($!)
  if [ "${#pids[@]}" -ge 2 ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done
for p in "${pids[@]}"; do wait "$p"; done
"$HOST-ar" rcs "$PREFIX/lib/libsodium.a" "$work"/*.o
mkdir -p "$PREFIX/include/sodium"
cp "$lib/include/sodium.h" "$PREFIX/include/"
cp "$lib"/include/sodium/*.h "$PREFIX/include/sodium/"
cp "$work/include/sodium/version.h" "$PREFIX/include/sodium/"
echo "libsodium for $ARCH built"
