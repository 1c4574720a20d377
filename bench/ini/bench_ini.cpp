// The INI engine on a generated file of 1,000 sections of 250 keys (about
// 5 MB): load, 250,000 reads in file order, one change, flush. Compared in
// the same run with QSettings in INI format (load, read the same keys,
// write) and with libinih (parse only).
#include "ini/TIniEngine.h"

#include <QCoreApplication>
#include <QSettings>
#include <QString>

#include <benchmark/benchmark.h>
#include <ini.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr int kSections = 1000;
constexpr int kKeys = 250;

struct Fixture {
    std::string folder;
    std::string source; // the generated file, never written by a benchmark
    std::vector<std::pair<std::string, std::string>> keys; // section, key in file order
    std::vector<QString> qtKeys;                           // "section/key"
    std::string bytes;

    Fixture() {
        folder = (std::filesystem::temp_directory_path() / "sonvale-bench-ini").string();
        std::filesystem::create_directories(folder);
        source = folder + "/source.ini";
        char line[64];
        for (int s = 0; s < kSections; ++s) {
            std::snprintf(line, sizeof line, "Section%04d", s);
            const std::string section = line;
            bytes += "[" + section + "]\r\n";
            for (int k = 0; k < kKeys; ++k) {
                std::snprintf(line, sizeof line, "Key%03d", k);
                const std::string key = line;
                std::snprintf(line, sizeof line, "v%03d.%04d.data", k, s);
                bytes += key + "=" + line + "\r\n";
                keys.emplace_back(section, key);
                qtKeys.push_back(QString::fromStdString(section + "/" + key));
            }
            bytes += "\r\n";
        }
        std::ofstream(source, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // A fresh copy for a benchmark that writes, with a new time stamp so no
    // reader can reuse what it parsed before.
    std::string copy(const std::string& name) const {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_Engine_Load(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        TIniEngine ini(f.source);
        benchmark::DoNotOptimize(ini.Sections().Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

void BM_Engine_Read250k(benchmark::State& state) {
    const Fixture& f = fixture();
    TIniEngine ini(f.source);
    for (auto _ : state) {
        size_t total = 0;
        for (const auto& [section, key] : f.keys)
            total += ini.ReadString(section, key, "").size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * f.keys.size()));
}

void BM_Engine_LoadReadChangeFlush(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = f.copy("engine.ini");
        state.ResumeTiming();
        TIniEngine ini(path);
        size_t total = 0;
        for (const auto& [section, key] : f.keys)
            total += ini.ReadString(section, key, "").size();
        ini.WriteString("Section0500", "Key125", "changed");
        ini.FlushFile();
        benchmark::DoNotOptimize(total);
    }
}

void BM_QSettings_Load(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = f.copy("qsettings-load.ini");
        state.ResumeTiming();
        QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
        benchmark::DoNotOptimize(settings.value(f.qtKeys.front()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

void BM_QSettings_LoadReadChangeWrite(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = f.copy("qsettings.ini");
        state.ResumeTiming();
        QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
        qsizetype total = 0;
        for (const QString& key : f.qtKeys)
            total += settings.value(key).toString().size();
        settings.setValue(QStringLiteral("Section0500/Key125"), QStringLiteral("changed"));
        settings.sync();
        benchmark::DoNotOptimize(total);
    }
}

int countKey(void* user, const char*, const char*, const char*) {
    ++*static_cast<size_t*>(user);
    return 1;
}

void BM_Inih_Parse(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        size_t count = 0;
        if (ini_parse(f.source.c_str(), countKey, &count) != 0)
            state.SkipWithError("libinih failed to parse");
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

BENCHMARK(BM_Engine_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Inih_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QSettings_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_Read250k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_LoadReadChangeFlush)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QSettings_LoadReadChangeWrite)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    fixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(fixture().folder);
    return 0;
}
