#!/usr/bin/env bash
# FileMD5 against md5sum on a 1 GiB file in the page cache, and TMD5 over 8 KiB blocks
# against openssl's 8192-byte MD5 figure. Target for both ratios: at least 0.9.
# Each side is measured ROUNDS times, taking turns, and the best of each counts. Times are
# CPU time (user + system) on both sides, as openssl speed itself reports, so that other work
# on a shared machine does not decide the ratios.
set -euo pipefail
prog=$BUILD/bench/core/bench_core
rounds=${ROUNDS:-3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
file=$tmp/big.bin
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$file"
cat "$file" >/dev/null  # into the page cache for both readers
mib=1024

best_ref=0 best_our=0
for _ in $(seq "$rounds"); do
  /usr/bin/time -f '%U %S' -o "$tmp/time" md5sum "$file" >"$tmp/ref"
  ref=$(cut -d' ' -f1 "$tmp/ref")
  cpu=$(awk '{ print $1 + $2 }' "$tmp/time")
  read -r our secs < <("$prog" md5file "$file")
  [ "${ref^^}" = "$our" ] || { echo "digests differ: md5sum $ref, FileMD5 $our"; exit 1; }
  best_ref=$(awk -v m=$mib -v t="$cpu" -v b=$best_ref 'BEGIN { r = m * 1048576 / t / 1e6; print (r > b ? r : b) }')
  best_our=$(awk -v m=$mib -v t="$secs" -v b=$best_our 'BEGIN { r = m * 1048576 / t / 1e6; print (r > b ? r : b) }')
done
rc=0
verdict() { awk -v r="$1" 'BEGIN { exit !(r >= 0.9) }' && echo PASS || { rc=1; echo FAIL; }; }
ratio=$(awk -v a="$best_our" -v b="$best_ref" 'BEGIN { printf "%.3f", a / b }')
printf 'FileMD5 on 1 GiB (page cache): %.0f MB/s, md5sum %.0f MB/s, ratio %s (target >= 0.9) %s\n' \
  "$best_our" "$best_ref" "$ratio" "$(verdict "$ratio")"

best_ref=0 best_our=0
for _ in $(seq "$rounds"); do
  ref=$(openssl speed -evp md5 -bytes 8192 -seconds 3 2>/dev/null | awk '/^md5/ { sub("k", "", $2); print $2 / 1000 }')
  read -r our _ < <("$prog" md5blocks 1024)
  best_ref=$(awk -v r="$ref" -v b=$best_ref 'BEGIN { print (r > b ? r : b) }')
  best_our=$(awk -v r="$our" -v b=$best_our 'BEGIN { print (r > b ? r : b) }')
done
ratio=$(awk -v a="$best_our" -v b="$best_ref" 'BEGIN { printf "%.3f", a / b }')
printf 'TMD5 over 8 KiB blocks: %.0f MB/s, openssl speed -evp md5 (8192 bytes) %.0f MB/s, ratio %s (target >= 0.9) %s\n' \
  "$best_our" "$best_ref" "$ratio" "$(verdict "$ratio")"
exit $rc
