// The item texts of the options dialog's lists. A choice setting stores the
// index of its item here, so these lists also fix what a stored index means
// (the recorder maps the bit-rate texts to kbit/s, the WAV texts to formats).
//
// Constant data; any thread may read it.
#pragma once

#include <array>
#include <string_view>

namespace sonvale::app {

inline constexpr std::array<std::string_view, 2> kSaveFileItems{"Wav File", "MP3 File"};
inline constexpr std::array<std::string_view, 5> kSkinItems{"DeepBlue", "BlueGlass", "MacOS",
                                                            "Protein", "WinXP"};
inline constexpr std::array<std::string_view, 2> kWavModeItems{"MONO", "STEREO"};
inline constexpr std::array<std::string_view, 2> kWavBitsItems{"8 bits", "16 bits"};
inline constexpr std::array<std::string_view, 3> kWavRateItems{"44100", "22050", "11025"};
inline constexpr std::array<std::string_view, 4> kMP3ModeItems{"MONO", "STEREO", "JSTEREO",
                                                               "DUALCHANNEL"};
inline constexpr std::array<std::string_view, 10> kVBRLevelItems{"0", "1", "2", "3", "4",
                                                                 "5", "6", "7", "8", "9"};
// Shared by the constant rate and both VBR limits.
inline constexpr std::array<std::string_view, 13> kBitRateItems{
    "40kb/s",  "48kb/s",  "56kb/s",  "64kb/s",  "80kb/s",  "96kb/s", "112kb/s",
    "128kb/s", "160kb/s", "192kb/s", "224kb/s", "256kb/s", "320kb/s"};
inline constexpr std::array<int, 13> kBitRatesKbps{40,  48,  56,  64,  80,  96, 112,
                                                   128, 160, 192, 224, 256, 320};

} // namespace sonvale::app
