// The main window's look: the skin image it is drawn on (and whose opaque
// pixels give the borderless window its shape), the icons of its buttons, the
// style sheet of its controls, and the fixed places of its controls on the
// image. Everything is drawn in code; no artwork files are needed.
//
// The pictures are painted into QImages only (no pixmaps), so
// paintSkinPictures may run on any thread once the application object exists
// (its text needs the application's fonts): the main window has them painted
// on a worker thread while it builds its controls. skinIcon and
// mainStyleSheet: main thread only.
#pragma once

#include <QIcon>
#include <QImage>
#include <QRect>
#include <QString>

#include <array>

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
inline constexpr int kSkinIconCount = int(SkinIcon::Close) + 1;

// The size of a button's icon on the window: big on the transport buttons,
// small on the window buttons. Its pictures are painted at twice that, so
// they stay sharp on scaled screens.
constexpr int skinIconSize(SkinIcon which) {
    switch (which) {
    case SkinIcon::Record:
    case SkinIcon::Play:
    case SkinIcon::Pause:
    case SkinIcon::Stop:
        return 30;
    case SkinIcon::Help:
    case SkinIcon::Home:
    case SkinIcon::Minimize:
    case SkinIcon::Close:
        return 16;
    default:
        return 22;
    }
}

// The normal, active (hover) and disabled pictures of a button's icon.
using SkinIconPictures = std::array<QImage, 3>;

// Everything the main window's look paints, each picture once.
struct SkinPictures {
    QImage skin;  // see mainSkinImage
    QImage shape; // the skin's alpha mask: the window's shape
    std::array<SkinIconPictures, kSkinIconCount> icons{}; // by SkinIcon, at 2 x skinIconSize
};

// The background image of the main window, with transparent corners.
QImage mainSkinImage();

// The pictures of one icon at `size` pixels.
SkinIconPictures skinIconPictures(SkinIcon which, int size);

// The skin and every button's pictures.
SkinPictures paintSkinPictures();

// A button icon made of its pictures.
QIcon skinIcon(const SkinIconPictures& pictures);

// The style sheet of the main window's controls.
QString mainStyleSheet();

} // namespace sonvale::app
