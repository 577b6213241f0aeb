#include "widgets/ButtonComps.hpp"

namespace tarvos {

TImageButton::TImageButton(std::string name) : TControl(std::move(name)) {
    Width = 50, Height = 50;
    ShowHint = true;
    Color = clBtnFace;
}

void TImageButton::Show(const Bitmap& picture) {
    ActualBmp = picture;
    Width = picture.width, Height = picture.height;
}

void TImageButton::SetBitmap(const Bitmap& picture) {
    Bmp = picture;
    Show(picture);
}

void TImageButton::RePaint() {
    if (!Bmp.Empty()) Show(Bmp);
}

void TImageButton::MouseEnter() {
    if (Enabled && !MOver.Empty()) Show(MOver);
}

void TImageButton::MouseLeave() {
    if (Enabled && !Bmp.Empty()) Show(Bmp);
}

void TImageButton::MouseDown(TMouseButton button, int x, int y) {
    if (!Enabled || button != TMouseButton::Left) return;
    pressed_ = true;
    if (OnMDown) OnMDown(button, x, y);
    if (!MDown.Empty()) Show(MDown);
}

void TImageButton::MouseUp(TMouseButton button, int x, int y) {
    if (!Enabled || button != TMouseButton::Left) return;
    bool over = Over(x, y);
    bool clicked = pressed_ && over;
    pressed_ = false;
    if (OnMUp) OnMUp(button, x, y);
    // The released picture stays the shown one, so a later repaint does not bring back the
    // pressed picture. A missing picture falls back to the normal one rather than to nothing.
    const Bitmap& hover = MUp.Empty() ? MOver : MUp;
    const Bitmap& next = over && !hover.Empty() ? hover : Bmp;
    if (!next.Empty()) Show(next);
    if (!clicked) return;
    if (RepaintNow) RepaintNow();
    Click();
}

void TImageButton::SetEnabled(bool enabled) {
    Enabled = enabled;
    if (ActualBmp.Empty()) ActualBmp = Bmp;
    if (!Shown().Empty()) Width = Shown().width, Height = Shown().height;
}

void TImageButton::Click() {
    if (!Enabled) return;
    if (BtnClick) BtnClick();
}

Bitmap TImageButton::Paint() {
    if (ActualBmp.Empty()) ActualBmp = Bmp;
    const Bitmap& shown = Shown();
    // The button always has the size of the picture it shows, also when it is enabled again
    // after showing a disabled picture of another size.
    if (!shown.Empty()) Width = shown.width, Height = shown.height;
    Bitmap canvas = MakeBitmap(Width, Height, Color);
    Draw(canvas, 0, 0, shown);
    return canvas;
}

}  // namespace tarvos
