// The peer of the start-up benchmark: the smallest Qt 6 program that shows a
// window, run the same way as the recorder.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.resize(640, 440);
    w.setWindowTitle(QStringLiteral("minimal"));
    w.show();
    return app.exec();
}
