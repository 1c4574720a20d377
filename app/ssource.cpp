// The record-source panel: the recording inputs of the chosen mixer device in
// lstRecordSource, choosing the recorded input, and the volume slider.
//
// Two mixer layers meet here: the mixer system (MixerSystem) enumerates
// devices, destinations, sources and controls and drives the MUX; the mixer
// component (Recorder) reads and writes line volumes and mute flags by
// (destination, line number). Lines are matched between them by name.
//
// MUX mode (the wave-in destination has a MUX control): every source is a
// radio item and exactly one is recorded. Check-box mode: every source with
// a mute control (the select switch) has a check box mirroring it.
#include "app/RecordSettings.h"
#include "app/smain.h"
#include "app/soptions.h"
#include "app/svar.h"
#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"
#include "platform/ui/UiServices.h"

#include <QComboBox>
#include <QSlider>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>

using namespace sonvale::app;

namespace {

// Position of `name` in `names`, -1 when it is not there.
int indexOfName(const std::vector<std::string>& names, const std::string& name) {
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

std::string lineName(tMsMixerLine& line) {
    const MIXERLINE& info = line.getLineInfo();
    return std::string(info.szName, strnlen(info.szName, sizeof info.szName));
}

// Index of the last control of the given type, -1 when none.
int lastControlOfType(tMsMixerLine& line, uint32_t type) {
    line.enumControls();
    int found = -1;
    for (uint32_t k = 0; k < line.getControlCount(); ++k)
        if (line.getControl(k)->getControlInfo().dwControlType == type)
            found = int(k);
    return found;
}

} // namespace

int TMainFrm::sourceLine(QTreeWidgetItem* item) const {
    return item ? item->data(0, kLineRole).toInt() : -1;
}

int TMainFrm::checkKind(QTreeWidgetItem* item) const {
    return item ? item->data(0, kCheckKindRole).toInt() : kNoCheckBox;
}

bool TMainFrm::readLine(int destination, int line, uint16_t& left, uint16_t& right, bool& mute) {
    if (!Recorder || line < 0)
        return false;
    uint16_t flags = 0;
    if (Recorder->GetLineVolume(destination, line, left, right, mute, flags))
        return true;
    // A source without a mute control (every source of a MUX) still has its
    // volume, which the failed read has filled in.
    if (Recorder->ErrorText() == "Mute GetControlError in Mixer") {
        mute = false;
        return true;
    }
    return false;
}

void TMainFrm::equaliseAndShow(int destination, int line) {
    uint16_t left = 0, right = 0;
    bool mute = false;
    if (!readLine(destination, line, left, right, mute))
        return;
    Recorder->SetLineVolume(destination, line, right, right, mute);
    showVolume(right);
}

void TMainFrm::showVolume(uint16_t value) {
    settingVolume_ = true;
    prbVolume->setValue(VolumeToSlider(value));
    settingVolume_ = false;
}

void TMainFrm::showLineVolume(int destination, int line) {
    uint16_t left = 0, right = 0;
    bool mute = false;
    if (readLine(destination, line, left, right, mute))
        showVolume(right);
}

void TMainFrm::showSelectedSourceVolume() {
    try {
        if (QTreeWidgetItem* item = lstRecordSource->currentItem(); item && item->isSelected())
            equaliseAndShow(svar::AppSettings.WaveInDestination, sourceLine(item));
    } catch (...) {
    }
}

void TMainFrm::ShowPlaybackVolume() {
    try {
        equaliseAndShow(svar::AppSettings.PlaybackDestination, 0);
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

void TMainFrm::buildSourcePanel() {
    QComboBox* mixerList = OptionsFrm ? OptionsFrm->cbxMixer : nullptr;
    if (mixerList)
        mixerList->clear();
    tMsMixerSystem* system = svar::MixerSystem;
    if (!system || system->getMixerCount() == 0) {
        ui_.messageBox("No Recorder Device!");
        return;
    }
    for (uint32_t d = 0; d < system->getMixerCount(); ++d) {
        const MIXERCAPS& caps = system->getMixer(d)->getCaps();
        if (mixerList)
            mixerList->addItem(
                QString::fromStdString(std::string(caps.szPname, strnlen(caps.szPname, 32))));
    }
    svar::TOptions& o = svar::AppSettings;
    if (o.Mixer < 0)
        o.Mixer = 0;
    const int chosen = o.Mixer >= int(system->getMixerCount()) ? 0 : o.Mixer;
    if (mixerList)
        mixerList->setCurrentIndex(chosen);
    o.Mixer = chosen;
    if (!Recorder)
        Recorder = std::make_unique<TAudio>();
    Recorder->setMixerDeviceID(uint32_t(o.Mixer));

    lstRecordSource->clear();
    muxControl_ = nullptr;
    muxItems_.clear();
    o.WaveInLine = -1;

    tMsMixer* mixer = system->getMixer(uint32_t(o.Mixer));
    mixer->enumDestinations();
    if (mixer->getDestinationCount() == 0) {
        ui_.messageBox("No Recorder WaveIn Destination Line!");
        return;
    }
    const std::vector<std::string> destinationNames = Recorder->GetDestinationNames();
    for (uint32_t q = 0; q < mixer->getDestinationCount(); ++q) {
        tMsMixerLine& dest = *mixer->getDestination(q);
        const uint32_t type = dest.getLineInfo().dwComponentType;
        if (type == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) {
            o.PlaybackDestination = indexOfName(destinationNames, lineName(dest));
            continue;
        }
        if (type != MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
            continue;
        o.WaveInLine = int32_t(q);
        o.WaveInDestination = int16_t(indexOfName(destinationNames, lineName(dest)));
        dest.enumSources();
        if (dest.getSourceCount() == 0) {
            ui_.messageBox("No Recorder Source Line!");
            continue;
        }
        o.MuxControl = lastControlOfType(dest, MIXERCONTROL_CONTROLTYPE_MUX);
        const std::vector<std::string> lineNames = Recorder->GetSourceNames(o.WaveInDestination);
        if (o.MuxControl >= 0)
            muxControl_ = dest.getControl(uint32_t(o.MuxControl));
        QTreeWidgetItem* selected = nullptr;
        for (uint32_t i = 0; i < dest.getSourceCount(); ++i) {
            tMsMixerLine& source = *dest.getSource(i);
            const std::string name = lineName(source);
            auto* item = new QTreeWidgetItem(lstRecordSource);
            item->setText(0, QString::fromStdString(name));
            item->setData(0, kLineRole, indexOfName(lineNames, name));
            if (muxControl_) {
                const int muxItem = muxControl_->findListItem(source);
                muxItems_.push_back(muxItem);
                item->setData(0, kCheckKindRole, int(ectRadioButton));
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                const bool on = muxItem >= 0 && muxControl_->getBoolValue(0, uint32_t(muxItem));
                item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
                if (on)
                    selected = item;
            } else {
                muxItems_.push_back(-1);
                const bool hasMute = lastControlOfType(source, MIXERCONTROL_CONTROLTYPE_MUTE) >= 0;
                item->setData(0, kCheckKindRole, int(hasMute ? ectCheckBox : kNoCheckBox));
                if (hasMute) {
                    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                    uint16_t left = 0, right = 0;
                    bool mute = false;
                    readLine(o.WaveInDestination, sourceLine(item), left, right, mute);
                    item->setCheckState(0, mute ? Qt::Checked : Qt::Unchecked);
                }
            }
        }
        if (!muxControl_ && lstRecordSource->topLevelItemCount() > 0)
            selected = lstRecordSource->topLevelItem(0);
        if (selected) {
            lstRecordSource->setCurrentItem(selected);
            equaliseAndShow(o.WaveInDestination, sourceLine(selected));
        }
    }
    if (o.WaveInLine == -1)
        ui_.messageBox("No Recorder WaveIn Destination Device!");
}

void TMainFrm::lstRecordSourceItemChecked(QTreeWidget*, QTreeWidgetItem* item) {
    if (!item || checkKind(item) == kNoCheckBox)
        return;
    try {
        chooseSource(item);
    } catch (...) {
    }
}

void TMainFrm::chooseSource(QTreeWidgetItem* item) {
    const int destination = svar::AppSettings.WaveInDestination;
    fillingSources_ = true;
    if (svar::AppSettings.MuxControl >= 0 && muxControl_) {
        const int clicked = lstRecordSource->indexOfTopLevelItem(item);
        for (int i = 0; i < lstRecordSource->topLevelItemCount(); ++i) {
            const bool on = i == clicked;
            if (i < int(muxItems_.size()) && muxItems_[size_t(i)] >= 0)
                muxControl_->setBoolValue(0, uint32_t(muxItems_[size_t(i)]), on);
            lstRecordSource->topLevelItem(i)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
        }
        fillingSources_ = false;
        showLineVolume(destination, sourceLine(item));
        return;
    }
    fillingSources_ = false;
    for (int i = 0; i < lstRecordSource->topLevelItemCount(); ++i) {
        QTreeWidgetItem* other = lstRecordSource->topLevelItem(i);
        if (checkKind(other) != ectCheckBox)
            continue;
        uint16_t left = 0, right = 0;
        bool mute = false;
        if (!readLine(destination, sourceLine(other), left, right, mute))
            continue;
        const bool mark = other->checkState(0) == Qt::Checked;
        if (other == item) {
            Recorder->SetLineVolume(destination, sourceLine(other), right, right, mark);
            showVolume(right);
        } else {
            Recorder->SetLineVolume(destination, sourceLine(other), left, right, mark);
        }
    }
}

void TMainFrm::lstRecordSourceAfterSelectionChange(QTreeWidget*) {
    QTreeWidgetItem* item = lstRecordSource->currentItem();
    if (!item || !item->isSelected())
        return;
    const bool mux = svar::AppSettings.MuxControl >= 0;
    const int destination = svar::AppSettings.WaveInDestination;
    try {
        if (checkKind(item) != kNoCheckBox) {
            if (mux) {
                chooseSource(item);
            } else {
                showLineVolume(destination, sourceLine(item));
            }
        } else if (!mux) {
            equaliseAndShow(destination, sourceLine(item));
        }
    } catch (...) {
    }
}

void TMainFrm::prbVolumeChange(QWidget*) {
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
        uint16_t left = 0, right = 0;
        bool mute = false;
        if (!readLine(destination, line, left, right, mute))
            return;
        const uint16_t v = SliderToVolume(prbVolume->value());
        Recorder->SetLineVolume(destination, line, v, v, mute);
    } catch (...) {
    }
}
