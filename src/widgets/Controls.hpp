#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "widgets/Canvas.hpp"

namespace tarvos {

enum class TCursor { Default, HandPoint, NoEntry };

struct TFont {
    std::string Name = "Tahoma";
    int Size = 8;         // points
    int PixelHeight = 0;  // when not 0 the font was given by its height in pixels, not by Size
    TColor Color = 0;
    bool Bold = false, Italic = false, Underline = false;

    void SetSize(int points) { Size = points, PixelHeight = 0; }
};

// What every widget of a window has: a name, a place, states the window shows (visibility,
// enabled, cursor, hint) and, for those that show text, a font and a colour. The window reads
// these; widgets that paint portably override Paint.
class TControl {
public:
    explicit TControl(std::string name) : Name(std::move(name)) {}
    virtual ~TControl() = default;
    TControl(const TControl&) = default;
    TControl& operator=(const TControl&) = default;

    std::string Name;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Visible = true;
    bool Enabled = true;
    TCursor Cursor = TCursor::Default;
    std::string Hint;
    bool ShowHint = false;
    TColor Color = 0;
    TFont Font;

    // The widget's picture at its current size; empty for widgets the window draws itself
    // (texts, system controls).
    virtual Bitmap Paint() { return {}; }
};

class TLabel : public TControl {
public:
    using TControl::TControl;
    std::string Caption;
    bool Transparent = true;
    bool RightToLeft = false;  // right-to-left reading: the text ends at the label's right edge
    bool Shadowed = false;     // drawn with a shadow
    bool AutoSize = true;
    bool WordWrap = false;  // breaks the text into lines at the label's width
};

class TComboBox : public TControl {
public:
    using TControl::TControl;
    std::vector<std::string> Items;
    int ItemIndex = -1;
    bool DropDownList = true;  // the user picks an item and cannot type
    std::function<void()> OnChange;

    void Clear() { Items.clear(), ItemIndex = -1; }
    // The selected item's text; empty without a selection.
    std::string Text() const;
};

class TCheckBox : public TControl {
public:
    using TControl::TControl;
    std::string Caption;
    bool Checked = false;
};

enum class TModalResult { None, Ok, Cancel };

class TButton : public TControl {
public:
    using TControl::TControl;
    std::string Caption;
    TModalResult ModalResult = TModalResult::None;
    std::function<void()> OnClick;
};

// A plain container, such as the frame of the web view. A panel with its own background
// paints its colour; otherwise what lies under it shows through.
class TPanel : public TControl {
public:
    using TControl::TControl;
    bool ParentBackground = true;
    Bitmap Paint() override { return ParentBackground ? Bitmap{} : MakeBitmap(Width, Height, Color); }
};

// A picture shown unscaled at the widget's top-left corner.
class TImage : public TControl {
public:
    using TControl::TControl;
    Bitmap Picture;
    Bitmap Paint() override { return Picture; }
};

}  // namespace tarvos
