// The peer of the start-up benchmark: the smallest Qt 6 program that shows a
// window, run the same way as the recorder. With an argument it shows one
// line of text as well, so the benchmark can tell what the first text drawn
// costs any window (the fonts' set-up).
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.resize(640, 440);
    w.setWindowTitle(QStringLiteral("minimal"));
    if (argc > 1)
        (new QLabel(QStringLiteral("Ready"), &w))->move(20, 20);
    w.show();
    return app.exec();
}
