#pragma once
#include <functional>

#include "widgets/Controls.hpp"

namespace tarvos {

enum class TMouseButton { Left, Right, Middle };

// The usual button-face colour, which an image button shows where it has no picture. A window
// with a system colour scheme gives its buttons the system's own (Color).
constexpr TColor clBtnFace = RgbColor(240, 240, 240);

// A windowless button painted from up to five pictures. The window forwards the mouse to it
// (coordinates relative to the button) and paints what Paint returns at Left, Top.
class TImageButton : public TControl {
public:
    explicit TImageButton(std::string name = {});

    Bitmap Bmp;        // normal
    Bitmap MOver;      // mouse over the enabled button
    Bitmap MDown;      // left button held down on it
    Bitmap MUp;        // left button released over it
    Bitmap BmpDAble;   // disabled
    Bitmap ActualBmp;  // the picture shown now

    std::function<void()> BtnClick;  // OnClick
    // Puts the button's current picture on the screen at once. A click runs it before its
    // handler, which may keep the window busy for long (a modal window, a full check).
    std::function<void()> RepaintNow;
    std::function<void(TMouseButton, int x, int y)> OnMDown, OnMUp;
    std::function<void()> OnMEnter, OnMLeave;  // declared for the form designer; never fired

    // Property setters: the normal picture is shown at once and gives the button its size.
    void SetBitmap(const Bitmap& picture);
    void SetBitmapOver(const Bitmap& picture) { MOver = picture; }
    void SetBitmapDown(const Bitmap& picture) { MDown = picture; }
    void SetBitmapUp(const Bitmap& picture) { MUp = picture; }
    void SetBitmapDisabled(const Bitmap& picture) { BmpDAble = picture; }

    // Shows the normal picture at its size; nothing when there is none.
    void RePaint();
    // Enables or disables the button; it takes the size of the picture it now shows.
    void SetEnabled(bool enabled);

    void MouseEnter();
    void MouseLeave();
    void MouseDown(TMouseButton button, int x, int y);
    // Releasing the left button over a button that it pressed clicks it.
    void MouseUp(TMouseButton button, int x, int y);
    void Click();

    Bitmap Paint() override;

private:
    bool Over(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
    void Show(const Bitmap& picture);
    const Bitmap& Shown() const { return !Enabled && !BmpDAble.Empty() ? BmpDAble : ActualBmp; }

    bool pressed_ = false;
};

}  // namespace tarvos
