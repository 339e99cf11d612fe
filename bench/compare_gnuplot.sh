#!/usr/bin/env bash
# What a user would otherwise run: gnuplot drawing the five price series of
# the sample data (bench/gnuplot/prices.gp) into a GIF of the exported
# chart's size, timed against `dravenholt --export` on the same data.
# Both run RUNS times, alternately, in one scratch folder whose Data links
# to sample/Data; the medians of the wall times and their ratio are printed,
# and the peak resident memory of each (GNU time's "Maximum resident set size").
#
#   bench/compare_gnuplot.sh [BUILD_DIR] [RUNS]     (defaults: build-bench, 21)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-build-bench}"
runs="${2:-21}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
program="$build/dravenholt"

[ -x "$program" ] || { echo "compare_gnuplot: $program is not built" >&2; exit 1; }
command -v gnuplot >/dev/null || { echo "compare_gnuplot: gnuplot is not installed (gnuplot-nox)" >&2; exit 1; }

scratch="$(mktemp -d /tmp/dh-gnuplot-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
ln -s "$root/sample/Data" "$scratch/Data"
cd "$scratch"

# Microseconds of one run of the command line "$@", read by the shell
# itself: a `date` process per reading would add its own start to each run.
time_once() {
    local start end
    start=${EPOCHREALTIME/[.,]/}
    "$@" >/dev/null 2>&1
    end=${EPOCHREALTIME/[.,]/}
    echo $(( end - start ))
}
median() { sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.2f", m / 1000 }'; }

# One of each first: caches warm, and both must succeed.
"$program" --export >/dev/null
gnuplot -c "$root/bench/gnuplot/prices.gp" >/dev/null
[ -s Dravenholt.gif ] && [ -s prices.gif ] || { echo "compare_gnuplot: a picture is missing" >&2; exit 1; }

ours=() theirs=()
for ((i = 0; i < runs; ++i)); do
    ours+=("$(time_once "$program" --export)")
    theirs+=("$(time_once gnuplot -c "$root/bench/gnuplot/prices.gp")")
done
ours_ms=$(printf '%s\n' "${ours[@]}" | median)
theirs_ms=$(printf '%s\n' "${theirs[@]}" | median)

peak() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ { printf "%.1f MiB", $2 / 1024 }'
    else
        echo "n/a (GNU time not installed)"
    fi
}
ours_peak=$(peak "$program" --export)
theirs_peak=$(peak gnuplot -c "$root/bench/gnuplot/prices.gp")

echo "== dravenholt --export against gnuplot (prices.gp), 1801 x 977 GIF, median of $runs runs each"
printf '%-26s %10s ms   peak %s\n' "dravenholt --export" "$ours_ms" "$ours_peak"
printf '%-26s %10s ms   peak %s\n' "gnuplot -c prices.gp" "$theirs_ms" "$theirs_peak"
awk -v a="$theirs_ms" -v b="$ours_ms" 'BEGIN { printf "gnuplot / dravenholt: %.2f\n", a / b }'
