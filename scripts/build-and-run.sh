#!/usr/bin/env bash
# Installs what is missing, builds the release tree and starts the application: a window with the
# effect's panel, playing through the sound card. Without a display it runs headless for a few
# seconds into the null output and writes what the window would show to a PNG.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

app=build/release/YUX_Sorvane.app/bin/YUX_Sorvane
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${SORVANE_HEADLESS:-}" ]; then
  exec "$app"
fi
seconds="${SORVANE_RUN_SECONDS:-5}"
shot="${SORVANE_SCREENSHOT:-build/release/YUX_Sorvane.png}"
echo "build-and-run: no display; running YUX Sorvane headless for ${seconds} s into the null output," \
     "playing a clip through the effect; the window goes to ${shot}"
SORVANE_HEADLESS=1 SORVANE_AUTOPLAY=1 SORVANE_AUDIO_OUTPUT="${SORVANE_AUDIO_OUTPUT:-null}" \
  SORVANE_RUN_SECONDS="${seconds}" SORVANE_SCREENSHOT="${shot}" exec "$app"
