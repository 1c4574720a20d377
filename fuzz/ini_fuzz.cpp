// Loads arbitrary bytes as an INI file, runs every read on what was loaded,
// then a few writes and a flush, and checks that a written image reads back
// as the same image. The file lives in a folder on a RAM-backed file system
// (/dev/shm unless TMPDIR names another), made once per run and removed at
// exit; a run that ended without exit (a crash, an interrupt) leaves its
// folder, which the next run removes.
#include "fuzz/FuzzDefaults.h"
#include "ini/TIniEngineEx.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <signal.h>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kFolderPrefix = "sonvale-ini-fuzz-";
std::string scratchFolder;
std::string scratchPath;

void removeScratch() {
    std::error_code ec;
    std::filesystem::remove_all(scratchFolder, ec);
}

// Folders of earlier runs whose process is gone.
void removeStaleFolders(const std::string& base) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kFolderPrefix, 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + std::strlen(kFolderPrefix), nullptr, 10);
        if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(entry.path(), ec);
    }
}

void makeScratch() {
    const char* tmp = std::getenv("TMPDIR");
    const bool shm = ::access("/dev/shm", W_OK) == 0;
    const std::string base = tmp && *tmp ? tmp : shm ? "/dev/shm" : "/tmp";
    removeStaleFolders(base);
    scratchFolder = base + "/" + kFolderPrefix + std::to_string(::getpid());
    std::error_code ec;
    std::filesystem::remove_all(scratchFolder, ec);
    if (!std::filesystem::create_directory(scratchFolder, ec))
        std::abort();
    std::atexit(removeScratch);
    scratchPath = scratchFolder + "/fuzz.ini";
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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz_defaults::prepend(argc, argv, {"-max_len=4096"});
    makeScratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchPath;
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
