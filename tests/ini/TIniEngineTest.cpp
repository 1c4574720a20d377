#include "ini/TIniEngine.h"

#include "IniTestFiles.h"
#include "ini/iniText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

class IniEngine : public ::testing::Test {
protected:
    TempFolder folder;
    std::string path = folder.file("test.ini");

    // Loads bytes through an engine with the given options applied first.
    std::unique_ptr<TIniEngine> load(const std::string& bytes,
                                     const std::function<void(TIniEngine&)>& options = {}) {
        writeBytes(path, bytes);
        auto ini = std::make_unique<TIniEngine>("");
        if (options)
            options(*ini);
        ini->SetFileName(path);
        return ini;
    }
};

TStrings sectionValues(TIniEngine& ini, const std::string& section) {
    TStrings lines;
    ini.ReadSectionValues(section, lines);
    return lines;
}

TStrings sectionNames(TIniEngine& ini) {
    TStrings names;
    ini.ReadSections(names);
    return names;
}

// --- reading the file -------------------------------------------------------------

TEST_F(IniEngine, LineEndsAreCrCrLfOrLoneLfAndCtrlZEndsTheData) {
    auto ini = load("[S]\r\na=1\nb=2\rc=3\r\n\r\nd=4\n\n\re=5\x1a[T]\r\nf=6\r\n");
    EXPECT_EQ(ini->ReadString("S", "a", "?"), "1"); // a lone LF ends a line
    EXPECT_EQ(ini->ReadString("S", "b", "?"), "2"); // so does a lone CR
    EXPECT_EQ(ini->ReadString("S", "c", "?"), "3");
    EXPECT_EQ(ini->ReadString("S", "e", "?"), "5"); // the line before Ctrl-Z counts
    EXPECT_FALSE(ini->SectionExists("T"));          // nothing after Ctrl-Z
    EXPECT_EQ(sectionValues(*ini, "S"), (TStrings{"a=1", "b=2", "c=3", "d=4", "e=5"}));

    // A settings file written by hand on Linux, and the same file written
    // back, which ends its lines with CR LF and reads the same.
    writeBytes(path, "[Options]\nSaveDir=/home/u/rec/\nSkin=2\n\n[RecordFile]\nCount=1\n");
    {
        TIniEngine hand(path);
        EXPECT_EQ(hand.ReadString("Options", "SaveDir", "?"), "/home/u/rec/");
        EXPECT_EQ(hand.ReadInteger("Options", "Skin", 0), 2);
        EXPECT_EQ(hand.ReadInteger("RecordFile", "Count", 0), 1);
        hand.setModified(true);
    }
    EXPECT_EQ(readBytes(path),
              "[Options]\r\nSaveDir=/home/u/rec/\r\nSkin=2\r\n\r\n[RecordFile]\r\nCount=1\r\n\r\n");
}

TEST_F(IniEngine, EveryBufferSizeSplitsLinesTheSameWay) {
    const std::string bytes =
        "junk\r\n[A]\r\n\r\nk=v\r\r\nx=\n\r\n[B]\rlong=" + std::string(40, 'z') +
        "\r\n\n[C]\nlast=1\x1a" + "tail";
    writeBytes(path, bytes);
    TStrings expected;
    {
        TIniEngine ini(path);
        ini.ReadAll(expected);
    }
    EXPECT_EQ(expected, (TStrings{"[A]", "k=v", "x=", "", "[B]", "long=" + std::string(40, 'z'), "",
                                  "[C]", "last=1", ""}));
    for (int size = -1; size <= 17; ++size) {
        TIniEngine ini("");
        ini.setTextBufferSize(size);
        ini.SetFileName(path);
        TStrings all;
        ini.ReadAll(all);
        EXPECT_EQ(all, expected) << "buffer size " << size;
    }
}

TEST_F(IniEngine, HeadersAreTestedOnTheRawLine) {
    auto ini = load("before=1\r\n[S]\r\nx=1\r\n[T] \r\n[]\r\ne=3\r\n[[a]=b]\r\nf=4\r\n [U]\r\n");
    EXPECT_EQ(sectionNames(*ini), (TStrings{"S", "", "[a]=b"}));
    EXPECT_EQ(sectionValues(*ini, "S"), (TStrings{"x=1", "[T] "}));
    EXPECT_EQ(ini->ReadString("", "e", "?"), "3");
    EXPECT_EQ(ini->ReadString("[a]=b", "f", "?"), "4");
    EXPECT_EQ(sectionValues(*ini, "[a]=b"), (TStrings{"f=4", " [U]"}));
    EXPECT_EQ(ini->ReadString("S", "before", "?"), "?");
}

TEST_F(IniEngine, NamesAndValuesAreNotTrimmedByDefault) {
    auto ini = load("[S]\r\nkey = value \r\n;comment\r\n=nameless\r\nplain text\r\n");
    EXPECT_EQ(ini->ReadString("S", "key", "def"), "def");
    EXPECT_EQ(ini->ReadString("S", "key ", "def"), " value ");
    TStrings keys;
    ini->ReadSection("S", keys);
    EXPECT_EQ(keys, (TStrings{"key "})); // ";comment" has no "=", "=nameless" no name
    EXPECT_TRUE(ini->ValueExists("S", "KEY "));
    EXPECT_FALSE(ini->ValueExists("S", "plain text"));
}

TEST_F(IniEngine, LookupsIgnoreLetterCaseAndFindTheFirstKey) {
    auto ini = load("[Options]\r\nSaveFile=1\r\nsavefile=2\r\n[Other]\r\nSaveFile=3\r\n");
    EXPECT_EQ(ini->ReadString("OPTIONS", "SAVEFILE", ""), "1");
    EXPECT_EQ(ini->ReadString("other", "savefile", ""), "3");
    EXPECT_EQ(ini->CurrentSectionIndex(), 1);
    EXPECT_EQ(ini->ReadString("options", "SaveFile", ""), "1"); // wraps around
    EXPECT_EQ(ini->CurrentSectionIndex(), 0);
    EXPECT_EQ(ini->ReadString("missing", "SaveFile", "d"), "d");
    EXPECT_EQ(ini->CurrentSectionIndex(), 0);
    EXPECT_FALSE(ini->SectionExists("missing")); // reads never create sections
}

TEST_F(IniEngine, LargeSectionsFindTheSameKeysAsSmallOnes) {
    // Large sections use a key index; it must agree with a plain scan
    // through every kind of change.
    std::string bytes = "[Big]\r\n";
    for (int i = 0; i < 40; ++i)
        bytes += "Key" + std::to_string(i % 30) + "=v" + std::to_string(i) + "\r\n";
    auto ini = load(bytes);
    EXPECT_EQ(ini->ReadString("big", "key5", ""), "v5");
    EXPECT_EQ(ini->ReadString("big", "key29", ""), "v29");
    ini->DeleteKey("Big", "KEY5"); // the second Key5 line becomes the first
    EXPECT_EQ(ini->ReadString("big", "key5", ""), "v35");
    ini->WriteString("Big", "key5", "new"); // replaced in place, key kept
    EXPECT_EQ(ini->ReadString("big", "Key5", ""), "new");
    ini->WriteString("Big", "Fresh", "f");
    EXPECT_EQ(ini->ReadString("big", "fresh", ""), "f");
    ini->DeleteKey("Big", "Key0");
    ini->DeleteKey("Big", "Key0");
    EXPECT_EQ(ini->ReadString("big", "key0", "gone"), "gone");
    EXPECT_EQ(ini->ReadString("big", "key1", ""), "v1");
}

// --- duplicate sections and load options ------------------------------------------

TEST_F(IniEngine, DuplicateSectionsKeepTheFirstAndLoadStaysUnmodified) {
    auto ini = load("[A]\r\nk=1\r\n[B]\r\nb=1\r\n[a]\r\nk=2\r\nonly=2\r\n[A]\r\nk=3\r\n");
    EXPECT_EQ(sectionNames(*ini), (TStrings{"A", "B"}));
    EXPECT_EQ(ini->ReadString("A", "k", ""), "1");
    EXPECT_EQ(ini->ReadString("A", "only", "lost"), "lost");
    EXPECT_FALSE(ini->Modified());
    ini->WriteString("B", "b", "2");
    ini->FlushFile();
    EXPECT_EQ(readBytes(path), "[A]\r\nk=1\r\n\r\n[B]\r\nb=2\r\n\r\n");
}

TEST_F(IniEngine, DuplicateHandlerChoosesAndMayMergeLines) {
    std::vector<std::string> calls;
    auto ini = load("[A]\r\nk=1\r\n[x]\r\n[a]\r\nk=2\r\n[A]\r\nk=3\r\n", [&](TIniEngine& e) {
        e.OnDuplicateSection = [&](const std::string& name, TIniLines& first, TIniLines& second) {
            calls.push_back(name + ":" + first.front() + "/" + second.front());
            // Keep the later one, carrying the earlier lines along.
            second.insert(second.end(), first.begin(), first.end());
            return false;
        };
    });
    EXPECT_EQ(calls, (std::vector<std::string>{"A:k=1/k=2", "a:k=2/k=3"}));
    EXPECT_EQ(sectionNames(*ini), (TStrings{"x", "A"}));
    EXPECT_EQ(sectionValues(*ini, "a"), (TStrings{"k=3", "k=2", "k=1"}));
}

TEST_F(IniEngine, LoadOptionsShapeTheImage) {
    const std::string bytes = "[S]\r\n;note=1\r\nfree text\r\nname \t= \t\"quoted\"\r\n"
                              "q='x\"\r\nsingle=\"\r\n =lead\r\ntrail=v \t\r\n";
    auto plain = load(bytes);
    EXPECT_EQ(sectionValues(*plain, "S").size(), 7u);

    auto comments = load(bytes, [](TIniEngine& e) { e.setDropCommentLines(true); });
    EXPECT_FALSE(comments->ValueExists("S", ";note"));
    EXPECT_EQ(sectionValues(*comments, "S").size(), 6u);

    auto noEquals = load(bytes, [](TIniEngine& e) { e.setDropLinesWithoutEquals(true); });
    EXPECT_EQ(sectionValues(*noEquals, "S").size(), 6u);

    auto trimmed = load(bytes, [](TIniEngine& e) { e.setTrimBlanksAtEquals(true); });
    EXPECT_EQ(trimmed->ReadString("S", "name", ""), "\"quoted\"");
    EXPECT_EQ(sectionValues(*trimmed, "S")[5], "=lead"); // a leading "=" is left alone

    auto stripped = load(bytes, [](TIniEngine& e) {
        e.setTrimBlanksAtEquals(true);
        e.setStripValueQuotes(true);
    });
    EXPECT_EQ(stripped->ReadString("S", "name", ""), "quoted");
    EXPECT_EQ(stripped->ReadString("S", "q", ""), "'x\"");    // quotes must match
    EXPECT_EQ(stripped->ReadString("S", "single", ""), "\""); // needs two characters

    auto trailing = load(bytes, [](TIniEngine& e) { e.setTrimTrailingBlanks(true); });
    EXPECT_EQ(trailing->ReadString("S", "trail", ""), "v");
}

// --- typed reads --------------------------------------------------------------------

TEST_F(IniEngine, ReadIntegerAcceptsDecimalAndHexOnly) {
    auto ini = load("[N]\r\nempty=\r\nhex=0x10\r\nHEX=0X1f\r\ndollar=$10\r\nx=x10\r\n"
                    "lead= 7\r\ntrail=7 \r\nneg=-12\r\nplus=+5\r\nmax=2147483647\r\n"
                    "over=2147483648\r\nmin=-2147483648\r\nall=$FFFFFFFF\r\nbig=$100000000\r\n"
                    "word=true\r\ntwo=2\r\nzero=0\r\nsignhex=-0x10\r\ndollaronly=$\r\n");
    EXPECT_EQ(ini->ReadInteger("N", "empty", 1), 1);
    EXPECT_EQ(ini->ReadInteger("N", "hex", 1), 16);
    EXPECT_EQ(ini->ReadInteger("N", "HEX2", 1), 1);
    EXPECT_EQ(ini->ReadInteger("N", "dollar", 1), 16);
    EXPECT_EQ(ini->ReadInteger("N", "x", 1), 16);
    EXPECT_EQ(ini->ReadInteger("N", "lead", 1), 7);
    EXPECT_EQ(ini->ReadInteger("N", "trail", 1), 1);
    EXPECT_EQ(ini->ReadInteger("N", "neg", 1), -12);
    EXPECT_EQ(ini->ReadInteger("N", "plus", 1), 5);
    EXPECT_EQ(ini->ReadInteger("N", "max", 1), 2147483647);
    EXPECT_EQ(ini->ReadInteger("N", "over", 1), 1);
    EXPECT_EQ(ini->ReadInteger("N", "min", 1), INT32_MIN);
    EXPECT_EQ(ini->ReadInteger("N", "all", 1), -1);
    EXPECT_EQ(ini->ReadInteger("N", "big", 1), 1);
    EXPECT_EQ(ini->ReadInteger("N", "signhex", 1), -16);
    EXPECT_EQ(ini->ReadInteger("N", "dollaronly", 1), 1);
    EXPECT_EQ(ini->ReadInteger("N", "missing", 42), 42);
    EXPECT_EQ(ini->ReadInteger("N", "hex", 1), 16);
    EXPECT_EQ(ini->ReadInteger("N", "HEX", 0), 16); // first of the two "hex" lines

    EXPECT_TRUE(ini->ReadBool("N", "word", true));
    EXPECT_FALSE(ini->ReadBool("N", "word", false));
    EXPECT_TRUE(ini->ReadBool("N", "two", false));
    EXPECT_FALSE(ini->ReadBool("N", "zero", true));
    EXPECT_TRUE(ini->ReadBool("N", "empty", true));
    // An empty string is a value; as a number it is no value.
    EXPECT_EQ(ini->ReadString("N", "empty", "def"), "");
    EXPECT_DOUBLE_EQ(ini->ReadFloat("N", "empty", 2.5), 2.5);
}

// --- writes ---------------------------------------------------------------------------

TEST_F(IniEngine, WriteStringSetsModifiedOnlyForRealChanges) {
    auto ini = load("[S]\r\nKey=v\r\n");
    ini->WriteString("s", "Key", "v");
    EXPECT_FALSE(ini->Modified());
    ini->WriteString("S", "KEY", "v"); // same value, other letter case: replaced
    EXPECT_TRUE(ini->Modified());
    EXPECT_EQ(sectionValues(*ini, "S"), (TStrings{"KEY=v"}));
    ini->FlushFile();
    EXPECT_FALSE(ini->Modified());
    ini->WriteString("S", "other", "");
    EXPECT_TRUE(ini->Modified());
    ini->WriteString("New", "a", "1");
    EXPECT_EQ(sectionNames(*ini), (TStrings{"S", "New"}));
    EXPECT_EQ(sectionValues(*ini, "S"), (TStrings{"KEY=v", "other="}));
}

TEST_F(IniEngine, WriteStringWithEmptyKeyErasesOrFlushes) {
    auto ini = load("[S]\r\na=1\r\n[T]\r\nb=2\r\n[]\r\nc=3\r\n");
    ini->WriteString("S", "", "");
    EXPECT_FALSE(ini->SectionExists("S"));
    EXPECT_TRUE(ini->Modified());
    ini->WriteString("", "", "anything"); // erases the section named ""
    EXPECT_FALSE(ini->SectionExists(""));
    ini->WriteString("", "", ""); // flushes
    EXPECT_FALSE(ini->Modified());
    EXPECT_EQ(readBytes(path), "[T]\r\nb=2\r\n\r\n");
}

TEST_F(IniEngine, DeleteKeyAndEraseSection) {
    auto ini = load("[A]\r\nk=1\r\nk=2\r\n[B]\r\nx=1\r\n[C]\r\ny=1\r\n");
    ini->DeleteKey("Missing", "k");
    EXPECT_FALSE(ini->Modified());
    EXPECT_TRUE(ini->SectionExists("missing")); // created empty in the image only
    ini->DeleteKey("A", "nokey");
    EXPECT_FALSE(ini->Modified());
    ini->DeleteKey("A", "K");
    EXPECT_TRUE(ini->Modified());
    EXPECT_EQ(ini->ReadString("A", "k", ""), "2");

    EXPECT_EQ(ini->ReadString("missing", "z", "d"), "d");
    EXPECT_EQ(ini->CurrentSectionIndex(), 3);
    ini->EraseSection("C");
    EXPECT_EQ(ini->CurrentSectionIndex(), 0); // out of range after the erase
    ini->EraseSection("nothing");
    EXPECT_EQ(sectionNames(*ini), (TStrings{"A", "B", "Missing"}));
    ini->FlushFile();
    EXPECT_EQ(readBytes(path), "[A]\r\nk=2\r\n\r\n[B]\r\nx=1\r\n\r\n");
}

TEST_F(IniEngine, TypedWritesUseTheirTextForms) {
    auto ini = load("");
    ini->WriteInteger("N", "neg", -42);
    ini->WriteInteger("N", "min", INT32_MIN);
    ini->WriteBool("N", "t", true);
    ini->WriteBool("N", "f", false);
    EXPECT_EQ(sectionValues(*ini, "N"), (TStrings{"neg=-42", "min=-2147483648", "t=1", "f=0"}));
    EXPECT_EQ(ini->ReadInteger("N", "min", 0), INT32_MIN);
}

TEST_F(IniEngine, DatesTimesAndFloatsReadBackAndRejectJunk) {
    auto ini = load("[V]\r\nbad=12 apples\r\n");
    const TDate date{std::chrono::year(2026), std::chrono::month(2), std::chrono::day(28)};
    const TTime time{13 * 3600 + 5 * 60 + 9};
    const TDateTime stamp = std::chrono::local_days(date) + time;
    ini->WriteDate("V", "date", date);
    ini->WriteTime("V", "time", time);
    ini->WriteDateTime("V", "stamp", stamp);
    ini->WriteFloat("V", "pi", 3.141592653589793);
    ini->WriteFloat("V", "tiny", -1.5e-300);
    const TDate otherDate{std::chrono::year(2000), std::chrono::month(1), std::chrono::day(1)};
    EXPECT_EQ(ini->ReadDate("V", "date", otherDate), date);
    EXPECT_EQ(ini->ReadTime("V", "time", TTime{0}), time);
    EXPECT_EQ(ini->ReadDateTime("V", "stamp", TDateTime{}), stamp);
    EXPECT_EQ(ini->ReadFloat("V", "pi", 0), 3.141592653589793);
    EXPECT_EQ(ini->ReadFloat("V", "tiny", 0), -1.5e-300);
    EXPECT_EQ(ini->ReadDate("V", "bad", otherDate), otherDate);
    EXPECT_EQ(ini->ReadTime("V", "bad", TTime{7}), TTime{7});
    EXPECT_EQ(ini->ReadFloat("V", "bad", 0.5), 0.5);
    EXPECT_EQ(ini->ReadDate("V", "time", otherDate), otherDate);
}

// --- flushing and the file's life ------------------------------------------------------

TEST_F(IniEngine, FlushWritesCrLfSectionsWithoutEmptyOnesOrJunk) {
    auto ini = load("junk\r\n[A]\r\n\r\n;kept\r\nk=1\r\n[Empty]\r\n[B]\r\nz=\r\n");
    EXPECT_EQ(readBytes(path), "junk\r\n[A]\r\n\r\n;kept\r\nk=1\r\n[Empty]\r\n[B]\r\nz=\r\n");
    ini->WriteString("B", "z", "2");
    ini->FlushFile();
    EXPECT_EQ(readBytes(path), "[A]\r\n;kept\r\nk=1\r\n\r\n[B]\r\nz=2\r\n\r\n");
}

TEST_F(IniEngine, OnlyChangedObjectsWriteOnDestruction) {
    writeBytes(path, "junk\r\n[A]\r\nk=1");
    {
        TIniEngine ini(path);
        EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
        ini.WriteString("A", "k", "1");
    }
    EXPECT_EQ(readBytes(path), "junk\r\n[A]\r\nk=1");
    {
        TIniEngine ini(path);
        ini.WriteString("A", "k", "2");
    }
    EXPECT_EQ(readBytes(path), "[A]\r\nk=2\r\n\r\n");
}

TEST_F(IniEngine, AMissingFileIsEmptyAndCreatedByFlushAnUntiedImageOnlyClearsModified) {
    TIniEngine ini(path);
    EXPECT_EQ(ini.ReadInteger("Options", "SaveFile", 1), 1);
    EXPECT_EQ(sectionNames(ini), TStrings{});
    ini.WriteInteger("Options", "SaveFile", 0);
    ini.FlushFile();
    EXPECT_EQ(readBytes(path), "[Options]\r\nSaveFile=0\r\n\r\n");

    TIniEngine untied("");
    untied.WriteString("S", "k", "v");
    EXPECT_TRUE(untied.Modified());
    untied.FlushFile();
    EXPECT_FALSE(untied.Modified());
    EXPECT_EQ(untied.ReadString("S", "k", ""), "v");
}

TEST_F(IniEngine, SetFileNameFlushesTheOldFileFirst) {
    const std::string other = folder.file("other.ini");
    writeBytes(other, "[O]\r\no=1\r\n");
    TIniEngine ini(path);
    ini.WriteString("S", "k", "v");
    ini.SetFileName(other);
    EXPECT_EQ(readBytes(path), "[S]\r\nk=v\r\n\r\n");
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ini.ReadString("O", "o", ""), "1");
    EXPECT_FALSE(ini.SectionExists("S"));
}

TEST_F(IniEngine, ReadAllMatchesTheWrittenFile) {
    auto ini = load("[A]\r\nk=1\r\n[E]\r\n[B]\r\nfree\r\n");
    ini->setModified(true);
    TStrings all;
    ini->ReadAll(all);
    ini->FlushFile();
    std::string joined;
    for (const auto& line : all)
        joined += line + "\r\n";
    EXPECT_EQ(readBytes(path), joined);
}

TEST_F(IniEngine, ClearBeforeReadSectionValuesEmptiesTheTarget) {
    auto ini = load("[S]\r\na=1\r\n");
    TStrings target{"stale"};
    ini->ReadSectionValues("S", target);
    EXPECT_EQ(target, (TStrings{"stale", "a=1"}));
    ini->setClearBeforeReadSectionValues(true);
    ini->ReadSectionValues("S", target);
    EXPECT_EQ(target, (TStrings{"a=1"}));
    ini->ReadSectionValues("Missing", target);
    EXPECT_EQ(target, TStrings{});
}

// --- round trip ----------------------------------------------------------------------

TEST_F(IniEngine, RandomImagesReadBackIdentically) {
    // Names and values with blanks, quotes, "=", brackets, tabs and
    // non-ASCII bytes; only CR, LF and Ctrl-Z (line ends) are left out, and
    // key names without "=" that do not start with "[".
    const std::string alphabet = "abcXYZ 09=\"';[]\t.,$\xC3\xA9-#";
    std::mt19937 rng(20261208);
    auto pick = [&](size_t maxLength) {
        std::string s;
        size_t n = rng() % (maxLength + 1);
        for (size_t i = 0; i < n; ++i)
            s += alphabet[rng() % alphabet.size()];
        return s;
    };
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys;
    };
    for (int round = 0; round < 30; ++round) {
        std::vector<Section> model;
        TIniEngine ini("");
        ini.SetFileName(folder.file("round" + std::to_string(round) + ".ini"));
        const int sections = 1 + static_cast<int>(rng() % 6);
        for (int si = 0; si < sections; ++si) {
            std::string name = pick(8);
            bool taken = false;
            for (const Section& m : model)
                taken = taken || iniSameText(m.name, name);
            if (taken)
                continue;
            Section section{name, {}};
            const int keys = static_cast<int>(rng() % 30);
            for (int ki = 0; ki < keys; ++ki) {
                std::string key = pick(6);
                key.erase(std::remove(key.begin(), key.end(), '='), key.end());
                if (key.empty() || key[0] == '[')
                    continue;
                std::string value = pick(12);
                auto same = std::find_if(section.keys.begin(), section.keys.end(),
                                         [&](const auto& k) { return iniSameText(k.first, key); });
                if (same != section.keys.end())
                    *same = {key, value}; // rewritten in place under the new spelling
                else
                    section.keys.emplace_back(key, value);
                ini.WriteString(name, key, value);
            }
            model.push_back(section);
        }
        ini.FlushFile();
        const std::string written = readBytes(ini.FileName());

        TIniEngine back(ini.FileName());
        TStrings expectedNames;
        for (const Section& m : model)
            if (!m.keys.empty())
                expectedNames.push_back(m.name);
        ASSERT_EQ(sectionNames(back), expectedNames) << "round " << round;
        for (const Section& m : model) {
            TStrings expectedKeys, keys;
            for (const auto& [key, value] : m.keys) {
                EXPECT_EQ(back.ReadString(m.name, key, "<missing>"), value)
                    << "round " << round << " [" << m.name << "] " << key;
                expectedKeys.push_back(key);
            }
            back.ReadSection(m.name, keys);
            EXPECT_EQ(keys, expectedKeys);
        }
        back.setModified(true);
        back.FlushFile();
        EXPECT_EQ(readBytes(back.FileName()), written);
    }
}

} // namespace
