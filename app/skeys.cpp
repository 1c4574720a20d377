// The main window from the keyboard and for screen readers: which controls
// take focus and in what order, the shortcuts (shown in the tooltips after
// each hint), Enter or a double-click on a recording plays it, Delete
// removes it (after its question), and the accessible name and description
// of every control. A shortcut does what a click on its button does, and
// nothing while the button is off.
#include "app/MeterWidget.h"
#include "app/smain.h"
#include "app/svar.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QShortcut>
#include <QSlider>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// Tooltip "<hint> (<keys>)"; what a screen reader says: the name, and the
// hint with its keys as description.
void describe(QWidget* w, const QString& name, const QString& hint, const QString& keys = {}) {
    const QString tip = keys.isEmpty() ? hint : hint + QStringLiteral(" (") + keys + u')';
    w->setToolTip(tip);
    w->setAccessibleName(name);
    w->setAccessibleDescription(tip);
}

} // namespace

void TMainFrm::buildKeyboard() {
    describe(btnRecord, QStringLiteral("Record"), QStringLiteral("Record"),
             QStringLiteral("R, Ctrl+R"));
    describe(btnPlay, QStringLiteral("Play"), QStringLiteral("Play"), QStringLiteral("Space, P"));
    describe(btnPause, QStringLiteral("Pause"), QStringLiteral("Pause"),
             QStringLiteral("Pause key"));
    describe(btnStop, QStringLiteral("Stop"), QStringLiteral("Stop"), QStringLiteral("S, Esc"));
    describe(btnSave, QStringLiteral("Save copy"),
             QStringLiteral("Save the selected recording file as..."), QStringLiteral("Ctrl+S"));
    describe(btnRemove, QStringLiteral("Remove"),
             QStringLiteral("Remove the selected recording file."), QStringLiteral("Delete"));
    describe(btnRemoveAll, QStringLiteral("Remove all"),
             QStringLiteral("Remove all recording files."));
    describe(btnOptions, QStringLiteral("Options"), QStringLiteral("Options..."),
             QStringLiteral("Ctrl+,"));
    describe(btnHelp, QStringLiteral("Help"), QStringLiteral("Help"), QStringLiteral("F1"));
    describe(btnHome, QStringLiteral("Home page"), QStringLiteral("Visit home page."));
    describe(btnMinimize, QStringLiteral("Minimize"), QStringLiteral("Minimize"));
    describe(btnTerminate, QStringLiteral("Close"), QStringLiteral("Close"),
             QStringLiteral("Ctrl+Q"));
    describe(lstRecordFile, QStringLiteral("Recordings"),
             QStringLiteral("The recordings. Enter or a double-click plays one."));
    describe(lstRecordSource, QStringLiteral("Recording sources"),
             QStringLiteral("The inputs of the sound card; the marked one is recorded."));
    describe(prbProgress, QStringLiteral("Playback position"),
             QStringLiteral("Click or drag to move in the playing recording."));
    describe(prbVolume, QStringLiteral("Volume"),
             QStringLiteral("Volume %1%").arg(prbVolume->value()));
    describe(chkRecordNew, QStringLiteral("Record to a new recording file."),
             QStringLiteral("Record to a new recording file."));
    describe(chkRecordOverwrite, QStringLiteral("Overwrite selected recording file."),
             QStringLiteral("Overwrite selected recording file."));
    describe(meterLevel, QStringLiteral("Input level"),
             QStringLiteral("The level of the recorded input per channel, in dBFS."));
    labStatus->setAccessibleName(QStringLiteral("Status"));
    labClock->setAccessibleName(QStringLiteral("Time and size"));

    // Tab order: transport, list buttons, list, choice, sources, volume,
    // position, window buttons.
    QWidget* order[] = {btnRecord,
                        btnPlay,
                        btnPause,
                        btnStop,
                        btnSave,
                        btnRemove,
                        btnRemoveAll,
                        btnOptions,
                        lstRecordFile,
                        chkRecordNew,
                        chkRecordOverwrite,
                        lstRecordSource,
                        prbVolume,
                        prbProgress,
                        btnHelp,
                        btnHome,
                        btnMinimize,
                        btnTerminate};
    for (QWidget* w : order)
        w->setFocusPolicy(Qt::StrongFocus);
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    auto key = [this](const QKeySequence& keys, auto action) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    auto press = [](QAbstractButton* b) {
        if (b->isEnabled())
            b->click();
    };
    for (const char* k : {"R", "Ctrl+R"})
        key(QKeySequence(QString::fromLatin1(k)), [=, this] { press(btnRecord); });
    key(QKeySequence(Qt::Key_P), [=, this] { press(btnPlay); });
    key(QKeySequence(Qt::Key_Pause), [=, this] { press(btnPause); });
    for (const char* k : {"S", "Esc"})
        key(QKeySequence(QString::fromLatin1(k)), [=, this] { press(btnStop); });
    key(QKeySequence(QStringLiteral("Ctrl+S")), [=, this] { press(btnSave); });
    key(QKeySequence(Qt::Key_Delete), [=, this] { press(btnRemove); });
    key(QKeySequence(QStringLiteral("Ctrl+,")), [=, this] { press(btnOptions); });
    key(QKeySequence(Qt::Key_F1), [=, this] { press(btnHelp); });
    key(QKeySequence(QStringLiteral("Ctrl+Q")), [this] { close(); });
    // Space presses a focused button or check box as usual; elsewhere it
    // plays, or pauses and resumes what plays. While recording it does
    // nothing (a stray Space must not end up in the wrong place).
    key(QKeySequence(Qt::Key_Space), [=, this] {
        if (auto* b = qobject_cast<QAbstractButton*>(focusWidget())) {
            press(b);
            return;
        }
        if (svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused)
            press(btnPause);
        else if (svar::AppState == svar::stIdle)
            press(btnPlay);
    });

    auto playItem = [=, this](QListWidgetItem* item) {
        if (!item || svar::AppState != svar::stIdle)
            return;
        lstRecordFile->setCurrentItem(item);
        item->setSelected(true);
        press(btnPlay);
    };
    connect(lstRecordFile, &QListWidget::itemActivated, this, playItem);
    connect(lstRecordFile, &QListWidget::itemDoubleClicked, this, playItem);
}
