#include "app/soptions.h"

#include "AppTestSupport.h"
#include "ini/TIniEngineEx.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <memory>
#include <set>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

class OptionsFrm : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        svar::AppSettings.SaveDir = dir.path();
        frm = std::make_unique<TOptionsFrm>(paths, ui);
        frm->onBuildRecordSourcePanel = [this] { ++panelBuilds; };
    }
    void TearDown() override {
        frm.reset();
        AppFixture::TearDown();
    }

    std::unique_ptr<TOptionsFrm> frm;
    int panelBuilds = 0;
};

} // namespace

TEST_F(OptionsFrm, ShowingLoadsEveryControlFromTheSettings) {
    svar::TOptions& o = svar::AppSettings;
    o.SaveFile = 0;
    o.IsStopRecording = true;
    o.StopRecordingSeconds = 30;
    o.IsNoiseReduction = false;
    o.WavRate = 2;
    o.MP3Mode = 3;
    o.MP3Bits = 12;
    o.MP3UseVBR = true;
    o.MP3VBRLevel = 9;
    o.MP3BitsMin = 3;
    o.MP3BitsMax = 9;
    o.MP3UseCRC = true;
    o.Skin = 4;
    frm->show();

    EXPECT_EQ(frm->size(), QSize(473, 366));
    EXPECT_EQ(frm->windowTitle(), "Options...");
    EXPECT_EQ(frm->suiFormCaption->text(), "Options...");
    EXPECT_EQ(frm->cbxSaveFile->currentText(), "Wav File");
    EXPECT_EQ(frm->edtSaveDir->text().toStdString(), dir.path());
    EXPECT_TRUE(frm->edtSaveDir->isReadOnly());
    EXPECT_TRUE(frm->chkStopRecording->isChecked());
    EXPECT_TRUE(frm->edtStopRecording->isEnabled());
    EXPECT_EQ(frm->edtStopRecording->text(), "30");
    EXPECT_FALSE(frm->chkNoiseReduction->isChecked());
    EXPECT_EQ(frm->cbxWavRate->currentText(), "11025");
    EXPECT_EQ(frm->cbxMP3Mode->currentText(), "DUALCHANNEL");
    EXPECT_EQ(frm->cbxMP3Bits->currentText(), "320kb/s");
    EXPECT_EQ(frm->cbxMP3VBRLevel->currentText(), "9");
    EXPECT_EQ(frm->cbxMP3BitsMin->currentText(), "64kb/s");
    EXPECT_EQ(frm->cbxMP3BitsMax->currentText(), "192kb/s");
    EXPECT_TRUE(frm->cbxMP3BitsMax->isEnabled());
    EXPECT_TRUE(frm->chkMP3UseCRC->isChecked());
    EXPECT_EQ(frm->cbxSkin->currentText(), "WinXP");
    EXPECT_EQ(frm->currentSkin(), 4);
    EXPECT_EQ(frm->focusWidget(), frm->cbxSkin);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(OptionsFrm, MixerChoiceFallsBackToTheFirstDevice) {
    frm->cbxMixer->addItems({"Card A", "Card B"});
    svar::AppSettings.Mixer = 5;
    frm->InitialFocus = 1;
    frm->show();
    EXPECT_EQ(svar::AppSettings.Mixer, 0);
    EXPECT_EQ(frm->cbxMixer->currentIndex(), 0);
    EXPECT_EQ(frm->focusWidget(), frm->cbxMixer);
    frm->hide();

    svar::AppSettings.Mixer = 1;
    frm->show();
    EXPECT_EQ(frm->cbxMixer->currentText(), "Card B");
}

TEST_F(OptionsFrm, OkWritesEveryOptionButIsRecordNewAndRebuildsThePanel) {
    writeFile(paths.iniFile, "[Options]\r\nIsRecordNew=0\r\n");
    frm->show();
    frm->chkStopRecording->click();
    EXPECT_TRUE(frm->edtStopRecording->isEnabled());
    frm->edtStopRecording->setText("45");
    frm->cbxSaveFile->setCurrentIndex(0);
    frm->cbxWavMode->setCurrentIndex(0);
    frm->cbxMP3Bits->setCurrentIndex(2);
    frm->chkMP3UsePrivate->click();
    frm->cbxSkin->setCurrentIndex(3);
    frm->btnOK->click();

    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->result(), QDialog::Accepted);
    EXPECT_EQ(panelBuilds, 1);
    EXPECT_TRUE(svar::AppSettings.IsStopRecording);
    EXPECT_EQ(svar::AppSettings.StopRecordingSeconds, 45);
    EXPECT_EQ(svar::AppSettings.SaveFile, 0);
    EXPECT_EQ(svar::AppSettings.Skin, 3);

    TIniEngineEx ini(paths.iniFile);
    EXPECT_TRUE(ini.ReadBool("Options", "IsStopRecording", false));
    EXPECT_EQ(ini.ReadInteger("Options", "StopRecordingSeconds", 0), 45);
    EXPECT_EQ(ini.ReadInteger("Options", "SaveFile", -1), 0);
    EXPECT_EQ(ini.ReadInteger("Options", "WavMode", -1), 0);
    EXPECT_EQ(ini.ReadInteger("Options", "MP3Bits", -1), 2);
    EXPECT_TRUE(ini.ReadBool("Options", "MP3UsePrivate", false));
    EXPECT_EQ(ini.ReadInteger("Options", "Skin", -1), 3);
    EXPECT_EQ(ini.ReadString("Options", "SaveDir", ""), dir.path());
    EXPECT_FALSE(ini.ReadBool("Options", "IsRecordNew", true)) << "left as it was";
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(OptionsFrm, CancelAndTheTitleBarCloseForgetEverything) {
    const svar::TOptions before = svar::AppSettings;
    frm->show();
    frm->chkNoiseReduction->click();
    frm->cbxWavBits->setCurrentIndex(0);
    frm->btnCancel->click();
    EXPECT_EQ(frm->result(), QDialog::Rejected);
    EXPECT_EQ(svar::AppSettings, before);

    frm->show();
    EXPECT_TRUE(frm->chkNoiseReduction->isChecked()) << "reopening reloads the stored values";
    EXPECT_EQ(frm->cbxWavBits->currentIndex(), 1);
    frm->chkOurPlayer->click();
    frm->suiFormClose->click();
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(svar::AppSettings, before);
    EXPECT_EQ(panelBuilds, 0);
    EXPECT_FALSE(exists(paths.iniFile));
}

TEST_F(OptionsFrm, BadSecondsAreRefusedAtOnceAndOkFallsBackTo120) {
    svar::AppSettings.StopRecordingSeconds = 77;
    frm->show();
    frm->edtStopRecording->clear();
    EXPECT_EQ(ui.messages(), Strings{"Invalid value!"});
    EXPECT_EQ(frm->edtStopRecording->text(), "77");
    frm->edtStopRecording->setText("12x");
    EXPECT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(frm->edtStopRecording->text(), "77");
    frm->edtStopRecording->setText("0");
    EXPECT_EQ(ui.messages().size(), 2u) << "zero is a valid limit";

    // Should a bad text still reach OK, the limit becomes 120.
    frm->edtStopRecording->blockSignals(true);
    frm->edtStopRecording->setText("abc");
    frm->edtStopRecording->blockSignals(false);
    frm->btnOKClick();
    EXPECT_EQ(svar::AppSettings.StopRecordingSeconds, 120);
}

TEST_F(OptionsFrm, VbrOffGreysItsControlsAndKeepsTheirValues) {
    svar::AppSettings.MP3UseVBR = true;
    svar::AppSettings.MP3VBRLevel = 2;
    svar::AppSettings.MP3BitsMin = 4;
    svar::AppSettings.MP3BitsMax = 10;
    frm->show();
    QWidget* six[] = {frm->labMP3VBRLevel, frm->cbxMP3VBRLevel, frm->labMP3BitsMin,
                      frm->cbxMP3BitsMin,  frm->labMP3BitsMax,  frm->cbxMP3BitsMax};
    for (QWidget* w : six)
        EXPECT_TRUE(w->isEnabled());
    frm->chkMP3UseVBR->click();
    for (QWidget* w : six)
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    frm->chkMP3UseCRC->click(); // the header flags run the same update
    for (QWidget* w : six)
        EXPECT_FALSE(w->isEnabled());
    frm->btnOK->click();
    EXPECT_FALSE(svar::AppSettings.MP3UseVBR);
    EXPECT_EQ(svar::AppSettings.MP3VBRLevel, 2);
    EXPECT_EQ(svar::AppSettings.MP3BitsMin, 4);
    EXPECT_EQ(svar::AppSettings.MP3BitsMax, 10);
    EXPECT_TRUE(svar::AppSettings.MP3UseCRC);
}

TEST_F(OptionsFrm, SkinPreviewAppliesAtOnceAndCancelRestoresTheStoredOne) {
    svar::AppSettings.Skin = 0;
    frm->show();
    const QString deepBlue = frm->styleSheet();
    frm->cbxSkin->setCurrentIndex(2);
    frm->cbxSkinClick();
    EXPECT_EQ(frm->currentSkin(), 2);
    EXPECT_NE(frm->styleSheet(), deepBlue);
    frm->btnCancel->click();
    EXPECT_EQ(svar::AppSettings.Skin, 0);
    frm->show();
    EXPECT_EQ(frm->currentSkin(), 0);
    EXPECT_EQ(frm->styleSheet(), deepBlue);
    frm->applySkin(9); // unknown index: unchanged
    EXPECT_EQ(frm->currentSkin(), 0);

    // The five skins are five different looks.
    std::set<QString> sheets;
    for (int i = 0; i < 5; ++i) {
        frm->applySkin(i);
        sheets.insert(frm->styleSheet());
    }
    EXPECT_EQ(sheets.size(), 5u);
}

TEST_F(OptionsFrm, FolderChooserSetsTheFolderWithATrailingSlash) {
    frm->show();
    ui.queueFolder(std::string("/home/ann/rec"));
    frm->btnSaveDirSelect->click();
    EXPECT_EQ(frm->edtSaveDir->text(), "/home/ann/rec/");
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().kind, sonvale::ui::ScriptedUiServices::Kind::FolderDialog);
    EXPECT_EQ(ui.shown.back().text, "Select directory");

    ui.queueFolder(std::string("/"));
    frm->btnSaveDirSelectClick();
    EXPECT_EQ(frm->edtSaveDir->text(), "/") << "a root already ends with the separator";

    ui.queueFolder(std::nullopt); // cancelled
    frm->btnSaveDirSelectClick();
    EXPECT_EQ(frm->edtSaveDir->text(), "/");
}

TEST_F(OptionsFrm, OkWriteFailureIsReportedButTheSettingsHoldForThisRun) {
    paths.iniFile = dir.path() + "no-such-folder/sonvale.ini";
    frm = std::make_unique<TOptionsFrm>(paths, ui);
    frm->show();
    frm->cbxWavRate->setCurrentIndex(1);
    frm->btnOK->click();
    EXPECT_EQ(ui.messages(), Strings{"Save settings failed! - " + paths.iniFile});
    EXPECT_EQ(svar::AppSettings.WavRate, 1);
    EXPECT_FALSE(frm->isVisible());
}
