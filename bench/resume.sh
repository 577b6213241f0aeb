#!/usr/bin/env bash
# Resuming after kills: a 1 GiB download (tarvos-fetch --resume, 6 connections, from a private
# nginx capped at 2 MiB/s per connection, an ordinary line's speed) killed with SIGKILL 50 times at random moments, each time
# started again. The file must arrive byte-identical, and what a kill costs again (bytes the
# server sent in that attempt beyond the progress its resume state recorded) stays within
# 6 MiB for every kill. The count includes what nginx pushed into socket buffers that the
# killed launcher never read, which grows on a busy machine; the launcher itself loses at
# most 256 KiB per piece.
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
fetch=$BUILD/tools/tarvos-fetch/tarvos-fetch
[ -x "$fetch" ] || { echo "resume: $fetch not built"; exit 1; }
command -v nginx >/dev/null || { echo "resume: nginx missing (./run setup)"; exit 1; }

work=$(mktemp -d)
cleanup() { "$root/scripts/local-nginx" stop "$work/nginx"; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"
head -c 1G /dev/urandom >"$work/www/f1g"
read -r _ capped < <(TARVOS_NGINX_LOG=1 "$root/scripts/local-nginx" start "$work/nginx" "$work/www" 2m) || exit 1
url=http://127.0.0.1:$capped/f1g
out=$work/out/f1g
log=$work/nginx/logs/access.log
kills=50

sent_so_far() { awk '{ s += $1 } END { printf "%d", s }' "$log" 2>/dev/null || echo 0; }
# The bytes the resume state records as written, over all pieces.
recorded() {
  if [ ! -f "$out.resume" ]; then  # none yet, or the download is whole
    if [ -f "$out" ]; then stat -c %s "$out"; else echo 0; fi
    return
  fi
  tail -c +4097 "$out.resume" | awk '{ s += $1 } END { printf "%d", s }'
}

# nginx logs an aborted request once it notices the closed connection: wait until the log
# has not grown for a while, so that each attempt's bytes count for that attempt.
settle_log() {
  local last=-1 now stable=0
  while [ "$stable" -lt 4 ]; do
    sleep 0.1
    now=$(wc -c <"$log" 2>/dev/null || echo 0)
    if [ "$now" = "$last" ]; then stable=$((stable + 1)); else stable=0; fi
    last=$now
  done
}

worst=0 total_extra=0 before_sent=0 before_rec=0
for k in $(seq "$kills"); do
  delay=$(awk -v r="$RANDOM" 'BEGIN { printf "%.2f", 0.15 + (r % 45) / 100 }')
  { timeout -s KILL "$delay" "$fetch" -q -t 6 --resume bench "$url" "$out"; } >/dev/null 2>&1
  settle_log
  now_sent=$(sent_so_far) now_rec=$(recorded)
  extra=$(( (now_sent - before_sent) - (now_rec - before_rec) ))
  [ "$extra" -gt "$worst" ] && worst=$extra
  total_extra=$((total_extra + extra))
  before_sent=$now_sent before_rec=$now_rec
  [ -f "$out.resume" ] || break  # the download finished before this kill
done
"$fetch" -q -t 6 --resume bench "$url" "$out" || { echo "resume: the last run failed"; exit 1; }
rc=0
if cmp -s "$work/www/f1g" "$out"; then
  echo "  1 GiB after $k kills: byte-identical"
else
  echo "  1 GiB after $k kills: DIFFERS"; rc=1
fi
awk -v w="$worst" -v t="$total_extra" -v k="$k" 'BEGIN {
  printf "  fetched again per kill: worst %.2f MiB, mean %.2f MiB\n", w / 1048576, t / k / 1048576 }'
worst_mib=$(awk -v w="$worst" 'BEGIN { printf "%.3f", w / 1048576 }')
verdict=$(awk -v m="$worst_mib" 'BEGIN { print (m <= 6) ? "PASS" : "FAIL" }')
printf '%-46s %8.3f  (target <= 6)  %s\n' "resume: worst MiB fetched again per kill" "$worst_mib" "$verdict"
[ "$verdict" = PASS ] || rc=1
exit $rc
