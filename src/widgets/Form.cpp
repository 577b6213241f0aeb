#include "widgets/Form.hpp"

#include <algorithm>

#include "widgets/Canvas.hpp"

namespace tarvos {

Bitmap PaintForm(TForm& form) {
    Bitmap canvas = MakeBitmap(form.Width, form.Height, form.Color);
    Tile(canvas, form.BackgroundPattern);
    for (const auto& control : form.Controls()) {
        if (!control->Visible) continue;
        Bitmap picture = control->Paint();
        if (picture.Empty()) continue;
        // Clip the picture to the widget's own rectangle before placing it.
        int w = std::min(picture.width, control->Width), h = std::min(picture.height, control->Height);
        if (w <= 0 || h <= 0) continue;
        Bitmap clipped = MakeBitmap(w, h, 0);
        Draw(clipped, 0, 0, picture);
        Draw(canvas, control->Left, control->Top, clipped);
    }
    return canvas;
}

}  // namespace tarvos
