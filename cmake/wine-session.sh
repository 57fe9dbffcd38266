#!/usr/bin/env bash
# Starts or stops the Wine session of the one prefix that the program, the tests and the benchmark
# share: "start PREFIX WHO" or "stop PREFIX WHO", WHO naming the caller (tests, run, bench).
# The prefix is created on first use. Only the caller that started the session stops it, so that
# the tests never end an overlay that ./run.sh keeps open. The session is started detached, with
# its output sent to /dev/null, because Wine's helper processes keep the standard output of
# whatever started the prefix open, and a test runner would then wait for them to exit.
set -eu
action=$1
export WINEPREFIX=$2
who=$3
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
owner=$WINEPREFIX/.session-owner

case "$action" in
start)
    mkdir -p "$WINEPREFIX"
    # Persistent, so that the tests do not each pay for a new session; refused when a server
    # already runs for this prefix, which then stays its starter's.
    if "$wineserver" -p >/dev/null 2>&1 </dev/null; then
        echo "$who" > "$owner"
    fi
    if [ ! -f "$WINEPREFIX/.prepared" ]; then
        "$wine" wineboot --init >/dev/null 2>&1 </dev/null
        # Without a window manager every hide and destruction would wait ~2 s for one.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
        touch "$WINEPREFIX/.prepared"
    fi
    # A crash prints its backtrace and ends the program, rather than wait for a click on a dialog.
    if [ ! -f "$WINEPREFIX/.no-crash-dialog" ]; then
        "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
        touch "$WINEPREFIX/.no-crash-dialog"
    fi
    "$wine" wineboot >/dev/null 2>&1 </dev/null
    ;;
stop)
    if [ "$(cat "$owner" 2>/dev/null)" = "$who" ]; then
        "$wineserver" -k >/dev/null 2>&1 </dev/null || true
        rm -f "$owner"
    fi
    ;;
*)
    echo "usage: $0 start|stop PREFIX tests|run|bench" >&2
    exit 2
    ;;
esac
