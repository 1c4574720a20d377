// What a recording is made with, worked out from the settings: the WAV
// format of each choice index, the MP3 encoder's configuration record, the
// name of a new recording, the texts of encoder error codes, and the scale
// between mixer volumes (0..65535) and the volume slider (0..100).
//
// Plain functions without state; any thread may call them.
#pragma once

#include "app/svar.h"
#include "libs/mp3enc/mp3enc.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sonvale::app {

// WAV choice indices to format values; nothing for an index outside the list.
std::optional<uint32_t> WavChannelsOf(int32_t index); // 0 mono, 1 stereo
std::optional<uint32_t> WavBitsOf(int32_t index);     // 0 8 bits, 1 16 bits
std::optional<uint32_t> WavRateOf(int32_t index);     // 0 44100, 1 22050, 2 11025

// The sample rate an MP3 recording captures at: the WAV rate, 0 for an index
// outside the list (the encoder then refuses the configuration).
uint32_t Mp3SampleRateOf(int32_t wavRateIndex);
// The encoder's channel mode for an MP3 mode index: MONO 3, STEREO 0,
// JSTEREO 1, DUALCHANNEL 2; 0 for any other index.
int32_t Mp3ModeOf(int32_t mp3ModeIndex);
// kbit/s of a bit-rate index; 0 outside 0..12.
uint32_t BitRateOf(int32_t index);

// The encoder configuration of an MP3 recording made with these settings.
BE_CONFIG MakeMp3Config(const svar::TOptions& options);

// An error code as shown to the user: upper-case hexadecimal digits without
// prefix or leading zeros, "-" in front of a negative code (26 gives "1A").
std::string ErrorCodeText(int32_t code);

// The first dir + "Untitled" + n + extension (n = 1, 2, ...) for which
// `exists` says no. `afterEachTaken` runs after each name found taken.
std::string NewRecordingName(const std::string& dir, const std::string& extension,
                             const std::function<bool(const std::string&)>& exists,
                             const std::function<void()>& afterEachTaken = {});

// `path` with its extension (the part of the file name from its last ".")
// replaced by `extension`; added when the name has none.
std::string ReplaceExtension(const std::string& path, const std::string& extension);
// The extension of the file name in `path`, lower-cased, with its dot ("" when
// none).
std::string LowerExtension(const std::string& path);

// Rounds numerator / denominator to the nearest integer, halves to even.
// Both non-negative; denominator not 0.
uint64_t RoundHalfEven(uint64_t numerator, uint64_t denominator);

// Mixer value 0..65535 to the slider's 0..100 and back.
int32_t VolumeToSlider(uint32_t value);
uint16_t SliderToVolume(int32_t slider);

} // namespace sonvale::app
