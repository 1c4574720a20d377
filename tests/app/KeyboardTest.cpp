// The main window from the keyboard: the shortcuts drive the transport and
// respect the buttons' state, Enter plays a recording, Delete asks first,
// and every control takes focus and has a name for screen readers.
#include "RecorderTestSupport.h"

#include "app/MeterWidget.h"
#include "capture/unavclWaveComponents.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

class Keyboard : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        installLibraries();
        frm = create();
        frm->show();
        QApplication::setActiveWindow(frm.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
        ui.clear();
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : frm.get();
        QTest::keyClick(target, Qt::Key(k), mods);
    }
};

} // namespace

TEST_F(Keyboard, ShortcutsRecordStopPlayAndRemoveAsTheButtonsDo) {
    svar::AppSettings.SaveFile = 0;
    frm->chkRecordNewClick();
    frm->lstRecordFile->setFocus();
    key(Qt::Key_R);
    ASSERT_EQ(svar::AppState, svar::stRecording);
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 44100 * 4; }));
    key(Qt::Key_Delete); // Remove is off while recording
    key(Qt::Key_Space);  // and Space does not play or stop a recording
    EXPECT_EQ(svar::AppState, svar::stRecording);
    EXPECT_TRUE(ui.messages().empty()) << ::testing::PrintToString(ui.messages());
    key(Qt::Key_S);
    ASSERT_EQ(svar::AppState, svar::stIdle);
    ASSERT_EQ(frm->recordFiles().size(), 1u);

    frm->lstRecordFile->setFocus();
    key(Qt::Key_Return); // Enter on a recording plays it
    EXPECT_EQ(svar::AppState, svar::stPlaying);
    key(Qt::Key_Space);
    EXPECT_EQ(svar::AppState, svar::stPlayPaused);
    key(Qt::Key_Escape);
    EXPECT_EQ(svar::AppState, svar::stIdle);
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(svar::AppState, svar::stRecording);
    key(Qt::Key_Escape);
    EXPECT_EQ(svar::AppState, svar::stIdle);

    ui.queueConfirm(false);
    key(Qt::Key_Delete);
    EXPECT_EQ(frm->recordFiles().size(), 2u) << "No keeps the recording";
    ui.queueConfirm(true);
    key(Qt::Key_Delete);
    EXPECT_EQ(frm->recordFiles().size(), 1u);
}

TEST_F(Keyboard, EveryControlTakesFocusAndHasANameAndDescription) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             frm->btnRecord, frm->btnPlay, frm->btnPause, frm->btnStop, frm->btnSave,
             frm->btnRemove, frm->btnRemoveAll, frm->btnOptions, frm->btnHelp, frm->btnHome,
             frm->btnMinimize, frm->btnTerminate, frm->lstRecordFile, frm->lstRecordSource,
             frm->prbVolume, frm->prbProgress, frm->chkRecordNew, frm->chkRecordOverwrite}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus);
        EXPECT_FALSE(w->accessibleName().isEmpty());
        EXPECT_EQ(w->accessibleDescription(), w->toolTip());
    }
    EXPECT_EQ(frm->btnRecord->toolTip(), "Record (R, Ctrl+R)");
    EXPECT_FALSE(frm->meterLevel->accessibleName().isEmpty());
}
