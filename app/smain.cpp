#include "app/smain.h"

#include "app/MainSkin.h"
#include "app/MeterWidget.h"
#include "app/RecordSettings.h"
#include "app/Settings.h"
#include "app/SkinCache.h"
#include "app/SourceItemDelegate.h"
#include "app/soptions.h"
#include "app/svar.h"
#include "capture/WaveRepair.h"
#include "capture/unaMsAcmDevice.h"
#include "capture/unavclWaveComponents.h"
#include "core/unaUtils.h"
#include "encode/unaBladeMp3Enc.h"
#include "ini/TIniEngineEx.h"
#include "ini/iniFileIO.h"
#include "mixer/RecordSources.h"
#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"
#include "platform/ui/UiServices.h"
#include "player/TXaudioPlayer.h"

#include <QBitmap>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <future>
#include <system_error>
#include <utility>

using namespace sonvale::app;

namespace {

// A skinned button; its icon comes with the skin's pictures (applySkin).
QToolButton* makeButton(QWidget* parent, const char* name, SkinIcon icon, const QRect& place,
                        const char* hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(place);
    b->setIconSize(QSize(skinIconSize(icon), skinIconSize(icon)));
    b->setToolTip(QString::fromUtf8(hint));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

// The skin's pictures read from the file they are kept in, or painted, on a
// worker thread (a one-shot job: it touches no widget and ends by itself);
// made here at the first show when no thread can be started.
std::future<SkinPictures> startPaintingSkin(const std::string& cacheFile) {
    auto job = [cacheFile] { return loadOrPaintSkinPictures(cacheFile); };
    try {
        return std::async(std::launch::async, job);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, job);
    }
}

std::string libraryLostText(const char* name) {
    return std::string("File '") + name + "' lost!";
}

std::string libraryFailedText(const char* name) {
    return std::string("initialize '") + name + "' failed!";
}

} // namespace

TMainFrm::TMainFrm(const AppPaths& paths, sonvale::ui::UiServices& ui, QWidget* parent,
                   LibraryStart libraryStart)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), paths_(paths), ui_(ui),
      skinJob_(startPaintingSkin(paths.skinCacheFile)), libraryStart_(libraryStart) {
    setObjectName(QStringLiteral("TMainFrm"));
    setWindowTitle(QStringLiteral("Sonvale"));
    buildControls();
    FormCreate();
}

TMainFrm::~TMainFrm() {
    FormDestroy();
}

void TMainFrm::buildControls() {
    using namespace MainLayout;
    setFixedSize(Width, Height);
    setStyleSheet(mainStyleSheet());

    // The skin picture and the window's shape come at the first show.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, Width, Height);
    Image1->installEventFilter(this);

    // Window buttons in the title strip.
    const int wy = 11, ws = 22;
    btnHelp = makeButton(this, "btnHelp", SkinIcon::Help, QRect(Width - 124, wy, ws, ws), "Help");
    btnHome = makeButton(this, "btnHome", SkinIcon::Home, QRect(Width - 98, wy, ws, ws),
                         "Visit home page.");
    btnMinimize = makeButton(this, "btnMinimize", SkinIcon::Minimize, QRect(Width - 72, wy, ws, ws),
                             "Minimize");
    btnTerminate =
        makeButton(this, "btnTerminate", SkinIcon::Close, QRect(Width - 46, wy, ws, ws), "Close");
    for (QToolButton* b : {btnHelp, btnHome, btnMinimize, btnTerminate})
        b->setProperty("window", true);

    // Status display.
    labStatus = new QLabel(QStringLiteral("Ready"), this);
    labStatus->setObjectName(QStringLiteral("labStatus"));
    labStatus->setGeometry(Status);
    prbProgress = new QSlider(Qt::Horizontal, this);
    prbProgress->setObjectName(QStringLiteral("prbProgress"));
    prbProgress->setGeometry(Progress);
    prbProgress->setRange(0, 100);
    prbProgress->setPageStep(5);
    prbProgress->installEventFilter(this);
    labClock = new QLabel(this);
    labClock->setObjectName(QStringLiteral("labClock"));
    labClock->setGeometry(Clock);
    labClock->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Transport and list buttons.
    const int ty = Transport.top() + 2, big = 52;
    btnRecord = makeButton(this, "btnRecord", SkinIcon::Record, QRect(28, ty, big, big), "Record");
    btnPlay = makeButton(this, "btnPlay", SkinIcon::Play, QRect(88, ty, big, big), "Play");
    btnPause = makeButton(this, "btnPause", SkinIcon::Pause, QRect(148, ty, big, big), "Pause");
    btnStop = makeButton(this, "btnStop", SkinIcon::Stop, QRect(208, ty, big, big), "Stop");
    for (QToolButton* b : {btnRecord, btnPlay, btnPause, btnStop})
        b->setProperty("transport", true);
    const int ly = Transport.top() + 10, small = 36;
    btnSave = makeButton(this, "btnSave", SkinIcon::Save, QRect(300, ly, small, small),
                         "Save the selected recording file as...");
    btnRemove = makeButton(this, "btnRemove", SkinIcon::Remove, QRect(344, ly, small, small),
                           "Remove the selected recording file.");
    btnRemoveAll = makeButton(this, "btnRemoveAll", SkinIcon::RemoveAll,
                              QRect(388, ly, small, small), "Remove all recording files.");
    btnOptions = makeButton(this, "btnOptions", SkinIcon::Options,
                            QRect(Width - 24 - small, ly, small, small), "Options...");

    // The list of recordings and the new/overwrite choice.
    lstRecordFile = new QListWidget(this);
    lstRecordFile->setObjectName(QStringLiteral("lstRecordFile"));
    lstRecordFile->setGeometry(FileList);
    lstRecordFile->setSelectionMode(QAbstractItemView::SingleSelection);
    lstRecordFile->setTextElideMode(Qt::ElideMiddle);

    const int cx = FileList.left() + 4, cy = FileList.bottom() + 10;
    chkRecordNew = new QCheckBox(this);
    chkRecordNew->setObjectName(QStringLiteral("chkRecordNew"));
    chkRecordNew->setGeometry(cx, cy, 18, 20);
    AALabel1 = new QLabel(QStringLiteral("Record to a new recording file."), this);
    AALabel1->setObjectName(QStringLiteral("AALabel1"));
    AALabel1->setGeometry(cx + 22, cy, 340, 20);
    chkRecordOverwrite = new QCheckBox(this);
    chkRecordOverwrite->setObjectName(QStringLiteral("chkRecordOverwrite"));
    chkRecordOverwrite->setGeometry(cx, cy + 24, 18, 20);
    AALabel2 = new QLabel(QStringLiteral("Overwrite selected recording file."), this);
    AALabel2->setObjectName(QStringLiteral("AALabel2"));
    AALabel2->setGeometry(cx + 22, cy + 24, 340, 20);
    for (QWidget* w :
         {static_cast<QWidget*>(chkRecordNew), static_cast<QWidget*>(chkRecordOverwrite),
          static_cast<QWidget*>(AALabel1), static_cast<QWidget*>(AALabel2)})
        w->setCursor(Qt::PointingHandCursor);
    AALabel1->installEventFilter(this);
    AALabel2->installEventFilter(this);
    connect(chkRecordNew, &QCheckBox::clicked, this, [this] { chkRecordNewClick(); });
    connect(chkRecordOverwrite, &QCheckBox::clicked, this, [this] { chkRecordOverwriteClick(); });

    // The record-source panel.
    lstRecordSource = new QTreeWidget(this);
    lstRecordSource->setObjectName(QStringLiteral("lstRecordSource"));
    lstRecordSource->setGeometry(SourceList);
    lstRecordSource->setHeaderHidden(true);
    lstRecordSource->setRootIsDecorated(false);
    lstRecordSource->setColumnCount(1);
    lstRecordSource->setSelectionMode(QAbstractItemView::SingleSelection);
    lstRecordSource->setItemDelegate(
        new SourceItemDelegate(kCheckKindRole, ectRadioButton, lstRecordSource));
    prbVolume = new QSlider(Qt::Vertical, this);
    prbVolume->setObjectName(QStringLiteral("prbVolume"));
    prbVolume->setGeometry(Volume);
    prbVolume->setRange(0, 100);
    prbVolume->setSingleStep(10);
    prbVolume->setPageStep(10);
    labVolume = new QLabel(this);
    labVolume->setObjectName(QStringLiteral("labVolume"));
    labVolume->setGeometry(VolumeValue);
    labVolume->setAlignment(Qt::AlignCenter);

    labMsg = new QLabel(this);
    labMsg->setObjectName(QStringLiteral("labMsg"));
    labMsg->setGeometry(Message);
    labMsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labMsg->installEventFilter(this);

    // The RIFF pipe builds its writer when it is told it writes; the wave-in
    // pipe, built outside a loading form, makes its device here.
    waveRiff = std::make_unique<TunavclWaveRiff>();
    waveRiff->setIsInput(false);
    waveIn = std::make_unique<TunavclWaveInDevice>();
    waveIn->reinitialize();
    waveIn->setConsumer(waveRiff.get());
    waveIn->setMinActiveTime(0);
    RecordingView& view = *this;
    Control = std::make_unique<RecordingControl>(view, ui_, *waveIn, *waveRiff);

    // The meter shows the levels the capture device measures of every block
    // and of each quarter of it.
    meterLevel = new MeterWidget(this);
    meterLevel->setGeometry(Meter);
    waveIn->setCalcVolume(true);
    meterLevel->setSource([this] {
        MeterReading reading;
        unaMsAcmStreamDevice* device = waveIn->device();
        if (!device || !waveIn->active())
            return reading;
        reading.channels = int(std::min<uint32_t>(waveIn->pcm_NumChannels(), 2));
        reading.bitsPerSample = waveIn->pcm_BitsPerSample();
        for (int c = 0; c < reading.channels; ++c)
            reading.levels[c] = device->getVolume(uint32_t(c));
        const unaMsAcmStreamDevice::LevelWindows windows = device->levelWindows();
        static_assert(unaMsAcmStreamDevice::kLevelWindows <= MeterReading::kMaxWindows);
        reading.windows = int(unaMsAcmStreamDevice::kLevelWindows);
        reading.block = windows.block;
        reading.blockMs = 1000 / std::max<uint32_t>(device->chunksPerSecond(), 1);
        for (int c = 0; c < reading.channels; ++c)
            for (int w = 0; w < reading.windows; ++w)
                reading.windowLevels[c][w] = windows.level[c][w];
        return reading;
    });

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });

    connect(btnRecord, &QToolButton::clicked, this, [this] { btnRecordClick(); });
    connect(btnPlay, &QToolButton::clicked, this, [this] { btnPlayClick(); });
    connect(btnPause, &QToolButton::clicked, this, [this] { btnPauseClick(); });
    connect(btnStop, &QToolButton::clicked, this, [this] { btnStopClick(); });
    connect(btnSave, &QToolButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnRemove, &QToolButton::clicked, this, [this] { btnRemoveClick(); });
    connect(btnRemoveAll, &QToolButton::clicked, this, [this] { btnRemoveAllClick(); });
    // Keys and the end of a drag move the playback; a move while dragging
    // only moves the handle.
    connect(prbProgress, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            prbProgressSeek(prbProgress->sliderPosition());
    });
    connect(prbProgress, &QSlider::sliderReleased, this,
            [this] { prbProgressSeek(prbProgress->sliderPosition()); });
    connect(lstRecordSource, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (!fillingSources_)
            lstRecordSourceItemChecked(lstRecordSource, item);
    });
    connect(lstRecordSource, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!fillingSources_)
            lstRecordSourceAfterSelectionChange(lstRecordSource);
    });
    connect(prbVolume, &QSlider::valueChanged, this, [this](int value) {
        labVolume->setText(QString::number(value));
        prbVolume->setAccessibleDescription(QStringLiteral("Volume %1%").arg(value));
        prbVolume->setToolTip(prbVolume->accessibleDescription());
        if (!settingVolume_)
            prbVolumeChange(prbVolume);
    });

    connect(btnHelp, &QToolButton::clicked, this, [this] { btnHelpClick(); });
    connect(btnHome, &QToolButton::clicked, this, [this] { btnHomeClick(); });
    connect(btnMinimize, &QToolButton::clicked, this, [this] { btnMinimizeClick(); });
    connect(btnTerminate, &QToolButton::clicked, this, [this] { btnTerminateClick(); });
    // The dialog's own loop starts once the click has been handled completely,
    // not inside the button's mouse handling.
    connect(
        btnOptions, &QToolButton::clicked, this, [this] { btnOptionsClick(); },
        Qt::QueuedConnection);
    buildKeyboard();
}

void TMainFrm::setOptionsForm(TOptionsFrm* form) {
    OptionsFrm = form;
    if (form) {
        optionsFactory_ = nullptr;
        if (form->parent() != this)
            form->setParent(this, form->windowFlags());
        form->onBuildRecordSourcePanel = [this] { BuildRecordSourcePanel(); };
    }
}

void TMainFrm::setOptionsFactory(std::function<TOptionsFrm*()> factory) {
    optionsFactory_ = std::move(factory);
}

TOptionsFrm* TMainFrm::ensureOptionsForm() {
    if (!OptionsFrm && optionsFactory_) {
        setOptionsForm(optionsFactory_());
        fillMixerList();
    }
    return OptionsFrm;
}

// ---- start-up ------------------------------------------------------------

void TMainFrm::FormCreate() {
    if (libraryStart_ == LibraryStart::WithWindow)
        StartLibraries();
    MixerStartup();
    ReadSettingsAndList();
    if (libraryStart_ == LibraryStart::AfterFirstFrame)
        afterFirstFrame([this] { StartLibraries(); });
}

void TMainFrm::StartLibraries() {
    if (librariesStarted_)
        return;
    librariesStarted_ = true;
    EncoderStartup();
    PlayerStartup();
    if (svar::PlayerLibraryMissing)
        svar::AppSettings.IsOurPlayer = false; // for this run only; the file keeps its value
}

void TMainFrm::EncoderStartup() {
    try {
        if (!fileExists(paths_.encoderLibrary)) {
            ui_.messageBox(libraryLostText(kEncoderLibraryName));
            return;
        }
        svar::Mp3Encoder = new unaLameMp3Enc(paths_.encoderLibrary, 0);
        Control->attachEncoder(svar::Mp3Encoder); // MP3 recordings write through its sink
        if (svar::Mp3Encoder->lastError() != 0)
            ui_.messageBox(libraryFailedText(kEncoderLibraryName));
    } catch (...) {
        ui_.messageBox(libraryFailedText(kEncoderLibraryName));
    }
}

void TMainFrm::PlayerStartup() {
    try {
        if (!fileExists(paths_.playerLibrary)) {
            ui_.messageBox(libraryLostText(kPlayerLibraryName));
            svar::PlayerLibraryMissing = true;
            return;
        }
        if (!mp3Player)
            mp3Player = std::make_unique<TXaudioPlayer>();
        mp3Player->setXaudioPath(paths_.playerLibrary);
        attachPlayerEvents();
        Control->setOwnPlayer(mp3Player.get());
        mp3Player->Init();
        svar::PlayerLibraryMissing = false;
    } catch (...) {
        ui_.messageBox(libraryFailedText(kPlayerLibraryName));
        svar::PlayerLibraryMissing = true;
    }
}

void TMainFrm::MixerStartup() {
    svar::MixerSystem = new tMsMixerSystem();
}

void TMainFrm::ReadSettingsAndList() {
    svar::AppSettings.SaveDir = withTrailingSlash(paths_.defaultSaveDir);
    lstRecordFile->clear();
    // Left by a settings write that was killed half-way in an earlier run.
    TIniFileWriter::RemoveStaleTemporaries(paths_.iniFile);
    try {
        TIniEngineEx ini(paths_.iniFile);
        svar::AppSettings = ReadOptions(ini, paths_.defaultSaveDir, svar::AppSettings);
        bool dropped = false;
        const auto files = ReadRecordFileList(
            ini, dropped, [](const std::string& path) { return fileExists(path); });
        if (dropped)
            svar::ListChanged = true;
        for (const auto& path : files) {
            auto* item = new QListWidgetItem(QString::fromStdString(path), lstRecordFile);
            lstRecordFile->setCurrentItem(item);
        }
    } catch (const std::exception&) {
        // An unreadable settings file: go on with the defaults.
        ui_.messageBox("Read settings failed! - " + paths_.iniFile);
    }
    RepairListedWaveFiles();
    chkRecordNew->setChecked(svar::AppSettings.IsRecordNew);
    chkRecordOverwrite->setChecked(!svar::AppSettings.IsRecordNew);
    if (svar::PlayerLibraryMissing) // known here when the libraries start with the window
        svar::AppSettings.IsOurPlayer = false;
    labMsg->setText(QString::fromStdString(ReadVersionText(paths_.msgIniFile)));
}

void TMainFrm::RepairListedWaveFiles() {
    // A WAV recording cut off by a crash or a power cut has header sizes
    // that disagree with its length; its sizes are set from the length.
    std::string repaired;
    int count = 0;
    for (const std::string& path : recordFiles()) {
        if (LowerExtension(path) == ".wav" && repairWaveFile(path) == WaveRepairResult::Repaired) {
            repaired += "\n" + path;
            ++count;
        }
    }
    if (count == 1)
        ui_.messageBox("Recording file repaired! - " + repaired.substr(1));
    else if (count > 1)
        ui_.messageBox("Recording files repaired!" + repaired);
}

void TMainFrm::afterFirstFrame(std::function<void()> job) {
    if (!job)
        return;
    if (firstFrameDrawn_)
        QTimer::singleShot(0, this, std::move(job));
    else
        firstFrameJobs_.push_back(std::move(job));
}

void TMainFrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        if (QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        // Before the window is mapped, so it appears in its shape, drawn, and
        // before anything the panel's build may show over it.
        applySkin();
        FormShow();
    }
}

void TMainFrm::applySkin() {
    if (!skinJob_.valid())
        return;
    SkinPictures pictures;
    try {
        pictures = skinJob_.get();
    } catch (const std::exception&) {
        return; // out of memory: the controls on a plain window
    }
    setMask(QBitmap::fromImage(pictures.shape));
    meterLevel->setBackdrop(QPixmap::fromImage(pictures.skin.copy(MainLayout::Meter)));
    Image1->setPixmap(QPixmap::fromImage(std::move(pictures.skin))); // converted in place
    const std::pair<QToolButton*, SkinIcon> buttons[] = {
        {btnRecord, SkinIcon::Record},       {btnPlay, SkinIcon::Play},
        {btnPause, SkinIcon::Pause},         {btnStop, SkinIcon::Stop},
        {btnSave, SkinIcon::Save},           {btnRemove, SkinIcon::Remove},
        {btnRemoveAll, SkinIcon::RemoveAll}, {btnOptions, SkinIcon::Options},
        {btnHelp, SkinIcon::Help},           {btnHome, SkinIcon::Home},
        {btnMinimize, SkinIcon::Minimize},   {btnTerminate, SkinIcon::Close}};
    for (const auto& [button, icon] : buttons)
        button->setIcon(skinIcon(pictures.icons[size_t(icon)]));
}

void TMainFrm::FormShow() {
    try {
        BuildRecordSourcePanel();
    } catch (...) {
    }
}

// ---- shut-down -----------------------------------------------------------

void TMainFrm::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    Timer->stop();
    try {
        PlayerShutdown();
    } catch (...) {
    }
    try {
        RecordingPipeShutdown();
    } catch (...) {
    }
    try {
        MixerShutdown();
    } catch (...) {
    }
    try {
        EncoderShutdown();
    } catch (...) {
    }
    WriteListIfChanged();
}

void TMainFrm::PlayerShutdown() {
    Control->closeSystemPlayer();
    if (mp3Player && fileExists(paths_.playerLibrary))
        mp3Player->OutputReset();
}

void TMainFrm::RecordingPipeShutdown() {
    if (waveIn)
        waveIn->setActive(false); // closes waveRiff first
}

void TMainFrm::MixerShutdown() {
    Sources.reset();
    Recorder.reset();
    tMsMixerSystem* mixers = svar::MixerSystem;
    svar::MixerSystem = nullptr;
    delete mixers;
}

void TMainFrm::EncoderShutdown() {
    // A recording still running at exit is finished first: releasing the
    // encoder drains its queue into the file and closes the file.
    unaLameMp3Enc* encoder = svar::Mp3Encoder;
    Control->releaseEncoder();
    svar::ActiveEncoder = nullptr;
    svar::Mp3Encoder = nullptr;
    delete encoder;
}

void TMainFrm::WriteListIfChanged(bool report) {
    if (!svar::ListChanged)
        return;
    try {
        TIniEngineEx ini(paths_.iniFile);
        WriteRecordFileList(ini, chkRecordNew->isChecked(), recordFiles());
        ini.FlushFile();
        svar::ListChanged = false;
    } catch (const std::exception&) {
        if (report)
            ui_.messageBox("Save settings failed! - " + paths_.iniFile);
    }
}

std::vector<std::string> TMainFrm::recordFiles() const {
    std::vector<std::string> files;
    for (int i = 0; i < lstRecordFile->count(); ++i)
        files.push_back(lstRecordFile->item(i)->text().toStdString());
    return files;
}

// ---- window commands -----------------------------------------------------

void TMainFrm::btnHelpClick() {
    if (!fileExists(paths_.helpFile)) {
        ui_.messageBox(libraryLostText(kHelpFileName));
        return;
    }
    if (!ui_.shellOpen(paths_.helpFile, sonvale::ui::ShowMode::Maximized))
        ui_.messageBox("Open failed! - " + paths_.helpFile);
}

// The project has no web site; its home page is the README that comes with
// the program.
void TMainFrm::btnHomeClick() {
    if (!fileExists(paths_.homePage)) {
        ui_.messageBox(libraryLostText(kHomePageName));
        return;
    }
    if (!ui_.shellOpen(paths_.homePage, sonvale::ui::ShowMode::Normal))
        ui_.messageBox("Open failed! - " + paths_.homePage);
}

void TMainFrm::btnMinimizeClick() {
    showMinimized();
}

void TMainFrm::btnTerminateClick() {
    close();
}

void TMainFrm::btnOptionsClick() {
    StartLibraries(); // the dialog shows whether our own player can be chosen
    if (!ensureOptionsForm())
        return;
    OptionsFrm->InitialFocus = 0;
    OptionsFrm->exec();
}

void TMainFrm::Image1MouseDown(QMouseEvent* event) {
    beginDrag(event);
}

void TMainFrm::labMsgMouseDown(QMouseEvent* event) {
    beginDrag(event);
}

void TMainFrm::beginDrag(QMouseEvent* event) {
    dragStarted_ = event->button() == Qt::LeftButton;
    if (!dragStarted_)
        return;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    // The desktop moves the window as if by its title bar; where it cannot,
    // the window follows the pointer itself until the button is released.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        manualDrag_ = false;
        return;
    }
    manualDrag_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::Paint && !firstFrameDrawn_) {
        // The skin covers the whole window, so its first paint is part of
        // the first frame; the jobs run once that frame is on the screen.
        firstFrameDrawn_ = true;
        QTimer::singleShot(0, this, [this] {
            for (auto& job : std::exchange(firstFrameJobs_, {}))
                job();
        });
    }
    const bool dragArea = watched == Image1 || watched == labMsg;
    if (dragArea) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (watched == Image1)
                Image1MouseDown(static_cast<QMouseEvent*>(event));
            else
                labMsgMouseDown(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseMove:
            if (manualDrag_) {
                move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                manualDrag_ = false;
            }
            break;
        default:
            break;
        }
    }
    if (watched == prbProgress && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // A click beside the handle moves there at once (and the handle, now
        // under the pointer, can be dragged on).
        auto* e = static_cast<QMouseEvent*>(event);
        QStyleOptionSlider option;
        option.initFrom(prbProgress);
        option.orientation = Qt::Horizontal;
        option.minimum = prbProgress->minimum();
        option.maximum = prbProgress->maximum();
        option.sliderPosition = prbProgress->sliderPosition();
        option.sliderValue = prbProgress->value();
        const QRect handle = prbProgress->style()->subControlRect(
            QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, prbProgress);
        if (!handle.contains(e->position().toPoint())) {
            const int value = QStyle::sliderValueFromPosition(
                prbProgress->minimum(), prbProgress->maximum(),
                int(e->position().x()) - handle.width() / 2, prbProgress->width() - handle.width());
            prbProgress->setValue(value);
            prbProgressSeek(value);
        }
    }
    if ((watched == AALabel1 || watched == AALabel2) &&
        event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        watched == AALabel1 ? AALabel1Click() : AALabel2Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- new file or overwrite -----------------------------------------------

void TMainFrm::chkRecordNewClick() {
    svar::ListChanged = true;
    chkRecordNew->setChecked(true);
    chkRecordOverwrite->setChecked(false);
}

void TMainFrm::chkRecordOverwriteClick() {
    svar::ListChanged = true;
    chkRecordOverwrite->setChecked(true);
    chkRecordNew->setChecked(false);
}
