#!/usr/bin/env bash
# What the playing application costs the processor: the application in a 1024 x 768 virtual X
# server, a clip playing through the effect into the null output, then stopped. For each phase it
# prints the processor time of the process, of its main thread and of the X server (which does the
# compositing the application hands it) as shares of one core, read from /proc/<pid>/stat and
# /proc/<pid>/task/<pid>/stat (utime + stime) over the phase.
#
#   bench/app_cpu.sh [build folder, default build/release] [seconds per phase, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
seconds="${2:-10}"
app="$build/YUX_Sorvane.app/bin/YUX_Sorvane"
[ -x "$app" ] || { echo "app_cpu: no application at $app (build it first)" >&2; exit 1; }
if [ -z "${APP_CPU_IN_XVFB:-}" ]; then
  APP_CPU_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build" "$seconds"
fi

log=$(mktemp)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -f "$log"' EXIT
NO_AT_BRIDGE=1 GDK_BACKEND=x11 SORVANE_AUDIO_OUTPUT=null SORVANE_AUTOPLAY=1 "$app" >"$log" 2>&1 &
pid=$!

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
ticks() { awk '{ print $14 + $15 }' "$1"; }
# Processor time of the process, its main thread and the X server over one phase, in % of one core.
measure() {
  sleep 2 # settled
  local p0 m0 x0 t0 p1 m1 x1 t1
  p0=$(ticks "/proc/$pid/stat") m0=$(ticks "/proc/$pid/task/$pid/stat") x0=$(ticks "/proc/$xserver/stat")
  t0=$(date +%s.%N)
  sleep "$seconds"
  p1=$(ticks "/proc/$pid/stat") m1=$(ticks "/proc/$pid/task/$pid/stat") x1=$(ticks "/proc/$xserver/stat")
  t1=$(date +%s.%N)
  awk -v name="$1" -v p="$((p1 - p0))" -v m="$((m1 - m0))" -v x="$((x1 - x0))" -v t0="$t0" -v t1="$t1" \
    -v hz="$(getconf CLK_TCK)" 'BEGIN { t = (t1 - t0) * hz / 100
      printf "%-8s process %5.1f %%  main thread %5.1f %%  X server %5.1f %% of one core\n", name, p/t, m/t, x/t }'
}
# The X server of this display (xvfb-run starts it with the display as its first argument).
xserver=$(ps -eo pid=,args= | awk -v d="$DISPLAY" '$2 ~ /Xvfb$/ && $3 == d { print $1; exit }')
[ -n "$xserver" ] || { echo "app_cpu: no Xvfb for $DISPLAY" >&2; exit 1; }

await "AUEnginePlayer: Audio engine starting."
measure playing
# Play and stop share the bar's last place: 16 + 3 x (96 + 10) + 48 points from the right edge.
window=$(xdotool search --sync --name '^YUX Sorvane$' | head -1)
xdotool mousemove --window "$window" $((1024 - 382)) 28 click 1
await "AUEnginePlayer: Audio engine stopping."
measure stopped
