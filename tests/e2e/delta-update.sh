#!/usr/bin/env bash
# Changed big files by their blocks, end to end: tarvos-publish --delta-min-size, nginx, and
# tarvos-cli repairing a player's copy that is older, shifted, cut short; then the same with
# no index, a damaged index and a server that ignores ranges, where the archive must serve.
# Every case ends with the release's bytes in the game folder.
#   delta-update.sh [--wine] BUILD_DIR PUBLISH
# BUILD_DIR holds tarvos-cli and tarvos-pack (Windows programs with --wine); PUBLISH is a
# native tarvos-publish.
set -euo pipefail
wine=
if [ "${1:-}" = --wine ]; then wine=1; shift; fi
build=$(cd "$1" && pwd) publish=$2
root=${TARVOS_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
# Under Wine inside the build tree, where the Wine runner finds its prefix.
work=$(mktemp -d "$([ -n "$wine" ] && echo "$build" || echo "${TMPDIR:-/tmp}")/delta-e2e.XXXXXX")
trap 'bash "$root/scripts/local-nginx" stop "$work/nginx" >/dev/null 2>&1; bash "$root/scripts/local-nginx" stop "$work/nginx-noranges" >/dev/null 2>&1; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; [ -f "$work/game/log.err" ] && sed 's/\r$//; s/^/  log: /' "$work/game/log.err"; exit 1; }
if [ -n "$wine" ]; then
  cli=tarvos-cli.exe pack=("$root/scripts/wine-run" "$build/tools/tarvos-pack/tarvos-pack.exe")
  run_cli() { (cd "$work/game" && "$root/scripts/wine-run" ./tarvos-cli.exe "$@" | tr -d '\r'); }
else
  cli=tarvos-cli pack=("$build/tools/tarvos-pack/tarvos-pack")
  run_cli() { (cd "$work/game" && ./tarvos-cli "$@"); }
fi

release=$work/release www=$work/www
mkdir -p "$release/data" "$www" "$work/game"
head -c $((6 << 20)) /dev/urandom > "$release/data/big.pak"
echo small > "$release/readme.txt"
publish_release() { "$publish" "$release" "$www/update" --delta-min-size 1M >/dev/null; }
publish_release
read -r port _ < <(bash "$root/scripts/local-nginx" start "$work/nginx" "$www")
# A server that sends the whole copy for any range of it (the archives it serves as usual).
read -r noranges _ < <(TARVOS_NGINX_NORANGES='\.ta2r$' bash "$root/scripts/local-nginx" start "$work/nginx-noranges" "$www")

# A launcher whose package names the given server.
launcher_for() {
  cp -r "$build/skins/default" "$work/skin.$1"
  sed -i -e "/^url=/d" -e "s#^\[updateservers\]#[updateservers]\nurl=http://127.0.0.1:$1/update/#" \
      -e "s/^useproxy=.*/useproxy=false/" -e "s/^0=.*/0=/" -e "s/^instance=.*/instance=Delta $$/" \
      "$work/skin.$1/config.txt"
  cp "$build/tools/tarvos-cli/$cli" "$work/game/"
  (cd "$work" && "${pack[@]}" build "skin.$1" -o package.bin >/dev/null &&
    "${pack[@]}" inject package.bin "game/$cli" >/dev/null)
}
launcher_for "$port"
# The player's folder as the release was, fetched the ordinary way.
run_cli --quiet >/dev/null || fail "first run"
cmp -s "$release/data/big.pak" "$work/game/data/big.pak" || fail "first run: big.pak differs"

# change NAME EXPECT MAX: a full check repairs big.pak; the log's delta line must say EXPECT
# and at most MAX bytes may come over the delta path.
change() {
  rm -f "$work/game/log.err"
  run_cli -debug --quiet --check-all >/dev/null || fail "$1: the run failed"
  cmp -s "$release/data/big.pak" "$work/game/data/big.pak" || fail "$1: big.pak differs from the release"
  local line
  line=$(sed 's/\r$//' "$work/game/log.err" | grep -E '^Delta' | head -1)
  case "$line" in *"$2"*) ;; *) fail "$1: the log says '$line', not '$2'" ;; esac
  if [ -n "${3:-}" ]; then
    local got
    got=$(echo "$line" | sed -E 's/.*: ([0-9]+) bytes downloaded.*/\1/')
    [ "$got" -le "$3" ] || fail "$1: $got bytes downloaded, more than $3"
  fi
  echo "$1: $line"
}
patch_release() {  # patch_release OFFSET BYTES
  head -c "$2" /dev/urandom | dd of="$release/data/big.pak" bs=1 seek="$1" conv=notrunc status=none
  touch "$release/data/big.pak"
  publish_release
}

patch_release 100000 5000; patch_release 3000000 70000
change "changed blocks" "bytes downloaded" $((5 << 16))
# Changed in place with its date kept: --rehash repacks it, and its index and copy with it.
touch -r "$release/data/big.pak" "$work/stamp"
head -c 3000 /dev/urandom | dd of="$release/data/big.pak" bs=1 seek=2000000 conv=notrunc status=none
touch -r "$work/stamp" "$release/data/big.pak"
"$publish" "$release" "$www/update" --delta-min-size 1M --rehash >/dev/null
change "rehashed in place" "bytes downloaded" $((3 << 16))
{ head -c 50000 "$release/data/big.pak"; head -c $((256 << 10)) /dev/urandom; tail -c +50001 "$release/data/big.pak"; } > "$work/shifted"
mv "$work/shifted" "$release/data/big.pak"; publish_release
change "shifted insertion" "bytes downloaded" $(((256 << 10) + (3 << 16)))
truncate -s $((3 << 20)) "$work/game/data/big.pak"
change "truncated old copy" "bytes downloaded" $(((6 << 20) - (3 << 20) + (2 << 16) + (256 << 10)))

printf x | dd of="$work/game/data/big.pak" bs=1 seek=10 conv=notrunc status=none
mv "$www/update/data/big.pak.ta2i" "$work/index"
change "missing index" "fetching the archive: data\\big.pak: no index (status 404)"
cp "$work/index" "$www/update/data/big.pak.ta2i"
printf '\x55' | dd of="$www/update/data/big.pak.ta2i" bs=1 seek=100 conv=notrunc status=none
printf x | dd of="$work/game/data/big.pak" bs=1 seek=10 conv=notrunc status=none
change "damaged index" "the index is damaged"
cp "$work/index" "$www/update/data/big.pak.ta2i"

launcher_for "$noranges"
printf x | dd of="$work/game/data/big.pak" bs=1 seek=10 conv=notrunc status=none
change "server ignoring ranges" "the server did not serve the range"
echo "every case ended with the release's bytes"
