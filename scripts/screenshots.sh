#!/usr/bin/env bash
# Writes the README's pictures into docs/images: the main window in demo mode
# with a live picture (camera page, and measure page with a few measurements)
# and each dialog, taken on a virtual X display. Run it again whenever the
# look of the program changes; the pictures are never edited by hand.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
cmake -S . -B build/screenshots -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLUMO_BENCH=OFF >/dev/null
cmake --build build/screenshots -j "$(nproc)" --target readme_screenshots Pellumo box_simulator

# A home of its own: no stored settings or calibrations of the user's.
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p docs/images
HOME="$home" XDG_CONFIG_HOME="$home/config" LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 PELLUMO_DEBUG_LOG=off \
    xvfb-run -a -s "-screen 0 1400x900x24 -nolisten tcp" build/screenshots/bin/readme_screenshots docs/images
