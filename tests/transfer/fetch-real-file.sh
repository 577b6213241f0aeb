#!/usr/bin/env bash
# fetch-real-file.sh [--wine] FETCH...: serves a random file of a few MiB from a private
# nginx on 127.0.0.1 and checks that "FETCH -q URL FILE" brings it byte-identical, and that
# a missing file is reported as a failure. --wine: FETCH is a Windows program, which sees
# the host's root as drive Z:.
set -euo pipefail
drive=
if [ "${1:-}" = --wine ]; then drive=Z:; shift; fi
here=$(cd "$(dirname "$0")" && pwd)
root=${TARVOS_SOURCE_DIR:-$(dirname "$(dirname "$here")")}
work=$(mktemp -d)
trap '"$root/scripts/local-nginx" stop "$work/nginx"; rm -rf "$work"' EXIT
mkdir -p "$work/www"
head -c 5000017 /dev/urandom >"$work/www/game.bin"
read -r port _ < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www")
"$@" -q "http://127.0.0.1:$port/game.bin" "$drive$work/got.bin"
cmp "$work/www/game.bin" "$work/got.bin"
if "$@" -q "http://127.0.0.1:$port/missing.bin" "$drive$work/none.bin"; then
  echo "a missing file was reported as fetched" >&2
  exit 1
fi
[ ! -e "$work/none.bin" ]
echo "fetched byte-identical"
