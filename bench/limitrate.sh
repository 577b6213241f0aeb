#!/usr/bin/env bash
# The download cap: a 200 MiB file fetched by tarvos-fetch over six connections from a private
# nginx on 127.0.0.1 (no cap of its own), with the launcher's cap at 5 MB/s for all
# connections together. The bytes written are sampled once a second as the blocks the target
# holds (the downloader sizes it sparse, so only written bytes take room): at least 95% of the one-second windows within 10% of the cap, and the mean
# within 3%. The first window (size query, sizing the file, connections opening) and the
# last (partial) are left out.
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
fetch=$BUILD/tools/tarvos-fetch/tarvos-fetch
[ -x "$fetch" ] || { echo "limitrate: $fetch not built"; exit 1; }
command -v nginx >/dev/null || { echo "limitrate: nginx missing (./run setup)"; exit 1; }

work=$(mktemp -d)
cleanup() { "$root/scripts/local-nginx" stop "$work/nginx"; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/www" "$work/out"
head -c 200M /dev/urandom >"$work/www/f200"
read -r port _ < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www") || exit 1
cap=5000000
rc=0

"$fetch" -q -t 6 --limit-rate "$cap" "http://127.0.0.1:$port/f200" "$work/out/o" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
  blocks=$(stat -c '%b %B' "$work/out/o" 2>/dev/null) && echo "$(date +%s.%N) $blocks" | awk '{ printf "%s %d\n", $1, $2 * $3 }'
  sleep 1
done >"$work/samples"
wait "$pid" || { echo "limitrate: the download failed"; exit 1; }
cmp -s "$work/www/f200" "$work/out/o" || { echo "limitrate: the file differs"; exit 1; }

awk -v cap="$cap" '
  { t[NR] = $1; b[NR] = $2 }
  END {
    # windows 2 .. NR-2: between consecutive samples, leaving out the first and the last
    for (i = 2; i < NR - 1; i++) {
      r = (b[i + 1] - b[i]) / (t[i + 1] - t[i])
      n++; if (r >= cap * 0.9 && r <= cap * 1.1) ok++
      if (n == 1 || r < lo) lo = r
      if (n == 1 || r > hi) hi = r
    }
    mean = (b[NR - 1] - b[2]) / (t[NR - 1] - t[2])
    printf "  %d one-second windows, %.2f to %.2f MB/s, mean %.3f MB/s (cap %.2f MB/s)\n", n, lo / 1e6, hi / 1e6, mean / 1e6, cap / 1e6
    share = n ? ok / n : 0; dev = mean / cap - 1; if (dev < 0) dev = -dev
    printf "%-46s %8.3f  (target >= 0.95)  %s\n", "windows within 10% of the cap", share, (share >= 0.95 ? "PASS" : "FAIL")
    printf "%-46s %8.3f  (target <= 0.03)  %s\n", "mean: deviation from the cap", dev, (dev <= 0.03 ? "PASS" : "FAIL")
    exit !(share >= 0.95 && dev <= 0.03)
  }' "$work/samples" || rc=1
exit $rc
