#!/usr/bin/env bash
# Many small files, as a release of a game client mostly is: 2,000 files of 2-64 KB, first
# install into an empty game folder with tarvos-cli, served by a private nginx behind a proxy
# that holds every chunk 25 ms each way (a 50 ms round trip, an ordinary player's line).
#  - the whole run (download, unpack, check, install) against aria2c -j16 with one connection
#    per file fetching the same packed files: at least 1.0x aria2c's speed; curl -Z with 16
#    in parallel for information (the stretch);
#  - the same release without the delay: the whole run within 3 s;
#  - peak memory of the delayed run (16 transfers in flight) under 64 MiB;
#  - the cap at 50 KiB/s on a many-file install and on a delta update: at least 95% of the
#    one-second windows within 10% of the cap, counted by the proxy as the bytes it passes on.
# Wall-clock times, best of ROUNDS (the network is the point). FILES scales the release.
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
. "$here/lib.sh"
cli=$BUILD/tools/tarvos-cli/tarvos-cli
publish=$BUILD/tools/tarvos-publish/tarvos-publish
pack=$BUILD/tools/tarvos-pack/tarvos-pack
for tool in "$cli" "$publish" "$pack" "$BUILD/skins/default/config.txt"; do
  [ -e "$tool" ] || { echo "manyfiles: $tool is missing"; exit 1; }
done
for tool in nginx aria2c curl python3; do
  command -v "$tool" >/dev/null || { echo "manyfiles: $tool missing (./run setup)"; exit 1; }
done
files=${FILES:-2000}
rounds=${ROUNDS:-2}
work=$(mktemp -d)
proxies=()
cleanup() {
  local p; for p in "${proxies[@]}"; do kill "$p" 2>/dev/null; done
  "$root/scripts/local-nginx" stop "$work/nginx" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
rc=0
secs() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(secs)" 'BEGIN { print b - a }'; }
check() {  # name value op target
  local v; v=$(verdict "$2" "$3" "$4")
  printf '%-62s %8.3f  (target %s %s)  %s\n' "$1" "$2" "$3" "$4" "$v"
  [ "$v" = PASS ] || rc=1
}
# proxy NAME DELAY_MS: a delay proxy in front of nginx; its port is then in $work/NAME.port.
proxy() {
  python3 "$here/tools/delay-proxy.py" "$port" "$2" "$work/$1.port" "$work/$1.count" >"$work/$1.log" 2>&1 &
  proxies+=($!)
  for _ in $(seq 100); do [ -s "$work/$1.port" ] && return; sleep 0.05; done
  echo "manyfiles: the proxy did not start"; exit 1
}
# launcher DIR URL: an empty game folder holding a launcher whose only server is URL. Each
# run gets a folder of its own, removed only at the end: on a file system without a journal,
# files made just after thousands were removed cost many times more, and that cost is the
# bench's own doing, not the launcher's.
runs=0
launcher() {
  runs=$((runs + 1)); player=$1-$runs
  mkdir -p "$player"
  rm -rf "$work/skin" && cp -r "$BUILD/skins/default" "$work/skin"
  sed -i -e '/^url=/d' -e 's/^useping=.*/useping=false/' -e 's/^useproxy=.*/useproxy=false/' \
      -e "s/^instance=.*/instance=Tarvos many files bench $$/" \
      -e "s#^\[updateservers\]#[updateservers]\nurl=$2#" "$work/skin/config.txt"
  cp "$cli" "$player/"
  "$pack" build "$work/skin" -o "$work/package.bin" >/dev/null && "$pack" inject "$work/package.bin" "$player/tarvos-cli" >/dev/null
}
# same RELEASE GAME: every file of the release is in the game folder with the same bytes.
same() { (cd "$1" && find . -type f -print0 | xargs -0 -I{} cmp -s "{}" "$2/{}") && [ -n "$(ls "$2")" ]; }

# ---- the release: half of each file random, half zeros (about 38 MB packed) ----
mkdir -p "$work/release" "$work/www"
RANDOM=7
for i in $(seq 0 $((files - 1))); do
  d=$work/release/data$((i % 20)); mkdir -p "$d"
  s=$((2048 + (RANDOM * 32768 + RANDOM) % 63489))
  { head -c $((s / 2)) /dev/urandom; head -c $((s - s / 2)) /dev/zero; } >"$d/f$i.dat"
done
"$publish" "$work/release" "$work/www/update" >/dev/null || { echo "manyfiles: tarvos-publish failed"; exit 1; }
packed=$(find "$work/www/update" -name '*.ta2' ! -name 'updater.lst.ta2' -printf '%s\n' | awk '{ s += $1 } END { print s }')
read -r port _ < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www") || exit 1
proxy slow 25; slow=$(cat "$work/slow.port")
echo "  $files files, $((packed / 1000000)) MB packed, 50 ms round trip through the proxy"

(cd "$work/www/update" && find . -name '*.ta2' ! -name 'updater.lst.ta2' | sed 's#^\./##') >"$work/names"
sed "s#^#http://127.0.0.1:$slow/update/#" "$work/names" >"$work/urls"
awk -v base="http://127.0.0.1:$slow/update/" -v out="$work/curl-out/" \
  '{ print "url = \"" base $0 "\""; print "output = \"" out NR ".ta2\"" }' "$work/names" >"$work/curl.cfg"

best_aria=1e9 best_curl=1e9 best_cli=1e9 best_fast=1e9 peak=0
for round in $(seq "$rounds"); do
  t0=$(secs)
  aria2c -q -j16 --max-connection-per-server=1 --allow-overwrite=true -i "$work/urls" -d "$work/aria-out-$round" ||
    { echo "manyfiles: aria2c failed"; rc=1; }
  best_aria=$(smaller "$best_aria" "$(elapsed "$t0")")
  mkdir -p "$work/curl-out-$round"; t0=$(secs)
  sed "s#/curl-out/#/curl-out-$round/#" "$work/curl.cfg" >"$work/curl-$round.cfg"
  curl -s --no-progress-meter -f -Z --parallel-max 16 -K "$work/curl-$round.cfg" || { echo "manyfiles: curl failed"; rc=1; }
  best_curl=$(smaller "$best_curl" "$(elapsed "$t0")")

  launcher "$work/player" "http://127.0.0.1:$slow/update/"; t0=$(secs)
  (cd "$player" && /usr/bin/time -f '%M' -o "$work/mem" ./tarvos-cli --quiet) || { echo "manyfiles: the update failed"; rc=1; }
  best_cli=$(smaller "$best_cli" "$(elapsed "$t0")")
  same "$work/release" "$player" || { echo "manyfiles: the game folder differs from the release"; rc=1; }
  peak=$(awk -v a="$peak" -v b="$(cat "$work/mem")" 'BEGIN { print (b > a ? b : a) }')

  launcher "$work/player" "http://127.0.0.1:$port/update/"; t0=$(secs)
  (cd "$player" && ./tarvos-cli --quiet) || { echo "manyfiles: the update without delay failed"; rc=1; }
  best_fast=$(smaller "$best_fast" "$(elapsed "$t0")")
done
printf '  aria2c -j16 %.1f s, curl -Z %.1f s, tarvos-cli %.1f s (peak %d MiB); without the delay %.2f s\n' \
  "$best_aria" "$best_curl" "$best_cli" $((peak / 1024)) "$best_fast"
check "first install, 50 ms round trip: speed / aria2c -j16" "$(ratio "$best_aria" "$best_cli")" ">=" 1.0
printf '%-62s %8.3f  (stretch >= 1.0)\n' "first install, 50 ms round trip: speed / curl -Z 16" "$(ratio "$best_curl" "$best_cli")"
check "first install, no added delay: seconds" "$best_fast" "<=" 3
check "peak memory, 16 transfers in flight (MiB)" "$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')" "<=" 64

# ---- the cap: 50 KiB/s through a proxy without delay that counts what it passes ----
cap=51200
# windows COUNTFILE: the share of one-second windows within 10% of the cap, leaving out the
# first and the last second of the transfer.
windows() {
  awk -v cap=$cap '
    { t[NR] = $1; b[NR] = $2 }
    END {
      for (i = 1; i <= NR && b[i] == 0; i++);
      first = i; last = NR; while (last > first && b[last - 1] == b[NR]) last--
      for (i = first + 10; i + 10 <= last - 10; i += 10) {
        r = (b[i + 10] - b[i]) / (t[i + 10] - t[i]); n++
        if (r >= cap * 0.9 && r <= cap * 1.1) ok++
      }
      printf "%.3f %d\n", (n ? ok / n : 0), n
    }' "$1"
}
mkdir -p "$work/capped/data"
for i in $(seq 0 119); do head -c $((8000 + i * 97)) /dev/urandom >"$work/capped/data/c$i.dat"; done
"$publish" "$work/capped" "$work/www/capped" >/dev/null || { echo "manyfiles: tarvos-publish failed"; exit 1; }
proxy many 0; counted=$(cat "$work/many.port")
launcher "$work/player" "http://127.0.0.1:$counted/capped/"
(cd "$player" && ./tarvos-cli --quiet --limit-rate 50k) || { echo "manyfiles: the capped update failed"; rc=1; }
same "$work/capped" "$player" || { echo "manyfiles: the capped game folder differs"; rc=1; }
read -r share n < <(windows "$work/many.count")
check "cap 50 KiB/s, 120-file install: windows within 10% ($n)" "$share" ">=" 0.95

# A delta update: 8 MiB with 24 changed blocks of 64 KiB, the old copy in the game folder.
mkdir -p "$work/delta-old/data" "$work/delta-new/data"
head -c $((8 << 20)) /dev/urandom >"$work/delta-old/data/big.pak"
cp "$work/delta-old/data/big.pak" "$work/delta-new/data/big.pak"
for i in $(seq 0 23); do
  head -c 65536 /dev/urandom | dd of="$work/delta-new/data/big.pak" bs=64K seek=$((i * 5 + 1)) conv=notrunc status=none
done
"$publish" "$work/delta-new" "$work/www/delta" --delta-min-size 1M >/dev/null || { echo "manyfiles: tarvos-publish failed"; exit 1; }
proxy delta 0; counted=$(cat "$work/delta.port")
launcher "$work/player" "http://127.0.0.1:$counted/delta/"
cp -r "$work/delta-old/data" "$player/"
(cd "$player" && ./tarvos-cli --quiet --check-all --limit-rate 50k) || { echo "manyfiles: the capped delta update failed"; rc=1; }
cmp -s "$work/delta-new/data/big.pak" "$player/data/big.pak" || { echo "manyfiles: the delta-built file differs"; rc=1; }
read -r share n < <(windows "$work/delta.count")
check "cap 50 KiB/s, delta update: windows within 10% ($n)" "$share" ">=" 0.95
exit $rc
