#include "app/Settings.h"

#include "AppTestSupport.h"
#include "ini/TIniEngineEx.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <variant>

using namespace sonvale::app;
using apptest::readFile;
using apptest::ScratchDir;
using apptest::writeFile;

TEST(Settings, AMissingFileAnEmptyFolderAndValuesOutsideTheirRangesLoadAsDefaults) {
    ScratchDir dir;
    svar::TOptions defaults;
    defaults.SaveDir = "/music/";
    TIniEngineEx none(dir.path() + "none.ini");
    EXPECT_EQ(ReadOptions(none, "/music"), defaults);
    bool dropped = false;
    EXPECT_TRUE(ReadRecordFileList(none, dropped, [](const std::string&) { return true; }).empty());
    EXPECT_FALSE(dropped);

    // Every number at either end of its range is kept, one step outside it
    // reads as its default (past INT32_MAX the number itself is refused).
    using IntField = int32_t svar::TOptions::*;
    const struct {
        const char* what;
        int64_t (*value)(const OptionEntry&);
        bool kept;
    } passes[] = {
        {"lowest", [](const OptionEntry& e) { return int64_t(e.minValue); }, true},
        {"highest", [](const OptionEntry& e) { return int64_t(e.maxValue); }, true},
        {"below", [](const OptionEntry& e) { return int64_t(e.minValue) - 1; }, false},
        {"above", [](const OptionEntry& e) { return int64_t(e.maxValue) + 1; }, false},
    };
    for (const auto& pass : passes) {
        const std::string file = dir.path() + pass.what + ".ini";
        std::string text = "[Options]\r\nSaveDir=\r\n";
        for (const OptionEntry& e : OptionTable())
            if (std::holds_alternative<IntField>(e.field))
                text += std::string(e.key) + "=" + std::to_string(pass.value(e)) + "\r\n";
        writeFile(file, text);
        TIniEngineEx ini(file);
        const svar::TOptions o = ReadOptions(ini, "/music/");
        EXPECT_EQ(o.SaveDir, "/music/");
        for (const OptionEntry& e : OptionTable())
            if (const IntField* field = std::get_if<IntField>(&e.field)) {
                EXPECT_EQ(o.**field, pass.kept ? int32_t(pass.value(e)) : e.defaultValue)
                    << pass.what << " " << e.key;
            }
    }
}

TEST(Settings, StoredValuesAreReadAndSaveDirGetsATrailingSlash) {
    ScratchDir dir;
    writeFile(dir.path() + "s.ini", "[Options]\r\nSaveDir=/rec\r\nSaveFile=0\r\nIsRecordNew=0\r\n"
                                    "MP3Bits=12\r\nIsStopRecording=1\r\nSkin=3\r\nMixer=2\r\n");
    TIniEngineEx ini(dir.path() + "s.ini");
    const svar::TOptions o = ReadOptions(ini, "/music/");
    EXPECT_EQ(o.SaveDir, "/rec/");
    EXPECT_EQ(o.SaveFile, 0);
    EXPECT_FALSE(o.IsRecordNew);
    EXPECT_EQ(o.MP3Bits, 12);
    EXPECT_TRUE(o.IsStopRecording);
    EXPECT_EQ(o.Skin, 3);
    EXPECT_EQ(o.Mixer, 2);
}

TEST(Settings, MissingRecordingsAreDroppedAndFlagged) {
    ScratchDir dir;
    writeFile(dir.path() + "s.ini", "[RecordFile]\r\nRecordFileCount=3\r\nRecordFile0=/a.wav\r\n"
                                    "RecordFile1=/b.wav\r\nRecordFile2=/c.mp3\r\n");
    TIniEngineEx ini(dir.path() + "s.ini");
    bool dropped = false;
    const auto files =
        ReadRecordFileList(ini, dropped, [](const std::string& p) { return p != "/b.wav"; });
    EXPECT_EQ(files, (std::vector<std::string>{"/a.wav", "/c.mp3"}));
    EXPECT_TRUE(dropped);
}

TEST(Settings, OptionsWriteLeavesIsRecordNewAndListAlone) {
    ScratchDir dir;
    const std::string file = dir.path() + "s.ini";
    writeFile(file, "[Options]\r\nIsRecordNew=0\r\n");
    {
        TIniEngineEx ini(file);
        svar::TOptions o;
        o.SaveDir = "/x/";
        o.IsRecordNew = true;
        o.MP3UseVBR = true;
        WriteOptions(ini, o);
        ini.FlushFile();
    }
    const std::string text = readFile(file);
    EXPECT_NE(text.find("IsRecordNew=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("SaveDir=/x/\r\n"), std::string::npos);
    EXPECT_NE(text.find("MP3UseVBR=1\r\n"), std::string::npos);
    EXPECT_EQ(text.find("RecordFile"), std::string::npos);
    // Options left at their defaults are written too.
    for (const OptionEntry& e : OptionTable())
        if (e.dialogWrites) {
            EXPECT_NE(text.find("\n" + std::string(e.key) + "="), std::string::npos) << e.key;
        }
}

TEST(Settings, ListWriteBoundsAnOldLongerListByItsCount) {
    ScratchDir dir;
    const std::string file = dir.path() + "s.ini";
    writeFile(file, "[RecordFile]\r\nRecordFileCount=3\r\nRecordFile0=/a\r\nRecordFile1=/b\r\n"
                    "RecordFile2=/c\r\n");
    {
        TIniEngineEx ini(file);
        WriteRecordFileList(ini, false, {"/z"});
        ini.FlushFile();
    }
    TIniEngineEx ini(file);
    bool dropped = false;
    EXPECT_EQ(ReadRecordFileList(ini, dropped, [](const std::string&) { return true; }),
              std::vector<std::string>{"/z"});
    EXPECT_FALSE(ini.ReadBool("Options", "IsRecordNew", true));
}

TEST(Settings, VersionTextComesFromMsgIniOrDefaults) {
    ScratchDir dir;
    EXPECT_EQ(ReadVersionText(dir.path() + "msg.ini"), "Version 2.0");
    writeFile(dir.path() + "msg.ini", "[Version]\r\nVersion=Build 7 beta\r\n");
    EXPECT_EQ(ReadVersionText(dir.path() + "msg.ini"), "Build 7 beta");
    // A folder where the file should be cannot be read: still the default.
    EXPECT_EQ(ReadVersionText(dir.path()), "Version 2.0");
}

TEST(Settings, SecondsParseOnlyWholeNumbersInRange) {
    int32_t v = -7;
    EXPECT_TRUE(ParseSeconds("0", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(ParseSeconds(" 45 ", v));
    EXPECT_EQ(v, 45);
    EXPECT_TRUE(ParseSeconds("-3", v));
    EXPECT_EQ(v, -3);
    EXPECT_TRUE(ParseSeconds("2147483647", v));
    EXPECT_TRUE(ParseSeconds("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    v = 9;
    for (const char* bad :
         {"", " ", "-", "+", "12a", "1.5", "0x10", "2147483648", "99999999999999"}) {
        EXPECT_FALSE(ParseSeconds(bad, v)) << bad;
        EXPECT_EQ(v, 9) << bad;
    }
}

TEST(Settings, HugeRecordCountDoesNotStallTheStart) {
    ScratchDir dir;
    writeFile(dir.path() + "s.ini",
              "[RecordFile]\r\nRecordFileCount=2147483647\r\nRecordFile0=/a.wav\r\n"
              "RecordFile1=/b.wav\r\nrecordfile7=/h.wav\r\nRecordFile09=/x.wav\r\n");
    TIniEngineEx ini(dir.path() + "s.ini");
    bool dropped = false;
    const auto files = ReadRecordFileList(ini, dropped, [](const std::string&) { return true; });
    EXPECT_EQ(files, (std::vector<std::string>{"/a.wav", "/b.wav", "/h.wav"}));
    EXPECT_TRUE(dropped);

    // A count that matches the keys is read exactly, nothing flagged.
    writeFile(dir.path() + "t.ini",
              "[RecordFile]\r\nRecordFileCount=2\r\nRecordFile0=/a.wav\r\nRecordFile1=/b.wav\r\n");
    TIniEngineEx exact(dir.path() + "t.ini");
    dropped = false;
    EXPECT_EQ(ReadRecordFileList(exact, dropped, [](const std::string&) { return true; }).size(),
              2u);
    EXPECT_FALSE(dropped);

    // One stray key just below a count of two billion costs nothing either.
    writeFile(dir.path() + "u.ini", "[RecordFile]\r\nRecordFileCount=2000000000\r\n"
                                    "RecordFile1999999999=/z.wav\r\nRecordFile0=/a.wav\r\n"
                                    "RecordFile2000000000=/past.wav\r\n");
    TIniEngineEx stray(dir.path() + "u.ini");
    dropped = false;
    EXPECT_EQ(ReadRecordFileList(stray, dropped, [](const std::string&) { return true; }),
              (std::vector<std::string>{"/a.wav", "/z.wav"}));
    EXPECT_TRUE(dropped);
}

TEST(Settings, EveryOptionTheDialogWritesComesBackAndANewFileKeepsItsKeyOrder) {
    ScratchDir dir;
    const std::string file = dir.path() + "s.ini";
    svar::TOptions written;
    for (const OptionEntry& e : OptionTable())
        std::visit(
            [&](auto field) {
                using T = std::remove_cvref_t<decltype(written.*field)>;
                if constexpr (std::is_same_v<T, std::string>)
                    written.*field = "/elsewhere/";
                else if constexpr (std::is_same_v<T, bool>)
                    written.*field = e.defaultValue == 0;
                else // another value of its range
                    written.*field = e.defaultValue == e.maxValue ? e.minValue : e.maxValue;
            },
            e.field);
    {
        TIniEngineEx ini(file);
        WriteOptions(ini, written);
        ini.FlushFile();
    }
    TIniEngineEx ini(file);
    svar::TOptions expected = written;
    expected.IsRecordNew = svar::TOptions{}.IsRecordNew; // the dialog never writes it
    EXPECT_EQ(ReadOptions(ini, "/music/"), expected);

    // The keys of a new file, in order: the format other copies of the
    // program read.
    std::string keys;
    const std::string text = readFile(file);
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        if (size_t eq = text.find('=', at); eq != std::string::npos)
            keys += text.substr(at + 2, eq - at - 2) + " ";
    EXPECT_EQ(keys, "SaveFile SaveDir IsNoiseReduction IsOurPlayer IsStopRecording "
                    "StopRecordingSeconds WavMode WavBits WavRate MP3Mode MP3Bits MP3UseVBR "
                    "MP3VBRLevel MP3BitsMin MP3BitsMax MP3UseCopyrighted MP3UseOriginal MP3UseCRC "
                    "MP3UsePrivate Mixer Skin ");
}
