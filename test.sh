#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine on a private virtual
# display. Exits non-zero when anything fails. Arguments go to ctest (for example -R end_to_end).
set -euo pipefail
cd "$(dirname "$0")"
source cmake/linux-setup.sh

install_missing_packages "${BUILD_PACKAGES[@]}" "${DISPLAY_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
use_private_display "$0" "$@"
build_overlay
echo "Running the tests under Wine on a private virtual display ($DISPLAY; about a minute, the first run also prepares a Wine prefix)."
ctest --preset mingw "$@"
