#include "app/soptions.h"

#include "app/ChoiceLists.h"
#include "app/DialogSkins.h"
#include "app/Settings.h"
#include "app/svar.h"
#include "ini/TIniEngineEx.h"
#include "platform/ui/UiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <exception>
#include <type_traits>
#include <variant>

using namespace sonvale::app;

namespace {

inline constexpr int kOuterWidth = 473;
inline constexpr int kOuterHeight = 366;

template <std::size_t N>
QComboBox* makeList(QWidget* parent, const char* name,
                    const std::array<std::string_view, N>& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    for (const auto& item : items)
        box->addItem(QString::fromUtf8(item.data(), static_cast<int>(item.size())));
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setBuddy(buddy);
    return label;
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const char* text) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

} // namespace

TOptionsFrm::TOptionsFrm(const AppPaths& paths, sonvale::ui::UiServices& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), paths_(paths), ui_(ui) {
    setObjectName(QStringLiteral("TOptionsFrm"));
    setWindowTitle(QStringLiteral("Options..."));
    setModal(true);
    buildControls();
    setFixedSize(kOuterWidth, kOuterHeight);
}

void TOptionsFrm::buildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);

    // Title bar of the skin: caption and close button; the dialog is dragged by it.
    suiForm = new QFrame(this);
    suiForm->setObjectName(QStringLiteral("suiForm"));
    suiForm->setFixedHeight(26);
    auto* titleRow = new QHBoxLayout(suiForm);
    titleRow->setContentsMargins(10, 0, 5, 0);
    suiFormCaption = new QLabel(QStringLiteral("Options..."), suiForm);
    suiFormCaption->setObjectName(QStringLiteral("suiFormCaption"));
    suiFormClose = new QToolButton(suiForm);
    suiFormClose->setObjectName(QStringLiteral("suiFormClose"));
    suiFormClose->setText(QStringLiteral("\u00d7"));
    suiFormClose->setToolTip(QStringLiteral("Close"));
    suiFormClose->setFixedSize(18, 18);
    suiFormClose->setFocusPolicy(Qt::NoFocus);
    titleRow->addWidget(suiFormCaption);
    titleRow->addStretch();
    titleRow->addWidget(suiFormClose);
    outer->addWidget(suiForm);
    suiForm->installEventFilter(this);
    suiFormCaption->installEventFilter(this);
    connect(suiFormClose, &QToolButton::clicked, this, [this] { btnCancelClick(); });

    auto* body = new QHBoxLayout;
    body->setContentsMargins(8, 6, 8, 8);
    body->setSpacing(8);
    outer->addLayout(body, 1);

    // Left column: the general settings, then the two buttons.
    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    body->addLayout(left, 1);
    grpDefault = new QGroupBox(QStringLiteral("Default Settings"), this);
    left->addWidget(grpDefault, 1);
    auto* g = new QGridLayout(grpDefault);
    g->setContentsMargins(8, 10, 8, 8);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(5);

    cbxSaveFile = makeList(grpDefault, "cbxSaveFile", kSaveFileItems);
    g->addWidget(makeLabel(grpDefault, "Save file as:", cbxSaveFile), 0, 0);
    g->addWidget(cbxSaveFile, 0, 1, 1, 2);

    edtSaveDir = new QLineEdit(grpDefault);
    edtSaveDir->setObjectName(QStringLiteral("edtSaveDir"));
    edtSaveDir->setReadOnly(true);
    btnSaveDirSelect = new QToolButton(grpDefault);
    btnSaveDirSelect->setObjectName(QStringLiteral("btnSaveDirSelect"));
    btnSaveDirSelect->setText(QStringLiteral("..."));
    btnSaveDirSelect->setToolTip(QStringLiteral("Select directory"));
    g->addWidget(makeLabel(grpDefault, "Save file to:", edtSaveDir), 1, 0);
    g->addWidget(edtSaveDir, 1, 1);
    g->addWidget(btnSaveDirSelect, 1, 2);

    chkStopRecording = makeCheck(grpDefault, "chkStopRecording", "Stop recording after seconds:");
    edtStopRecording = new QLineEdit(grpDefault);
    edtStopRecording->setObjectName(QStringLiteral("edtStopRecording"));
    edtStopRecording->setFixedWidth(52);
    edtStopRecording->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    g->addWidget(chkStopRecording, 2, 0, 1, 3);
    auto* stopRow = new QHBoxLayout;
    stopRow->setContentsMargins(20, 0, 0, 0);
    stopRow->addWidget(edtStopRecording);
    stopRow->addStretch();
    g->addLayout(stopRow, 3, 0, 1, 3);

    chkNoiseReduction = makeCheck(grpDefault, "chkNoiseReduction", "Noise Reduction.");
    g->addWidget(chkNoiseReduction, 4, 0, 1, 3);
    chkOurPlayer = makeCheck(grpDefault, "chkOurPlayer", "Use our MP3 player");
    g->addWidget(chkOurPlayer, 5, 0, 1, 3);

    cbxSkin = makeList(grpDefault, "cbxSkin", kSkinItems);
    g->addWidget(makeLabel(grpDefault, "Dialog skin:", cbxSkin), 6, 0);
    g->addWidget(cbxSkin, 6, 1, 1, 2);
    cbxMixer = new QComboBox(grpDefault);
    cbxMixer->setObjectName(QStringLiteral("cbxMixer"));
    g->addWidget(makeLabel(grpDefault, "Mixer device:", cbxMixer), 7, 0);
    g->addWidget(cbxMixer, 7, 1, 1, 2);
    g->setColumnStretch(1, 1);
    g->setRowStretch(8, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    left->addLayout(buttons);

    // Right column: the WAV and the MP3 formats.
    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    body->addLayout(right, 1);
    grpWav = new QGroupBox(QStringLiteral("Wav Settings"), this);
    right->addWidget(grpWav);
    auto* w = new QGridLayout(grpWav);
    w->setContentsMargins(8, 10, 8, 6);
    w->setVerticalSpacing(4);
    cbxWavMode = makeList(grpWav, "cbxWavMode", kWavModeItems);
    cbxWavBits = makeList(grpWav, "cbxWavBits", kWavBitsItems);
    cbxWavRate = makeList(grpWav, "cbxWavRate", kWavRateItems);
    w->addWidget(makeLabel(grpWav, "Channel Mode:", cbxWavMode), 0, 0);
    w->addWidget(cbxWavMode, 0, 1);
    w->addWidget(makeLabel(grpWav, "Sample Bits:", cbxWavBits), 1, 0);
    w->addWidget(cbxWavBits, 1, 1);
    w->addWidget(makeLabel(grpWav, "Sample Rate:", cbxWavRate), 2, 0);
    w->addWidget(cbxWavRate, 2, 1);
    w->setColumnStretch(1, 1);

    grpMP3 = new QGroupBox(QStringLiteral("MP3 Settings"), this);
    right->addWidget(grpMP3, 1);
    auto* m = new QGridLayout(grpMP3);
    m->setContentsMargins(8, 10, 8, 6);
    m->setVerticalSpacing(4);
    cbxMP3Bits = makeList(grpMP3, "cbxMP3Bits", kBitRateItems);
    cbxMP3Mode = makeList(grpMP3, "cbxMP3Mode", kMP3ModeItems);
    m->addWidget(makeLabel(grpMP3, "Average Bitrate:", cbxMP3Bits), 0, 0);
    m->addWidget(cbxMP3Bits, 0, 1);
    m->addWidget(makeLabel(grpMP3, "Channel Mode:", cbxMP3Mode), 1, 0);
    m->addWidget(cbxMP3Mode, 1, 1);
    chkMP3UseVBR = makeCheck(grpMP3, "chkMP3UseVBR", "Use VBR.");
    m->addWidget(chkMP3UseVBR, 2, 0, 1, 2);
    cbxMP3VBRLevel = makeList(grpMP3, "cbxMP3VBRLevel", kVBRLevelItems);
    labMP3VBRLevel = makeLabel(grpMP3, "VBRLevel:", cbxMP3VBRLevel);
    labMP3VBRLevel->setObjectName(QStringLiteral("labMP3VBRLevel"));
    m->addWidget(labMP3VBRLevel, 3, 0);
    m->addWidget(cbxMP3VBRLevel, 3, 1);
    cbxMP3BitsMin = makeList(grpMP3, "cbxMP3BitsMin", kBitRateItems);
    labMP3BitsMin = makeLabel(grpMP3, "Min Bitrate:", cbxMP3BitsMin);
    labMP3BitsMin->setObjectName(QStringLiteral("labMP3BitsMin"));
    m->addWidget(labMP3BitsMin, 4, 0);
    m->addWidget(cbxMP3BitsMin, 4, 1);
    cbxMP3BitsMax = makeList(grpMP3, "cbxMP3BitsMax", kBitRateItems);
    labMP3BitsMax = makeLabel(grpMP3, "Max Bitrate:", cbxMP3BitsMax);
    labMP3BitsMax->setObjectName(QStringLiteral("labMP3BitsMax"));
    m->addWidget(labMP3BitsMax, 5, 0);
    m->addWidget(cbxMP3BitsMax, 5, 1);
    auto* flags = new QGridLayout;
    flags->setHorizontalSpacing(10);
    flags->setVerticalSpacing(3);
    chkMP3UseCopyrighted = makeCheck(grpMP3, "chkMP3UseCopyrighted", "Copyrighted");
    chkMP3UseOriginal = makeCheck(grpMP3, "chkMP3UseOriginal", "Original");
    chkMP3UseCRC = makeCheck(grpMP3, "chkMP3UseCRC", "CRC");
    chkMP3UsePrivate = makeCheck(grpMP3, "chkMP3UsePrivate", "Private");
    flags->addWidget(chkMP3UseCopyrighted, 0, 0);
    flags->addWidget(chkMP3UseOriginal, 0, 1);
    flags->addWidget(chkMP3UseCRC, 1, 0);
    flags->addWidget(chkMP3UsePrivate, 1, 1);
    m->addLayout(flags, 6, 0, 1, 2);
    m->setColumnStretch(1, 1);

    for (QComboBox* box : findChildren<QComboBox*>())
        box->setEditable(false); // drop-down lists only: no free text

    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(cbxSkin, &QComboBox::activated, this, [this](int) { cbxSkinClick(); });
    connect(btnSaveDirSelect, &QToolButton::clicked, this, [this] { btnSaveDirSelectClick(); });
    for (QCheckBox* box :
         {chkMP3UseVBR, chkMP3UseCopyrighted, chkMP3UseOriginal, chkMP3UseCRC, chkMP3UsePrivate})
        connect(box, &QCheckBox::clicked, this, [this] { chkMP3UseVBRClick(); });
    connect(chkStopRecording, &QCheckBox::clicked, this, [this] { chkStopRecordingClick(); });
    connect(edtStopRecording, &QLineEdit::textChanged, this, [this] { edtStopRecordingChange(); });
}

void TOptionsFrm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

QWidget* TOptionsFrm::optionControl(const OptionEntry& entry) const {
    return entry.widget ? findChild<QWidget*>(QString::fromLatin1(entry.widget)) : nullptr;
}

void TOptionsFrm::transferOption(const OptionEntry& e, QWidget* w, svar::TOptions& o,
                                 bool toControl) {
    std::visit(
        [&](auto field) {
            auto& value = o.*field;
            using T = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>) {
                if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                    if (toControl)
                        edit->setText(QString::fromStdString(value));
                    else
                        value = edit->text().toStdString();
                }
            } else if constexpr (std::is_same_v<T, bool>) {
                if (auto* box = qobject_cast<QCheckBox*>(w)) {
                    if (toControl)
                        box->setChecked(value);
                    else
                        value = box->isChecked();
                }
            } else if (auto* list = qobject_cast<QComboBox*>(w)) {
                if (toControl)
                    list->setCurrentIndex(value);
                else
                    value = list->currentIndex();
            } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                // Text that is not a number (only if the edit's own check was
                // bypassed) takes the option's default.
                if (toControl)
                    edit->setText(QString::number(value));
                else if (!ParseSeconds(edit->text().toStdString(), value))
                    value = e.defaultValue;
            }
        },
        e.field);
}

void TOptionsFrm::FormShow() {
    svar::TOptions o = svar::AppSettings;
    for (const OptionEntry& e : OptionTable())
        if (QWidget* w = optionControl(e))
            transferOption(e, w, o, true);
    edtSaveDir->setCursorPosition(0);

    edtStopRecording->setEnabled(chkStopRecording->isChecked());
    updateVBRControls();
    applySkin(o.Skin);

    if (cbxMixer->count() < svar::AppSettings.Mixer + 1) {
        svar::AppSettings.Mixer = 0;
        cbxMixer->setCurrentIndex(0);
    } else {
        cbxMixer->setCurrentIndex(svar::AppSettings.Mixer);
    }

    if (InitialFocus == 0)
        cbxSkin->setFocus();
    else if (InitialFocus == 1)
        cbxMixer->setFocus();

    setFixedSize(kOuterWidth, kOuterHeight);
}

void TOptionsFrm::btnOKClick() {
    svar::TOptions o = svar::AppSettings;
    for (const OptionEntry& e : OptionTable())
        if (QWidget* w = optionControl(e); w && e.dialogWrites)
            transferOption(e, w, o, false);

    // The new settings hold for this run even when the file cannot be written;
    // a failed write is reported and the old file stays as it was.
    svar::AppSettings = o;
    bool saved = false;
    try {
        TIniEngineEx ini(paths_.iniFile);
        WriteOptions(ini, o);
        ini.FlushFile();
        saved = true;
    } catch (const std::exception&) {
    }
    try {
        if (onBuildRecordSourcePanel)
            onBuildRecordSourcePanel();
    } catch (...) {
    }
    if (!saved)
        ui_.messageBox("Save settings failed! - " + paths_.iniFile);
    accept();
}

void TOptionsFrm::btnCancelClick() {
    reject();
}

void TOptionsFrm::cbxSkinClick() {
    applySkin(cbxSkin->currentIndex());
}

void TOptionsFrm::applySkin(int index) {
    if (index < 0 || index >= kSkinCount)
        return;
    setStyleSheet(dialogSkinStyleSheet(index));
    currentSkin_ = index;
}

void TOptionsFrm::btnSaveDirSelectClick() {
    std::string folder;
    if (!ui_.selectDirectory("Select directory", folder))
        return;
    edtSaveDir->setText(QString::fromStdString(withTrailingSlash(folder)));
    edtSaveDir->setCursorPosition(0);
}

void TOptionsFrm::chkMP3UseVBRClick() {
    updateVBRControls();
}

void TOptionsFrm::updateVBRControls() {
    const bool on = chkMP3UseVBR->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{labMP3VBRLevel, cbxMP3VBRLevel, labMP3BitsMin,
                                                      cbxMP3BitsMin, labMP3BitsMax, cbxMP3BitsMax})
        w->setEnabled(on);
}

void TOptionsFrm::chkStopRecordingClick() {
    edtStopRecording->setEnabled(chkStopRecording->isChecked());
}

void TOptionsFrm::edtStopRecordingChange() {
    if (restoringSeconds_)
        return;
    int32_t value = 0;
    if (ParseSeconds(edtStopRecording->text().toStdString(), value))
        return;
    ui_.messageBox("Invalid value!");
    restoringSeconds_ = true;
    edtStopRecording->setText(QString::number(svar::AppSettings.StopRecordingSeconds));
    restoringSeconds_ = false;
}

bool TOptionsFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == suiForm || watched == suiFormCaption) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton)
                return false;
            if (windowHandle() && windowHandle()->startSystemMove())
                return true;
            dragging_ = true;
            dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        if (event->type() == QEvent::MouseMove && dragging_) {
            move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && dragging_) {
            dragging_ = false;
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
