#!/usr/bin/env bash
# UnRarFile on a 200 MiB archive (half random bytes, half text) against unrar x on the same
# archive. Target: at least 0.95x the throughput of unrar. Best of ROUNDS runs for each,
# taking turns; CPU time (user + system, all threads) on both sides, so that other work on a
# shared machine does not decide the ratio.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
prog=$BUILD/bench/rar/bench_rar
rounds=${ROUNDS:-3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/src"
head -c $((100 << 20)) /dev/urandom >"$tmp/src/random.bin"
awk 'BEGIN { srand(3); for (i = 0; ; i++) printf "%d\tplayer_%d\t%.4f\tzone %d of the world map\n",
  i, int(rand() * 100000), rand() * 1000, i % 317 }' | head -c $((100 << 20)) >"$tmp/src/text.txt" || true
(cd "$tmp/src" && rar a -idq "$tmp/bench.rar" random.bin text.txt >/dev/null)
size=$(( $(stat -c %s "$tmp/src/random.bin") + $(stat -c %s "$tmp/src/text.txt") ))

best_ref=1000 best_our=1000
for _ in $(seq "$rounds"); do
  rm -rf "$tmp/ref" "$tmp/our"; mkdir -p "$tmp/ref" "$tmp/our"
  cat "$tmp/bench.rar" >/dev/null
  /usr/bin/time -f '%U %S' -o "$tmp/time" unrar x -idq -o+ "$tmp/bench.rar" "$tmp/ref/" >/dev/null
  cpu=$(cpu_of "$tmp/time")
  read -r secs < <("$prog" "$tmp/bench.rar" "$tmp/our")
  for f in random.bin text.txt; do
    cmp -s "$tmp/src/$f" "$tmp/our/$f" || { echo "UnRarFile extracted $f wrongly"; exit 1; }
  done
  best_ref=$(smaller "$cpu" "$best_ref")
  best_our=$(smaller "$secs" "$best_our")
done
ratio=$(ratio "$best_ref" "$best_our")
ok=$(verdict "$ratio" ">=" 0.95)
printf 'UnRarFile of a %.0f MiB archive: %.0f MB/s, unrar x %.0f MB/s, ratio %s (target >= 0.95) %s\n' \
  "$(awk -v s="$size" 'BEGIN { print s / 1048576 }')" "$(mb_per_s "$size" "$best_our")" \
  "$(mb_per_s "$size" "$best_ref")" "$ratio" "$ok"
[ "$ok" = PASS ]
