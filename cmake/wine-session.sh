#!/usr/bin/env bash
# Starts or stops the Wine session that the tests run in: "start PREFIX" or "stop PREFIX".
# The prefix is created on first use. The session is started detached, with its output sent to
# /dev/null, because Wine's helper processes keep the standard output of whatever started the
# prefix open, and a test runner would then wait for them to exit.
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64

case "$action" in
start)
    # Persistent, so that the tests do not each pay for a new session; fails harmlessly when a
    # server already runs for this prefix.
    "$wineserver" -p >/dev/null 2>&1 </dev/null || true
    if [ ! -f "$WINEPREFIX/.prepared" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine" wineboot --init >/dev/null 2>&1 </dev/null
        # Without a window manager every hide and destruction would wait ~2 s for one.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
        touch "$WINEPREFIX/.prepared"
    fi
    if [ -n "${DISPLAY:-}" ]; then
        "$wine" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 </dev/null || true
    else
        # No X display: windows still work with the null driver, though nothing can be seen.
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
    fi
    "$wine" wineboot >/dev/null 2>&1 </dev/null
    ;;
stop)
    "$wineserver" -k >/dev/null 2>&1 </dev/null || true
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
