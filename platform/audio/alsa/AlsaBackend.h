// The ALSA backend's parts (private to platform/audio/alsa): capture and
// playback through snd_pcm, the mixer through snd_mixer simple elements.
// AlsaBackend.cpp gathers them in the backend's table.
#pragma once

#include "platform/audio/Backends.h"

WaveInBackend& alsaWaveInBackend();
MixerBackend& alsaMixerBackend();
std::unique_ptr<AudioOutput> createAlsaOutput(int deviceId);
