#!/usr/bin/env bash
# Static libcurl for Windows: HTTP(S) only, Schannel for TLS, no other dependency.
set -euo pipefail
[ -f "$PREFIX/lib/libcurl.a" ] && exit 0
src=$(fetch_source curl)
work=$(mktemp -d)
cmake -S "$src" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$ARCH-mingw.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
  -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=OFF \
  -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
  -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_MANUAL=OFF \
  -DCMAKE_CROSSCOMPILING_EMULATOR= >"$work.log" 2>&1 || { tail -n 30 "$work.log"; exit 1; }
cmake --build "$work" -j2 >>"$work.log" 2>&1 || { tail -n 30 "$work.log"; exit 1; }
cmake --install "$work" >>"$work.log" 2>&1
rm -rf "$work" "$work.log"
echo "curl for $ARCH built"
