#!/usr/bin/env bash
# Renders the README's screenshots, docs/veskpanel.png and docs/veskpanel-classic.png, and the
# same in English, docs/veskpanel-en.png and docs/veskpanel-classic-en.png: the real window under a
# virtual X server, on a pseudo-terminal of the simulated controller, captured once the channel
# lamps show the reported states.
set -euo pipefail
export LC_ALL=C.UTF-8
cd "$(dirname "$0")/.."
VESK_WITH_SCREENSHOT=1 bash scripts/setup.sh
build=${VESK_BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target veskpanel veskpanel-classic vesk-sim

scratch=$(mktemp -d /tmp/vesk-shot.XXXXXX)
xvfb_pid='' app_pid='' sim_pid=''
# Stops what the current capture started (also when it fails), then the X server.
# Every step may fail (a program already gone, its exit status after the signal) without ending
# the clean-up early.
stop() { # pid
    if [ -n "$1" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
stop_programs() {
    stop "$app_pid"
    stop "$sim_pid"
    app_pid='' sim_pid=''
}
cleanup() {
    stop_programs
    stop "$xvfb_pid"
    rm -rf "$scratch"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to descriptor 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "Xvfb did not start:"; cat "$scratch/xvfb.log"; exit 1; }
DISPLAY=":$(cat "$scratch/display")"
export DISPLAY QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# Channels 1, 3 and 6 on: the status reply of the simulated controller (address 1) in that state.
reply="CA 20 01 20 25 CF"

# Pixels of the capture in a strong red: a lit lamp's face (pure red inside its frame), and the
# red captions, which the count before the reply takes in.
red_pixels() { # window id
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null | ppmhist -noheader |
        awk '$1 >= 200 && $2 <= 140 && $3 <= 140 && $1 - $2 >= 100 { n += $5 } END { print n + 0 }'
}

shoot() { # program, language (zh or en), output PNG
    local program=$1 lang=$2 output=$3 link="$scratch/com1-$1-$2" log="$scratch/sim-$1-$2.log"
    local window=''
    coproc SIM { exec "$build/tools/vesk-sim/vesk-sim" --link "$link" --log "$log"; }
    sim_pid=$SIM_PID # SIM and SIM_PID come from coproc
    local sim_in=${SIM[1]}
    read -r _ <&"${SIM[0]}"
    VESKPANEL_COM1="$link" "$build/src/$program" --lang "$lang" 2>"$scratch/$program.err" &
    app_pid=$!

    for _ in $(seq 200); do
        window=$(xwininfo -root -tree | awk '/"VESK(系列电源控制器| Series Power Controller)/ { print $1; exit }')
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "$program: no window"; cat "$scratch/$program.err"; exit 1; }
    # The start-up query goes out twice and is answered twice; the lamps are coloured from the
    # last answer within half a second of it.
    for _ in $(seq 100); do
        [ "$(grep -c ' TX CA 20 01 20 ' "$log" || true)" -ge 2 ] && break
        sleep 0.1
    done
    sleep 1
    local before
    before=$(red_pixels "$window")
    echo "send $reply" >&"$sim_in"
    # Three lamps of about 49 x 33 pixels each turn red, one every 50 ms; each adds well over
    # 1000 red pixels.
    for _ in $(seq 100); do
        [ "$(red_pixels "$window")" -ge $((before + 3 * 1000)) ] && break
        sleep 0.1
    done
    local after
    after=$(red_pixels "$window")
    if [ "$after" -lt $((before + 3 * 1000)) ]; then
        local failed="${TMPDIR:-/tmp}/vesk-shot-$program-failed.png"
        xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$failed"
        echo "$program: lamps did not show ($before -> $after red pixels), see $failed"
        exit 1
    fi
    # Let the last lamp finish drawing, then capture.
    sleep 0.3
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$output"
    local size
    size=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    echo "$output: $size, red pixels $before -> $after"

    echo quit >&"$sim_in"
    stop_programs
}

mkdir -p docs
shoot veskpanel zh docs/veskpanel.png
shoot veskpanel-classic zh docs/veskpanel-classic.png
shoot veskpanel en docs/veskpanel-en.png
shoot veskpanel-classic en docs/veskpanel-classic-en.png
