#!/usr/bin/env bash
# Runs the console natively on Wayland, on weston's headless backend, and fails unless its window is
# shown and its toplevel's app id names the desktop entry, which is how a compositor finds the
# window's entry (name, icon). Usage: wayland-check.sh [--shots DIR] [CONSOLE]
# CONSOLE defaults to the installed /usr/bin/esp8266-console. With --shots, DIR also receives a
# screenshot of the window at output scale 1 (wayland-scale1.png) and 2 (wayland-scale2.png).
set -euo pipefail
cd "$(dirname "$0")/.."

shots=""
if [ "${1:-}" = "--shots" ]; then
    shots=$(realpath -m "$2")
    shift 2
fi
console="${1:-/usr/bin/esp8266-console}"
bash scripts/setup.sh weston

entry=$(basename desktop/*.desktop .desktop)
work=$(mktemp -d)
weston_pid=""
console_pid=""
stop() {
    local pid
    for pid in $console_pid $weston_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    console_pid=""
    weston_pid=""
}
trap 'stop; rm -rf "$work"' EXIT

# Waits up to 30 s for a line matching the pattern in the file.
await() {
    local deadline=$((SECONDS + 30))
    until grep -Eq "$1" "$2" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# Starts weston at the given output scale and the console on it, and waits until the console has
# committed its first frame. The console's side of the Wayland protocol goes to $work/protocol.
run_on_weston() {
    local scale=$1
    # The compositor and its clients meet in a runtime directory of their own, which must be private.
    export XDG_RUNTIME_DIR="$work/run"
    rm -rf "$XDG_RUNTIME_DIR"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
    # --debug lets weston-screenshooter take the screen.
    weston --backend=headless-backend.so --use-pixman --socket=console-check --width=1024 --height=768 \
        --scale="$scale" ${shots:+--debug} >"$work/weston.log" 2>&1 &
    weston_pid=$!
    local deadline=$((SECONDS + 30))
    until [ -S "$XDG_RUNTIME_DIR/console-check" ]; do
        kill -0 "$weston_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ] || {
            cat "$work/weston.log"
            echo "wayland: weston did not start"
            return 1
        }
        sleep 0.1
    done
    WAYLAND_DISPLAY=console-check QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 \
        timeout 60 "$console" >"$work/protocol" 2>&1 &
    console_pid=$!
    # A buffer attached to a surface: the window's first frame has reached the compositor.
    await 'wl_surface@[0-9]+\.attach\(wl_buffer@' "$work/protocol" || {
        grep -v '^\[' "$work/protocol" | tail -20
        echo "wayland: the console showed no window within 30 s"
        return 1
    }
}

started=$SECONDS
run_on_weston 1
app_id=$(sed -n 's/.*xdg_toplevel@[0-9]*\.set_app_id("\(.*\)").*/\1/p' "$work/protocol" | head -1)
echo "wayland: window shown, app id \"$app_id\", desktop entry $entry.desktop"
[ "$app_id" = "$entry" ] || {
    echo "wayland: the app id does not name the desktop entry"
    exit 1
}

if [ -n "$shots" ]; then
    mkdir -p "$shots"
    for scale in 1 2; do
        [ "$scale" -eq 1 ] || run_on_weston "$scale"
        sleep 1 # let weston draw the frame it was just given
        rm -f "$work"/wayland-screenshot-*.png
        (cd "$work" && WAYLAND_DISPLAY=console-check timeout 30 weston-screenshooter)
        mv "$work"/wayland-screenshot-*.png "$shots/wayland-scale$scale.png"
        echo "wayland: $shots/wayland-scale$scale.png"
        stop
    done
fi
echo "wayland: check passed in $((SECONDS - started)) s"
