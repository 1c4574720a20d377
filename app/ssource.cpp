// The record-source panel: lstRecordSource and prbVolume show what
// RecordSources reads from the chosen mixer device; the handlers pass the
// user's choices and slider moves back to it. The panel also fills the
// options dialog's mixer list and tells the transport which capture device
// records what the chosen mixer device selects.
//
// The panel follows the mixer: a change notified for anything but a line's
// volume or mute (a source chosen or added or removed elsewhere, the sound
// server lost or back) rebuilds it, quietly, on the main thread.
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
#include "platform/audio/WaveIn.h"
#include "platform/ui/UiServices.h"

#include <QComboBox>
#include <QSlider>
#include <QTreeWidget>

using namespace sonvale::app;

namespace {

// What to do without any capture device; README.md has the details.
const char* const kNoDeviceText =
    "No Recorder Device!\nPlug in a microphone or start the sound server, then start Sonvale "
    "again (README.md, \"Without any capture device\").";

const char* problemText(RecordSources::Problem problem) {
    switch (problem) {
    case RecordSources::Problem::NoDevice:
        return kNoDeviceText;
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
    const bool startup = !sourcePanelBuilt_;
    sourcePanelBuilt_ = true;
    fillingSources_ = true;
    try {
        buildSourcePanel(false);
        // A mixer without any capture device behind it records nothing.
        if (startup && svar::MixerSystem && svar::MixerSystem->getMixerCount() > 0 &&
            waveInGetNumDevs() == 0)
            ui_.messageBox(kNoDeviceText);
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

void TMainFrm::mixerControlChanged() {
    if (destroyed_ || !Sources)
        return;
    fillingSources_ = true;
    try {
        buildSourcePanel(true);
    } catch (...) {
    }
    fillingSources_ = false;
}

void TMainFrm::buildSourcePanel(bool followingChange) {
    if (!svar::MixerSystem) {
        ui_.messageBox(problemText(RecordSources::Problem::NoDevice));
        return;
    }
    if (!Recorder) {
        Recorder = std::make_unique<TAudio>();
        Recorder->OnMixerControlChange = [this](TMixerSettings*, uint32_t) {
            mixerControlChanged();
        };
        Sources = std::make_unique<RecordSources>(*svar::MixerSystem, *Recorder);
    }
    const QTreeWidgetItem* current = lstRecordSource->currentItem();
    const QString currentName = current ? current->text(0) : QString();
    svar::TOptions& o = svar::AppSettings;
    RecordSources::Indices indices{o.Mixer, o.PlaybackDestination, o.WaveInLine,
                                   o.WaveInDestination, o.MuxControl};
    std::vector<RecordSources::Problem> problems;
    Sources->build(indices, problems, followingChange);
    o.Mixer = indices.Mixer;
    o.PlaybackDestination = indices.PlaybackDestination;
    o.WaveInLine = indices.WaveInLine;
    o.WaveInDestination = indices.WaveInDestination;
    o.MuxControl = indices.MuxControl;
    // Ticking a source of the second device records the second device.
    Control->setRecordDevice(Sources->waveInDevice());

    // The open dialog keeps what the user has chosen in it so far.
    if (!(followingChange && OptionsFrm && OptionsFrm->isVisible()))
        fillMixerList();
    lstRecordSource->clear();
    for (const RecordSources::Source& s : Sources->sources()) {
        auto* item = new QTreeWidgetItem(lstRecordSource);
        item->setText(0, QString::fromStdString(s.name));
        // The narrow panel cuts long names short; the whole name on hover
        // tells apart sources that begin alike.
        item->setToolTip(0, item->text(0));
        item->setData(0, kLineRole, s.line);
        item->setData(0, kCheckKindRole, int(s.kind));
        if (s.kind != RecordSources::Kind::None) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, s.checked ? Qt::Checked : Qt::Unchecked);
        }
    }
    QTreeWidgetItem* item = lstRecordSource->topLevelItem(Sources->selected());
    if (followingChange && !Sources->muxMode() && !currentName.isEmpty()) {
        // Check-box mode: the row the user was on stays selected.
        const auto same = lstRecordSource->findItems(currentName, Qt::MatchExactly);
        if (!same.isEmpty())
            item = same.front();
    }
    if (item) {
        lstRecordSource->setCurrentItem(item);
        // While playing, the slider shows the speakers.
        if (svar::AppState != svar::stPlaying && svar::AppState != svar::stPlayPaused)
            showLineVolume(o.WaveInDestination, sourceLine(item));
    }
    if (followingChange)
        return; // what is missing shows as an empty panel, without a box
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
