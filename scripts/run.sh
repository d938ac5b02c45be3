#!/usr/bin/env bash
# Sets up the machine, builds Pellumo (release) and starts it. Extra arguments
# are passed to the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLUMO_TESTS=OFF -DPELLUMO_BENCH=OFF
cmake --build build/release -j "$(nproc)"
exec build/release/bin/Pellumo "$@"
