#!/usr/bin/env bash
# Installs what is missing, builds the release tree and starts the application: a window with the
# effect's panel, a demonstration clip playing through it by itself. Without a sound device the clip
# plays into the null output (the meters still move); without a display it runs headless for a few
# seconds and writes what the window would show to a PNG. The caller's own SORVANE_* settings win.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

app=build/release/YUX_Sorvane.app/bin/YUX_Sorvane
export SORVANE_AUTOPLAY="${SORVANE_AUTOPLAY:-1}"

# A sound server of the desktop, or a card ALSA can open by itself.
sound_device() {
  local run="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}"
  [ -n "${PULSE_SERVER:-}" ] || [ -S "$run/pulse/native" ] || [ -S "$run/pipewire-0" ] ||
    grep -qs '^ *[0-9]' /proc/asound/cards
}
if [ -z "${SORVANE_AUDIO_OUTPUT:-}" ] && ! sound_device; then
  echo "build-and-run: no sound device here; the clip plays into the null output" \
       "(SORVANE_AUDIO_OUTPUT chooses another, see the README)"
  export SORVANE_AUDIO_OUTPUT=null
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${SORVANE_HEADLESS:-}" ]; then
  exec "$app"
fi
seconds="${SORVANE_RUN_SECONDS:-5}"
shot="${SORVANE_SCREENSHOT:-build/release/YUX_Sorvane.png}"
echo "build-and-run: no display; running YUX Sorvane headless for ${seconds} s, playing a clip" \
     "through the effect; the window goes to ${shot}"
SORVANE_HEADLESS=1 SORVANE_AUDIO_OUTPUT="${SORVANE_AUDIO_OUTPUT:-null}" \
  SORVANE_RUN_SECONDS="${seconds}" SORVANE_SCREENSHOT="${shot}" exec "$app"
