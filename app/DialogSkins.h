// The five looks of the options dialog ("DeepBlue", "BlueGlass", "MacOS",
// "Protein", "WinXP"), each a complete style sheet for the dialog, its title
// bar (`suiForm`), group boxes, lists, edits, check boxes and buttons. The
// skin index stored in the settings selects one; the main window keeps its own
// look whatever the choice.
//
// Constant data; main thread only when applied.
#pragma once

#include <QString>

namespace sonvale::app {

inline constexpr int kSkinCount = 5;

// The style sheet of skin `index` (0..4); an empty text for any other index.
QString dialogSkinStyleSheet(int index);

} // namespace sonvale::app
