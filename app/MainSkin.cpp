#include "app/MainSkin.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QtMath>

namespace sonvale::app {

namespace {

// A sunken panel: a dark face with a lighter lower-right edge.
void drawSunkenPanel(QPainter& p, const QRectF& r, qreal radius, const QColor& face) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 28));
    p.drawPath(path.translated(0.8, 1.2));
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawPath(path.translated(-0.8, -1.0));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, face.darker(130));
    g.setColorAt(1.0, face);
    p.setBrush(g);
    p.drawPath(path);
}

void drawHeading(QPainter& p, const QPointF& at, const QString& text) {
    QFont f = p.font();
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0, 0, 0, 150));
    p.drawText(at + QPointF(0, 1), text);
    p.setPen(QColor(0x9c, 0xc8, 0xf0));
    p.drawText(at, text);
}

} // namespace

QImage mainSkinImage() {
    using namespace MainLayout;
    QImage img(Width, Height, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Body: brushed graphite with a soft top light.
    QPainterPath body;
    body.addRoundedRect(QRectF(0.5, 0.5, Width - 1, Height - 1), 22, 22);
    QLinearGradient bg(0, 0, 0, Height);
    bg.setColorAt(0.0, QColor(0x3a, 0x45, 0x55));
    bg.setColorAt(0.12, QColor(0x2a, 0x32, 0x3f));
    bg.setColorAt(1.0, QColor(0x15, 0x1a, 0x22));
    p.setPen(QPen(QColor(0x0a, 0x0d, 0x12), 1.0));
    p.setBrush(bg);
    p.drawPath(body);
    // Fine horizontal brushing: a hairline on every third row boundary, that
    // is half its strength on the pixel rows above and below. Filled as
    // plain rows, which is many times faster than antialiased lines.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int y = 46; y < Height - 12; y += 3) {
        QColor half(Qt::white);
        half.setAlphaF(((y / 3) % 2 ? 5 : 9) / 510.0);
        p.fillRect(QRect(14, y - 1, Width - 28, 2), half);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 1.5, Width - 3, Height - 3), 21, 21);

    // Title strip with an accent line.
    QPainterPath title;
    title.addRoundedRect(QRectF(1.5, 1.5, Width - 3, TitleBar.height() + 10), 21, 21);
    QPainterPath clip;
    clip.addRect(0, 0, Width, TitleBar.height());
    QLinearGradient tg(0, 0, 0, TitleBar.height());
    tg.setColorAt(0.0, QColor(0x4a, 0x5a, 0x70));
    tg.setColorAt(1.0, QColor(0x27, 0x30, 0x3d));
    p.setPen(Qt::NoPen);
    p.setBrush(tg);
    p.drawPath(title.intersected(clip));
    QLinearGradient accent(0, 0, Width, 0);
    accent.setColorAt(0.0, QColor(0xff, 0x45, 0x45, 0));
    accent.setColorAt(0.15, QColor(0xff, 0x55, 0x55));
    accent.setColorAt(0.6, QColor(0x3d, 0x9b, 0xff));
    accent.setColorAt(1.0, QColor(0x3d, 0x9b, 0xff, 0));
    p.setBrush(accent);
    p.drawRect(QRectF(18, TitleBar.height() - 2, Width - 36, 2));

    // Logo: a small sound wave in a disc, and the product name.
    QRadialGradient disc(QPointF(34, 22), 14, QPointF(30, 17));
    disc.setColorAt(0.0, QColor(0xff, 0x8a, 0x7a));
    disc.setColorAt(1.0, QColor(0xc0, 0x1f, 0x1f));
    p.setBrush(disc);
    p.setPen(QPen(QColor(0, 0, 0, 120), 1));
    p.drawEllipse(QPointF(34, 22), 12, 12);
    QPainterPath wave;
    for (int i = 0; i <= 16; ++i) {
        const qreal x = 25 + i * 18.0 / 16;
        const qreal y = 22 - 6 * qSin(i * M_PI / 4) * (1 - qAbs(i - 8) / 10.0);
        i == 0 ? wave.moveTo(x, y) : wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wave);
    QFont f = p.font();
    f.setPixelSize(18);
    f.setBold(true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(f);
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(QPointF(55, 29), QStringLiteral("Sonvale"));
    p.setPen(QColor(0xee, 0xf3, 0xf8));
    p.drawText(QPointF(54, 28), QStringLiteral("Sonvale"));
    const qreal nameEnd = 54 + QFontMetricsF(f).horizontalAdvance(QStringLiteral("Sonvale"));
    f.setPixelSize(11);
    f.setBold(false);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    p.setFont(f);
    p.setPen(QColor(0x8f, 0xa3, 0xba));
    p.drawText(QPointF(nameEnd + 10, 28), QStringLiteral("sound recorder"));

    // Display: a dark glass panel for the status and the progress.
    drawSunkenPanel(p, Display, 10, QColor(0x0e, 0x24, 0x2a));
    QLinearGradient glare(Display.topLeft(), Display.bottomLeft());
    glare.setColorAt(0.0, QColor(255, 255, 255, 26));
    glare.setColorAt(0.45, QColor(255, 255, 255, 6));
    glare.setColorAt(0.46, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glare);
    p.drawRoundedRect(QRectF(Display).adjusted(2, 2, -2, -2), 8, 8);

    // Transport well behind the four big buttons.
    drawSunkenPanel(p, QRectF(Transport).adjusted(-4, -4, 4, 4), 32, QColor(0x1b, 0x21, 0x2b));

    // The two panels and their headings.
    drawSunkenPanel(p, FileListPanel, 12, QColor(0x1d, 0x24, 0x2e));
    drawSunkenPanel(p, SourcePanel, 12, QColor(0x1d, 0x24, 0x2e));
    drawHeading(p, QPointF(FileListPanel.left() + 10, FileListPanel.top() + 18),
                QStringLiteral("Recording File List"));
    drawHeading(p, QPointF(SourcePanel.left() + 10, SourcePanel.top() + 18),
                QStringLiteral("Recording Source"));

    // Screws in the corners, for the hardware feel.
    for (const QPointF c : {QPointF(12, 54), QPointF(Width - 12, 54), QPointF(12, Height - 14),
                            QPointF(Width - 12, Height - 14)}) {
        QRadialGradient sg(c, 4, c - QPointF(1.5, 1.5));
        sg.setColorAt(0, QColor(0xb0, 0xb8, 0xc4));
        sg.setColorAt(1, QColor(0x40, 0x48, 0x55));
        p.setBrush(sg);
        p.setPen(QPen(QColor(0, 0, 0, 150), 0.8));
        p.drawEllipse(c, 3.5, 3.5);
        p.drawLine(c + QPointF(-2, 2), c + QPointF(2, -2));
    }
    return img;
}

namespace {

void paintGlyph(QPainter& p, SkinIcon which, qreal s, const QColor& c) {
    p.setRenderHint(QPainter::Antialiasing);
    const QPen line(c, s * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    switch (which) {
    case SkinIcon::Record: {
        QRadialGradient g(QPointF(s * 0.45, s * 0.42), s * 0.3);
        g.setColorAt(0, c.lighter(150));
        g.setColorAt(1, c);
        p.setBrush(g);
        p.drawEllipse(QPointF(s / 2, s / 2), s * 0.3, s * 0.3);
        break;
    }
    case SkinIcon::Play: {
        QPolygonF tri{{s * 0.36, s * 0.24}, {s * 0.78, s * 0.5}, {s * 0.36, s * 0.76}};
        p.drawPolygon(tri);
        break;
    }
    case SkinIcon::Pause:
        p.drawRoundedRect(QRectF(s * 0.30, s * 0.25, s * 0.14, s * 0.5), s * 0.03, s * 0.03);
        p.drawRoundedRect(QRectF(s * 0.56, s * 0.25, s * 0.14, s * 0.5), s * 0.03, s * 0.03);
        break;
    case SkinIcon::Stop:
        p.drawRoundedRect(QRectF(s * 0.28, s * 0.28, s * 0.44, s * 0.44), s * 0.05, s * 0.05);
        break;
    case SkinIcon::Save: { // arrow into a tray
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawLine(QPointF(s * 0.5, s * 0.18), QPointF(s * 0.5, s * 0.58));
        p.drawPolyline(QPolygonF{{s * 0.33, s * 0.43}, {s * 0.5, s * 0.6}, {s * 0.67, s * 0.43}});
        p.drawPolyline(QPolygonF{
            {s * 0.2, s * 0.62}, {s * 0.2, s * 0.8}, {s * 0.8, s * 0.8}, {s * 0.8, s * 0.62}});
        break;
    }
    case SkinIcon::Remove:
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawLine(QPointF(s * 0.25, s * 0.5), QPointF(s * 0.75, s * 0.5));
        break;
    case SkinIcon::RemoveAll: { // a bin
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawLine(QPointF(s * 0.22, s * 0.28), QPointF(s * 0.78, s * 0.28));
        p.drawLine(QPointF(s * 0.42, s * 0.2), QPointF(s * 0.58, s * 0.2));
        p.drawPolyline(QPolygonF{
            {s * 0.3, s * 0.34}, {s * 0.34, s * 0.8}, {s * 0.66, s * 0.8}, {s * 0.7, s * 0.34}});
        p.drawLine(QPointF(s * 0.45, s * 0.42), QPointF(s * 0.46, s * 0.7));
        p.drawLine(QPointF(s * 0.55, s * 0.42), QPointF(s * 0.54, s * 0.7));
        break;
    }
    case SkinIcon::Options: { // a gear
        QPainterPath gear;
        const QPointF o(s / 2, s / 2);
        const int teeth = 8;
        for (int i = 0; i < teeth * 2; ++i) {
            const qreal a0 = i * M_PI / teeth - M_PI / (teeth * 2);
            const qreal r = (i % 2 == 0) ? s * 0.34 : s * 0.25;
            const QPointF p0 = o + QPointF(r * qCos(a0), r * qSin(a0));
            const QPointF p1 =
                o + QPointF(r * qCos(a0 + M_PI / teeth), r * qSin(a0 + M_PI / teeth));
            i == 0 ? gear.moveTo(p0) : gear.lineTo(p0);
            gear.lineTo(p1);
        }
        gear.closeSubpath();
        gear.addEllipse(o, s * 0.11, s * 0.11);
        gear.setFillRule(Qt::OddEvenFill);
        p.drawPath(gear);
        break;
    }
    case SkinIcon::Help: {
        QFont f;
        f.setPixelSize(int(s * 0.62));
        f.setBold(true);
        p.setFont(f);
        p.setPen(c);
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case SkinIcon::Home: {
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawPolyline(QPolygonF{{s * 0.2, s * 0.5}, {s * 0.5, s * 0.22}, {s * 0.8, s * 0.5}});
        p.drawPolyline(QPolygonF{
            {s * 0.3, s * 0.45}, {s * 0.3, s * 0.78}, {s * 0.7, s * 0.78}, {s * 0.7, s * 0.45}});
        break;
    }
    case SkinIcon::Minimize:
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawLine(QPointF(s * 0.28, s * 0.68), QPointF(s * 0.72, s * 0.68));
        break;
    case SkinIcon::Close:
        p.setBrush(Qt::NoBrush);
        p.setPen(line);
        p.drawLine(QPointF(s * 0.3, s * 0.3), QPointF(s * 0.7, s * 0.7));
        p.drawLine(QPointF(s * 0.7, s * 0.3), QPointF(s * 0.3, s * 0.7));
        break;
    }
}

QColor glyphColor(SkinIcon which) {
    switch (which) {
    case SkinIcon::Record:
        return QColor(0xff, 0x3b, 0x3b);
    case SkinIcon::Play:
        return QColor(0x5c, 0xf0, 0x8a);
    case SkinIcon::Close:
        return QColor(0xff, 0x9a, 0x9a);
    default:
        return QColor(0xe4, 0xec, 0xf5);
    }
}

QImage glyphImage(SkinIcon which, int size, const QColor& color) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    paintGlyph(p, which, size, color);
    return img;
}

constexpr QIcon::Mode kIconModes[3] = {QIcon::Normal, QIcon::Active, QIcon::Disabled};

} // namespace

SkinIconPictures skinIconPictures(SkinIcon which, int size) {
    const QColor c = glyphColor(which);
    return {glyphImage(which, size, c), glyphImage(which, size, c.lighter(125)),
            glyphImage(which, size, QColor(0x6a, 0x74, 0x80))};
}

SkinPictures paintSkinPictures() {
    SkinPictures pictures;
    pictures.skin = mainSkinImage();
    pictures.shape = pictures.skin.createAlphaMask();
    for (int i = 0; i < kSkinIconCount; ++i)
        pictures.icons[size_t(i)] = skinIconPictures(SkinIcon(i), skinIconSize(SkinIcon(i)) * 2);
    return pictures;
}

QIcon skinIcon(const SkinIconPictures& pictures) {
    QIcon icon;
    for (size_t m = 0; m < pictures.size(); ++m)
        icon.addPixmap(QPixmap::fromImage(pictures[m]), kIconModes[m]);
    return icon;
}

QString mainStyleSheet() {
    // Every rule names the window's own controls (its direct children), so
    // the dialogs it owns keep their own look.
    return QStringLiteral(R"(
QToolTip { color: #eef3f8; background: #222a35; border: 1px solid #4a90d9; padding: 3px; }
#TMainFrm > QToolButton {
  border: 1px solid #0b0f15; border-radius: 8px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4b5868, stop:1 #262e3a);
}
#TMainFrm > QToolButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #5d6d82, stop:1 #2f3948); }
#TMainFrm > QToolButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1c232d, stop:1 #364253); }
#TMainFrm > QToolButton:disabled { background: #232a34; border-color: #1a2029; }
#TMainFrm > QToolButton[transport="true"] {
  border-radius: 26px; border: 1px solid #06080b;
  background: qradialgradient(cx:0.5, cy:0.35, radius:0.75, fx:0.45, fy:0.25,
              stop:0 #66768b, stop:0.55 #36414f, stop:1 #1b222b);
}
#TMainFrm > QToolButton[transport="true"]:hover {
  background: qradialgradient(cx:0.5, cy:0.35, radius:0.75, fx:0.45, fy:0.25,
              stop:0 #7a8da5, stop:0.55 #3f4c5d, stop:1 #1e2630);
}
#TMainFrm > QToolButton[transport="true"]:pressed {
  background: qradialgradient(cx:0.5, cy:0.6, radius:0.75, stop:0 #2a333f, stop:1 #11161c);
}
#TMainFrm > QToolButton[window="true"] { border-radius: 11px; padding: 0; }
#TMainFrm > QToolButton:focus, #TMainFrm > QToolButton[transport="true"]:focus { border: 2px solid #ffb347; }
#TMainFrm > QToolButton#btnTerminate:hover { background: #b83232; }
#TMainFrm > QLabel#labStatus { color: #7ff5d2; font-size: 20px; font-weight: bold; background: transparent; }
#TMainFrm > QLabel#labClock { color: #7ff5d2; font-size: 13px; background: transparent; }
#TMainFrm > QLabel#labVolume { color: #cfdae6; font-size: 11px; background: transparent; }
#TMainFrm > QTreeWidget::indicator { width: 12px; height: 12px; border-radius: 2px;
  border: 1px solid #a8b8ca; background: #10161d; }
#TMainFrm > QTreeWidget::indicator:checked { background: #7ff5d2; border-color: #7ff5d2; }
#TMainFrm > QLabel#labMsg { color: #8da2b8; font-size: 11px; background: transparent; }
#TMainFrm > QLabel#AALabel1, #TMainFrm > QLabel#AALabel2 { color: #cfdae6; font-size: 12px; background: transparent; }
#TMainFrm > QListWidget, #TMainFrm > QTreeWidget {
  background: #0f141a; color: #d8e3ee; font-size: 12px;
  border: 1px solid #303c4b; border-radius: 6px; padding: 2px; outline: none;
}
#TMainFrm > QListWidget::item, #TMainFrm > QTreeWidget::item { padding: 2px 4px; border-radius: 3px; }
#TMainFrm > QListWidget::item:selected, #TMainFrm > QTreeWidget::item:selected {
  color: #ffffff; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b82d1, stop:1 #255b9c);
}
#TMainFrm > QListWidget::item:hover:!selected, #TMainFrm > QTreeWidget::item:hover:!selected { background: #1c2733; }
#TMainFrm > QListWidget:focus, #TMainFrm > QTreeWidget:focus { border: 1px solid #ffb347; }
#TMainFrm > QListWidget QScrollBar:vertical, #TMainFrm > QTreeWidget QScrollBar:vertical { background: #131a22; width: 10px; margin: 0; border-radius: 5px; }
#TMainFrm > QListWidget QScrollBar::handle:vertical, #TMainFrm > QTreeWidget QScrollBar::handle:vertical { background: #3c4a5b; min-height: 20px; border-radius: 5px; }
#TMainFrm > QListWidget QScrollBar:horizontal, #TMainFrm > QTreeWidget QScrollBar:horizontal { background: #131a22; height: 10px; margin: 0; border-radius: 5px; }
#TMainFrm > QListWidget QScrollBar::handle:horizontal, #TMainFrm > QTreeWidget QScrollBar::handle:horizontal { background: #3c4a5b; min-width: 20px; border-radius: 5px; }
#TMainFrm > QListWidget QScrollBar::add-line, #TMainFrm > QTreeWidget QScrollBar::add-line, #TMainFrm > QListWidget QScrollBar::sub-line, #TMainFrm > QTreeWidget QScrollBar::sub-line { width: 0; height: 0; }
#TMainFrm > QSlider::groove:horizontal { height: 6px; border-radius: 3px; background: #0a1a1e; border: 1px solid #1f4048; }
#TMainFrm > QSlider::sub-page:horizontal { border-radius: 3px;
  background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #1f9b7e, stop:1 #7ff5d2); }
#TMainFrm > QSlider::handle:horizontal { width: 14px; margin: -5px 0; border-radius: 7px;
  background: qradialgradient(cx:0.5, cy:0.4, radius:0.6, stop:0 #ffffff, stop:1 #9fb3c6); }
#TMainFrm > QSlider::groove:vertical { width: 8px; border-radius: 4px; background: #0b1016; border: 1px solid #2c3847; }
#TMainFrm > QSlider::add-page:vertical { border-radius: 4px;
  background: qlineargradient(x1:0, y1:1, x2:0, y2:0, stop:0 #2d7dd2, stop:1 #ffb347); }
#TMainFrm > QSlider::handle:vertical { height: 14px; margin: 0 -6px; border-radius: 7px;
  background: qradialgradient(cx:0.5, cy:0.4, radius:0.6, stop:0 #ffffff, stop:1 #9fb3c6); }
#TMainFrm > QSlider:focus { border: 1px dotted #ffb347; border-radius: 3px; }
#TMainFrm > QCheckBox { background: transparent; }
#TMainFrm > QCheckBox:focus { outline: none; }
#TMainFrm > QCheckBox::indicator:focus { border: 2px solid #ffb347; }
#TMainFrm > QCheckBox::indicator { width: 14px; height: 14px; border-radius: 7px; border: 1px solid #5a6b80; background: #10161d; }
#TMainFrm > QCheckBox::indicator:checked {
  background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, stop:0 #7ff5d2, stop:0.5 #1f9b7e, stop:0.6 #10161d); }
)");
}

} // namespace sonvale::app
