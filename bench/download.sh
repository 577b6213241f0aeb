#!/usr/bin/env bash
# Download throughput: the launcher's downloader (through tarvos-fetch, 6 connections)
# against aria2c -x6 -s6 and curl, all fetching a 200 MiB file from the same private nginx
# on 127.0.0.1, with a 4 MiB/s cap per connection and without one. Also the downloader's
# main-thread CPU share and its peak memory for a 1 GiB file.
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
fetch=$BUILD/tools/tarvos-fetch/tarvos-fetch
[ -x "$fetch" ] || { echo "download: $fetch not built"; exit 1; }
for tool in nginx aria2c curl; do
  command -v "$tool" >/dev/null || { echo "download: $tool missing (./run setup)"; exit 1; }
done

work=$(mktemp -d)
cleanup() { "$root/scripts/local-nginx" stop "$work/nginx"; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"
head -c 200M /dev/urandom >"$work/www/f200"
truncate -s 1G "$work/www/f1g"
read -r port capped < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www" 4m) || exit 1
size=$(stat -c %s "$work/www/f200")
rc=0

secs() { date +%s.%N; }
# Runs a command and prints its throughput in MB/s for `bytes`.
rate_of() {
  local bytes=$1; shift
  local t0 t1; t0=$(secs)
  "$@" >/dev/null 2>&1 || { echo 0; return; }
  t1=$(secs)
  echo "$bytes $t0 $t1" | awk '{ printf "%.2f", $1 / ($3 - $2) / 1e6 }'
}
ours() { rm -f "$work/out/o"; "$fetch" -q -t 6 "$1" "$work/out/o"; }
aria() {
  rm -f "$work/out/a"
  aria2c --no-conf -q -x6 -s6 --allow-overwrite=true --auto-file-renaming=false -d "$work/out" -o a "$1"
}
curl_full() { rm -f "$work/out/c"; curl -sf -o "$work/out/c" "$1"; }
# A single capped connection is slow; its rate is measured over a bounded time.
curl_capped() {
  rm -f "$work/out/c"
  curl -s -o "$work/out/c" --max-time 12 -w '%{speed_download}' "$1" | awk '{ printf "%.2f", $1 / 1e6 }'
}
best_of3() {
  local best=0 r
  for _ in 1 2 3; do
    r=$(rate_of "$@")
    best=$(echo "$r $best" | awk '{ print ($1 > $2) ? $1 : $2 }')
  done
  echo "$best"
}
check() {  # name value op target
  local verdict
  verdict=$(echo "$2 $4" | awk -v op="$3" '{ ok = (op == ">=") ? ($1 >= $2) : ($1 < $2); print ok ? "PASS" : "FAIL" }')
  printf '%-46s %8.3f  (target %s %s)  %s\n' "$1" "$2" "$3" "$4" "$verdict"
  [ "$verdict" = PASS ] || rc=1
}
ratio() { echo "$1 $2" | awk '{ printf "%.3f", ($2 > 0) ? $1 / $2 : 0 }'; }
main_share() {  # the stats line of tarvos-fetch -> main-thread CPU / wall
  sed -n 's/.*wall_ms=\([0-9.]*\) main_cpu_ms=\([0-9.]*\).*/\2 \1/p' | awk '{ printf "%.4f", $1 / $2 }'
}

url_capped=http://127.0.0.1:$capped/f200
url=http://127.0.0.1:$port/f200

echo "capped at 4 MiB/s per connection, 200 MiB:"
t_ours=$(rate_of "$size" ours "$url_capped")
cmp -s "$work/www/f200" "$work/out/o" || { echo "  tarvos-fetch: file differs!"; rc=1; }
t_aria=$(rate_of "$size" aria "$url_capped")
t_curl=$(curl_capped "$url_capped")
echo "  MB/s: tarvos-fetch $t_ours, aria2c $t_aria, curl $t_curl"
check "capped: tarvos / aria2c -x6 -s6" "$(ratio "$t_ours" "$t_aria")" ">=" 0.95
check "capped: tarvos / curl" "$(ratio "$t_ours" "$t_curl")" ">=" 5
rm -f "$work/out/o"  # as for every run: replacing a cached file costs its truncation
share=$("$fetch" -q -t 6 --stats "$url_capped" "$work/out/o" | main_share)
check "capped: main-thread CPU / wall time" "$share" "<" 0.05

echo "uncapped, 200 MiB (best of 3):"
u_ours=$(best_of3 "$size" ours "$url")
cmp -s "$work/www/f200" "$work/out/o" || { echo "  tarvos-fetch: file differs!"; rc=1; }
u_aria=$(best_of3 "$size" aria "$url")
u_curl=$(best_of3 "$size" curl_full "$url")
echo "  MB/s: tarvos-fetch $u_ours, aria2c $u_aria, curl $u_curl"
check "uncapped: tarvos / aria2c -x6 -s6" "$(ratio "$u_ours" "$u_aria")" ">=" 1.0
check "uncapped: tarvos / curl -o FILE" "$(ratio "$u_ours" "$u_curl")" ">=" 0.5
rm -f "$work/out/o"
share=$("$fetch" -q -t 6 --stats "$url" "$work/out/o" | main_share)
check "uncapped: main-thread CPU / wall time" "$share" "<" 0.05

echo "1 GiB download, peak memory above idle:"
stats=$("$fetch" -q -t 6 --stats "http://127.0.0.1:$port/f1g" "$work/out/g")
rm -f "$work/out/g"
grow=$(echo "$stats" | sed -n 's/.*idle_rss_kib=\([0-9]*\) peak_rss_kib=\([0-9]*\).*/\1 \2/p' | awk '{ printf "%.1f", ($2 - $1) / 1024 }')
check "1 GiB: peak RSS above idle (MiB)" "$grow" "<" 64
exit $rc
