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
if running=$(xdotool search --name '^Quillfen Replay Overlay$' 2>/dev/null); then
    echo "An overlay already runs on this display (window $running) and holds F7, F8 and F10: end it first."
    exit 1
fi
# Whatever a flow started ends with the script, however it ends.
STARTED_PIDS=()
trap 'kill "${STARTED_PIDS[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
rm -rf "$WORK" && mkdir -p "$WORK"
SHOT=$WORK/screen.png
SCREEN_WIDTH=$(xdpyinfo | awk '/dimensions:/ { split($2, size, "x"); print size[1] }')

# Colours of the face.
ACCENT=FF3347 PRIMARY=F5F5F2 SECONDARY=A5A5AD DIM=70707A MARK_FILL=D90F2D MARK_PRESSED=B80C26

# Client rectangles (left top right bottom) of the layout.
READOUT="20 94 342 168" STATUS="22 171 408 199" EMPTY_TEXT="64 322 404 448" FOOTER="20 526 410 576"
EXPORT_BUTTON="14 472 142 514" CLEAR_BUTTON="150 472 242 514"
number_cell() { echo "28 $((318 + 34 * $1)) 60 $((346 + 34 * $1))"; }
times_cell() { echo "64 $((318 + 34 * $1)) 285 $((346 + 34 * $1))"; }
PANEL_ROWS="28 318 402 448"

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
different_images() { ! same_image "$@"; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
unmapped() { ! viewable "$1"; }
footer_lists_hotkeys() { has $DIM $FOOTER && hasnt $ACCENT $FOOTER; }
footer_warns() { has $ACCENT $FOOTER && hasnt $DIM $FOOTER; }
export_and_clear_enabled() { has $PRIMARY $EXPORT_BUTTON && has $PRIMARY $CLEAR_BUTTON; }

# ---- the screen ---------------------------------------------------------------------------
shot() { sleep 0.25; import -window root "$SHOT"; }
pixel() {  # X Y in the client area of window $WIN_X $WIN_Y
    convert "$SHOT" -format "%[hex:p{$((WIN_X + $1)),$((WIN_Y + $2))}]" info:
}
mask() {  # COLOUR L T R B CONVERT_ARGS...: white where the colour is, black elsewhere
    local colour=$1 left=$2 top=$3 right=$4 bottom=$5
    convert "$SHOT" -crop "$((right - left))x$((bottom - top))+$((WIN_X + left))+$((WIN_Y + top))" +repage \
        -fill black +opaque "#$colour" -fill white -opaque "#$colour" "${@:6}"
}
count() { mask "$@" -format '%[fx:round(mean*w*h)]' info:; }
has() { [ "$(count "$@")" -gt 0 ]; }
hasnt() { [ "$(count "$@")" -eq 0 ]; }
# Height and left edge of what a colour draws inside a rectangle (0 when absent).
ink_height() { [ "$(count "$@")" -gt 0 ] && mask "$@" -trim -format '%h' info: || echo 0; }
ink_left() { mask "$@" -trim -format '%X' info: | tr -d '+'; }
# A colour in the client area only inside the given rectangles: COLOUR "L T R B" ...
only_inside() {
    local colour=$1 total inside=0 rect
    shift
    total=$(count "$colour" 0 0 430 588)
    for rect in "$@"; do
        inside=$((inside + $(count "$colour" $rect)))
    done
    [ "$total" -eq "$inside" ] && [ "$inside" -gt 0 ]
}
crop() {  # L T R B OUTPUT: keep a piece of the current screenshot
    convert "$SHOT" -crop "$(($3 - $1))x$(($4 - $2))+$((WIN_X + $1))+$((WIN_Y + $2))" +repage "$5"
}
same_image() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]; }
dash_shown() { local h; h=$(ink_height $PRIMARY $READOUT); [ "$h" -gt 0 ] && [ "$h" -lt 12 ]; }
digits_shown() { [ "$(ink_height $PRIMARY $READOUT)" -gt 30 ]; }
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
    WIN_X=$X WIN_Y=$Y WIN_WIDTH=$WIDTH WIN_HEIGHT=$HEIGHT
}
key() { xdotool key "$@"; sleep 0.15; }
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
# Waits for a window with this exact title that is not one of the listed ones; prints its id.
wait_for_new_window() {
    local title=$1 id known
    shift
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
            known=no
            for other in "$@"; do [ "$id" = "$other" ] && known=yes; done
            [ $known = no ] && { echo "$id"; return 0; }
        done
        sleep 0.1
    done
    return 1
}
wait_until_gone() { for _ in $(seq 100); do viewable "$1" || return 0; sleep 0.1; done; return 1; }
wait_for_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
measure() { local i; for ((i = 0; i < $1; i++)); do key F8; key F8; done; }

# ---- flows --------------------------------------------------------------------------------
flow_session_by_hotkeys() {
    start_game
    start_overlay
    focus_game
    check "the overlay stands at screen width - 466, 72, 430 x 588" \
        equals "$WIN_X,$WIN_Y,$WIN_WIDTH,$WIN_HEIGHT" "$((SCREEN_WIDTH - 466)),72,430,588"
    shot
    check "the dash in the readout" dash_shown
    check "the hotkey footer in dim grey only there" only_inside $DIM "$FOOTER" "$EMPTY_TEXT" \
        "$EXPORT_BUTTON" "$CLEAR_BUTTON" "310 212 416 260"
    check "EXPORT CSV and CLEAR disabled" hasnt $PRIMARY $EXPORT_BUTTON

    key F8
    shot
    check "F8 shows digits" digits_shown
    local left_early left_late
    left_early=$(ink_left $PRIMARY $READOUT)
    sleep 1.2
    shot
    left_late=$(ink_left $PRIMARY $READOUT)
    check "the running number grows ($left_early -> $left_late)" test "$left_late" -lt "$left_early"

    key F8
    shot
    check "F8 again: row 01" equals "$(rows_shown)" 1
    check "row 01 numbered" has $DIM $(number_cell 0)
    check "EXPORT CSV and CLEAR enabled" export_and_clear_enabled
    key F8
    key F10
    shot
    check "F10 during a measurement adds no row" equals "$(rows_shown)" 1
    measure 4
    shot
    check "five measurements show four rows" equals "$(rows_shown)" 4

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
    check "CLEAR shows the dash" dash_shown
    check "CLEAR leaves no row" equals "$(rows_shown)" 0
    click_close_and_expect_exit_zero
    stop_game
}

flow_export_through_the_save_dialog() {
    local folder="$WORK/export" dialog box
    mkdir -p "$folder"
    local windows_folder="Z:${folder//\//\\}"
    start_game
    start_overlay
    focus_game
    measure 2

    click 78 493  # EXPORT CSV
    dialog=$(wait_for_new_window "Save As")
    check "EXPORT CSV opens the save dialog" test -n "$dialog"
    activate "$dialog"
    key F8 F8  # a measurement completed while the dialog is open
    key ctrl+a
    xdotool type --delay 20 "$windows_folder\\session"
    key Return
    check "a name typed without extension is saved as .csv" wait_for_file "$folder/session.csv"
    sleep 0.3
    local csv="$folder/session.csv"
    check "one row per measurement, the one made during the dialog last" equals \
        "$(tail -n +2 "$csv" | cut -d, -f1 | tr -d '\r' | tr '\n' ' ')" "1 2 3 "
    shot
    crop $STATUS "$WORK/status-exported.png"
    crop $PANEL_ROWS "$WORK/rows-before.png"

    # A disk that fills up for real, mounted around this test; without it the failure is not tried.
    local disk=${QUILLFEN_SMALL_DISK:-}
    [ -n "$disk" ] || { echo "    full disk not tried: ${QUILLFEN_SMALL_DISK_REFUSED:-no small disk mounted}"; click_close_and_expect_exit_zero; stop_game; return; }
    dd if=/dev/zero of="$disk/filler" bs=1k count=64 2>/dev/null
    click 78 493
    dialog=$(wait_for_new_window "Save As")
    activate "$dialog"
    key ctrl+a
    xdotool type --delay 20 "Z:${disk//\//\\}\\full.csv"
    key Return
    box=$(wait_for_new_window "Quillfen Replay Overlay" "$WIN")
    check "a full disk shows the error box captioned Quillfen Replay Overlay" test -n "$box"
    activate "$box"
    key Return
    check "OK closes the box" wait_until_gone "$box"
    check "the full disk holds what it held before" equals "$(ls "$disk")" "filler"
    shot
    crop $STATUS "$WORK/status-failed.png"
    check "the status line tells of the failure" different_images "$WORK/status-exported.png" "$WORK/status-failed.png"
    crop $PANEL_ROWS "$WORK/rows-after.png"
    check "after OK the list is intact" same_image "$WORK/rows-before.png" "$WORK/rows-after.png"
    click_close_and_expect_exit_zero
    stop_game
}

flow_window() {
    start_game
    start_overlay
    focus_game
    local before_x=$WIN_X before_y=$WIN_Y
    key F7
    check "F7 hides the overlay" unmapped "$WIN"
    key F7
    sleep 0.3
    locate_overlay
    check "F7 shows it again" viewable "$WIN"
    check "at the same place" equals "$WIN_X,$WIN_Y" "$before_x,$before_y"
    check "the game keeps the keyboard focus" equals "$(xdotool getwindowfocus)" "$GAME"

    xdotool mousemove $((WIN_X + 100)) $((WIN_Y + 20)); sleep 0.1
    xdotool mousedown 1; sleep 0.1
    xdotool mousemove $((WIN_X - 100)) $((WIN_Y + 120)); sleep 0.2
    xdotool mouseup 1; sleep 0.3
    locate_overlay
    check "dragging the top band moves the window by the drag" equals "$WIN_X,$WIN_Y" \
        "$((before_x - 200)),$((before_y + 100))"
    local moved_x=$WIN_X moved_y=$WIN_Y
    xdotool mousemove $((WIN_X + 5)) $((WIN_Y + 100)); sleep 0.1
    xdotool mousedown 1; sleep 0.1
    xdotool mousemove $((WIN_X + 105)) $((WIN_Y + 150)); sleep 0.2
    xdotool mouseup 1; sleep 0.3
    locate_overlay
    check "pressing below the band does not move it" equals "$WIN_X,$WIN_Y" "$moved_x,$moved_y"

    click 150 236  # the mark button
    shot
    check "a click on the mark button starts a measurement" digits_shown
    click 150 236
    shot
    check "a second click records it" equals "$(rows_shown)" 1
    xdotool mousemove $((WIN_X + 150)) $((WIN_Y + 236)); sleep 0.1
    xdotool mousedown 1
    shot
    check "the held button shows the pressed fill" equals "$(pixel 20 220)" $MARK_PRESSED
    xdotool mouseup 1
    shot
    check "released, the normal fill" equals "$(pixel 20 220)" $MARK_FILL
    click_close_and_expect_exit_zero
    stop_game
}

flow_second_instance() {
    start_game
    start_overlay
    local first_pid=$OVERLAY_PID first_win=$WIN
    start_overlay
    local second_pid=$OVERLAY_PID second_win=$WIN
    shot
    check "the second footer warns in the accent colour" footer_warns
    crop $STATUS "$WORK/status-second.png"
    # Move the second one aside by its band, then look at the first.
    xdotool mousemove $((WIN_X + 100)) $((WIN_Y + 20)); sleep 0.1
    xdotool mousedown 1; sleep 0.1
    xdotool mousemove $((WIN_X - 500)) $((WIN_Y + 20)); sleep 0.2
    xdotool mouseup 1; sleep 0.3
    WIN=$first_win
    locate_overlay
    shot
    crop $STATUS "$WORK/status-first.png"
    check "the second status line differs from the first" different_images "$WORK/status-first.png" "$WORK/status-second.png"
    check "the first footer shows the hotkeys" footer_lists_hotkeys
    focus_game
    key F8
    shot
    check "the first instance still answers F8" digits_shown
    WIN=$second_win OVERLAY_PID=$second_pid
    locate_overlay
    check "the second one does not" dash_shown
    click_close_and_expect_exit_zero
    WIN=$first_win OVERLAY_PID=$first_pid
    locate_overlay
    click_close_and_expect_exit_zero
    stop_game
}

failed_flows=0
passed_flows=0
for flow in ${FLOWS:-session_by_hotkeys export_through_the_save_dialog window second_instance}; do
    flow_failures=0
    started=$SECONDS
    "flow_$flow" || flow_failures=$((flow_failures + 1))
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
