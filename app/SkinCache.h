// The main window's skin pictures kept in a file between runs, so that they
// are painted once rather than at every start. The file holds the pictures'
// pixels as they are in memory, after a key naming what they were painted
// with: the program's build, the Qt version and the application font. A file
// with another key, damaged in any way, or not a regular file (a FIFO is not
// waited for) is not used: the pictures are painted and the file written
// again.
//
// Any thread, once the application object exists (the key and the painting
// need its fonts). The file is written beside its place and renamed into it,
// so a reader never sees half a file, and two programs starting at once each
// write a whole one.
#pragma once

#include "app/MainSkin.h"

#include <QByteArray>

#include <optional>
#include <string>

namespace sonvale::app {

// What the pictures painted by this program, now, depend on.
QByteArray skinPicturesKey();

// The pictures in `file` when it holds a whole set made under `key`.
std::optional<SkinPictures> loadSkinPictures(const std::string& file, const QByteArray& key);

// Writes `pictures` under `key` to `file`, creating its folder; false when
// it could not (the old file, if any, is left as it was).
bool saveSkinPictures(const std::string& file, const QByteArray& key, const SkinPictures& pictures);

// The pictures from `file`, or painted (and then written to `file`) when it
// does not hold this program's. An empty `file` only paints.
SkinPictures loadOrPaintSkinPictures(const std::string& file);

} // namespace sonvale::app
