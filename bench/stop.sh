#!/usr/bin/env bash
# Stop latency: from Stop to GetFile's return with six silent pieces, worst of five rounds,
# under 100 ms (the watchdog, Stop and closing the window all wait for it).
set -uo pipefail
: "${BUILD:?set BUILD to an optimised native build folder}"
prog=$BUILD/bench/stop/bench_stop
[ -x "$prog" ] || { echo "stop: $prog not built"; exit 1; }
out=$("$prog" 5) || { echo "stop: $out"; exit 1; }
worst=$(echo "$out" | awk '/^worst/ { print $2 }')
verdict=$(awk -v w="$worst" 'BEGIN { print (w < 100) ? "PASS" : "FAIL" }')
printf '%-46s %8.1f ms  (target < 100 ms)  %s\n' "Stop to GetFile's return, 6 silent pieces" "$worst" "$verdict"
[ "$verdict" = PASS ]
