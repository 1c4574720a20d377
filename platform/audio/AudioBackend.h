// Choice of the audio backend behind wave-in, audio output and mixer.
//
// The environment variable SONVALE_AUDIO ("pulse", "alsa" or "virtual") is
// read once, on first use. Unset (or any other value): the sound server when
// one answers within about a quarter of a second, else ALSA. A test may
// switch programmatically at any time. Handles opened before a switch keep working on the backend
// that opened them; device counts, capabilities and new opens follow the switch.
//
// ALSA device names: device id -1 of wave-in opens the PCM named by
// SONVALE_ALSA_CAPTURE, of audio output the PCM named by SONVALE_ALSA_PLAYBACK
// (both "default" when unset); these are read on every open.
//
// Threads: any thread.
#pragma once

enum class AudioBackend { Alsa, Virtual, Pulse };

AudioBackend audioBackend();
void setAudioBackend(AudioBackend backend);
