#!/bin/sh
# Recording speed per effect: output frames per second at 60 fps and scale 1, to
# an MP4 (ffmpeg encoding alongside) and to PNG + WAV. No display or sound needed.
# Usage, from the repository root after building: sh bench/bench_record.sh [build dir] [seconds]
set -e
program=${1:-build}/app/chipdisk
seconds=${2:-10}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo "machine: $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg); $seconds s of output a run"
for effect in 0 1 2 3; do
  for out in video.mp4 frames; do
    rm -rf "$tmp/$out"
    t0=$(date +%s%N)
    "$program" --record "$tmp/$out" --seconds "$seconds" --effect $effect
    t1=$(date +%s%N)
    awk -v n=$((seconds * 60)) -v t=$((t1 - t0)) -v e=$effect -v o=$out \
      'BEGIN { printf "effect %d to %-9s %6.1f frames/s  (%.2f x real time)\n", e, o, n / (t / 1e9), n / 60 / (t / 1e9) }'
  done
done
