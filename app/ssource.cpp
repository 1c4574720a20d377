// The record-source panel: lstRecordSource and prbVolume show what
// RecordSources reads from the chosen mixer device; the handlers pass the
// user's choices and slider moves back to it. The panel also fills the
// options dialog's mixer list.
//
// Values the program puts on prbVolume are never written back to the mixer:
// only the user's moves are.
#include "app/RecordSettings.h"
#include "app/smain.h"
#include "app/soptions.h"
#include "app/svar.h"
#include "mixer/RecordSources.h"
#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"
#include "platform/ui/UiServices.h"

#include <QComboBox>
#include <QSlider>
#include <QTreeWidget>

using namespace sonvale::app;

namespace {

const char* problemText(RecordSources::Problem problem) {
    switch (problem) {
    case RecordSources::Problem::NoDevice:
        return "No Recorder Device!";
    case RecordSources::Problem::NoDestinationLine:
        return "No Recorder WaveIn Destination Line!";
    case RecordSources::Problem::NoSourceLine:
        return "No Recorder Source Line!";
    case RecordSources::Problem::NoWaveInDestination:
        return "No Recorder WaveIn Destination Device!";
    }
    return "Error!";
}

} // namespace

int TMainFrm::sourceIndex(QTreeWidgetItem* item) const {
    return item ? lstRecordSource->indexOfTopLevelItem(item) : -1;
}

int TMainFrm::sourceLine(QTreeWidgetItem* item) const {
    return item ? item->data(0, kLineRole).toInt() : -1;
}

int TMainFrm::checkKind(QTreeWidgetItem* item) const {
    return item ? item->data(0, kCheckKindRole).toInt() : kNoCheckBox;
}

void TMainFrm::showVolume(uint16_t value) {
    settingVolume_ = true;
    prbVolume->setValue(VolumeToSlider(value));
    settingVolume_ = false;
}

void TMainFrm::showLineVolume(int destination, int line) {
    if (!Sources)
        return;
    if (std::optional<uint16_t> v = Sources->shownVolume(destination, line))
        showVolume(*v);
}

void TMainFrm::refreshSourceVolume() {
    try {
        if (QTreeWidgetItem* item = lstRecordSource->currentItem(); item && item->isSelected())
            showLineVolume(svar::AppSettings.WaveInDestination, sourceLine(item));
    } catch (...) {
    }
}

void TMainFrm::showPlaybackVolume() {
    try {
        showLineVolume(svar::AppSettings.PlaybackDestination, 0);
    } catch (...) {
    }
}

void TMainFrm::BuildRecordSourcePanel() {
    fillingSources_ = true;
    try {
        buildSourcePanel();
    } catch (...) {
        ui_.messageBox("Error!");
    }
    fillingSources_ = false;
}

void TMainFrm::fillMixerList() {
    QComboBox* mixerList = OptionsFrm ? OptionsFrm->cbxMixer : nullptr;
    if (!mixerList || !Sources)
        return;
    mixerList->clear();
    for (const std::string& name : Sources->deviceNames())
        mixerList->addItem(QString::fromStdString(name));
    if (!Sources->deviceNames().empty())
        mixerList->setCurrentIndex(svar::AppSettings.Mixer);
}

void TMainFrm::buildSourcePanel() {
    if (!svar::MixerSystem) {
        ui_.messageBox(problemText(RecordSources::Problem::NoDevice));
        return;
    }
    if (!Recorder) {
        Recorder = std::make_unique<TAudio>();
        Sources = std::make_unique<RecordSources>(*svar::MixerSystem, *Recorder);
    }
    svar::TOptions& o = svar::AppSettings;
    RecordSources::Indices indices{o.Mixer, o.PlaybackDestination, o.WaveInLine,
                                   o.WaveInDestination, o.MuxControl};
    std::vector<RecordSources::Problem> problems;
    Sources->build(indices, problems);
    o.Mixer = indices.Mixer;
    o.PlaybackDestination = indices.PlaybackDestination;
    o.WaveInLine = indices.WaveInLine;
    o.WaveInDestination = indices.WaveInDestination;
    o.MuxControl = indices.MuxControl;

    fillMixerList();
    lstRecordSource->clear();
    for (const RecordSources::Source& s : Sources->sources()) {
        auto* item = new QTreeWidgetItem(lstRecordSource);
        item->setText(0, QString::fromStdString(s.name));
        item->setData(0, kLineRole, s.line);
        item->setData(0, kCheckKindRole, int(s.kind));
        if (s.kind != RecordSources::Kind::None) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, s.checked ? Qt::Checked : Qt::Unchecked);
        }
    }
    if (QTreeWidgetItem* item = lstRecordSource->topLevelItem(Sources->selected())) {
        lstRecordSource->setCurrentItem(item);
        showLineVolume(o.WaveInDestination, sourceLine(item));
    }
    for (RecordSources::Problem problem : problems)
        ui_.messageBox(problemText(problem));
}

void TMainFrm::lstRecordSourceItemChecked(QTreeWidget*, QTreeWidgetItem* item) {
    if (!item || checkKind(item) == kNoCheckBox || !Sources)
        return;
    try {
        chooseSource(item);
    } catch (...) {
    }
}

void TMainFrm::chooseSource(QTreeWidgetItem* item) {
    const int index = sourceIndex(item);
    if (index < 0)
        return;
    for (int i = 0; i < lstRecordSource->topLevelItemCount(); ++i)
        Sources->setChecked(size_t(i),
                            lstRecordSource->topLevelItem(i)->checkState(0) == Qt::Checked);
    if (Sources->muxMode())
        Sources->setChecked(size_t(index), true);
    Sources->choose(size_t(index));
    fillingSources_ = true;
    for (int i = 0; i < lstRecordSource->topLevelItemCount(); ++i)
        if (checkKind(lstRecordSource->topLevelItem(i)) != kNoCheckBox)
            lstRecordSource->topLevelItem(i)->setCheckState(
                0, Sources->sources()[size_t(i)].checked ? Qt::Checked : Qt::Unchecked);
    fillingSources_ = false;
    showLineVolume(svar::AppSettings.WaveInDestination, sourceLine(item));
}

void TMainFrm::lstRecordSourceAfterSelectionChange(QTreeWidget*) {
    QTreeWidgetItem* item = lstRecordSource->currentItem();
    if (!item || !item->isSelected() || !Sources)
        return;
    try {
        if (checkKind(item) != kNoCheckBox && Sources->muxMode())
            chooseSource(item); // clicking a row chooses that source
        else if (!Sources->muxMode())
            showLineVolume(svar::AppSettings.WaveInDestination, sourceLine(item));
    } catch (...) {
    }
}

void TMainFrm::prbVolumeChange(QWidget*) {
    if (!Sources)
        return;
    try {
        int destination = 0, line = 0;
        if (svar::AppState == svar::stPlaying) {
            destination = svar::AppSettings.PlaybackDestination;
        } else {
            QTreeWidgetItem* item = lstRecordSource->currentItem();
            if (!item || !item->isSelected())
                return;
            destination = svar::AppSettings.WaveInDestination;
            line = sourceLine(item);
        }
        Sources->setVolume(destination, line, SliderToVolume(prbVolume->value()));
    } catch (...) {
    }
}
