#include "platform/ui/qt/QtUiServices.h"

#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace {

// Runs `act` on the modal window once it is up (polling, since the modal
// loop starts inside the call under test). A timer tick can come while the
// dialog is still being shown, before its own event loop runs; a dialog
// closed then stays hidden while exec() waits for ever. So the window is
// watched until it is gone, and one that stays hidden but alive is shown and
// acted on again.
void whenModalShows(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto target = std::make_shared<QPointer<QWidget>>();
    auto acted = std::make_shared<bool>(false);
    auto hiddenTicks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, target, acted, hiddenTicks] {
        if (!*acted) {
            QWidget* w = QApplication::activeModalWidget();
            if (!w)
                return; // not up yet
            *target = w;
            *acted = true;
            act(w);
            return;
        }
        if (*target) {
            if ((*target)->isVisible()) {
                *hiddenTicks = 0;
                act(*target); // still open: try again
                return;
            }
            if (++*hiddenTicks < 20)
                return; // closing normally: it goes away with the call
            *hiddenTicks = 0;
            (*target)->show();
            act(*target);
            return;
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}

} // namespace

TEST(QtUiServices, MessageBoxShowsTheTextUnderTheProgramsCaption) {
    apptest::ensureApplication();
    sonvale::ui::QtUiServices ui;
    QString text, title;
    whenModalShows([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    ui.messageBox("Invalid value!");
    EXPECT_EQ(text, "Invalid value!");
    EXPECT_EQ(title, "Sonvale");
}

TEST(QtUiServices, ConfirmIsYesOnlyForTheYesButton) {
    apptest::ensureApplication();
    sonvale::ui::QtUiServices ui;
    whenModalShows(
        [](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(ui.confirm("Destination file exists, overwrite it?"));
    whenModalShows(
        [](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(ui.confirm("Destination file exists, overwrite it?"));
    whenModalShows([](QWidget* w) { qobject_cast<QMessageBox*>(w)->reject(); }); // Escape / close
    EXPECT_FALSE(ui.confirm("Are you sure you want to remove all sound file?"));
}

TEST(QtUiServices, SaveDialogUsesTheFilterAndAddsTheDefaultExtension) {
    apptest::ensureApplication();
    apptest::ScratchDir dir;
    sonvale::ui::QtUiServices ui;
    QStringList filters;
    whenModalShows([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        // Typed into the name field as a user would: selectFile leaves the field
        // alone once it has the keyboard focus, which depends on timing.
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("copy"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    sonvale::ui::SaveDialogOptions options;
    options.defaultExtension = ".wav";
    options.filter = "Wave files (*.wav)|*.wav";
    options.initialDir = dir.path();
    std::string name;
    ASSERT_TRUE(ui.saveFileDialog(options, name));
    EXPECT_EQ(name, dir.path() + "copy.wav");
    EXPECT_EQ(filters, QStringList{"Wave files (*.wav)"});

    whenModalShows([](QWidget* w) { qobject_cast<QFileDialog*>(w)->reject(); });
    name = "kept";
    EXPECT_FALSE(ui.saveFileDialog(options, name));
    EXPECT_EQ(name, "kept");
}

// Collects what the desktop services were asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST(QtUiServices, ShellOpenHandsFilesAndAddressesToTheDesktop) {
    apptest::ensureApplication();
    sonvale::ui::QtUiServices ui;
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    const std::string file = "/tmp/help pages/#1 sonvale.html";
    EXPECT_TRUE(ui.shellOpen(file, sonvale::ui::ShowMode::Maximized));
    EXPECT_TRUE(ui.shellOpen("https://example.org/a?b#c", sonvale::ui::ShowMode::Normal));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0].toLocalFile().toStdString(), file);
    EXPECT_EQ(recorder.urls[1].toString().toStdString(), "https://example.org/a?b#c");

    // Without a handler the offscreen desktop opens nothing, and says so.
    EXPECT_FALSE(ui.shellOpen(file, sonvale::ui::ShowMode::Maximized));
}

#include "QtUiServicesTest.moc"
