#!/usr/bin/env bash
# Sets up the machine, builds everything under AddressSanitizer +
# UndefinedBehaviorSanitizer and runs every test; then builds the threaded
# suites under ThreadSanitizer and runs them. Tests that draw get a virtual
# X display when none is present.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh

echo "== source format"
bash scripts/check-format.sh

jobs=$(nproc)
# Compiled objects are shared through ccache between clones in other folders
# (paths under the root are hashed relative to it).
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
# Qt-based suites run without a window system unless they ask for Xvfb.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# A display of the run's own when none is present.
source "$root/scripts/own-display.sh"
xvfb_pid=""
stop_display() { [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true; }
trap stop_display EXIT
start_display() {
    [[ -n "${DISPLAY:-}" ]] && return 0
    start_own_display || { echo "test: Xvfb did not start" >&2; exit 1; }
    export DISPLAY="$own_display"
    echo "test: Xvfb on display $DISPLAY"
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUMO_ASAN=ON
cmake --build build/asan -j "$jobs"
echo "== all tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
start_display
(cd build/asan && ctest -j "$jobs" --output-on-failure)

if [[ "${PELLUMO_SKIP_TSAN:-0}" != 1 ]]; then
    echo "== ThreadSanitizer build of the threaded suites"
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLUMO_TSAN=ON -DPELLUMO_BENCH=OFF
    cmake --build build/tsan -j "$jobs" --target threaded-tests
    echo "== threaded tests (ThreadSanitizer)"
    (cd build/tsan && ctest -j "$jobs" -L threaded --output-on-failure)
fi
