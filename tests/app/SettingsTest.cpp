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

TEST(Settings, FirstStartWithoutFileGivesEveryDefault) {
    ScratchDir dir;
    TIniEngineEx ini(dir.path() + "none.ini");
    const svar::TOptions o = ReadOptions(ini, "/music");
    EXPECT_EQ(o.SaveFile, 1);
    EXPECT_EQ(o.SaveDir, "/music/");
    EXPECT_TRUE(o.IsRecordNew);
    EXPECT_TRUE(o.IsNoiseReduction);
    EXPECT_TRUE(o.IsOurPlayer);
    EXPECT_FALSE(o.IsStopRecording);
    EXPECT_EQ(o.StopRecordingSeconds, 120);
    EXPECT_EQ(o.WavMode, 1);
    EXPECT_EQ(o.WavBits, 1);
    EXPECT_EQ(o.WavRate, 0);
    EXPECT_EQ(o.MP3Mode, 1);
    EXPECT_EQ(o.MP3Bits, 7);
    EXPECT_FALSE(o.MP3UseVBR);
    EXPECT_EQ(o.MP3VBRLevel, 5);
    EXPECT_EQ(o.MP3BitsMin, 7);
    EXPECT_EQ(o.MP3BitsMax, 7);
    EXPECT_EQ(o.Mixer, -1);
    EXPECT_FALSE(o.MP3UseCopyrighted || o.MP3UseOriginal || o.MP3UseCRC || o.MP3UsePrivate);
    EXPECT_EQ(o.Skin, 0);
    bool dropped = false;
    EXPECT_TRUE(ReadRecordFileList(ini, dropped, [](const std::string&) { return true; }).empty());
    EXPECT_FALSE(dropped);
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

TEST(Settings, OutOfRangeValuesAndAnEmptyFolderLoadAsDefaults) {
    ScratchDir dir;
    writeFile(dir.path() + "s.ini",
              "[Options]\r\nSaveDir=\r\nSaveFile=2\r\nWavMode=-1\r\nWavRate=3\r\nMP3Mode=4\r\n"
              "MP3Bits=13\r\nMP3VBRLevel=10\r\nMP3BitsMin=-1\r\nMP3BitsMax=99\r\n"
              "Skin=-9\r\nStopRecordingSeconds=-7\r\nMixer=-2\r\nWavBits=2\r\n");
    TIniEngineEx ini(dir.path() + "s.ini");
    svar::TOptions defaults;
    defaults.SaveDir = "/music/";
    EXPECT_EQ(ReadOptions(ini, "/music/"), defaults);

    // The ends of each range are kept.
    writeFile(dir.path() + "t.ini",
              "[Options]\r\nSaveFile=0\r\nWavRate=2\r\nMP3Mode=3\r\nMP3VBRLevel=9\r\n"
              "MP3BitsMin=0\r\nMP3BitsMax=12\r\nSkin=4\r\nStopRecordingSeconds=0\r\n"
              "Mixer=-1\r\n");
    TIniEngineEx edges(dir.path() + "t.ini");
    const svar::TOptions o = ReadOptions(edges, "/music/");
    EXPECT_EQ(o.SaveFile, 0);
    EXPECT_EQ(o.WavRate, 2);
    EXPECT_EQ(o.MP3Mode, 3);
    EXPECT_EQ(o.MP3VBRLevel, 9);
    EXPECT_EQ(o.MP3BitsMin, 0);
    EXPECT_EQ(o.MP3BitsMax, 12);
    EXPECT_EQ(o.Skin, 4);
    EXPECT_EQ(o.StopRecordingSeconds, 0);
    EXPECT_EQ(o.Mixer, -1);
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
    for (const char* key :
         {"SaveFile=", "IsNoiseReduction=", "IsOurPlayer=", "IsStopRecording=",
          "StopRecordingSeconds=", "WavMode=", "WavBits=", "WavRate=", "MP3Mode=", "MP3Bits=",
          "MP3VBRLevel=", "MP3BitsMin=", "MP3BitsMax=", "MP3UseCopyrighted=", "MP3UseOriginal=",
          "MP3UseCRC=", "MP3UsePrivate=", "Mixer=", "Skin="})
        EXPECT_NE(text.find(std::string("\n") + key), std::string::npos) << key;
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
