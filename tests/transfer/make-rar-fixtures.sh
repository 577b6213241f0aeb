#!/usr/bin/env bash
# Makes the RAR archives the Windows tests extract under Wine (where the rar program cannot
# run), each beside the files it was made from.
set -euo pipefail
out=$1
rm -rf "$out"; mkdir -p "$out/src/data/maps" "$out/src/sub"
cd "$out/src"
printf 'the world' > data/maps/world.map
printf 'top' > data/top.txt
printf '[settings]' > sub/t2.ini
for i in 0 1 2 3 4; do seq 1 $((5000 + i)) | sed 's/$/ of the game data text/' > "f$i.txt"; done
head -c $((8 << 20)) /dev/urandom > large.bin
seq 1 2000000 | head -c $((8 << 20)) >> large.bin || true  # seq stops on the closed pipe
rar a -idq -r ../folders.rar data >/dev/null
rar a -idq -psecret ../encrypted.rar f0.txt >/dev/null
rar a -idq -s ../solid.rar f0.txt f1.txt f2.txt f3.txt f4.txt >/dev/null
rar a -idq -md256m -m1 ../large.rar large.bin >/dev/null
rar a -idq ../t2.rar sub/t2.ini >/dev/null
printf 'hello' > 'Grüße.txt'
rar a -idq ../names.rar 'Grüße.txt' >/dev/null
rar a -idq -m0 ../damaged.rar large.bin >/dev/null
# one flipped byte in the middle of the stored data
at=$(( $(stat -c %s ../damaged.rar) / 2 ))
byte=$(od -An -tu1 -j "$at" -N1 ../damaged.rar | tr -d ' ')
printf "\\x$(printf %02x $(( byte ^ 0x55 )))" | dd of=../damaged.rar bs=1 seek="$at" conv=notrunc status=none
cp f1.txt ../plain.txt
touch ../stamp
