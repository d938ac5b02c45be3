#!/usr/bin/env bash
# Runs every libFuzzer target, one after the other, for a given time each, and
# keeps what it found interesting in fuzz/corpus/<target>/ (not part of CI).
#
#   bash scripts/fuzz.sh [SECONDS] [NAME-FILTER]
#
# SECONDS per target (default 60); NAME-FILTER runs only the targets whose name
# contains it. The build goes to build/fuzz (PELLUMO_FUZZ_BUILD to choose
# another folder), with clang. Each run starts from the target's committed
# corpus (and the seeds in its source folder's corpus/, if any, with the
# dictionary <target>.dict there when it exists); new inputs
# that add coverage are merged into fuzz/corpus/<target>/. A finding stops the
# script with the crashing input in the current folder. At the end a table
# gives the executions of every target.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLUMO_FUZZ_BUILD:-$root/build/fuzz}
seconds=${1:-60}
filter=${2:-}

build_targets=${PELLUMO_FUZZ_NO_BUILD:-0}
if [[ "$build_targets" != 1 ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPELLUMO_FUZZ=ON -DPELLUMO_BENCH=OFF >/dev/null
fi

# target name -> the fuzz/ folder that defines it
mapfile -t entries < <(cd "$root/fuzz" && grep -oE 'pellumo_add_fuzzer\(NAME [A-Za-z0-9_]+' ./*/CMakeLists.txt |
    sed -E 's|^\./([^/]*)/CMakeLists.txt:pellumo_add_fuzzer\(NAME |\1 |' | sort -k2)
targets=()
for entry in "${entries[@]}"; do
    name=${entry#* }
    [[ -z "$filter" || "$name" == *"$filter"* ]] && targets+=("$name")
done
[[ ${#targets[@]} -gt 0 ]] || { echo "no fuzz target matches '$filter'" >&2; exit 1; }
[[ "$build_targets" == 1 ]] || cmake --build "$build" --target "${targets[@]}"

summary=()
for entry in "${entries[@]}"; do
    folder=${entry% *}
    name=${entry#* }
    [[ -z "$filter" || "$name" == *"$filter"* ]] || continue
    corpus=$root/fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [[ -d "$root/fuzz/$folder/corpus" ]] && seeds+=("$root/fuzz/$folder/corpus")
    options=()
    [[ -f "$root/fuzz/$folder/$name.dict" ]] && options+=("-dict=$root/fuzz/$folder/$name.dict")
    work=$(mktemp -d)
    log=$(mktemp)
    echo "== $name: $seconds s"
    # New inputs land in the scratch folder (the first one); the committed
    # corpus and the seeds are only read.
    "$build/bin/$name" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 "${options[@]}" \
        "$work" "$corpus" "${seeds[@]}" 2>"$log" || { tail -40 "$log"; exit 1; }
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    "$build/bin/$name" -merge=1 "$corpus" "$work" 2>/dev/null
    summary+=("$(printf '%-28s %12s executions in %s s, corpus %s files' "$name" "$executed" "$seconds" \
        "$(find "$corpus" -type f | wc -l)")")
    rm -rf "$work" "$log"
done
printf '%s\n' "${summary[@]}"
