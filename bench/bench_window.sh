#!/bin/sh
# Frame rate, CPU use and start-up time of the running chipdisk on a private
# Xvfb (software GL). Frames are counted by preloading build/bench/swapcount.so,
# which counts glXSwapBuffers calls and notes their times; the program itself is
# not changed.
# Usage, from the repository root after building: sh bench/bench_window.sh [build dir]
set -e
build=${1:-build}
program=$build/app/chipdisk
counter=$(realpath "$build/bench/swapcount.so")
tmp=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
while [ -z "$(cat "$tmp/display")" ]; do sleep 0.05; done
export DISPLAY=:$(cat "$tmp/display") SDL_AUDIODRIVER=dummy SWAPCOUNT_FILE=$tmp/swaps \
  SWAPTIMES_FILE=$tmp/times

start=$(date +%s%N)
LD_PRELOAD=$counter "$program" >/dev/null 2>&1 &
app=$!
while [ ! -s "$tmp/swaps" ]; do sleep 0.01; done
first=$(cut -d' ' -f2 "$tmp/swaps")
echo "start to first frame: $(( (first - start) / 1000000 )) ms"

cpu() { awk '{ print $14 + $15 }' /proc/$app/stat; }
swaps() { cut -d' ' -f1 "$tmp/swaps"; }
ticks=$(getconf CLK_TCK)

# seconds: measure one stretch and print frames per second and CPU share
measure() {
  s0=$(swaps); c0=$(cpu); t0=$(date +%s%N)
  sleep "$2"
  s1=$(swaps); c1=$(cpu); t1=$(date +%s%N)
  awk -v s="$((s1 - s0))" -v c="$((c1 - c0))" -v t="$((t1 - t0))" -v hz="$ticks" -v what="$1" \
    'BEGIN { printf "%-10s %6.1f fps  %5.1f %% CPU  (%d frames in %.1f s)\n",
             what, s / (t / 1e9), 100 * c / hz / (t / 1e9), s, t / 1e9 }'
  # the spread of the times between swaps in the stretch
  awk -v a="$t0" -v b="$t1" '$1 >= a && $1 <= b { if (p) print ($1 - p) / 1e6; p = $1 }' \
    "$tmp/times" | sort -n |
    awk '{ v[NR] = $1 }
         END { if (NR) printf "           frame time median %.1f ms, 95th percentile %.1f ms, shortest %.1f ms\n",
                              v[int((NR + 1) / 2)], v[int(NR * 0.95 + 0.5)], v[1] }'
}

sleep 3
measure "effect 0" 10
win=$(xdotool search --onlyvisible --pid $app | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 335)) $((Y + 185))  # over the view: it takes the keys
for n in 1 2 3; do
  sleep 0.3
  xdotool key Right
  sleep 4.5  # out of the fade
  measure "effect $n" 5
done
