#include "app/DialogSkins.h"

#include <QColor>

namespace sonvale::app {

namespace {

// Colours and shapes that make up one look; the sheet is built from them so
// that every skin covers the same set of controls.
struct SkinPalette {
    const char* window;    // dialog background (may be a gradient)
    const char* border;    // outer frame
    int radius;            // outer and control corner radius
    const char* titleBg;   // title bar background
    const char* titleText; // caption colour
    const char* closeBg;   // close button
    const char* closeText;
    const char* text; // labels and check boxes
    const char* disabledText;
    const char* groupBorder;
    const char* groupTitle;
    const char* fieldBg; // combo boxes and edits
    const char* fieldText;
    const char* fieldBorder;
    const char* focus; // focus frame and selection
    const char* buttonBg;
    const char* buttonHover;
    const char* buttonText;
    const char* buttonBorder;
    int buttonRadius;
    const char* indicatorOn; // check mark fill
    const char* font;        // font family list
};

QString build(const SkinPalette& p) {
    QString s = QStringLiteral(R"(
QDialog#TOptionsFrm { background: %window%; border: 1px solid %border%; font-family: %font%; font-size: 12px; }
QWidget#suiForm { background: %titleBg%; border-bottom: 1px solid %border%; }
QLabel#suiFormCaption { color: %titleText%; font-weight: bold; font-size: 12px; background: transparent; }
QToolButton#suiFormClose { background: %closeBg%; color: %closeText%; border: 1px solid %border%; border-radius: 8px; font-weight: bold; }
QToolButton#suiFormClose:hover { background: %buttonHover%; }
QLabel, QCheckBox { color: %text%; background: transparent; }
QLabel:disabled, QCheckBox:disabled { color: %disabledText%; }
QGroupBox { color: %groupTitle%; font-weight: bold; border: 1px solid %groupBorder%; border-radius: %radius%px; margin-top: 8px; padding-top: 6px; background: transparent; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
QComboBox, QLineEdit { background: %fieldBg%; color: %fieldText%; border: 1px solid %fieldBorder%; border-radius: %radius%px; padding: 1px 6px; min-height: 18px; selection-background-color: %focus%; }
QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right; width: 16px; border: none; background: transparent; margin-right: %arrowInset%px; }
QComboBox::down-arrow { image: url(:/sonvale/images/arrow-%arrow%.png); width: 10px; height: 6px; }
QComboBox:disabled, QLineEdit:disabled { color: %disabledText%; }
QComboBox:focus, QLineEdit:focus { border: 1px solid %focus%; }
QLineEdit[readOnly="true"] { color: %text%; }
QComboBox QAbstractItemView { background: %fieldBg%; color: %fieldText%; border: 1px solid %focus%; selection-background-color: %focus%; selection-color: white; outline: none; }
QCheckBox::indicator { width: 13px; height: 13px; border: 1px solid %fieldBorder%; border-radius: 3px; background: %fieldBg%; }
QCheckBox::indicator:checked { background: %indicatorOn%; border-color: %focus%; }
QCheckBox::indicator:disabled { background: transparent; }
QPushButton, QToolButton#btnSaveDirSelect { background: %buttonBg%; color: %buttonText%; border: 1px solid %buttonBorder%; border-radius: %buttonRadius%px; padding: 3px 14px; min-height: 18px; }
QToolButton#btnSaveDirSelect { padding: 1px 4px; }
QPushButton:hover, QToolButton#btnSaveDirSelect:hover { background: %buttonHover%; }
QPushButton:pressed { padding-top: 4px; padding-bottom: 2px; }
QPushButton:default, QPushButton:focus { border: 1px solid %focus%; }
)");
    s.replace(QStringLiteral("%window%"), p.window);
    s.replace(QStringLiteral("%border%"), p.border);
    s.replace(QStringLiteral("%radius%"), QString::number(p.radius));
    // The arrow keeps clear of a rounded corner.
    s.replace(QStringLiteral("%arrowInset%"), QString::number(p.radius / 3));
    s.replace(QStringLiteral("%arrow%"), QColor(p.fieldText).lightness() > 128
                                             ? QStringLiteral("light")
                                             : QStringLiteral("dark"));
    s.replace(QStringLiteral("%titleBg%"), p.titleBg);
    s.replace(QStringLiteral("%titleText%"), p.titleText);
    s.replace(QStringLiteral("%closeBg%"), p.closeBg);
    s.replace(QStringLiteral("%closeText%"), p.closeText);
    s.replace(QStringLiteral("%disabledText%"), p.disabledText);
    s.replace(QStringLiteral("%text%"), p.text);
    s.replace(QStringLiteral("%groupBorder%"), p.groupBorder);
    s.replace(QStringLiteral("%groupTitle%"), p.groupTitle);
    s.replace(QStringLiteral("%fieldBg%"), p.fieldBg);
    s.replace(QStringLiteral("%fieldText%"), p.fieldText);
    s.replace(QStringLiteral("%fieldBorder%"), p.fieldBorder);
    s.replace(QStringLiteral("%focus%"), p.focus);
    s.replace(QStringLiteral("%buttonBg%"), p.buttonBg);
    s.replace(QStringLiteral("%buttonHover%"), p.buttonHover);
    s.replace(QStringLiteral("%buttonText%"), p.buttonText);
    s.replace(QStringLiteral("%buttonBorder%"), p.buttonBorder);
    s.replace(QStringLiteral("%buttonRadius%"), QString::number(p.buttonRadius));
    s.replace(QStringLiteral("%indicatorOn%"), p.indicatorOn);
    s.replace(QStringLiteral("%font%"), p.font);
    return s;
}

// Deep navy with bright blue edges.
constexpr SkinPalette kDeepBlue{
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #14284b, stop:1 #0a1628)",
    "#3d6db3",
    4,
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2f62b8, stop:1 #173a78)",
    "#ffffff",
    "#173a78",
    "#ffffff",
    "#d5e3fa",
    "#5a6f92",
    "#35598f",
    "#8fc1ff",
    "#0b1a33",
    "#e8f0ff",
    "#3d6db3",
    "#4d9bff",
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3c78d8, stop:1 #1d4c9a)",
    "#4f8ae6",
    "#ffffff",
    "#0f2c5c",
    4,
    "#4d9bff",
    "\"DejaVu Sans\", sans-serif"};

// Light, airy glass: translucent whites over a sky gradient, rounded.
constexpr SkinPalette kBlueGlass{
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e9f5ff, stop:0.5 #cfe6fb, stop:1 #a9d0f5)",
    "#6aa5dc",
    10,
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgba(255,255,255,230), stop:0.5 #b7dcfb, "
    "stop:0.51 #8fc4f2, stop:1 #a9d6fa)",
    "#0d3b66",
    "rgba(255,255,255,180)",
    "#0d3b66",
    "#133b5c",
    "#8aa6be",
    "rgba(70,130,190,150)",
    "#1d5a92",
    "rgba(255,255,255,200)",
    "#0d2c48",
    "#8dbbe3",
    "#2f8ae0",
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:0.5 #d9ecfd, stop:0.51 #bcdcf8, "
    "stop:1 #e2f1fe)",
    "#ffffff",
    "#0d3b66",
    "#6aa5dc",
    10,
    "#2f8ae0",
    "\"DejaVu Sans\", sans-serif"};

// Platinum grey with pill-shaped aqua buttons.
constexpr SkinPalette kMacOS{
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f4f4, stop:1 #dcdcdc)",
    "#9a9a9a",
    6,
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ececec, stop:1 #c9c9c9)",
    "#333333",
    "#ff5f57",
    "#7a0f0a",
    "#222222",
    "#a0a0a0",
    "#b5b5b5",
    "#444444",
    "#ffffff",
    "#111111",
    "#adadad",
    "#3b8ef0",
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8cc4ff, stop:0.5 #3d95f5, stop:0.51 #2a83ec, "
    "stop:1 #6fb5ff)",
    "#5aa8ff",
    "#ffffff",
    "#2a6fc4",
    11,
    "#3b8ef0",
    "\"DejaVu Sans\", \"Helvetica\", sans-serif"};

// Warm organic look: dark plum body with amber accents.
constexpr SkinPalette kProtein{
    "qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #3b2a3f, stop:1 #22182a)",
    "#e0892c",
    12,
    "qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #e0892c, stop:1 #b04a6a)",
    "#2a1a24",
    "#2a1a24",
    "#ffd08a",
    "#f3e3d3",
    "#7d6a72",
    "#8a5a3a",
    "#ffb45c",
    "#2a1d2e",
    "#fff1e0",
    "#7a5060",
    "#ffb45c",
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f0a040, stop:1 #c06a20)",
    "#ffbe6a",
    "#2a1a24",
    "#7a3f10",
    12,
    "#ffb45c",
    "\"DejaVu Sans\", sans-serif"};

// Beige dialog face, strong blue title bar, white fields, rounded buttons.
constexpr SkinPalette kWinXP{
    "#ece9d8",
    "#0831d9",
    3,
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #3b8cff, stop:0.1 #0a5fe8, stop:0.9 #0048d6, "
    "stop:1 #0036b0)",
    "#ffffff",
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e8826a, stop:1 #c8401f)",
    "#ffffff",
    "#000000",
    "#aca899",
    "#d0d0bf",
    "#0046d5",
    "#ffffff",
    "#000000",
    "#7f9db9",
    "#316ac5",
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:0.85 #ecebe6, stop:1 #d6d0c5)",
    "#fdf5d6",
    "#000000",
    "#003c74",
    3,
    "#21a121",
    "\"DejaVu Sans\", \"Tahoma\", sans-serif"};

} // namespace

QString dialogSkinStyleSheet(int index) {
    switch (index) {
    case 0:
        return build(kDeepBlue);
    case 1:
        return build(kBlueGlass);
    case 2:
        return build(kMacOS);
    case 3:
        return build(kProtein);
    case 4:
        return build(kWinXP);
    default:
        return {};
    }
}

} // namespace sonvale::app
