#!/usr/bin/env bash
# Screenshots of the program under Xvfb, for looking at how the windows fit
# the screen: on a 1920 x 1080 and a 640 x 480 screen, the main window as it
# starts (centred), then maximised through its layout file (as a later run
# would start), in both views, and the preferences and maintenance dialogs.
# Usage: scripts/screenshots.sh [BUILD] [OUT] (default build, /tmp/quillory-shots).
# Needs Xvfb, a window manager (openbox), xdotool and ImageMagick's import;
# none of them is needed to build or test the program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
out=${2:-/tmp/quillory-shots}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shot() {  # name
    sleep 1.5
    import -display "$DISPLAY" -window root "$out/$1.png"
    echo "$out/$1.png"
}

# Rewrites the layout file so that the next start is maximised (state 2,
# no fractions), keeping the controls' count, visibility and placement.
maximise_layout() {  # file
    python3 - "$1" <<'EOF'
import struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
count = struct.unpack_from('<i', data, 0)[0]
if data[4] == 2:
    sys.exit(0)
rest = data[5 + 32:]
open(path, 'wb').write(struct.pack('<i', count) + b'\x02' + rest)
EOF
}

for size in 1920x1080 640x480; do
    display=:$((70 + RANDOM % 20))
    Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp > /dev/null 2>&1 &
    xvfb=$!
    sleep 1
    export DISPLAY=$display
    openbox > /dev/null 2>&1 &
    wm=$!
    sleep 1
    home="$work/$size"
    for start in normal maximised; do
        QUILLORY_HOME="$home" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=xcb \
            bash "$here/run.sh" "$build" > "$work/run-$size.log" 2>&1 &
        program=$!
        xdotool search --sync --name '^Quillory$' > /dev/null
        window=$(xdotool search --name '^Quillory$' | head -1)
        shot "$size-$start-detail"
        xdotool windowactivate --sync "$window" key ctrl+l
        shot "$size-$start-list"
        if [ "$start" = maximised ]; then
            xdotool key ctrl+p
            shot "$size-preferences"
            xdotool key Escape
            xdotool windowactivate --sync "$window" key ctrl+m
            shot "$size-maintenance"
        fi
        kill "$program"
        wait "$program" 2> /dev/null || true
        maximise_layout "$home/qly32.ini"
    done
    kill "$wm" "$xvfb"
    wait "$wm" "$xvfb" 2> /dev/null || true
done
