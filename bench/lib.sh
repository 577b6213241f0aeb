# Helpers shared by the benchmark scripts (sourced). Times are CPU seconds, so that other
# work on a shared machine does not decide a ratio.

# cpu_of TIMEFILE: user + system seconds from a "/usr/bin/time -f '%U %S'" record.
cpu_of() { awk '{ print $1 + $2 }' "$1"; }
# smaller A B
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; }
# ratio A B: A / B with three decimals (0 when B is 0).
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }
# verdict RATIO OP TARGET: PASS or FAIL, OP one of >= <=.
verdict() {
  awk -v r="$1" -v op="$2" -v t="$3" 'BEGIN { ok = (op == ">=") ? (r >= t) : (r <= t); print ok ? "PASS" : "FAIL" }'
}
# mb_per_s BYTES SECONDS
mb_per_s() { awk -v s="$1" -v t="$2" 'BEGIN { print s / t / 1e6 }'; }
