// Loads arbitrary bytes as an INI file, runs every read on what was loaded,
// then a few writes and a flush, and checks that a written image reads back
// as the same image. The file lives in a folder on a RAM-backed file system
// (/dev/shm unless TMPDIR names another), made once and removed at exit.
#include "ini/TIniEngineEx.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string scratchFolder;

void removeScratch() {
    std::error_code ec;
    std::filesystem::remove_all(scratchFolder, ec);
}

const std::string& scratchFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        const bool shm = ::access("/dev/shm", W_OK) == 0;
        std::string pattern = std::string(tmp && *tmp ? tmp
                                          : shm       ? "/dev/shm"
                                                      : "/tmp") +
                              "/sonvale-ini-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        scratchFolder = pattern;
        std::atexit(removeScratch);
        return pattern + "/fuzz.ini";
    }();
    return path;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
}

TStrings readAll(TIniEngine& ini) {
    TStrings all;
    ini.ReadAll(all);
    return all;
}

void readEverything(TIniEngineEx& ini) {
    TStrings sections;
    ini.ReadSections(sections);
    for (const std::string& section : sections) {
        ini.SectionExists(section);
        TStrings values;
        ini.ReadSectionValues(section, values);
        TStrings keys;
        ini.ReadSection(section, keys);
        for (const std::string& key : keys) {
            ini.ValueExists(section, key);
            ini.ReadString(section, key, "");
            ini.ReadInteger(section, key, 0);
            ini.ReadBool(section, key, false);
            ini.ReadFloat(section, key, 0.0);
            ini.ReadDate(section, key, TDate{});
            ini.ReadTime(section, key, TTime{});
            ini.ReadDateTime(section, key, TDateTime{});
            uint8_t buffer[64];
            ini.ReadBinaryData(section, key, buffer, sizeof buffer);
            try {
                ini.ReadHexInteger(section, key, 0);
            } catch (const EConvertError&) {
            }
            TIniFont font;
            try {
                ini.ReadFont(section, key, font);
            } catch (const EListError&) {
            }
        }
        // Numbered lists with a count the file sets: only small ones, a huge
        // count means a huge list by design.
        int32_t count = ini.ReadInteger(section, "Count", 0);
        if (count >= 0 && count <= 64) {
            TStrings list;
            ini.ReadNumberedList(section, list, "", "", 0, false);
        }
    }
    TStrings all = readAll(ini);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchFile();
    writeFile(path, data, size);
    const uint8_t options = size > 0 ? data[0] : 0;
    const bool idempotentOptions = (options & 0x18) == 0;

    TStrings loaded;
    {
        TIniEngineEx ini("");
        ini.setDropCommentLines(options & 0x01);
        ini.setDropLinesWithoutEquals(options & 0x02);
        ini.setTrimBlanksAtEquals(options & 0x04);
        ini.setStripValueQuotes(options & 0x08);
        ini.setTrimTrailingBlanks(options & 0x10);
        ini.setTextBufferSize((options & 0x20) ? 7 : 28672);
        ini.SetFileName(path);
        readEverything(ini);
        loaded = readAll(ini);

        // Writing the image back and loading it again gives the same image.
        ini.setModified(true);
        ini.FlushFile();
        if (idempotentOptions) {
            TIniEngineEx again(path);
            if (readAll(again) != loaded)
                std::abort();
        }

        // Changes on top of the loaded image.
        TStrings sections;
        ini.ReadSections(sections);
        if (!sections.empty()) {
            const std::string& first = sections.front();
            TStrings keys;
            ini.ReadSection(first, keys);
            if (!keys.empty()) {
                ini.RenameKey(first, keys.front(), "Renamed");
                ini.WriteString(first, keys.back(), "value");
            }
            ini.WriteNumberedList(first, TStrings{"a", "b"}, "Item", 1, true);
            ini.DeleteKey(first, "Item1");
            ini.WriteHexInteger(first, "Hex", -2);
            TIniFont font;
            font.Name = "Mono, \"quoted\"";
            ini.WriteFont(first, "Font", font);
            TIniFont back;
            ini.ReadFont(first, "Font", back);
            if (!(back == font))
                std::abort();
            if (ini.ReadHexInteger(first, "Hex", 0) != -2)
                std::abort();
            ini.EraseSection(sections.back());
        }
        ini.WriteString("Fuzz", "Key", "Value");
        ini.FlushFile();
    }
    return 0;
}
