#include "app/Settings.h"

#include "app/AppPaths.h"
#include "ini/TIniEngineEx.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace sonvale::app {

svar::TOptions ReadOptions(TIniEngine& ini, const std::string& defaultSaveDir,
                           const svar::TOptions& current) {
    const char* s = kOptionsSection;
    const svar::TOptions d; // defaults of a first start
    svar::TOptions o = current;
    o.SaveFile = ini.ReadInteger(s, "SaveFile", d.SaveFile);
    o.SaveDir = withTrailingSlash(ini.ReadString(s, "SaveDir", withTrailingSlash(defaultSaveDir)));
    o.IsRecordNew = ini.ReadBool(s, "IsRecordNew", d.IsRecordNew);
    o.IsNoiseReduction = ini.ReadBool(s, "IsNoiseReduction", d.IsNoiseReduction);
    o.IsOurPlayer = ini.ReadBool(s, "IsOurPlayer", d.IsOurPlayer);
    o.IsStopRecording = ini.ReadBool(s, "IsStopRecording", d.IsStopRecording);
    o.StopRecordingSeconds = ini.ReadInteger(s, "StopRecordingSeconds", d.StopRecordingSeconds);
    o.WavMode = ini.ReadInteger(s, "WavMode", d.WavMode);
    o.WavBits = ini.ReadInteger(s, "WavBits", d.WavBits);
    o.WavRate = ini.ReadInteger(s, "WavRate", d.WavRate);
    o.MP3Mode = ini.ReadInteger(s, "MP3Mode", d.MP3Mode);
    o.MP3Bits = ini.ReadInteger(s, "MP3Bits", d.MP3Bits);
    o.MP3UseVBR = ini.ReadBool(s, "MP3UseVBR", d.MP3UseVBR);
    o.MP3VBRLevel = ini.ReadInteger(s, "MP3VBRLevel", d.MP3VBRLevel);
    o.MP3BitsMin = ini.ReadInteger(s, "MP3BitsMin", d.MP3BitsMin);
    o.MP3BitsMax = ini.ReadInteger(s, "MP3BitsMax", d.MP3BitsMax);
    o.Mixer = ini.ReadInteger(s, "Mixer", d.Mixer);
    o.MP3UseCopyrighted = ini.ReadBool(s, "MP3UseCopyrighted", d.MP3UseCopyrighted);
    o.MP3UseOriginal = ini.ReadBool(s, "MP3UseOriginal", d.MP3UseOriginal);
    o.MP3UseCRC = ini.ReadBool(s, "MP3UseCRC", d.MP3UseCRC);
    o.MP3UsePrivate = ini.ReadBool(s, "MP3UsePrivate", d.MP3UsePrivate);
    o.Skin = ini.ReadInteger(s, "Skin", d.Skin);
    return o;
}

void WriteOptions(TIniEngine& ini, const svar::TOptions& o) {
    const char* s = kOptionsSection;
    ini.WriteInteger(s, "SaveFile", o.SaveFile);
    ini.WriteString(s, "SaveDir", o.SaveDir);
    ini.WriteBool(s, "IsNoiseReduction", o.IsNoiseReduction);
    ini.WriteBool(s, "IsOurPlayer", o.IsOurPlayer);
    ini.WriteBool(s, "IsStopRecording", o.IsStopRecording);
    ini.WriteInteger(s, "StopRecordingSeconds", o.StopRecordingSeconds);
    ini.WriteInteger(s, "WavMode", o.WavMode);
    ini.WriteInteger(s, "WavBits", o.WavBits);
    ini.WriteInteger(s, "WavRate", o.WavRate);
    ini.WriteInteger(s, "MP3Mode", o.MP3Mode);
    ini.WriteInteger(s, "MP3Bits", o.MP3Bits);
    ini.WriteBool(s, "MP3UseVBR", o.MP3UseVBR);
    ini.WriteInteger(s, "MP3VBRLevel", o.MP3VBRLevel);
    ini.WriteInteger(s, "MP3BitsMin", o.MP3BitsMin);
    ini.WriteInteger(s, "MP3BitsMax", o.MP3BitsMax);
    ini.WriteBool(s, "MP3UseCopyrighted", o.MP3UseCopyrighted);
    ini.WriteBool(s, "MP3UseOriginal", o.MP3UseOriginal);
    ini.WriteBool(s, "MP3UseCRC", o.MP3UseCRC);
    ini.WriteBool(s, "MP3UsePrivate", o.MP3UsePrivate);
    ini.WriteInteger(s, "Mixer", o.Mixer);
    ini.WriteInteger(s, "Skin", o.Skin);
}

namespace {

// The highest n for which a key "RecordFile<n>" (n in plain decimal, as the
// list is written) is present; -1 when there is none.
int32_t highestRecordFileIndex(TIniEngine& ini) {
    std::vector<std::string> names;
    ini.ReadSection(kRecordFileSection, names);
    int32_t highest = -1;
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
        if (match && value <= INT32_MAX - 1)
            highest = std::max<int32_t>(highest, static_cast<int32_t>(value));
    }
    return highest;
}

} // namespace

std::vector<std::string> ReadRecordFileList(TIniEngine& ini, bool& dropped,
                                            const std::function<bool(const std::string&)>& exists) {
    std::vector<std::string> files;
    const int32_t count = ini.ReadInteger(kRecordFileSection, "RecordFileCount", 0);
    // A damaged count (say two billion) must not keep the program busy at
    // start: no entry can stand beyond the highest numbered key present, and
    // every position past it would be dropped anyway.
    const int32_t bound = std::min(count, highestRecordFileIndex(ini) + 1);
    if (count > bound && bound >= 0)
        dropped = true;
    for (int32_t i = 0; i < bound; ++i) {
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
