#include "app/smain.h"

#include "AppTestSupport.h"
#include "RecorderTestSupport.h"
#include "app/soptions.h"
#include "capture/unavclWaveComponents.h"
#include "ini/TIniEngineEx.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

class MainFrm : public AppFixture {
protected:
    std::unique_ptr<TMainFrm> create() {
        auto frm = std::make_unique<TMainFrm>(paths, ui);
        frm->setOptionsForm(new TOptionsFrm(paths, ui, frm.get()));
        return frm;
    }

    const std::string lostEnc = "File 'mp3enc.so' lost!";
    const std::string lostPlay = "File 'mp3play.so' lost!";
};

QMouseEvent press(Qt::MouseButton button, QPoint global) {
    return QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(global), button, button,
                       Qt::NoModifier);
}

} // namespace

TEST_F(MainFrm, FirstStartWithoutAnyFileReportsBothLibrariesAndCompletes) {
    auto frm = create();
    EXPECT_EQ(ui.messages(), (Strings{lostEnc, lostPlay}));
    EXPECT_EQ(svar::Mp3Encoder, nullptr);
    EXPECT_TRUE(svar::PlayerLibraryMissing);
    EXPECT_NE(svar::MixerSystem, nullptr);
    EXPECT_EQ(frm->waveIn->consumer(), frm->waveRiff.get());

    svar::TOptions expected;
    expected.SaveDir = dir.path();
    expected.IsOurPlayer = false; // no player library for this run
    EXPECT_EQ(svar::AppSettings, expected);
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(frm->labMsg->text().toStdString(), "Version 2.0");
    EXPECT_EQ(frm->labStatus->text().toStdString(), "Ready");
    EXPECT_EQ(frm->lstRecordFile->count(), 0);
    EXPECT_TRUE(frm->chkRecordNew->isChecked());
    EXPECT_FALSE(frm->chkRecordOverwrite->isChecked());
    EXPECT_FALSE(svar::ListChanged);

    frm.reset();
    EXPECT_EQ(svar::MixerSystem, nullptr);
    EXPECT_FALSE(exists(paths.iniFile)) << "nothing changed, so nothing is written";
}

TEST_F(MainFrm, LibrariesPutOffUntilTheFirstFrameStartOnceThenOrWhenAskedFirst) {
    writeFile(paths.iniFile, "[Options]\r\nIsOurPlayer=1\r\n");
    auto frm =
        std::make_unique<TMainFrm>(paths, ui, nullptr, TMainFrm::LibraryStart::AfterFirstFrame);
    EXPECT_TRUE(ui.messages().empty()) << "nothing about the libraries before the window is up";
    EXPECT_TRUE(svar::AppSettings.IsOurPlayer);
    frm->show();
    EXPECT_TRUE(waitUntil([&] { return svar::PlayerLibraryMissing; }, 5000));
    const Strings said = ui.messages();
    EXPECT_EQ(std::count(said.begin(), said.end(), lostEnc), 1);
    EXPECT_FALSE(svar::AppSettings.IsOurPlayer) << "still forced off when the settings came first";
    frm.reset();

    // Play pressed before the first frame loads them first, and the first
    // frame does not load them again.
    ui.clear();
    svar::ResetSharedState();
    frm = std::make_unique<TMainFrm>(paths, ui, nullptr, TMainFrm::LibraryStart::AfterFirstFrame);
    frm->btnPlayClick();
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(ui.messages().front(), lostEnc);
    bool drawn = false;
    frm->afterFirstFrame([&] { drawn = true; }); // runs after the library start-up's turn
    frm->show();
    ASSERT_TRUE(waitUntil([&] { return drawn; }, 5000));
    const Strings all = ui.messages();
    EXPECT_EQ(std::count(all.begin(), all.end(), lostEnc), 1);
}

TEST_F(MainFrm, StoredSettingsListAndVersionAreLoaded) {
    writeFile(dir.path() + "a.wav", "x");
    writeFile(dir.path() + "c.mp3", "x");
    writeFile(paths.iniFile,
              "[Options]\r\nSaveDir=/rec\r\nIsRecordNew=0\r\nIsOurPlayer=1\r\nSkin=2\r\n"
              "[RecordFile]\r\nRecordFileCount=3\r\nRecordFile0=" +
                  dir.path() + "a.wav\r\nRecordFile1=" + dir.path() +
                  "b.wav\r\nRecordFile2=" + dir.path() + "c.mp3\r\n");
    writeFile(paths.msgIniFile, "[Version]\r\nVersion=Sonvale 2.0 test\r\n");
    const std::string before = readFile(paths.iniFile);

    auto frm = create();
    EXPECT_EQ(svar::AppSettings.SaveDir, "/rec/");
    EXPECT_EQ(svar::AppSettings.Skin, 2);
    EXPECT_FALSE(svar::AppSettings.IsOurPlayer) << "forced off while the player library is missing";
    EXPECT_FALSE(frm->chkRecordNew->isChecked());
    EXPECT_TRUE(frm->chkRecordOverwrite->isChecked());
    EXPECT_EQ(frm->labMsg->text().toStdString(), "Sonvale 2.0 test");
    ASSERT_EQ(frm->lstRecordFile->count(), 2);
    EXPECT_EQ(frm->recordFiles(), (Strings{dir.path() + "a.wav", dir.path() + "c.mp3"}));
    EXPECT_EQ(frm->lstRecordFile->currentRow(), 1) << "the last existing file is selected";
    EXPECT_TRUE(svar::ListChanged);
    EXPECT_EQ(readFile(paths.iniFile), before) << "reading changes nothing on disk";

    frm.reset();
    TIniEngineEx ini(paths.iniFile);
    EXPECT_EQ(ini.ReadInteger("RecordFile", "RecordFileCount", -1), 2);
    EXPECT_EQ(ini.ReadString("RecordFile", "RecordFile1", ""), dir.path() + "c.mp3");
    EXPECT_FALSE(ini.ReadBool("Options", "IsRecordNew", true));
    EXPECT_TRUE(ini.ReadBool("Options", "IsOurPlayer", false)) << "the file keeps its value";
}

TEST_F(MainFrm, CutOffWavRecordingsAreRepairedOnceAndStaleTemporariesRemoved) {
    // A recording cut off by a crash: the header still has the sizes 0 it
    // was started with. Beside it an intact one and a non-WAV file.
    auto wavFile = [](uint32_t dataSize, uint32_t frames) {
        auto u32 = [](uint32_t v) {
            return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        };
        auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
        return "RIFF" + u32(dataSize ? 36 + dataSize : 0) + "WAVEfmt " + u32(16) + u16(1) + u16(2) +
               u32(44100) + u32(44100 * 4) + u16(4) + u16(16) + "data" + u32(dataSize) +
               std::string(frames * 4 + 3, '\x10'); // plus a partly written frame
    };
    const std::string cut = dir.path() + "cut.wav", whole = dir.path() + "whole.wav";
    writeFile(cut, wavFile(0, 1000));
    writeFile(whole, wavFile(4003, 1000));
    writeFile(dir.path() + "x.wav", "not a sound file");
    writeFile(paths.iniFile, "[RecordFile]\r\nRecordFileCount=3\r\nRecordFile0=" + cut +
                                 "\r\nRecordFile1=" + whole + "\r\nRecordFile2=" + dir.path() +
                                 "x.wav\r\n");
    // A settings write killed half-way in an earlier run left its
    // temporary file (named after the writer's process, which is gone).
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const std::string stale = dir.path() + "." +
                              std::filesystem::path(paths.iniFile).filename().string() + ".tmp" +
                              std::to_string(gone) + "-1";
    writeFile(stale, "half");

    auto frm = create();
    EXPECT_EQ(ui.messages(), (Strings{lostEnc, lostPlay, "Recording file repaired! - " + cut}));
    const std::string repaired = readFile(cut);
    EXPECT_EQ(repaired.substr(4, 4), std::string("\xc4\x0f\0\0", 4)) << "RIFF size 4004";
    EXPECT_EQ(repaired.substr(40, 4), std::string("\xa0\x0f\0\0", 4)) << "4000: whole frames";
    EXPECT_EQ(readFile(whole), wavFile(4003, 1000)) << "an intact file is left alone";
    EXPECT_EQ(frm->recordFiles().size(), 3u);
    EXPECT_FALSE(exists(stale));
}

TEST_F(MainFrm, ExitWithoutChangesLeavesTheFileUntouched) {
    writeFile(dir.path() + "a.wav", "x");
    writeFile(paths.iniFile,
              "[RecordFile]\r\nRecordFileCount=1\r\nRecordFile0=" + dir.path() + "a.wav\r\n");
    const auto stamp = std::filesystem::last_write_time(paths.iniFile) - std::chrono::hours(1);
    std::filesystem::last_write_time(paths.iniFile, stamp);
    const std::string before = readFile(paths.iniFile);

    create().reset();
    EXPECT_EQ(readFile(paths.iniFile), before);
    EXPECT_EQ(std::filesystem::last_write_time(paths.iniFile), stamp);
}

TEST_F(MainFrm, NewOrOverwriteChoiceStaysExclusiveAndIsSavedAtExit) {
    auto frm = create();
    frm->chkRecordNew->click(); // already marked: stays marked
    EXPECT_TRUE(frm->chkRecordNew->isChecked());
    EXPECT_FALSE(frm->chkRecordOverwrite->isChecked());
    EXPECT_TRUE(svar::ListChanged);

    frm->AALabel2Click();
    EXPECT_FALSE(frm->chkRecordNew->isChecked());
    EXPECT_TRUE(frm->chkRecordOverwrite->isChecked());
    frm->chkRecordOverwrite->click();
    EXPECT_TRUE(frm->chkRecordOverwrite->isChecked());

    frm.reset();
    TIniEngineEx ini(paths.iniFile);
    EXPECT_FALSE(ini.ReadBool("Options", "IsRecordNew", true));
    EXPECT_EQ(ini.ReadInteger("RecordFile", "RecordFileCount", -1), 0);
}

TEST_F(MainFrm, ExitWriteFailureIsReportedAndNothingCrashes) {
    paths.iniFile = dir.path() + "missing-folder/sonvale.ini";
    auto frm = create();
    ui.clear();
    frm->chkRecordOverwriteClick();
    frm.reset();
    EXPECT_EQ(ui.messages(), Strings{"Save settings failed! - " + paths.iniFile});
}

TEST_F(MainFrm, UnreadableSettingsFileGivesDefaultsAndAMessage) {
    std::filesystem::create_directory(paths.iniFile); // a folder cannot be read as a file
    auto frm = create();
    EXPECT_EQ(ui.messages(),
              (Strings{lostEnc, lostPlay, "Read settings failed! - " + paths.iniFile}));
    EXPECT_EQ(svar::AppSettings.SaveDir, dir.path());
    EXPECT_EQ(svar::AppSettings.StopRecordingSeconds, 120);
}

TEST_F(MainFrm, BrokenEncoderLibraryIsReportedOnce) {
    writeFile(paths.encoderLibrary, "not a library");
    auto frm = create();
    EXPECT_EQ(ui.messages(), (Strings{"initialize 'mp3enc.so' failed!", lostPlay}));
    frm.reset();
    EXPECT_EQ(svar::Mp3Encoder, nullptr);
}

TEST_F(MainFrm, HelpAndHomePageAreOpenedThroughTheDesktop) {
    auto frm = create();
    ui.clear();
    frm->btnHelpClick();
    frm->btnHomeClick();
    EXPECT_EQ(ui.messages(), (Strings{"File 'sonvale.html' lost!", "File 'README.md' lost!"}));
    EXPECT_TRUE(ui.opened.empty());

    writeFile(paths.helpFile, "<html></html>");
    writeFile(paths.homePage, "# Sonvale");
    frm->btnHelp->click();
    frm->btnHome->click();
    ASSERT_EQ(ui.opened.size(), 2u);
    EXPECT_EQ(ui.opened[0].target, dir.path() + "sonvale.html");
    EXPECT_EQ(ui.opened[0].mode, sonvale::ui::ShowMode::Maximized);
    EXPECT_EQ(ui.opened[1].target, dir.path() + "README.md");

    // Nothing on the desktop can open them: the message says where they are.
    ui.clear();
    ui.shellOpenResult = false;
    frm->btnHelpClick();
    frm->btnHomeClick();
    EXPECT_EQ(ui.messages(), (Strings{"Open failed! - " + dir.path() + "sonvale.html",
                                      "Open failed! - " + dir.path() + "README.md"}));
}

TEST_F(MainFrm, OnlyTheLeftButtonDragsTheWindow) {
    auto frm = create();
    frm->move(100, 100);
    frm->show();

    auto right = press(Qt::RightButton, QPoint(150, 150));
    frm->Image1MouseDown(&right);
    EXPECT_FALSE(frm->dragStarted());
    auto rightMsg = press(Qt::RightButton, QPoint(150, 150));
    frm->labMsgMouseDown(&rightMsg);
    EXPECT_FALSE(frm->dragStarted());

    auto left = press(Qt::LeftButton, QPoint(150, 150));
    frm->labMsgMouseDown(&left);
    EXPECT_TRUE(frm->dragStarted());
    const QPoint start = frm->frameGeometry().topLeft();
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(190, 170), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frm->labMsg, &move);
    EXPECT_EQ(frm->frameGeometry().topLeft(), start + QPoint(40, 20));
}

TEST_F(MainFrm, WindowIsBorderlessWithEveryNamedControl) {
    auto frm = create();
    EXPECT_TRUE(frm->windowFlags() & Qt::FramelessWindowHint);
    for (const char* name :
         {"btnRecord",       "btnPlay",      "btnPause",           "btnStop",
          "btnSave",         "btnRemove",    "btnRemoveAll",       "btnOptions",
          "btnHelp",         "btnHome",      "btnMinimize",        "btnTerminate",
          "labStatus",       "prbProgress",  "prbVolume",          "lstRecordFile",
          "lstRecordSource", "chkRecordNew", "chkRecordOverwrite", "labMsg",
          "Image1"})
        EXPECT_NE(frm->findChild<QWidget*>(name), nullptr) << name;
    // The hint, then the keys that do the same.
    EXPECT_EQ(frm->btnTerminate->toolTip(), "Close (Ctrl+Q)");
    EXPECT_EQ(frm->btnMinimize->toolTip(), "Minimize");
    EXPECT_EQ(frm->btnHome->toolTip(), "Visit home page.");
    EXPECT_EQ(frm->btnOptions->toolTip(), "Options... (Ctrl+,)");
    EXPECT_EQ(frm->prbVolume->orientation(), Qt::Vertical);
    EXPECT_EQ(frm->prbVolume->maximum(), 100);
    EXPECT_EQ(frm->prbVolume->singleStep(), 10);
    EXPECT_EQ(frm->AALabel1->text(), "Record to a new recording file.");
    EXPECT_EQ(frm->AALabel2->text(), "Overwrite selected recording file.");
}

TEST_F(MainFrm, SkinPaintedAlongsideTheStartUpIsOnTheWindowWhenItShows) {
    auto frm = create();
    frm->show();
    using namespace sonvale::app;
    ASSERT_EQ(frm->Image1->pixmap().size(), QSize(MainLayout::Width, MainLayout::Height));
    // The shape: rounded corners cut away, the body kept.
    const QRegion shape = frm->mask();
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(MainLayout::Width - 1, MainLayout::Height - 1)));
    EXPECT_TRUE(shape.contains(QPoint(MainLayout::Width / 2, MainLayout::Height / 2)));
    // Each button shows its own picture.
    const std::pair<QToolButton*, SkinIcon> buttons[] = {
        {frm->btnRecord, SkinIcon::Record},       {frm->btnPlay, SkinIcon::Play},
        {frm->btnPause, SkinIcon::Pause},         {frm->btnStop, SkinIcon::Stop},
        {frm->btnSave, SkinIcon::Save},           {frm->btnRemove, SkinIcon::Remove},
        {frm->btnRemoveAll, SkinIcon::RemoveAll}, {frm->btnOptions, SkinIcon::Options},
        {frm->btnHelp, SkinIcon::Help},           {frm->btnHome, SkinIcon::Home},
        {frm->btnMinimize, SkinIcon::Minimize},   {frm->btnTerminate, SkinIcon::Close}};
    for (const auto& [button, which] : buttons) {
        const int size = skinIconSize(which) * 2;
        const QImage shown = button->icon().pixmap(size, size).toImage();
        EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  skinIconPictures(which, size)[0])
            << button->objectName().toStdString();
    }
}

TEST_F(MainFrm, WorkPutOffUntilTheFirstFrameRunsOnceInOrderAfterIt) {
    auto frm = create();
    std::vector<int> ran;
    auto waitFor = [&](size_t count) {
        QElapsedTimer t;
        t.start();
        while (ran.size() < count && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    frm->afterFirstFrame([&] { ran.push_back(1); });
    frm->afterFirstFrame([&] { ran.push_back(2); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran.empty()) << "nothing is drawn before the window is shown";

    frm->show();
    waitFor(2);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));

    // Later jobs run from the event loop, not inside the call; repaints run
    // nothing again.
    frm->afterFirstFrame([&] { ran.push_back(3); });
    EXPECT_EQ(ran.size(), 2u);
    frm->repaint();
    waitFor(3);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST_F(MainFrm, OptionsButtonOpensTheDialogWithTheSkinListFocused) {
    auto frm = create();
    frm->show();
    frm->OptionsFrm->InitialFocus = 7;
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() == frm->OptionsFrm) {
            seen = true;
            EXPECT_EQ(frm->OptionsFrm->InitialFocus, 0);
            EXPECT_EQ(frm->OptionsFrm->focusWidget(), frm->OptionsFrm->cbxSkin);
            frm->OptionsFrm->btnCancel->click();
        }
    });
    poll.start();
    frm->btnOptions->click(); // the dialog opens once the click is handled
    QElapsedTimer t;
    t.start();
    while (!seen && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(frm->OptionsFrm->isVisible());
}
