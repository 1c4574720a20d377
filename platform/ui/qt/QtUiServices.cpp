#include "platform/ui/qt/QtUiServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

namespace sonvale::ui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// "Wave files (*.wav)|*.wav" -> "Wave files (*.wav)"; a description that does
// not show its pattern gets it appended, since Qt filters by what the
// parentheses hold.
QString qtFilter(const std::string& filter) {
    QStringList out;
    for (const auto& entry : parseDialogFilter(filter)) {
        QString desc = q(entry.description);
        QString patterns = q(entry.pattern).replace(';', ' ');
        if (!desc.contains('('))
            desc += QStringLiteral(" (") + patterns + QStringLiteral(")");
        out << desc;
    }
    return out.join(QStringLiteral(";;"));
}

} // namespace

void QtUiServices::messageBox(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, q(kMessageCaption), q(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtUiServices::confirm(const std::string& text) {
    QMessageBox box(QMessageBox::Question, q(kMessageCaption), q(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtUiServices::saveFileDialog(const SaveDialogOptions& options, std::string& fileName) {
    QFileDialog dialog(parent_, q(options.title), q(options.initialDir), qtFilter(options.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Overwriting is asked by the caller with its own text.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QString suffix = q(options.defaultExtension);
    if (suffix.startsWith('.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!options.fileName.empty())
        dialog.selectFile(q(options.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = withDefaultExtension(dialog.selectedFiles().first().toStdString(),
                                    options.defaultExtension);
    return true;
}

bool QtUiServices::selectDirectory(const std::string& title, std::string& folder) {
    // Starts in the folder given when it exists, else in the home folder.
    const QString start =
        !folder.empty() && QDir(q(folder)).exists() ? q(folder) : QDir::homePath();
    const QString chosen = QFileDialog::getExistingDirectory(
        parent_, q(title), start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return false;
    folder = QDir::toNativeSeparators(chosen).toStdString();
    return true;
}

bool QtUiServices::shellOpen(const std::string& target, ShowMode /*mode*/) {
    // The desktop decides how the opened window is shown; there is no portable
    // way to ask for a maximised viewer.
    const QString t = q(target);
    const QUrl url = (t.contains(QStringLiteral("://")) || t.startsWith(QStringLiteral("mailto:")))
                         ? QUrl(t)
                         : QUrl::fromLocalFile(t);
    return QDesktopServices::openUrl(url);
}

void QtUiServices::processMessages() {
    QCoreApplication::processEvents();
}

} // namespace sonvale::ui
