#!/usr/bin/env bash
# Sets up, builds, starts the simulated controller on a pseudo-terminal and opens the console on it
# as COM1. Pass "classic" to start veskpanel-classic instead. Closing the window stops both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${VESK_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

program=veskpanel
[ "${1:-}" = classic ] && program=veskpanel-classic

link=$(mktemp -u /tmp/vesk-com1.XXXXXX)
log=${VESK_SIM_LOG:-/tmp/vesk-sim.log}
coproc SIM { exec "$build/tools/vesk-sim/vesk-sim" --link "$link" --log "$log"; }
trap 'echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true' EXIT
read -r first <&"${SIM[0]}"
echo "Simulated controller on ${first#PTY } (log: $log)"
VESKPANEL_COM1="$link" "$build/src/$program"
