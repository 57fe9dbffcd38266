#!/usr/bin/env bash
# Installs what is missing, builds, and starts the overlay under Wine on your display.
# Without a display it shows that the program works on a private virtual one instead:
# it saves a screenshot, prints where, and closes the overlay.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/linux-setup.sh

exe=build/bin/Quillfen-Replay-Overlay.exe
prefix=$WINE_PREFIX
screenshot=$PWD/build/overlay-screenshot.png

if [ -z "${DISPLAY:-}" ] && [ -z "${QUILLFEN_HEADLESS:-}" ]; then
    install_missing_packages "${BUILD_PACKAGES[@]}" "${DISPLAY_PACKAGES[@]}"
    build_overlay Quillfen-Replay-Overlay
    echo "No display found (DISPLAY is not set): starting the overlay on a private virtual display."
    QUILLFEN_HEADLESS=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi
if [ -z "${QUILLFEN_HEADLESS:-}" ]; then
    install_missing_packages "${BUILD_PACKAGES[@]}"
    build_overlay Quillfen-Replay-Overlay
fi

[ -f "$prefix/.prepared" ] || echo "Preparing a Wine prefix in build/ (the first time only, about ten seconds)."
cmake/wine-session.sh start "$prefix" run
trap 'cmake/wine-session.sh stop "$prefix" run' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ -z "${QUILLFEN_HEADLESS:-}" ]; then
    echo "Starting the overlay. F8 marks, F10 resets, F7 hides and shows; CLOSE ends it."
    /usr/lib/wine/wine64 "$exe"
    exit
fi

/usr/lib/wine/wine64 "$exe" &
overlay_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quillfen Replay Overlay$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
sleep 0.5
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$screenshot"
echo "The overlay ran on the virtual display; its window is saved in $screenshot"
xdotool mousemove $((X + 333)) $((Y + 493)) click 1  # CLOSE
status=0
wait "$overlay_pid" || status=$?
echo "The overlay closed with exit code $status."
