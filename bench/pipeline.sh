#!/usr/bin/env bash
# The update pipeline's checks on a game folder in the page cache:
#  - hard-mode full check of 2000 files of 64 KiB and 200 of 5 MiB, nothing to repair: with
#    1 worker at least 0.9x the throughput of md5sum over the same files, with 3 workers at
#    least 1.7x (two md5sum processes side by side reach about 1.8x on two cores);
#  - medium-mode start-up check of a list of 20,000 files, nothing to repair: at most 2x the
#    time of find -printf '%s %T@' over the folder (and, for information, the same check with
#    every file in the required section, so that each one is measured);
#  - the main thread's CPU share while it waits for hash workers and for a download: < 5%.
# The same lists with md5sum's digests and with the launcher's own size and date readings.
# Wall-clock times (parallel speed-up is the point), best of ROUNDS.
set -euo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
. "$here/lib.sh"
prog=$BUILD/bench/pipeline/bench_pipeline
[ -x "$prog" ] || { echo "pipeline: $prog not built"; exit 1; }
rounds=${ROUNDS:-3}
work=$(mktemp -d)
cleanup() { "$root/scripts/local-nginx" stop "$work/nginx" >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
rc=0
secs() { date +%s.%N; }
check() {  # name value op target
  local v; v=$(verdict "$2" "$3" "$4")
  printf '%-62s %8.3f  (target %s %s)  %s\n' "$1" "$2" "$3" "$4" "$v"
  [ "$v" = PASS ] || rc=1
}

# ---- hard-mode full check ----
game=$work/hash
mkdir -p "$game/updater"
for d in $(seq 0 19); do
  mkdir -p "$game/small$d"
  for f in $(seq 0 99); do head -c 65536 /dev/urandom >"$game/small$d/f$f.bin"; done
done
mkdir -p "$game/big"
for f in $(seq 0 199); do head -c $((5 * 1024 * 1024)) /dev/urandom >"$game/big/f$f.bin"; done
(cd "$game" && find small* big -type f | sort) >"$work/files"
bytes=$(cd "$game" && xargs stat -c %s <"$work/files" | awk '{ s += $1 } END { print s }')
(cd "$game" && xargs cat <"$work/files" >/dev/null)  # into the page cache
# The list: md5sum's digests in the launcher's line form, no dates (so none are set).
(cd "$game" && xargs md5sum <"$work/files") |
  awk '{ name = $2; gsub("/", "\\\\", name); printf "%s|\\%s|0||\r\n", toupper($1), name }' >"$work/list"

# Each round runs every side once, back to back, so that other work on the shared machine
# weighs on all of them alike; the best of each counts.
best_md5=1e9 best_md5x2=1e9
declare -A wall share
for w in 1 3; do wall[$w]=1e9 share[$w]=1; done
for _ in $(seq "$rounds"); do
  t0=$(secs); (cd "$game" && xargs md5sum <"$work/files" >/dev/null); t1=$(secs)
  best_md5=$(smaller "$best_md5" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  t0=$(secs)
  (cd "$game" && awk 'NR % 2' "$work/files" | xargs md5sum >/dev/null) &
  (cd "$game" && awk 'NR % 2 == 0' "$work/files" | xargs md5sum >/dev/null)
  wait
  t1=$(secs)
  best_md5x2=$(smaller "$best_md5x2" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  for w in 1 3; do
    read -r t _ _ < <("$prog" fullcheck "$game" "$work/list" "$w")
    wall[$w]=$(smaller "${wall[$w]}" "$t")
    # The main thread's share while it only waits for the workers' results.
    read -r t c differ < <("$prog" hash "$game" "$work/list" "$w")
    [ "$differ" = 0 ] || { echo "pipeline: $differ digests differ from md5sum"; rc=1; }
    share[$w]=$(smaller "${share[$w]}" "$(ratio "$c" "$t")")
  done
done
mb() { mb_per_s "$bytes" "$1"; }
printf 'Hard full check, %d MB: md5sum %.0f MB/s, two md5sum %.0f MB/s, 1 worker %.0f MB/s, 3 workers %.0f MB/s\n' \
  $((bytes / 1000000)) "$(mb "$best_md5")" "$(mb "$best_md5x2")" "$(mb "${wall[1]}")" "$(mb "${wall[3]}")"
check "hard full check, 1 worker / md5sum" "$(ratio "$best_md5" "${wall[1]}")" ">=" 0.9
check "hard full check, 3 workers / md5sum" "$(ratio "$best_md5" "${wall[3]}")" ">=" 1.7
printf '%-62s %8.3f  (for information)\n' "hard full check, 3 workers / two md5sum side by side" \
  "$(ratio "$best_md5x2" "${wall[3]}")"
check "main thread CPU share while 1 worker hashes" "${share[1]}" "<=" 0.05
check "main thread CPU share while 3 workers hash" "${share[3]}" "<=" 0.05
rm -rf "$game"

# ---- medium-mode start-up check of 20,000 files ----
game=$work/many
mkdir -p "$game/updater"
for d in $(seq 0 199); do
  mkdir -p "$game/d$d"
  for f in $(seq 0 99); do printf '%s %s\n' "$d" "$f" >"$game/d$d/f$f.txt"; done
done
# The list carries the sizes and dates as the launcher reads them, so nothing differs.
(cd "$game" && find d* -type f | sort) >"$work/many-files"
"$prog" list "$game" "$work/many-files" >"$work/many-list"
awk -F'|' '{ print $2 "\r" }' "$work/many-list" >"$work/many-names"
{ cat "$work/many-list"; printf '#\r\n'; cat "$work/many-names"; } >"$work/many-list-required"
best_find=1e9 best_start=1e9 best_req=1e9 left=0
for _ in $(seq "$rounds"); do
  t0=$(secs); find "$game" -type f -printf '%s %T@\n' >/dev/null; t1=$(secs)
  best_find=$(smaller "$best_find" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  cp "$work/many-list" "$game/updater.lst"
  read -r t _ l < <("$prog" startup "$game" "Medium: Size & Date" 1)
  best_start=$(smaller "$best_start" "$t"); left=$((left + l))
  cp "$work/many-list-required" "$game/updater.lst"
  read -r t _ l < <("$prog" startup "$game" "Medium: Size & Date" 1)
  best_req=$(smaller "$best_req" "$t"); left=$((left + l))
done
[ "$left" = 0 ] || { echo "pipeline: the start-up check found $left files to repair"; rc=1; }
printf 'Medium start-up check, 20,000 files: find %.3f s, check %.3f s, every file required %.3f s\n' \
  "$best_find" "$best_start" "$best_req"
check "medium start-up check / find -printf" "$(ratio "$best_start" "$best_find")" "<=" 2
printf '%-62s %8.3f  (for information)\n' "medium start-up check, every file required / find" \
  "$(ratio "$best_req" "$best_find")"
rm -rf "$game"

# ---- the main thread while a download runs ----
# Capped as a player's line would be, and uncapped over loopback with a file large enough
# that the fixed cost of starting a download (its HEAD request, its threads) does not decide.
mkdir -p "$work/www"
head -c 100M /dev/urandom >"$work/www/f100"
truncate -s 1G "$work/www/f1g"
read -r port capped < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www" 4m) || exit 1
for what in "f100 $capped 4 MB/s per connection, 100 MB" "f1g $port uncapped, 1 GiB"; do
  read -r file p label <<<"$what"
  rm -f "$work/out.bin"
  read -r t c err < <("$prog" download "http://127.0.0.1:$p/$file" "$work/out.bin")
  [ "$err" = 0 ] || { echo "pipeline: the download failed"; rc=1; }
  check "main thread CPU share while downloading ($label)" "$(ratio "$c" "$t")" "<=" 0.05
done
rm -f "$work/out.bin"
exit $rc
