// The transport buttons and the timer forward to Control (RecordingControl);
// this file draws what it asks for (the RecordingView of the window).
#include "app/MeterWidget.h"
#include "app/smain.h"
#include "app/svar.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

void TMainFrm::btnRecordClick() {
    StartLibraries();
    Control->Record();
}

void TMainFrm::btnPauseClick() {
    Control->Pause();
}

void TMainFrm::btnStopClick() {
    Control->Stop();
}

void TMainFrm::btnPlayClick() {
    StartLibraries();
    Control->Play();
}

void TMainFrm::TimerTimer() {
    if (!destroyed_)
        Control->Tick();
}

// ---- RecordingView -----------------------------------------------------------

std::string TMainFrm::status() const {
    return labStatus->text().toStdString();
}

void TMainFrm::setStatus(const std::string& text) {
    labStatus->setText(QString::fromStdString(text));
}

void TMainFrm::setListButtonsEnabled(bool enabled) {
    const QList<QToolButton*> buttons{btnRecord, btnPlay,      btnSave,
                                      btnRemove, btnRemoveAll, btnOptions};
    // Keyboard focus on a button that goes off moves to Stop, not on to
    // whatever control comes next.
    if (!enabled && buttons.contains(qobject_cast<QToolButton*>(focusWidget())))
        btnStop->setFocus();
    for (QToolButton* b : buttons)
        b->setEnabled(enabled);
}

void TMainFrm::setRecordEnabled(bool enabled) {
    btnRecord->setEnabled(enabled);
}

void TMainFrm::setPlayEnabled(bool enabled) {
    btnPlay->setEnabled(enabled);
}

void TMainFrm::setTimerRunning(bool running) {
    if (running)
        Timer->start();
    else
        Timer->stop();
}

void TMainFrm::setProgress(int percent) {
    if (!prbProgress->isSliderDown()) // the user's drag wins until released
        prbProgress->setValue(percent);
}

void TMainFrm::setClock(const std::string& text) {
    labClock->setText(QString::fromStdString(text));
}

void TMainFrm::setMeterRunning(bool running) {
    meterLevel->setRunning(running);
}

void TMainFrm::prbProgressSeek(int percent) {
    if (svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused)
        Control->seek(percent);
    else
        prbProgress->setValue(0); // nothing plays: there is nowhere to move
}

bool TMainFrm::recordNew() const {
    return chkRecordNew->isChecked();
}

std::optional<std::string> TMainFrm::selectedRecording() const {
    QListWidgetItem* item = lstRecordFile->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    return item->text().toStdString();
}

void TMainFrm::selectRecording(const std::string& path) {
    const QString text = QString::fromStdString(path);
    QListWidgetItem* item = nullptr;
    for (int i = 0; i < lstRecordFile->count() && !item; ++i)
        if (lstRecordFile->item(i)->text() == text)
            item = lstRecordFile->item(i);
    if (!item)
        item = new QListWidgetItem(text, lstRecordFile);
    lstRecordFile->setCurrentItem(item);
}

void TMainFrm::renameSelectedRecording(const std::string& path) {
    if (QListWidgetItem* item = lstRecordFile->currentItem())
        item->setText(QString::fromStdString(path));
}

void TMainFrm::removeSelectedRecording() {
    QListWidgetItem* item = lstRecordFile->currentItem();
    if (item && item->isSelected())
        delete item;
}

void TMainFrm::saveRecordingList() {
    // A failure here is not shown: the list stays marked as changed, and the
    // write at exit tries again and reports it.
    WriteListIfChanged(false);
}
