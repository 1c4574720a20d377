#!/usr/bin/env bash
# Starts Sonvale from a build folder. Uses the machine's sound card through ALSA
# when it has one, and the virtual sound card otherwise (unless SONVALE_AUDIO is
# already set).
set -euo pipefail
bindir=${1:-build/default/bin}
if [ ! -x "$bindir/sonvale" ]; then
  echo "run: everything is built, but the Sonvale program is not there yet ($bindir/sonvale)."
  exit 0
fi
if [ -z "${SONVALE_AUDIO:-}" ]; then
  if [ -n "$(ls /dev/snd/pcmC*c 2>/dev/null)" ] || pactl info >/dev/null 2>&1; then
    export SONVALE_AUDIO=alsa
  else
    export SONVALE_AUDIO=virtual
  fi
fi
if [ "$SONVALE_AUDIO" = virtual ]; then
  echo "run: no sound card found; Sonvale uses its virtual sound card (SONVALE_AUDIO=virtual)."
else
  echo "run: Sonvale uses the sound card through ALSA (SONVALE_AUDIO=$SONVALE_AUDIO)."
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: there is no display (DISPLAY/WAYLAND_DISPLAY unset); start Sonvale from a desktop session."
  exit 1
fi
exec "$bindir/sonvale"
