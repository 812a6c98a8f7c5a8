#!/usr/bin/env bash
# What the playing application costs the processor: the application in a 1024 x 768 virtual X
# server, a clip playing through the effect into the null output, then stopped. For each phase it
# prints, as shares of one core, the process and its threads (the main thread, the render thread,
# the rest together) and the X server, which shows what the application hands it. Times are the
# scheduler's run time of each thread (/proc/<pid>/task/<tid>/schedstat, nanoseconds): tick-sampled
# utime and stime miss most of the short wakes a 25-a-second meter makes. Each run starts the
# application afresh (clips are drawn at random); after the runs come the medians.
#
#   bench/app_cpu.sh [build folder, default build/release] [seconds per phase, default 10] [runs, default 5]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
seconds="${2:-10}"
runs="${3:-5}"
app="$build/YUX_Sorvane.app/bin/YUX_Sorvane"
[ -x "$app" ] || { echo "app_cpu: no application at $app (build it first)" >&2; exit 1; }
if [ -z "${APP_CPU_IN_XVFB:-}" ]; then
  APP_CPU_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$seconds" "$runs"
fi

log=$(mktemp)
figures=$(mktemp)
pid=
trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
      rm -f "$log" "$figures"' EXIT

# Waits up to a minute for a line of the application's output.
await() {
  for _ in $(seq 600); do
    grep -qF "$1" "$log" && return 0
    kill -0 "$pid" 2>/dev/null || { echo "app_cpu: the application ended" >&2; exit 1; }
    sleep 0.1
  done
  echo "app_cpu: no '$1' within a minute" >&2
  exit 1
}
# One line per part: main, render (the sink's thread), each other thread of the application, then
# the X server; each with its run time so far in ns. A thread gone in between reads as 0.
sample() {
  local t name
  for t in /proc/"$pid"/task/*; do
    name=other
    [ "${t##*/}" = "$pid" ] && name=main
    [ "$(cat "$t/comm" 2>/dev/null)" = render ] && name=render
    printf '%s %s %s\n' "${t##*/}" "$name" "$(cut -d' ' -f1 "$t/schedstat" 2>/dev/null || echo 0)"
  done
  printf 'X X %s\n' "$(cut -d' ' -f1 "/proc/$xserver/schedstat")"
}
# Run time of each part over one phase, in % of one core; a thread that began within the phase
# counts from nothing. Prints the run's line and keeps its figures for the medians.
measure() {
  sleep 2 # settled
  local a b t0 t1
  a=$(sample) t0=$(date +%s%N)
  sleep "$seconds"
  b=$(sample) t1=$(date +%s%N)
  awk -v phase="$1" -v dt="$((t1 - t0))" '
    NR == FNR { was[$1] = $3; next }
    { d = $3 - ($1 in was ? was[$1] : 0); part[$2] += d; if ($2 != "X") all += d }
    END {
      f = 100 / dt
      printf "%s %.2f %.2f %.2f %.2f %.2f\n", phase, all * f, part["main"] * f, part["render"] * f,
        part["other"] * f, part["X"] * f
    }' <(echo "$a") <(echo "$b") | tee -a "$figures" |
    awk '{ printf "%-8s process %5.2f %%  main %5.2f %%  render %5.2f %%  rest %5.2f %%  X server %5.2f %%\n",
           $1, $2, $3, $4, $5, $6 }'
}

# Play and stop share the bar's last place: 16 + 3 x (96 + 10) + 48 points from the right edge.
for run in $(seq "$runs"); do
  echo "run $run of $runs (% of one core)"
  : >"$log"
  NO_AT_BRIDGE=1 GDK_BACKEND=x11 SORVANE_AUDIO_OUTPUT=null SORVANE_AUTOPLAY=1 "$app" >"$log" 2>&1 &
  pid=$!
  # The X server of this display (xvfb-run starts it with the display as its first argument).
  xserver=$(ps -eo pid=,args= | awk -v d="$DISPLAY" '$2 ~ /Xvfb$/ && $3 == d { print $1; exit }')
  [ -n "$xserver" ] || { echo "app_cpu: no Xvfb for $DISPLAY" >&2; exit 1; }
  await "AUEnginePlayer: Audio engine starting."
  measure playing
  window=$(xdotool search --sync --name '^YUX Sorvane$' | head -1)
  xdotool mousemove --window "$window" $((1024 - 382)) 28 click 1
  await "AUEnginePlayer: Audio engine stopping."
  measure stopped
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
done

echo "median of $runs runs (% of one core)"
for phase in playing stopped; do
  for column in 2 3 4 5 6; do
    awk -v p="$phase" -v c="$column" '$1 == p { print $c }' "$figures" | sort -g |
      awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
  done | paste -sd' ' | awk -v p="$phase" '{
    printf "%-8s process %5.2f %%  main %5.2f %%  render %5.2f %%  rest %5.2f %%  X server %5.2f %%\n",
      p, $1, $2, $3, $4, $5 }'
done
