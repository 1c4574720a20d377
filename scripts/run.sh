#!/usr/bin/env bash
# Starts Sonvale from a build folder and says which sound system it uses:
# the sound server when one answers and offers a source, else ALSA when it
# has a capture device (a card, or a `default` device that opens), else the
# virtual sound card. An SONVALE_AUDIO already set is kept.
set -euo pipefail
bindir=${1:-build/default/bin}
if [ ! -x "$bindir/sonvale" ]; then
  echo "run: everything is built, but the Sonvale program is not there yet ($bindir/sonvale)."
  exit 0
fi
server_has_source() {
  command -v pactl >/dev/null 2>&1 &&
    timeout 2 pactl info >/dev/null 2>&1 &&
    [ -n "$(timeout 2 pactl list short sources 2>/dev/null)" ]
}
alsa_has_capture() {
  [ -n "$(ls /dev/snd/pcmC*c 2>/dev/null)" ] ||
    { command -v arecord >/dev/null 2>&1 &&
      timeout 3 arecord -q -D default -f S16_LE -r 8000 -c 1 -s 1 /dev/null >/dev/null 2>&1; }
}
if [ -z "${SONVALE_AUDIO:-}" ]; then
  if server_has_source; then
    export SONVALE_AUDIO=pulse
  elif alsa_has_capture; then
    export SONVALE_AUDIO=alsa
  else
    export SONVALE_AUDIO=virtual
  fi
fi
case "$SONVALE_AUDIO" in
  pulse) echo "run: Sonvale records through the sound server (SONVALE_AUDIO=pulse)." ;;
  alsa) echo "run: Sonvale records through ALSA (SONVALE_AUDIO=alsa)." ;;
  virtual) echo "run: neither the sound server nor ALSA offers a capture device; Sonvale uses its virtual sound card (SONVALE_AUDIO=virtual)." ;;
  *) echo "run: SONVALE_AUDIO=$SONVALE_AUDIO is not one of pulse, alsa, virtual; Sonvale chooses for itself." ;;
esac
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: there is no display (DISPLAY/WAYLAND_DISPLAY unset); start Sonvale from a desktop session."
  exit 1
fi
exec "$bindir/sonvale"
