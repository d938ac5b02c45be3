#!/usr/bin/env bash
# Sets up the machine, builds Pellumo (release) and starts it in demo mode
# (simulated cameras, the first one live at start). Extra arguments are passed
# to the program; PELLUMO_NO_DEMO=1 starts it without --demo (real cameras).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLUMO_TESTS=OFF -DPELLUMO_BENCH=OFF
cmake --build build/release -j "$(nproc)"
if [ "${PELLUMO_NO_DEMO:-0}" = "1" ]; then
  exec build/release/bin/Pellumo "$@"
fi
exec build/release/bin/Pellumo --demo "$@"
