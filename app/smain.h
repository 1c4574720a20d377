// TMainFrm, the recorder's borderless main window: the transport buttons,
// the status display with the progress slider, the list of recordings, the
// record-source panel with the volume slider, the new/overwrite choice and the
// version text. It is drawn on a skin image whose opaque pixels give the
// window its shape, and is dragged by its background or the version text.
//
// It owns the options dialog once given it, and for the whole run the
// objects its start-up creates. Creating it runs the start-up (FormCreate):
// the encoder, player and mixer start-ups, then the settings and the list of
// recordings are read. The first show builds the record-source panel
// (FormShow). Destroying it runs the shut-down (FormDestroy) and writes the
// list when it changed.
//
// Main thread only.
#pragma once

#include "app/AppPaths.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QSlider;
class QTimer;
class QToolButton;
class QTreeWidget;
class TOptionsFrm;
class TXaudioPlayer;
class TunavclWaveInDevice;
class TunavclWaveRiff;

namespace sonvale::ui {
class UiServices;
}

namespace sonvale::app {
// The product's home page, opened by the home button.
inline constexpr const char* kHomePageAddress = "https://sonvale.example.org/";
} // namespace sonvale::app

class TMainFrm : public QWidget {
    Q_OBJECT
public:
    TMainFrm(const sonvale::app::AppPaths& paths, sonvale::ui::UiServices& ui,
             QWidget* parent = nullptr);
    ~TMainFrm() override;

    // The options dialog, created right after this window; owned from here on.
    void setOptionsForm(TOptionsFrm* form);
    TOptionsFrm* optionsForm() const { return OptionsFrm; }

    const sonvale::app::AppPaths& paths() const { return paths_; }

    // Life of the window.
    void FormCreate();
    void FormShow();
    void FormDestroy();

    // Window commands.
    void btnHelpClick();
    void btnHomeClick();
    void btnMinimizeClick();
    void btnTerminateClick();
    void Image1MouseDown(QMouseEvent* event);
    void labMsgMouseDown(QMouseEvent* event);
    void btnOptionsClick();

    // The new-file / overwrite choice.
    void chkRecordNewClick();
    void chkRecordOverwriteClick();
    void AALabel1Click() { chkRecordNewClick(); }
    void AALabel2Click() { chkRecordOverwriteClick(); }

    // Lists the recording inputs of the chosen mixer and fills the options
    // dialog's mixer list.
    void BuildRecordSourcePanel();

    // The paths of `lstRecordFile`, in list order.
    std::vector<std::string> recordFiles() const;

    // Whether the last press on the background or the version text started
    // moving the window (only the left button does).
    bool dragStarted() const { return dragStarted_; }

    // Components.
    QLabel* Image1;
    QToolButton* btnRecord;
    QToolButton* btnPlay;
    QToolButton* btnPause;
    QToolButton* btnStop;
    QToolButton* btnSave;
    QToolButton* btnRemove;
    QToolButton* btnRemoveAll;
    QToolButton* btnOptions;
    QToolButton* btnHelp;
    QToolButton* btnHome;
    QToolButton* btnMinimize;
    QToolButton* btnTerminate;
    QLabel* labStatus;
    QSlider* prbProgress;
    QSlider* prbVolume;
    QListWidget* lstRecordFile;
    QTreeWidget* lstRecordSource;
    QCheckBox* chkRecordNew;
    QCheckBox* chkRecordOverwrite;
    QLabel* AALabel1;
    QLabel* AALabel2;
    QLabel* labMsg;
    QTimer* Timer;
    TOptionsFrm* OptionsFrm = nullptr;
    std::unique_ptr<TXaudioPlayer> mp3Player; // created by the player start-up
    // The recording pipes: waveIn captures and hands its chunks to its
    // consumer waveRiff, which writes the WAV file.
    std::unique_ptr<TunavclWaveRiff> waveRiff;
    std::unique_ptr<TunavclWaveInDevice> waveIn;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();

    // Start-up and shut-down steps, in the order FormCreate and FormDestroy
    // run them.
    void EncoderStartup();
    void PlayerStartup();
    void MixerStartup();
    void ReadSettingsAndList();
    void PlayerShutdown();
    void RecordingPipeShutdown();
    void MixerShutdown();
    void EncoderShutdown();
    void WriteListIfChanged();

    void beginDrag(QMouseEvent* event);

    sonvale::app::AppPaths paths_;
    sonvale::ui::UiServices& ui_;
    bool shown_ = false;
    bool destroyed_ = false;
    bool dragStarted_ = false;
    bool manualDrag_ = false;
    QPoint dragOffset_;
};
