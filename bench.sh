#!/usr/bin/env bash
# Builds the benchmark and runs it under Wine: prints the table of figures, each beside its
# baseline, on a private virtual display, and writes it to docs/performance.md with the machine,
# the Wine version and the date.
# Takes about eight minutes. Arguments name sections to run alone (startup paint error cpu export);
# then docs/performance.md is left as it is.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/linux-setup.sh

install_missing_packages "${BUILD_PACKAGES[@]}" "${DISPLAY_PACKAGES[@]}"
use_private_display "$0" "$@"
build_overlay overlay_bench >/dev/null

prefix=$WINE_PREFIX
cmake/wine-session.sh start "$prefix" bench
trap 'cmake/wine-session.sh stop "$prefix" bench' EXIT
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
16 ms timer, a bare repaint on every tick, a minimal popup window, the same bytes in one \`fwrite\`, committed to the disk and put over the old file by \`ReplaceFileW\`).
Times are under Wine on a shared machine: compare ratios and medians, not absolute values.

$table

## Reading the figures

- **Paint.** Every paint creates and deletes its off-screen context and bitmap, fills, draws up to
  seventeen texts and copies the client once. Text is what separates it from the bare copy: under
  Wine each \`DrawTextW\` costs some 20 to 25 µs. The p99 of both columns is Wine passing the
  window surface on to the X server, not drawing.
- **The tick's share.** It is a paint's time against the 16 ms the timer asks for. Windows rounds
  a window timer up to its clock's interval, about 15.6 ms unless some program has raised the
  clock's rate, so there the 16 ms timer fires about every 31 ms, and a paint takes half that share
  of the time between two ticks.
- **Measurement error.** The overlay reads the counter first thing when it handles F8, so the only
  distortion is the time a press waits in the queue: a press that arrives during a paint waits for
  the paint to end, as it would in any window that paints on its one thread. The baseline column is
  the same presses timestamped by a bare window that repaints on every tick, so it shows what the
  platform alone costs here.
- **CPU.** Under Wine timers and GDI cost far more than on Windows; the ratios to the bare
  programs, not the percentages, carry over.
- **Export.** Rows are formatted by hand, without printf, and written in 64 KiB chunks to a new file
  beside the chosen one, which is committed to the disk and then put over it with \`ReplaceFileW\`; the
  baseline does the same with a single \`fwrite\`. What is left above it is the formatting of 100,000
  rows and about a millisecond an export spends first: finding the file the chosen name really leads
  to, checking that it may be written and deleted, and removing what a killed export left beside it.
- **Memory.** Most of the working set is Wine's own libraries, as the minimal program shows; the list
  costs 24 bytes a measurement.
DOC
echo "Written to docs/performance.md"
