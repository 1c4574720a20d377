#include "app/Settings.h"

#include "app/AppPaths.h"
#include "app/ChoiceLists.h"
#include "ini/TIniEngineEx.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <type_traits>

namespace sonvale::app {

namespace {

// The highest index of a list of n items.
constexpr int32_t last(std::size_t n) {
    return static_cast<int32_t>(n) - 1;
}

} // namespace

const std::vector<OptionEntry>& OptionTable() {
    using O = svar::TOptions;
    // Seconds: 0 stops at the first tick; below that nothing is meant.
    // Mixer: -1 is "not chosen yet"; an index past the devices takes the
    // first device when the panel is built.
    static const std::vector<OptionEntry> table = {
        {"SaveFile", &O::SaveFile, 1, true, "cbxSaveFile", 0, last(kSaveFileItems.size())},
        {"SaveDir", &O::SaveDir, 0, true, "edtSaveDir"},
        {"IsRecordNew", &O::IsRecordNew, 1, false, nullptr},
        {"IsNoiseReduction", &O::IsNoiseReduction, 1, true, "chkNoiseReduction"},
        {"IsOurPlayer", &O::IsOurPlayer, 1, true, "chkOurPlayer"},
        {"IsStopRecording", &O::IsStopRecording, 0, true, "chkStopRecording"},
        {"StopRecordingSeconds", &O::StopRecordingSeconds, 120, true, "edtStopRecording", 0,
         INT32_MAX},
        {"WavMode", &O::WavMode, 1, true, "cbxWavMode", 0, last(kWavModeItems.size())},
        {"WavBits", &O::WavBits, 1, true, "cbxWavBits", 0, last(kWavBitsItems.size())},
        {"WavRate", &O::WavRate, 0, true, "cbxWavRate", 0, last(kWavRateItems.size())},
        {"MP3Mode", &O::MP3Mode, 1, true, "cbxMP3Mode", 0, last(kMP3ModeItems.size())},
        {"MP3Bits", &O::MP3Bits, 7, true, "cbxMP3Bits", 0, last(kBitRateItems.size())},
        {"MP3UseVBR", &O::MP3UseVBR, 0, true, "chkMP3UseVBR"},
        {"MP3VBRLevel", &O::MP3VBRLevel, 5, true, "cbxMP3VBRLevel", 0, last(kVBRLevelItems.size())},
        {"MP3BitsMin", &O::MP3BitsMin, 7, true, "cbxMP3BitsMin", 0, last(kBitRateItems.size())},
        {"MP3BitsMax", &O::MP3BitsMax, 7, true, "cbxMP3BitsMax", 0, last(kBitRateItems.size())},
        {"MP3UseCopyrighted", &O::MP3UseCopyrighted, 0, true, "chkMP3UseCopyrighted"},
        {"MP3UseOriginal", &O::MP3UseOriginal, 0, true, "chkMP3UseOriginal"},
        {"MP3UseCRC", &O::MP3UseCRC, 0, true, "chkMP3UseCRC"},
        {"MP3UsePrivate", &O::MP3UsePrivate, 0, true, "chkMP3UsePrivate"},
        {"Mixer", &O::Mixer, -1, true, "cbxMixer", -1, INT32_MAX},
        {"Skin", &O::Skin, 0, true, "cbxSkin", 0, last(kSkinItems.size())},
    };
    return table;
}

void ApplyOptionDefaults(svar::TOptions& o) {
    for (const OptionEntry& e : OptionTable())
        std::visit(
            [&](auto field) {
                using T = std::remove_cvref_t<decltype(o.*field)>;
                if constexpr (std::is_same_v<T, std::string>)
                    (o.*field).clear();
                else
                    o.*field = static_cast<T>(e.defaultValue);
            },
            e.field);
}

svar::TOptions ReadOptions(TIniEngine& ini, const std::string& defaultSaveDir,
                           const svar::TOptions& current) {
    svar::TOptions o = current;
    for (const OptionEntry& e : OptionTable())
        std::visit(
            [&](auto field) {
                using T = std::remove_cvref_t<decltype(o.*field)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    // An empty folder would put recordings wherever the
                    // program happens to be started.
                    const std::string dir = ini.ReadString(kOptionsSection, e.key, "");
                    o.*field = withTrailingSlash(dir.empty() ? defaultSaveDir : dir);
                } else if constexpr (std::is_same_v<T, bool>) {
                    o.*field = ini.ReadBool(kOptionsSection, e.key, e.defaultValue != 0);
                } else {
                    const int32_t v = ini.ReadInteger(kOptionsSection, e.key, e.defaultValue);
                    o.*field = v < e.minValue || v > e.maxValue ? e.defaultValue : v;
                }
            },
            e.field);
    return o;
}

void WriteOptions(TIniEngine& ini, const svar::TOptions& o) {
    for (const OptionEntry& e : OptionTable()) {
        if (!e.dialogWrites)
            continue;
        std::visit(
            [&](auto field) {
                using T = std::remove_cvref_t<decltype(o.*field)>;
                if constexpr (std::is_same_v<T, std::string>)
                    ini.WriteString(kOptionsSection, e.key, o.*field);
                else if constexpr (std::is_same_v<T, bool>)
                    ini.WriteBool(kOptionsSection, e.key, o.*field);
                else
                    ini.WriteInteger(kOptionsSection, e.key, o.*field);
            },
            e.field);
    }
}

namespace {

// The n of every key "RecordFile<n>" present (n in plain decimal, as the
// list is written) below `count`, ascending and each once.
std::vector<int32_t> presentRecordFileIndices(TIniEngine& ini, int32_t count) {
    std::vector<std::string> names;
    ini.ReadSection(kRecordFileSection, names);
    std::vector<int32_t> present;
    const std::string prefix = "recordfile";
    for (const auto& name : names) {
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 10)
            continue;
        bool match = true;
        for (std::size_t i = 0; i < prefix.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(name[i])) == prefix[i];
        const std::string digits = name.substr(prefix.size());
        if (!match || (digits.size() > 1 && digits[0] == '0'))
            continue;
        long long value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') {
                match = false;
                break;
            }
            value = value * 10 + (c - '0');
        }
        if (match && value < count)
            present.push_back(static_cast<int32_t>(value));
    }
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());
    return present;
}

} // namespace

std::vector<std::string> ReadRecordFileList(TIniEngine& ini, bool& dropped,
                                            const std::function<bool(const std::string&)>& exists) {
    std::vector<std::string> files;
    const int32_t count = ini.ReadInteger(kRecordFileSection, "RecordFileCount", 0);
    // A damaged count (say two billion, with a stray key near it) must not
    // keep the program busy at start: only the keys present are visited, and
    // every position without one is dropped, as an empty entry would be.
    const std::vector<int32_t> present = presentRecordFileIndices(ini, count);
    if (count > 0 && present.size() < static_cast<std::size_t>(count))
        dropped = true;
    for (const int32_t i : present) {
        const std::string path =
            ini.ReadString(kRecordFileSection, "RecordFile" + std::to_string(i), "");
        if (!path.empty() && exists(path))
            files.push_back(path);
        else
            dropped = true;
    }
    return files;
}

void WriteRecordFileList(TIniEngine& ini, bool isRecordNew, const std::vector<std::string>& files) {
    ini.WriteBool(kOptionsSection, "IsRecordNew", isRecordNew);
    ini.WriteInteger(kRecordFileSection, "RecordFileCount", static_cast<int32_t>(files.size()));
    for (std::size_t i = 0; i < files.size(); ++i)
        ini.WriteString(kRecordFileSection, "RecordFile" + std::to_string(i), files[i]);
}

std::string ReadVersionText(const std::string& msgIniFile) {
    try {
        TIniEngineEx ini(msgIniFile);
        return ini.ReadString("Version", "Version", kDefaultVersionText);
    } catch (...) {
        return kDefaultVersionText;
    }
}

bool ParseSeconds(const std::string& text, int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    std::size_t end = text.size();
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == end)
        return false;
    long long v = 0;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

} // namespace sonvale::app
