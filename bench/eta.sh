#!/usr/bin/env bash
# The time left that tarvos-cli --json reports, against the truth: a release of one 96 MiB
# file and a few small ones on a private nginx that holds each connection to a steady
# 512 KiB/s (six connections, 3 MiB/s in all). Every progress event from 10% of the bytes on
# until 90% is compared with the time the last byte actually arrived. The last tenth is left
# out: the server delivers in bursts a second apart, so near the end the estimate is right to
# within a second, yet the truth shrinks towards nothing and a relative error means nothing.
# Target: every estimate within 25% of the truth, none missing.
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cli=$BUILD/tools/tarvos-cli/tarvos-cli
for tool in "$cli" "$BUILD/tools/tarvos-publish/tarvos-publish" "$BUILD/tools/tarvos-pack/tarvos-pack" \
            "$BUILD/skins/default/config.txt"; do
  [ -e "$tool" ] || { echo "eta: $tool is missing"; exit 1; }
done
command -v nginx >/dev/null || { echo "eta: nginx missing (./run setup)"; exit 1; }
work=$(mktemp -d)
cleanup() { "$root/scripts/local-nginx" stop "$work/nginx" >/dev/null 2>&1; [ -n "${KEEP:-}" ] && cp "$work/events" /tmp/eta-events; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/release/data" "$work/release/system" "$work/www" "$work/player"
head -c $((96 << 20)) /dev/urandom >"$work/release/data/big.pak"
for i in 1 2 3; do head -c 200000 /dev/urandom >"$work/release/system/small$i.dat"; done
"$BUILD/tools/tarvos-publish/tarvos-publish" "$work/release" "$work/www/update" >/dev/null ||
  { echo "eta: tarvos-publish failed"; exit 1; }
read -r _ capped < <("$root/scripts/local-nginx" start "$work/nginx" "$work/www" 512k) || exit 1

cp -r "$BUILD/skins/default" "$work/skin"
sed -i -e '/^url=/d' -e 's/^useping=.*/useping=false/' -e 's/^useproxy=.*/useproxy=false/' \
    -e "s/^instance=.*/instance=Tarvos eta bench $$/" \
    -e "s#^\[updateservers\]#[updateservers]\nurl=http://127.0.0.1:$capped/update/#" "$work/skin/config.txt"
cp "$cli" "$work/player/"
"$BUILD/tools/tarvos-pack/tarvos-pack" build "$work/skin" -o "$work/package.bin" >/dev/null &&
  "$BUILD/tools/tarvos-pack/tarvos-pack" inject "$work/package.bin" "$work/player/tarvos-cli" >/dev/null ||
  { echo "eta: no launcher"; exit 1; }
(cd "$work/player" && ./tarvos-cli --json) >"$work/events" || { echo "eta: the update failed"; tail -3 "$work/events"; exit 1; }
cmp -s "$work/release/data/big.pak" "$work/player/data/big.pak" || { echo "eta: the file differs"; exit 1; }

# One line per progress event: t done total eta.
sed -n 's/.*"t":\([0-9.]*\),"event":"progress".*"done":\([0-9]*\),"total":\([0-9]*\),.*"eta":\([0-9.a-z]*\)}.*/\1 \2 \3 \4/p' \
  "$work/events" >"$work/progress"
awk '
  { t[NR] = $1; d[NR] = $2; total = $3; e[NR] = $4; if ($2 == $3 && !arrived) arrived = $1 }
  END {
    if (!arrived) { print "eta: the last byte never arrived"; exit 1 }
    worst = 0
    for (i = 1; i <= NR; i++) {
      truth = arrived - t[i]
      if (d[i] * 10 < total || d[i] * 10 > total * 9) continue
      if (e[i] == "null") { missing++; continue }
      n++
      err = e[i] / truth - 1; if (err < 0) err = -err
      if (err > worst) { worst = err; at = sprintf("%.1f s left, %s s said, at %.0f%%", truth, e[i], 100 * d[i] / total) }
    }
    printf "  %d estimates from 10%% to 90%% of %.1f MiB; the download took %.1f s\n", n, total / 1048576, arrived
    if (n) printf "  the worst: %s\n", at
    ok = n >= 10 && !missing && worst <= 0.25
    printf "%-46s %8.3f  (target <= 0.25)  %s\n", "time left: worst relative error", worst, (ok ? "PASS" : "FAIL")
    if (missing) printf "  %d estimates were null\n", missing
    exit !ok
  }' "$work/progress"
