#!/usr/bin/env bash
# Builds the benchmark and runs it under Wine: prints the table of figures, each beside its
# baseline, and writes it to docs/performance.md with the machine, the Wine version and the date.
# Takes about eight minutes. Arguments name sections to run alone (startup paint error cpu export);
# then docs/performance.md is left as it is.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/linux-setup.sh

install_missing_packages "${BUILD_PACKAGES[@]}" "${DISPLAY_PACKAGES[@]}"
ensure_display "$0" "$@"
build_overlay >/dev/null

prefix=$PWD/build/wineprefix-bench
cmake/wine-session.sh start "$prefix"
trap 'cmake/wine-session.sh stop "$prefix"' EXIT
table=$(WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 build/bin/overlay_bench.exe "$@")
echo "$table"
[ $# -eq 0 ] || exit 0

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(free -g | awk '/^Mem:/ { print $2 " GiB" }')
wine_version=$(/usr/lib/wine/wine64 --version)
mkdir -p docs
cat > docs/performance.md <<DOC
# Performance

Measured by \`./bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $cpu, $(nproc) cores, $memory of memory;
$wine_version on Xvfb ($(. /etc/os-release && echo "$PRETTY_NAME")). Every figure stands beside its baseline from the same run:
the least that any Win32 program doing the same job must spend (a bare off-screen paint, a bare
16 ms timer, a bare repaint on every tick, a minimal popup window, one \`fwrite\` of the same bytes).
Times are under Wine on a shared machine: compare ratios and medians, not absolute values.

$table
DOC
echo "Written to docs/performance.md"
