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
// The recording control (srecord.cpp), the list of recordings with playback
// (splay.cpp) and the record-source panel (ssource.cpp) are handlers of this
// window, each family in a file of its own.
//
// Main thread only, except the two data handlers of a recording
// (waveInDataAvailable on the capture thread, EncoderOutput on the encoder's
// thread), which read only values that do not change while a recording runs
// and never touch a widget.
#pragma once

#include "app/AppPaths.h"

#include <QWidget>

#include <atomic>
#include <cstdint>
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
class QTreeWidgetItem;
class MediaPlayer;
class TAudio;
class TOptionsFrm;
class unaAbstractEncoder;
class unavclInOutPipe;
class TXaudioPlayer;
class TunavclWaveInDevice;
class TunavclWaveRiff;
class tMsMixerControl;

namespace sonvale::ui {
class UiServices;
}

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

    // Recording control (srecord.cpp).
    void btnRecordClick();
    void btnPauseClick();
    void btnStopClick();
    void TimerTimer();
    // Capture thread: queues a captured block to the active encoder.
    void waveInDataAvailable(unavclInOutPipe* sender, const void* data, uint32_t len);
    // Encoder thread (and the main thread while the encoder closes): appends
    // encoded bytes to the file being recorded.
    void EncoderOutput(unaAbstractEncoder* sender, const void* data, uint32_t size,
                       bool& copyToStream);

    // The list of recordings and playback (splay.cpp).
    void btnPlayClick();
    void btnSaveClick();
    void btnRemoveClick();
    void btnRemoveAllClick();
    void mp3PlayerNotifyInputPosition(TXaudioPlayer* sender, uint32_t offset, uint32_t range);
    void mp3PlayerNotifyPlayerState(TXaudioPlayer* sender, int state);

    // The record-source panel (ssource.cpp). Lists the recording inputs of
    // the chosen mixer and fills the options dialog's mixer list.
    void BuildRecordSourcePanel();
    void lstRecordSourceItemChecked(QTreeWidget* sender, QTreeWidgetItem* item);
    void lstRecordSourceAfterSelectionChange(QTreeWidget* sender);
    void prbVolumeChange(QWidget* sender);

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
    // The media player service for WAV files and for MP3 files when the own
    // player is off; made on first use.
    std::unique_ptr<MediaPlayer> sysPlayer;
    // The mixer component of the record-source panel (volumes and mute
    // flags); made by the first panel build.
    std::unique_ptr<TAudio> Recorder;

    // Item data of lstRecordSource: the line number, and the kind of check
    // box (kNoCheckBox, ectCheckBox, ectRadioButton).
    enum : int { kNoCheckBox = 0, ectCheckBox = 1, ectRadioButton = 2 };
    static constexpr int kLineRole = 0x0100;      // Qt::UserRole
    static constexpr int kCheckKindRole = 0x0101; // Qt::UserRole + 1

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

    // Recording helpers (srecord.cpp).
    void setListButtonsEnabled(bool enabled);
    void setStatus(const std::string& text);
    bool recordingIsMp3() const { return recordingMp3_; }
    // Lets captured sound reach the file again after a pause (MP3: the
    // device runs again, without a stream; WAV: the RIFF pipe is consumer).
    void resumeCapture();
    // Ends a recording whose file could not be written and tells the user.
    void stopAfterWriteFailure();
    // Playback helpers (splay.cpp).
    bool playsWithOwnPlayer() const;
    void startPlayback();
    void stopPlayback();
    void pausePlayback();
    void resumePlayback();
    void playbackTimerTick();
    void attachPlayerEvents();
    // Source-panel helpers (ssource.cpp).
    void buildSourcePanel();
    bool readLine(int destination, int line, uint16_t& left, uint16_t& right, bool& mute);
    // Writes both channels with the line's second channel value (mute kept)
    // and shows that value on prbVolume.
    void equaliseAndShow(int destination, int line);
    // Shows a mixer value (0..65535) on prbVolume without writing it back.
    void showVolume(uint16_t value);
    // Shows the line's second channel value on prbVolume, when it reads.
    void showLineVolume(int destination, int line);
    void showSelectedSourceVolume();
    void ShowPlaybackVolume();
    void chooseSource(QTreeWidgetItem* item);
    int sourceLine(QTreeWidgetItem* item) const;
    int checkKind(QTreeWidgetItem* item) const;

    sonvale::app::AppPaths paths_;
    sonvale::ui::UiServices& ui_;
    bool shown_ = false;
    bool destroyed_ = false;
    bool dragStarted_ = false;
    bool manualDrag_ = false;
    QPoint dragOffset_;

    // The output type of the recording that runs (fixed from Record to Stop).
    bool recordingMp3_ = false;
    // Set while Record sets a recording up.
    bool startingRecord_ = false;
    // Set by EncoderOutput when an encoded block could not be appended.
    std::atomic<bool> appendFailed_{false};
    // Set while the source panel changes item marks itself.
    bool fillingSources_ = false;
    // Set while prbVolume is moved by the program, not by the user.
    bool settingVolume_ = false;
    // MUX mode: the wave-in destination's MUX control and, per position of
    // lstRecordSource, the MUX item that selects that source. Valid until the
    // next panel build (the mixer objects are enumerated again then).
    tMsMixerControl* muxControl_ = nullptr;
    std::vector<int> muxItems_;
};
