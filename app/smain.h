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
// list when it changed. Work the first picture does not need (the window
// icon) waits until the first frame has been drawn (afterFirstFrame). The
// skin and the button pictures are painted on a worker thread while the
// window is built; the first show puts them on, before the window is mapped.
//
// The window decides nothing about recording or sources itself: the
// transport (Record, Pause, Stop, Play, the timer) is `Control`
// (RecordingControl), which draws through the RecordingView this window
// implements (srecord.cpp); the record-source panel (ssource.cpp) shows what
// RecordSources reads from the mixer. The list of recordings with Save and
// Remove is splay.cpp.
//
// Main thread only. Captured and encoded data never pass through the window.
#pragma once

#include "app/AppPaths.h"
#include "app/MainSkin.h"
#include "app/RecordingControl.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
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
class TAudio;
class TOptionsFrm;
class TXaudioPlayer;
class TunavclWaveInDevice;
class TunavclWaveRiff;
class RecordSources;

namespace sonvale::app {
class MeterWidget;
}

namespace sonvale::ui {
class UiServices;
}

class TMainFrm : public QWidget, private sonvale::app::RecordingView {
    Q_OBJECT
public:
    // When the start-up loads the MP3 libraries (the encoder's and the
    // player's): with the window, or once the window has drawn its first
    // frame, so that it does not wait for what its first picture does not
    // need. Record, Play and Options load them first if the user gets there
    // before that.
    enum class LibraryStart { WithWindow, AfterFirstFrame };

    TMainFrm(const sonvale::app::AppPaths& paths, sonvale::ui::UiServices& ui,
             QWidget* parent = nullptr, LibraryStart libraryStart = LibraryStart::WithWindow);
    ~TMainFrm() override;

    // The options dialog; owned from here on.
    void setOptionsForm(TOptionsFrm* form);
    // Or the way to make it: the dialog is then made when it is first shown,
    // so the start-up does not pay for it.
    void setOptionsFactory(std::function<TOptionsFrm*()> factory);
    // The dialog, made now if only its factory was given (null without both).
    TOptionsFrm* ensureOptionsForm();
    TOptionsFrm* optionsForm() const { return OptionsFrm; }

    const sonvale::app::AppPaths& paths() const { return paths_; }

    // Runs `job` from the event loop right after the window has drawn its
    // first frame, so the start-up shows the window without waiting for it;
    // once that frame is drawn, a job given runs from the event loop at once.
    // Jobs run in the order given, each once.
    void afterFirstFrame(std::function<void()> job);

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

    // The transport: each forwards to Control (srecord.cpp).
    void btnRecordClick();
    void btnPauseClick();
    void btnStopClick();
    void btnPlayClick();
    void TimerTimer();

    // The list of recordings (splay.cpp).
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
    // Beside the status: time and size while recording, position while
    // playing.
    QLabel* labClock;
    // The input level while recording.
    sonvale::app::MeterWidget* meterLevel;
    QSlider* prbProgress;
    QSlider* prbVolume;
    QLabel* labVolume; // the volume slider's value
    QListWidget* lstRecordFile;
    QTreeWidget* lstRecordSource;
    QCheckBox* chkRecordNew;
    QCheckBox* chkRecordOverwrite;
    QLabel* AALabel1;
    QLabel* AALabel2;
    QLabel* labMsg;
    QTimer* Timer;
    TOptionsFrm* OptionsFrm = nullptr;
    std::function<TOptionsFrm*()> optionsFactory_; // until the dialog is made
    std::unique_ptr<TXaudioPlayer> mp3Player;      // created by the player start-up
    // The recording pipes: waveIn captures and hands its chunks to its
    // consumer waveRiff, which writes the WAV file.
    std::unique_ptr<TunavclWaveRiff> waveRiff;
    std::unique_ptr<TunavclWaveInDevice> waveIn;
    // The mixer component of the record-source panel (volumes and mute
    // flags); made by the first panel build.
    std::unique_ptr<TAudio> Recorder;
    // The transport; made with the window, gone before the pipes.
    std::unique_ptr<sonvale::app::RecordingControl> Control;
    // What the record-source panel shows; made with Recorder.
    std::unique_ptr<RecordSources> Sources;

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
    // The skin picture, the window's shape and the button icons, once their
    // painting is done (first show).
    void applySkin();
    // Focus, tab order, shortcuts, list activation, accessible texts
    // (skeys.cpp).
    void buildKeyboard();
    // The progress bar was clicked, dragged or moved by keys.
    void prbProgressSeek(int percent);

    // Start-up and shut-down steps, in the order FormCreate and FormDestroy
    // run them.
    // The encoder and player start-ups, once, whichever asks first; a
    // missing player library turns our own player off for this run.
    void StartLibraries();
    void EncoderStartup();
    void PlayerStartup();
    void MixerStartup();
    void ReadSettingsAndList();
    // Repairs the listed WAV files whose header sizes disagree with their
    // length and tells the user once which were repaired.
    void RepairListedWaveFiles();
    void PlayerShutdown();
    void RecordingPipeShutdown();
    void MixerShutdown();
    void EncoderShutdown();
    // Writes "IsRecordNew" and the list when ListChanged is set; `report`:
    // a failed write is shown ("Save settings failed!").
    void WriteListIfChanged(bool report = true);

    void beginDrag(QMouseEvent* event);

    // RecordingView (srecord.cpp; the two volume displays in ssource.cpp).
    std::string status() const override;
    void setStatus(const std::string& text) override;
    void setListButtonsEnabled(bool enabled) override;
    void setRecordEnabled(bool enabled) override;
    void setPlayEnabled(bool enabled) override;
    void setTimerRunning(bool running) override;
    void setProgress(int percent) override;
    void setClock(const std::string& text) override;
    void setMeterRunning(bool running) override;
    bool recordNew() const override;
    std::optional<std::string> selectedRecording() const override;
    void selectRecording(const std::string& path) override;
    void renameSelectedRecording(const std::string& path) override;
    void removeSelectedRecording() override;
    void saveRecordingList() override;
    void refreshSourceVolume() override;
    void showPlaybackVolume() override;

    void attachPlayerEvents();
    // Source-panel helpers (ssource.cpp). `followingChange`: a rebuild for a
    // change the mixer notified (devices read again, nothing shown in boxes,
    // the dialog's open mixer list left alone).
    void buildSourcePanel(bool followingChange);
    // Main thread: the mixer notified a change of its MUX or of its lines.
    void mixerControlChanged();
    // Lists the mixer devices in the options dialog, when it exists.
    void fillMixerList();
    // Shows a mixer value (0..65535) on prbVolume without writing it back.
    void showVolume(uint16_t value);
    // Shows the line's second channel value on prbVolume, when it reads.
    void showLineVolume(int destination, int line);
    void chooseSource(QTreeWidgetItem* item);
    int sourceIndex(QTreeWidgetItem* item) const;
    int sourceLine(QTreeWidgetItem* item) const;
    int checkKind(QTreeWidgetItem* item) const;

    sonvale::app::AppPaths paths_;
    sonvale::ui::UiServices& ui_;
    // The skin's pictures, read from their file (paths_.skinCacheFile) or
    // painted, on a worker thread from the start of the construction until
    // the first show takes them; waited for at the destruction of a window
    // never shown.
    std::future<sonvale::app::SkinPictures> skinJob_;
    LibraryStart libraryStart_;
    bool librariesStarted_ = false;
    bool shown_ = false;
    // Set by the first paint of the skin (which covers the whole window).
    bool firstFrameDrawn_ = false;
    std::vector<std::function<void()>> firstFrameJobs_; // until then
    bool destroyed_ = false;
    bool dragStarted_ = false;
    bool manualDrag_ = false;
    QPoint dragOffset_;

    // Set while the source panel changes item marks itself.
    bool fillingSources_ = false;
    // The panel has been built once (the start-up build is the first).
    bool sourcePanelBuilt_ = false;
    // Set while prbVolume is moved by the program, not by the user.
    bool settingVolume_ = false;
};
