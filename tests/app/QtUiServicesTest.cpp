#include "platform/ui/qt/QtUiServices.h"

#include "AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace {

// Runs `act` on the modal window once it is up (polling, since the modal
// loop starts inside the call under test).
void whenModalShows(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
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
        dialog->selectFile(QString::fromStdString(dir.path() + "copy"));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept checks the name
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
