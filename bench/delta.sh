#!/usr/bin/env bash
# Changed blocks of a 1 GiB file from a private nginx on 127.0.0.1: ten changed places of
# 1% in all, and 256 KiB inserted near the start. Targets: bytes downloaded at most 3% of the
# file; the scan of the old copy at least 0.8x md5sum's throughput (CPU time, the file in the
# page cache for both); peak memory of the scan and build under 64 MiB above idle; a hostile
# index costs at most 1 s per MiB of old copy, and a stop ends its scan within 100 ms.
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
. "$here/lib.sh"
prog=$BUILD/bench/delta/bench_delta
[ -x "$prog" ] || { echo "delta: $prog not built"; exit 1; }
command -v nginx >/dev/null || { echo "delta: nginx missing (./run setup)"; exit 1; }
work=$(mktemp -d)
cleanup() { "$root/scripts/local-nginx" stop "$work/nginx"; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/www"
size=$((1 << 30))
head -c $size /dev/urandom >"$work/old"
read -r port _ < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www") || exit 1
rc=0
check() {  # name value op target
  local v; v=$(verdict "$2" "$3" "$4")
  printf '%-46s %8.3f  (target %s %s)  %s\n' "$1" "$2" "$3" "$4" "$v"
  [ "$v" = PASS ] || rc=1
}

# run NAME: publishes $work/new (the copy and its index), updates the old copy from it.
run() {
  rm -f "$work/www/big.ta2r" "$work/www/big.ta2i" "$work/built"
  cp "$work/new" "$work/www/big.ta2r"
  "$prog" index "$work/new" "$work/www/big.ta2i" || { echo "$1: no index"; rc=1; return; }
  cat "$work/old" >/dev/null
  /usr/bin/time -f '%U %S' -o "$work/time" md5sum "$work/old" >/dev/null
  local md5cpu stats scan got idle peak
  md5cpu=$(cpu_of "$work/time")
  stats=$("$prog" update "$work/old" "http://127.0.0.1:$port/big.ta2" "$work/built") || { echo "$1: failed"; rc=1; return; }
  cmp -s "$work/new" "$work/built" || { echo "$1: the built file differs"; rc=1; }
  read -r scan got idle peak < <(echo "$stats" | sed -E 's/[a-z_]+=//g')
  echo "  $1: $got bytes downloaded, scan $scan s CPU, md5sum $md5cpu s CPU"
  check "$1: downloaded / file size (%)" "$(awk -v g="$got" -v s=$size 'BEGIN { printf "%.3f", 100 * g / s }')" "<=" 3
  check "$1: scan / md5sum throughput" "$(ratio "$md5cpu" "$scan")" ">=" 0.8
  check "$1: peak RSS above idle (MiB)" "$(awk -v i="$idle" -v p="$peak" 'BEGIN { printf "%.1f", (p - i) / 1024 }')" "<=" 64
}

cp "$work/old" "$work/new"
for i in $(seq 0 9); do  # 1% of the file in ten places
  head -c $((size / 1000)) /dev/urandom | dd of="$work/new" bs=1M seek=$((i * 100 + 7)) conv=notrunc status=none iflag=fullblock
done
run "1% in ten places"
{ head -c 1000000 "$work/old"; head -c $((256 << 10)) /dev/urandom; tail -c +1000001 "$work/old"; } >"$work/new"
run "256 KiB inserted"
# A mirror's sealed index made to waste the scan: at most 1 s per MiB of the old copy, and a
# stop ends the scan within 100 ms.
head -c $((256 << 20)) /dev/zero >"$work/zeros"
read -r per stop < <("$prog" hostile "$work/zeros" | sed -E 's/[a-z_]+=//g')
check "hostile index: scan (s per MiB of old copy)" "$per" "<=" 1
check "hostile index: stop during the scan (ms)" "$stop" "<=" 100
exit $rc
