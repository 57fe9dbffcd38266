#!/usr/bin/env bash
# The overlay as a user meets it: the built program under Wine on an X display, driven by real
# key presses and mouse clicks, checked by screenshots and by the files it writes.
#
# usage: end_to_end.sh OVERLAY_EXE WINE_PREFIX WORK_FOLDER
# FLOWS names the flows to run (all by default). With QUILLFEN_UPDATE_DOCS=1 it also saves the
# screenshot of a running measurement to docs/overlay.png. Prints one line per flow; exits 1 when
# any flow fails, 77 without a display.
set -u
EXE=$1
export WINEPREFIX=$2
WORK=$3
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
DOCS=$(cd "$(dirname "$0")/../.." && pwd)/docs

[ -n "${DISPLAY:-}" ] || { echo "no X display: end-to-end flows skipped"; exit 77; }
# An overlay already running in this prefix (left behind, or opened by ./run.sh) holds F7, F8 and
# F10, and every flow would fail far from the cause.
for pid in $(pgrep -f 'Quillfen-Replay-Overlay\.exe'); do
    if tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
        echo "An overlay already runs in this Wine prefix (process $pid) and holds F7, F8 and F10: end it first."
        exit 1
    fi
done
# Whatever a flow started ends with the script, however it ends.
STARTED_PIDS=()
trap 'kill "${STARTED_PIDS[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
rm -rf "$WORK" && mkdir -p "$WORK"
SHOT=$WORK/screen.png

# Colours of the face.
SECONDARY=A5A5AD MARK_FILL=D90F2D MARK_PRESSED=B80C26

# Client rectangles (left top right bottom) of the layout.
times_cell() { echo "64 $((318 + 34 * $1)) 285 $((346 + 34 * $1))"; }

# ---- checks -------------------------------------------------------------------------------
flow_failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if ! "$@"; then
        echo "    failed: $what"
        flow_failures=$((flow_failures + 1))
    fi
}
equals() { [ "$1" = "$2" ] || { echo "      got '$1', expected '$2'" >&2; false; }; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
unmapped() { ! viewable "$1"; }

# ---- the screen ---------------------------------------------------------------------------
shot() { sleep 0.25; import -window root "$SHOT"; }
# Positions and rectangles (left top right bottom) are in the client area of the window at $WIN_X $WIN_Y.
pixel() { convert "$SHOT" -format "%[hex:p{$((WIN_X + $1)),$((WIN_Y + $2))}]" info:; }
region() { echo "$(($3 - $1))x$(($4 - $2))+$((WIN_X + $1))+$((WIN_Y + $2))"; }  # L T R B as a crop geometry
has() {  # COLOUR L T R B: whether the colour appears inside the rectangle
    [ "$(convert "$SHOT" -crop "$(region "${@:2}")" +repage -fill black +opaque "#$1" -fill white -opaque "#$1" \
        -format '%[fx:round(mean*w*h)]' info:)" -gt 0 ]
}
crop() { convert "$SHOT" -crop "$(region "$@")" +repage "$5"; }  # L T R B OUTPUT: keep a piece of the screenshot
rows_shown() {  # how many rows of the panel hold times
    local row shown=0
    for row in 0 1 2 3; do
        has $SECONDARY $(times_cell $row) && shown=$((shown + 1))
    done
    echo "$shown"
}

# ---- programs -----------------------------------------------------------------------------
start_game() {  # another Wine program, in front, holding the keyboard focus
    "$WINE" notepad >/dev/null 2>&1 &
    GAME_LAUNCHER=$!
    GAME=$(timeout 20 xdotool search --sync --onlyvisible --name ' - Notepad$' | head -n 1)
    GAME_PID=$(xdotool getwindowpid "$GAME")  # notepad runs in a process of its own
    STARTED_PIDS+=("$GAME_LAUNCHER" "$GAME_PID")
    focus_game
}
focus_game() { xdotool windowfocus --sync "$GAME"; }
stop_game() { kill "$GAME_PID" 2>/dev/null; wait "$GAME_LAUNCHER" 2>/dev/null; }
start_overlay() {  # sets OVERLAY_PID, WIN and the client origin WIN_X, WIN_Y
    "$WINE" "$EXE" >/dev/null 2>&1 &
    OVERLAY_PID=$!
    STARTED_PIDS+=("$OVERLAY_PID")
    WIN=$(timeout 20 xdotool search --sync --all --onlyvisible --pid "$OVERLAY_PID" --name '^Quillfen Replay Overlay$' |
        head -n 1)
    locate_overlay
}
locate_overlay() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$WIN")"
    WIN_X=$X WIN_Y=$Y
}
key() { xdotool key "$@"; sleep 0.15; }
drag() {  # FROM_X FROM_Y TO_X TO_Y in the client area, the left button held on the way
    xdotool mousemove $((WIN_X + $1)) $((WIN_Y + $2)) sleep 0.1 mousedown 1 sleep 0.1 \
        mousemove $((WIN_X + $3)) $((WIN_Y + $4)) sleep 0.2 mouseup 1 sleep 0.3
    locate_overlay
}
click() { xdotool mousemove $((WIN_X + $1)) $((WIN_Y + $2)); sleep 0.1; xdotool click 1; sleep 0.2; }
click_close_and_expect_exit_zero() {
    click 333 493
    local status
    if timeout 15 tail --pid="$OVERLAY_PID" -f /dev/null; then wait "$OVERLAY_PID"; status=$?
    else kill "$OVERLAY_PID"; wait "$OVERLAY_PID"; status="still running after 15 s"; fi
    check "CLOSE ends the program with exit code 0" equals "$status" 0
}
# Clicks a window's caption, which Wine draws itself: activates it so that keys reach it.
activate() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    [ -n "$1" ] || return 1
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + 60)) $((Y + 8)); sleep 0.1; xdotool click 1; sleep 0.2
}
# Waits for a window with this exact title; prints its id.
wait_for_window() { timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
wait_for_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
measure() { local i; for ((i = 0; i < $1; i++)); do key F8; key F8; done; }

# ---- flows --------------------------------------------------------------------------------
flow_session_by_hotkeys() {
    key F8
    key F8
    shot
    check "F8 twice: row 01" equals "$(rows_shown)" 1
    key F8
    key F10
    shot
    check "F10 during a measurement adds no row" equals "$(rows_shown)" 1
    measure 4
    key F8
    sleep 0.7
    shot
    if [ "${QUILLFEN_UPDATE_DOCS:-}" = 1 ]; then
        mkdir -p "$DOCS"
        crop 0 0 430 588 "$DOCS/overlay.png"
    fi
    key F10
    click 196 493  # CLEAR
    shot
    check "CLEAR leaves no row" equals "$(rows_shown)" 0
}

flow_export_through_the_save_dialog() {
    local folder="$WORK/export" dialog
    local csv="$folder/session.csv"
    mkdir -p "$folder"
    local windows_folder="Z:${folder//\//\\}"
    measure 2

    click 78 493  # EXPORT CSV
    dialog=$(wait_for_window "Save As")
    check "EXPORT CSV opens the save dialog" test -n "$dialog"
    activate "$dialog"
    key F8 F8  # a measurement completed while the dialog is open
    key ctrl+a
    xdotool type --delay 20 "$windows_folder\\session"
    key Return
    check "a name typed without extension is saved as .csv" wait_for_file "$csv"
    sleep 0.3
    check "one row per measurement, the one made during the dialog last" equals \
        "$(tail -n +2 "$csv" | cut -d, -f1 | tr -d '\r' | tr '\n' ' ')" "1 2 3 "
}

flow_window() {
    local before_x=$WIN_X before_y=$WIN_Y
    key F7
    check "F7 hides the overlay" unmapped "$WIN"
    key F7
    sleep 0.3
    locate_overlay
    check "F7 shows it again" viewable "$WIN"
    check "at the same place" equals "$WIN_X,$WIN_Y" "$before_x,$before_y"
    check "the game keeps the keyboard focus" equals "$(xdotool getwindowfocus)" "$GAME"

    drag 100 20 -100 120
    check "dragging the top band moves the window by the drag" equals "$WIN_X,$WIN_Y" \
        "$((before_x - 200)),$((before_y + 100))"
    local moved_x=$WIN_X moved_y=$WIN_Y
    drag 5 100 105 150
    check "pressing below the band does not move it" equals "$WIN_X,$WIN_Y" "$moved_x,$moved_y"

    xdotool mousemove $((WIN_X + 150)) $((WIN_Y + 236)) sleep 0.1 mousedown 1
    shot
    check "the held button shows the pressed fill" equals "$(pixel 20 220)" $MARK_PRESSED
    xdotool mouseup 1
    shot
    check "released, the normal fill" equals "$(pixel 20 220)" $MARK_FILL
}

failed_flows=0
passed_flows=0
for flow in ${FLOWS:-session_by_hotkeys export_through_the_save_dialog window}; do
    flow_failures=0
    started=$SECONDS
    start_game
    start_overlay
    focus_game
    "flow_$flow" || flow_failures=$((flow_failures + 1))
    click_close_and_expect_exit_zero
    stop_game
    if [ $flow_failures -eq 0 ]; then
        echo "PASS $flow ($((SECONDS - started)) s)"
        passed_flows=$((passed_flows + 1))
    else
        echo "FAIL $flow: $flow_failures checks failed"
        failed_flows=$((failed_flows + 1))
    fi
done
echo "end to end: $passed_flows passed, $failed_flows failed"
[ $failed_flows -eq 0 ]
