#!/usr/bin/env bash
# Runs the console under X11 (Xvfb, openbox) with a real screen reader, Orca, and checks what Orca
# would say as a user moves through the window with the keyboard: each list and field with its
# label, the buttons by their captions, the notice of a command sent with no port open. Orca speaks
# through speech-dispatcher, whose output module here appends each utterance to a file instead of
# playing it. Also checks that the window's X11 class is the desktop entry's StartupWMClass, and that
# this human name is the application's name that Orca sees.
# Usage: screen-reader-check.sh [--spoken FILE] [CONSOLE]; CONSOLE defaults to the installed
# /usr/bin/esp8266-console. With --spoken, FILE receives every line Orca spoke.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--in-session" ]; then
    spoken_copy=""
    if [ "${1:-}" = "--spoken" ]; then
        spoken_copy=$(realpath -m "$2")
        shift 2
    fi
    console=$(realpath "${1:-/usr/bin/esp8266-console}")
    bash scripts/setup.sh orca at-spi2-core speech-dispatcher xvfb openbox xdotool dbus x11-utils
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # A home and a runtime directory of its own: Orca and speech-dispatcher read their settings
    # there, and the user's own are left alone. Orca speaks English in the C locale.
    export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config" LANG=C.UTF-8
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS LANGUAGE LC_ALL
    mkdir -p "$XDG_CONFIG_HOME/speech-dispatcher/modules"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
    # No sound device: libao's null driver takes the audio, the generic module writes the text.
    echo "default_driver=null" >"$HOME/.libao"
    cat >"$XDG_CONFIG_HOME/speech-dispatcher/speechd.conf" <<EOF
AudioOutputMethod "libao"
AddModule "file" "sd_generic" "file.conf"
DefaultModule file
EOF
    # A session in the C locale asks for language "c"; the text stays UTF-8 for either.
    cat >"$XDG_CONFIG_HOME/speech-dispatcher/modules/file.conf" <<EOF
GenericExecuteSynth "printf '%s\\\\n' \\'\$DATA\\' >> $work/spoken"
GenericLanguage "c" "c" "utf-8"
GenericLanguage "en" "en" "utf-8"
AddVoice "c" "MALE1" "file"
AddVoice "en" "MALE1" "file"
EOF
    status=0
    timeout 300 dbus-run-session -- bash "$0" --in-session "$console" "$work" 2>"$work/session.log" || status=$?
    [ -z "$spoken_copy" ] || cp "$work/spoken" "$spoken_copy"
    [ "$status" -eq 0 ] || {
        cat "$work/session.log"
        echo "screen reader: Orca's log:"
        grep -E 'SPEECH OUTPUT|ERROR' "$work/orca.log" | tail -40 || true
    }
    exit "$status"
fi

# In the D-Bus session: the X server, the window manager, speech-dispatcher, Orca, the console.
console=$2
work=$3
spoken="$work/spoken"
touch "$spoken"
pids=()
# Ends what this session started, the last started first; whatever has not ended after 5 s is killed.
finish() {
    local pid i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for _ in $(seq 50); do
        kill -0 "${pids[@]}" 2>/dev/null || break
        sleep 0.1
    done
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    wait
}
trap finish EXIT

# Waits up to 30 s for the check to pass.
within() {
    local deadline=$((SECONDS + 30))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}
# Prints the first utterance since the mark that holds every word given; fails if there is none.
said() {
    local heard
    heard=$(tail -n +"$((mark + 1))" "$spoken")
    for word in "$@"; do
        heard=$(grep -F -- "$word" <<<"$heard") || return 1
    done
    head -1 <<<"$heard"
}
# Waits for Orca to say, after what the user did, one utterance holding every word given.
expect() {
    local action=$1
    shift
    within said "$@" >/dev/null || {
        echo "screen reader: after $action, Orca said nothing with \"$*\"; it said:"
        tail -n +"$((mark + 1))" "$spoken"
        exit 1
    }
    echo "screen reader: $action: $(said "$@")"
    mark=$(wc -l <"$spoken")
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
within test -s "$work/display" || { echo "screen reader: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
within wm_running || { echo "screen reader: openbox did not start"; exit 1; }
speech-dispatcher --run-single --timeout 0 >"$work/speechd.log" 2>&1 &
pids+=($!)
within test -S "$XDG_RUNTIME_DIR/speech-dispatcher/speechd.sock" || {
    cat "$work/speechd.log"
    echo "screen reader: speech-dispatcher did not start"
    exit 1
}
mark=0
orca --debug-file "$work/orca.log" >"$work/orca.out" 2>&1 &
pids+=($!)
expect "starting Orca" "Screen reader on"

"$console" >"$work/console.log" 2>&1 &
pids+=($!)
# Focus starts on the port list.
expect "starting the console" "串口号:" "combo box"
window=$(xdotool getactivewindow)
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*", "\(.*\)"$/\1/p')
wm_class=$(sed -n 's/^StartupWMClass=//p' desktop/*.desktop)
echo "screen reader: X11 window class \"$class\", StartupWMClass \"$wm_class\""
[ "$class" = "$wm_class" ] || { echo "screen reader: the window class is not the entry's StartupWMClass"; exit 1; }
# Orca's log names each event's application by its accessible name, which Orca announces.
grep -qF "in [application | $wm_class]" "$work/orca.log" || {
    echo "screen reader: Orca does not know the application as \"$wm_class\""
    exit 1
}
echo "screen reader: Orca knows the application as \"$wm_class\""

# Tab through the window in its keyboard order, from the port list to "AT测试": each field must be
# said with its label, each button with its caption.
# (speech-dispatcher speaks a full-width colon as a plain one.)
steps=("波特率:|combo box" "打开|push button" "刷新|push button" "本地IP:" "监听端口:" "开启监听|push button"
    "接收信息框:" "发送信息框:" "接收信息框:" "发送信息框:" "清空串口内容|push button" "清空TCP内容|push button"
    "AT测试|push button")
for step in "${steps[@]}"; do
    IFS='|' read -r -a words <<<"$step"
    xdotool key Tab
    expect "Tab" "${words[@]}"
done
# A command with no port open: the window says so.
xdotool key space
expect "Space on AT测试" "串口未打开"
echo "screen reader: Orca said, in order:"
sed 's/^/    /' "$spoken"
