#!/usr/bin/env bash
# BZDecompressFile of a packed 100 MB file list against bzip2 -d on the same file.
# Target: at least 0.9x the throughput of bzip2. Best of ROUNDS runs for each, taking turns;
# CPU time (user + system) on both sides, so that other work on a shared machine does not
# decide the ratio.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
prog=$BUILD/bench/core/bench_core
rounds=${ROUNDS:-3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# 100 MB of list lines: digest|name|size|date|packed digest.
awk 'BEGIN { srand(7); for (i = 0; i < 806000; i++)
  printf "%08X%08X%08X%08X|\\Data\\Folder%d\\File_%d.pak|%d|40E4821000000000|%08X%08X%08X%08X\r\n",
    rand()*4294967295, rand()*4294967295, rand()*4294967295, rand()*4294967295, i % 97, i, rand()*1e8,
    rand()*4294967295, rand()*4294967295, rand()*4294967295, rand()*4294967295 }' >"$tmp/updater.lst"
bzip2 -9 -c "$tmp/updater.lst" >"$tmp/list.bz2"
size=$(stat -c %s "$tmp/updater.lst")
cp "$tmp/list.bz2" "$tmp/ref.ta2"
printf 'XXXXX' | dd of="$tmp/ref.ta2" conv=notrunc status=none  # a packed list's head is replaced

best_ref=1000 best_our=1000
for _ in $(seq "$rounds"); do
  cat "$tmp/list.bz2" >/dev/null
  /usr/bin/time -f '%U %S' -o "$tmp/time" bzip2 -d -c "$tmp/list.bz2" >"$tmp/ref.lst"
  cpu=$(cpu_of "$tmp/time")
  cp "$tmp/ref.ta2" "$tmp/\$tmp.ta2"
  read -r secs < <("$prog" unpack "$tmp/\$tmp.ta2" "$tmp/our.lst")
  cmp -s "$tmp/ref.lst" "$tmp/our.lst" || { echo "unpacked lists differ"; exit 1; }
  best_ref=$(smaller "$cpu" "$best_ref")
  best_our=$(smaller "$secs" "$best_our")
done
ratio=$(ratio "$best_ref" "$best_our")
ok=$(verdict "$ratio" ">=" 0.9)
printf 'BZDecompressFile of a %.0f MB list: %.0f MB/s, bzip2 -d %.0f MB/s, ratio %s (target >= 0.9) %s\n' \
  "$(awk -v s="$size" 'BEGIN { print s / 1e6 }')" "$(mb_per_s "$size" "$best_our")" \
  "$(mb_per_s "$size" "$best_ref")" "$ratio" "$ok"
[ "$ok" = PASS ]
