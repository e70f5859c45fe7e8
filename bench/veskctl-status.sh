#!/bin/sh
# veskctl's start-to-exit time against the simulator: the median of `veskctl status` next to the
# median of `veskctl --version` (process start and Qt set-up alone), in one run, and the
# difference (goal: within 25 ms).
# Usage: bench/veskctl-status.sh [BUILD_DIR] [RUNS]
set -eu
build=${1:-build}
runs=${2:-30}
ctl=$build/tools/veskctl/veskctl
sim=$build/tools/vesk-sim/vesk-sim
dir=$(mktemp -d)
trap 'kill "$simpid" 2>/dev/null; rm -rf "$dir"' EXIT INT TERM

mkfifo "$dir/console"
"$sim" --quiet --link "$dir/tty" <"$dir/console" >"$dir/out" &
simpid=$!
exec 3>"$dir/console" # keeps the simulator's console open while the runs go on
while [ ! -e "$dir/tty" ]; do sleep 0.05; done

# Milliseconds (with three decimals) of one run of the command, which must exit 0.
timed() {
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000 ))" | awk '{ printf "%.3f\n", $1 / 1000 }'
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m }'
}

: >"$dir/version"
: >"$dir/status"
i=0
while [ "$i" -lt "$runs" ]; do
    timed "$ctl" --version >>"$dir/version"
    timed "$ctl" -p "$dir/tty" status >>"$dir/status"
    i=$((i + 1))
done
version=$(median <"$dir/version")
status=$(median <"$dir/status")
goal=25
line=14 # query (7 bytes) and reply (6 bytes) at 9600 bit/s: the floor of the difference
echo "runs: $runs"
echo "veskctl --version   median ${version} ms"
echo "veskctl status      median ${status} ms"
awk -v s="$status" -v v="$version" -v g="$goal" -v l="$line" 'BEGIN {
    d = s - v
    printf "difference          %.1f ms (goal: within %d ms; the line alone takes about %d ms)\n", d, g, l
    print (d <= g) ? "goal met" : "GOAL MISSED"
}'
