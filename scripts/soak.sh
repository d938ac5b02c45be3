#!/usr/bin/env bash
# A long session of the program in demo mode, to find leaks, growth and hangs:
#
#   bash scripts/soak.sh [MINUTES]      (default 60)
#
# Builds (or reuses) a release build and runs the real main window on an Xvfb
# display of its own, driven in-process: a live 1920 × 1080 at 60 frames/s
# emulated camera that is unplugged every 5 minutes and plugged back 4 s
# later, a recording restarted every 10 minutes, 100 measurements drawn and
# removed again and again, a snapshot every minute. Periods shrink for runs
# shorter than 10 minutes so that every action happens at least once.
#
# Every minute it samples resident memory (and the allocator's bytes in use),
# open file descriptors, threads (their names go to the log),
# frames delivered and lost before the view, and the longest time the window
# took to answer, into soak.csv beside soak.log, and plots them in soak.png
# (in PELLUMO_SOAK_OUT, default build/soak-run). It exits non-zero when a goal
# fails: resident memory growth over 1 % from minutes 10-20 to the last 10
# (runs of 20 minutes and more), descriptors or threads above their level
# after a reconnect, over 0.1 % of frames lost while the camera is live, a
# recording or snapshot that does not read back, an answer slower than 100 ms.
# Memory, descriptors and threads are judged on steady samples only: a live
# camera and no recording in that minute and the one before.
#
# PELLUMO_SOAK_DRIVER=<soak_driver> reuses a built driver (the test build);
# PELLUMO_SOAK_CHECK=actions checks only that the table and plot are written
# and every action happened (the CI test; no timing or loss goals there).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
minutes="${1:-60}"
check="${PELLUMO_SOAK_CHECK:-goals}"
out="${PELLUMO_SOAK_OUT:-$root/build/soak-run}"

driver="${PELLUMO_SOAK_DRIVER:-}"
if [[ -z "$driver" ]]; then
    bash scripts/setup.sh
    cmake -S . -B build/soak -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLUMO_BENCH=OFF >/dev/null
    cmake --build build/soak -j "$(nproc)" --target soak_driver Pellumo box_simulator
    driver="$root/build/soak/bin/soak_driver"
fi

home="$(mktemp -d)"
xvfb_pid=""
cleanup() {
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
source "$root/scripts/own-display.sh"
start_own_display || { echo "soak: Xvfb did not start" >&2; exit 1; }

mkdir -p "$out"
rm -f "$out/soak.csv" "$out/soak.png" "$out/soak.log"
# Unplugged every 5 minutes of frames at 60 frames/s (scaled like the other periods).
unplug_frames=$(python3 -c "print(max(600, int(300 * 60 * min(1.0, $minutes / 10.0))))")
echo "soak: $minutes minutes on display $own_display, writing $out"
set +e
HOME="$home" XDG_CONFIG_HOME="$home/config" LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 PELLUMO_DEBUG_LOG=off \
    DISPLAY="$own_display" SENSORLINK_EMULATE=1 SENSORLINK_EMULATE_SIZE=1920x1080 SENSORLINK_EMULATE_FPS=60 \
    SENSORLINK_EMULATE_FAULTS="unplug_every=$unplug_frames,replug_after_ms=4000" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
    "$driver" "$minutes" "$out/soak.csv" >"$out/soak.log" 2>&1
status=$?
set -e
if ((status != 0)); then
    echo "soak: the driver failed ($status); see $out/soak.log" >&2
    tail -20 "$out/soak.log" >&2
    exit 1
fi

# Every recording and snapshot must read back.
unreadable=0
files=0
while IFS= read -r -d '' file; do
    files=$((files + 1))
    if ! ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$file" >/dev/null 2>&1; then
        echo "soak: unreadable file: $file" >&2
        unreadable=$((unreadable + 1))
    fi
done < <(find "$home/Documents" -type f \( -name '*.mp4' -o -name '*.png' -o -name '*.jpg' -o -name '*.tif' -o -name '*.bmp' \) -print0 2>/dev/null)
echo "# files files=$files unreadable=$unreadable" >>"$out/soak.csv"

gnuplot <<GNUPLOT
set terminal pngcairo size 1200,900 noenhanced
set output "$out/soak.png"
set datafile separator ","
set datafile commentschars "#"
set key autotitle columnhead
set multiplot layout 3,1 title "Pellumo soak run, $minutes minutes"
set xlabel "minute"
set ylabel "resident memory (MB)"
plot "$out/soak.csv" using 1:(\$2/1024) with linespoints title "RSS", "" using 1:(\$16/1024) with linespoints title "heap in use"
set ylabel "count"
plot "$out/soak.csv" using 1:3 with linespoints title "file descriptors", "" using 1:4 with linespoints title "threads"
set ylabel "ms / frames"
plot "$out/soak.csv" using 1:9 with linespoints title "longest answer (ms)", "" using 1:7 with linespoints title "frames lost (total)"
unset multiplot
GNUPLOT

python3 - "$out/soak.csv" "$minutes" "$check" <<'PY'
import csv, sys
path, minutes, check = sys.argv[1], float(sys.argv[2]), sys.argv[3]
rows, meta = [], {}
for line in open(path):
    if line.startswith("#"):
        for kv in line[1:].split()[1:]:
            k, v = kv.split("=")
            meta[k] = int(v)
        continue
    rows.append(line)
table = list(csv.DictReader(rows))
failures = []
for action in ("recordings", "snapshots", "measure_cycles", "reconnects"):
    if meta.get(action, 0) < 1:
        failures.append(f"{action}: none happened")
if meta.get("unreadable", 1) or meta.get("files", 0) < 2:
    failures.append(f"files: {meta.get('files', 0)} written, {meta.get('unreadable', '?')} unreadable")
if len(table) < 2:
    failures.append("table: fewer than two samples")
if check != "actions" and table:
    num = lambda r, k: float(r[k])
    idle = lambda r: r["camera_live"] == "1" and r["recording"] == "0"
    # The process's level shows in samples of a live camera with no recording
    # for a whole minute: a recording that has just ended, or a camera not yet
    # back, still holds (or has already let go of) its buffers and threads.
    steady = [r for prev, r in zip(table, table[1:]) if idle(prev) and idle(r)]
    mean = lambda rows, k: sum(num(r, k) for r in rows) / len(rows)
    if minutes >= 20:
        early = [r for r in steady if 10 <= num(r, "minute") < 20]
        late = [r for r in steady if num(r, "minute") > minutes - 10]
        if early and late:
            growth = mean(late, "rss_kb") / mean(early, "rss_kb") - 1
            print(f"soak: resident memory growth from minutes 10-20 to the last 10: {100 * growth:.2f} %")
            if growth > 0.01:
                failures.append(f"memory grew {100 * growth:.2f} %")
        else:
            failures.append("memory: no steady samples in minutes 10-20 or the last 10")
    # Descriptors and threads: never above their level before the second reconnect.
    if steady:
        first = [r for r in steady if num(r, "reconnects") <= 1] or steady[:1]
        for k in ("fds", "threads"):
            level = max(num(r, k) for r in first)
            print(f"soak: {k} level {level:g}")
            for r in steady:
                if num(r, k) > level:
                    failures.append(f"minute {r['minute']}: {k} {r[k]} above their level {level:g}")
    last = table[-1]
    lost = num(last, "frames_lost") / max(1.0, num(last, "frames_expected"))
    print(f"soak: frames lost while live {100 * lost:.3f} %")
    if lost > 0.001:
        failures.append(f"{100 * lost:.3f} % of frames lost")
    worst = max(num(r, "max_answer_ms") for r in table)
    print(f"soak: longest answer {worst:.1f} ms")
    if worst > 100:
        failures.append(f"the window took {worst:.1f} ms to answer")
for f in failures:
    print("soak: FAILED " + f)
print("soak: " + ("all goals met" if not failures else f"{len(failures)} goals failed"))
sys.exit(1 if failures else 0)
PY
