// The main window's look: the skin image it is drawn on (and whose opaque
// pixels give the borderless window its shape), the icons of its buttons, the
// style sheet of its controls, and the fixed places of its controls on the
// image. Everything is drawn in code; no artwork files are needed.
//
// Main thread only (QPixmap and QPainter on pixmaps need the GUI thread).
#pragma once

#include <QIcon>
#include <QImage>
#include <QRect>
#include <QString>

namespace sonvale::app {

// Places of the main window's parts on the skin image.
namespace MainLayout {
inline constexpr int Width = 640;
inline constexpr int Height = 440;
inline constexpr QRect TitleBar{0, 0, Width, 44};
inline constexpr QRect Display{24, 52, 592, 66};
inline constexpr QRect Status{38, 58, 330, 30};
inline constexpr QRect Clock{372, 58, 230, 30};
inline constexpr QRect Progress{38, 92, 564, 20};
inline constexpr QRect Transport{24, 128, 250, 56};
inline constexpr QRect Meter{434, 140, 138, 32};
inline constexpr QRect FileListPanel{20, 194, 396, 208};
inline constexpr QRect FileList{28, 220, 380, 124};
inline constexpr QRect SourcePanel{426, 194, 194, 208};
inline constexpr QRect SourceList{434, 220, 140, 174};
inline constexpr QRect Volume{584, 220, 28, 152};
inline constexpr QRect VolumeValue{580, 374, 36, 18};
inline constexpr QRect Message{24, 410, 592, 22};
} // namespace MainLayout

enum class SkinIcon {
    Record,
    Play,
    Pause,
    Stop,
    Save,
    Remove,
    RemoveAll,
    Options,
    Help,
    Home,
    Minimize,
    Close,
};

// The background image of the main window, with transparent corners.
QImage mainSkinImage();

// A button icon with normal, active (hover) and disabled pictures.
QIcon skinIcon(SkinIcon which, int size);

// The style sheet of the main window's controls.
QString mainStyleSheet();

} // namespace sonvale::app
