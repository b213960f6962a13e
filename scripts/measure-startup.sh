#!/usr/bin/env bash
# Start-up time of the viewer, measured from outside: the real program under a private Xvfb,
# started with a 1 MiB data file, until its first rendered frame (the view's checkerboard
# under the title "Pixloupe 2d,x1") is on screen. Reports every run and the median, and
# the first frame and resident memory with a 256 MiB and a 4 GiB file.
#
#   scripts/measure-startup.sh [BUILD_DIR] [RUNS]     (defaults: build, 9)
#
# Needs the targets pixloupe2d and pl_frame_probe in BUILD_DIR (build it in Release):
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build --target pixloupe2d pl_frame_probe
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd) || { echo "no build folder ${1:-$root/build}" >&2; exit 2; }
runs=${2:-9}
viewer="$build/viewer/pixloupe2d"
probe="$build/bench/pl_frame_probe"
[[ -x "$viewer" ]] || { echo "missing $viewer" >&2; exit 2; }
[[ -x "$probe" ]] || { echo "missing $probe (needs the X11 development files)" >&2; exit 2; }
command -v xdotool >/dev/null || echo "note: xdotool not installed; the probe does not need it" >&2

source "$root/tests/e2e/xvfb_lib.sh"
pl_start_xvfb

# The settings file is read from the current folder: none there, so every run starts alike.
mkdir -p "$PL_TMP/run"
cd "$PL_TMP/run" || exit 2
head -c $((1024 * 1024)) /dev/urandom >"$PL_TMP/one-mib.bin"

# Median of the numbers on standard input.
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "viewer: $viewer"
echo "machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "run  title seen (ms)  frame on screen (ms)"
frames=()
for run in $(seq 0 "$runs"); do
    rm -f pl2.ini
    read -r title frame _ < <("$probe" -- "$viewer" "$PL_TMP/one-mib.bin") || true
    if [[ $run == 0 ]]; then
        printf '%3s  %15s  %20s   (warm-up, not counted)\n' "$run" "$title" "$frame"
        continue
    fi
    printf '%3d  %15s  %20s\n' "$run" "$title" "$frame"
    [[ "$frame" != "-1.0" && -n "$frame" ]] && frames+=("$frame")
done
[[ ${#frames[@]} -gt 0 ]] || { echo "the first frame was never seen" >&2; exit 1; }
startup=$(printf '%s\n' "${frames[@]}" | median)
echo "median start to first frame: $startup ms over ${#frames[@]} runs (target < 300 ms)"

# First frame and resident memory of the whole program (Qt included) with a 256 MiB file and a
# 4 GiB sparse one: files from 1 MiB on are mapped, so neither is read before the first frame.
for size in 256 4096; do
    big="$PL_TMP/big.bin"
    if [[ $size == 256 ]]; then
        head -c $((size * 1024 * 1024)) /dev/zero | tr '\0' '\125' >"$big"
    else
        truncate -s $((size * 1024 * 1024)) "$big"
    fi
    read -r _ frame resident < <("$probe" --timeout 30000 -- "$viewer" "$big") || true
    rm -f "$big"
    if [[ -n "${resident:-}" && "$resident" -gt 0 ]]; then
        echo "with a $size MiB file: first frame after $frame ms, resident $((resident / 1024)) MiB"
    fi
done
awk -v m="$startup" 'BEGIN { exit !(m < 300) }'
