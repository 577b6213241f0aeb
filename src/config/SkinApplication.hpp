#pragma once
#include <vector>

#include "config/TarvosUpdateConfig.hpp"
#include "widgets/Form.hpp"

namespace tarvos {

// The outline of a picture whose see-through colour is the colour of its top-left pixel:
// every pixel of another colour is inside. An empty picture has an empty outline.
std::vector<RegionRect> TransparentColorOutline(const Bitmap& picture);

// The main window takes the background's size, shows it in its picture "BackGroundImage"
// and as its background pattern, and takes the outline stored with it (none: rectangular).
void SetMainWindowBackground(TForm& form, const TtucBackGround& background);

// The settings window shows the background in its picture "BackgroundImage" and as its
// background pattern and takes the outline of the picture itself; its size stays.
void SetSettingsWindowBackground(TForm& form, const TtucBackGround& background);

}  // namespace tarvos
