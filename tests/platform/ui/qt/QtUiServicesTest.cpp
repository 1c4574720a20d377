// The Qt dialog services driven as a user would: message box, Yes/No and
// the save dialog, each answered once it is up.
#include "platform/ui/qt/QtUiServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
    auto* timer = new QTimer(QCoreApplication::instance()); // goes with the application
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

// One QApplication for the suite (offscreen, Qt's own dialogs), gone again
// afterwards: the message-window tests of this executable need none.
class QtUiServices : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        app_ = new QApplication(argc_, argv_);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }

private:
    static inline int argc_ = 1;
    static inline char name_[] = "platform_qt_tests";
    static inline char* argv_[] = {name_, nullptr};
    static inline QApplication* app_ = nullptr;
};

} // namespace

TEST_F(QtUiServices, MessageBoxShowsTheTextUnderTheProgramsCaption) {
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

TEST_F(QtUiServices, ConfirmIsYesOnlyForTheYesButton) {
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

TEST_F(QtUiServices, SaveDialogUsesTheFilterAndAddsTheDefaultExtension) {
    std::string dir = (std::filesystem::temp_directory_path() / "sonvale-qtui-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    dir += "/";
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
    options.initialDir = dir;
    std::string name;
    ASSERT_TRUE(ui.saveFileDialog(options, name));
    EXPECT_EQ(name, dir + "copy.wav");
    EXPECT_EQ(filters, QStringList{"Wave files (*.wav)"});

    whenModalShows([](QWidget* w) { qobject_cast<QFileDialog*>(w)->reject(); });
    name = "kept";
    EXPECT_FALSE(ui.saveFileDialog(options, name));
    EXPECT_EQ(name, "kept");
    std::filesystem::remove_all(dir);
}

// Collects what the desktop services were asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(QtUiServices, ShellOpenHandsFilesAndAddressesToTheDesktop) {
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
