// TOptionsFrm, the modal "Options..." dialog: output type and folder,
// automatic stop, noise reduction, own MP3 player, dialog skin, mixer device,
// and the WAV and MP3 formats.
//
// Created once at start and kept for the whole run (owned by the main
// window). Each showing loads the controls from svar::AppSettings, and OK
// reads them back, through the option table (Settings.h); OK writes
// every option except "IsRecordNew" to the settings record and to section
// "Options" of the settings file, then has the record-source panel rebuilt;
// Cancel and the title bar's close button forget the changes.
//
// The window frame is the skinned title bar `suiForm`; the skin chosen in
// the list applies to this dialog only. `cbxMixer` is filled by the
// record-source panel of the main window.
//
// Main thread only.
#pragma once

#include "app/AppPaths.h"
#include "app/Settings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace sonvale::ui {
class UiServices;
}

class TOptionsFrm : public QDialog {
    Q_OBJECT
public:
    TOptionsFrm(const sonvale::app::AppPaths& paths, sonvale::ui::UiServices& ui,
                QWidget* parent = nullptr);

    // Which control gets the focus when the dialog shows: 0 `cbxSkin`,
    // 1 `cbxMixer`, anything else leaves the focus alone. Set by the opener.
    int InitialFocus = 0;

    // Rebuilds the record-source panel (and refills `cbxMixer`) after OK.
    std::function<void()> onBuildRecordSourcePanel;

    // The skin index the dialog currently shows (-1 before the first one).
    int currentSkin() const { return currentSkin_; }

    // Handlers.
    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void cbxSkinClick();
    void btnSaveDirSelectClick();
    void chkMP3UseVBRClick();
    void chkStopRecordingClick();
    void edtStopRecordingChange();

    // Applies skin `index` to the dialog; other indices leave it unchanged.
    void applySkin(int index);

    // Controls.
    QFrame* suiForm;
    QLabel* suiFormCaption;
    QToolButton* suiFormClose;
    QGroupBox* grpDefault;
    QGroupBox* grpWav;
    QGroupBox* grpMP3;
    QComboBox* cbxSaveFile;
    QLineEdit* edtSaveDir;
    QToolButton* btnSaveDirSelect;
    QCheckBox* chkStopRecording;
    QLineEdit* edtStopRecording;
    QCheckBox* chkNoiseReduction;
    QCheckBox* chkOurPlayer;
    QComboBox* cbxSkin;
    QComboBox* cbxMixer;
    QComboBox* cbxWavMode;
    QComboBox* cbxWavBits;
    QComboBox* cbxWavRate;
    QComboBox* cbxMP3Bits;
    QComboBox* cbxMP3Mode;
    QCheckBox* chkMP3UseVBR;
    QLabel* labMP3VBRLevel;
    QComboBox* cbxMP3VBRLevel;
    QLabel* labMP3BitsMin;
    QComboBox* cbxMP3BitsMin;
    QLabel* labMP3BitsMax;
    QComboBox* cbxMP3BitsMax;
    QCheckBox* chkMP3UseCopyrighted;
    QCheckBox* chkMP3UseOriginal;
    QCheckBox* chkMP3UseCRC;
    QCheckBox* chkMP3UsePrivate;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    // The control that shows an option (null: none).
    QWidget* optionControl(const sonvale::app::OptionEntry& entry) const;
    // Moves one option between `options` and its control, either way.
    static void transferOption(const sonvale::app::OptionEntry& entry, QWidget* control,
                               svar::TOptions& options, bool toControl);
    void updateVBRControls();

    sonvale::app::AppPaths paths_;
    sonvale::ui::UiServices& ui_;
    int currentSkin_ = -1;
    bool restoringSeconds_ = false; // edtStopRecording is being reset
    QPoint dragOffset_;
    bool dragging_ = false;
};
