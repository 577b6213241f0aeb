#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegionData.hpp"
#include "widgets/Controls.hpp"

namespace tarvos {

// A window as the controllers and the skin see it, without any window system: its place,
// caption, background, outline and its widgets by name, in the order they are painted. The
// real window reads it to show it; the tests read it to check it.
class TForm {
public:
    std::string Caption;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    TColor Color = 0;  // background where no pattern is set
    TFont Font;
    // Repeated over the whole window as its background, like a pattern brush.
    Bitmap BackgroundPattern;
    // The window's outline; nothing means rectangular, an empty list means nothing visible.
    std::optional<std::vector<RegionRect>> Outline;

    // Adds a widget and returns it; a widget keeps its address for the form's lifetime.
    template <class T>
    T& Add(std::string name) {
        controls_.push_back(std::make_unique<T>(std::move(name)));
        return static_cast<T&>(*controls_.back());
    }
    // The widget of that name and kind; nullptr when there is none.
    template <class T>
    T* Find(std::string_view name) const {
        for (const auto& c : controls_)
            if (c->Name == name) return dynamic_cast<T*>(c.get());
        return nullptr;
    }
    // The widget of that name and kind, added when the form has none yet.
    template <class T>
    T& Ensure(std::string_view name) {
        if (T* found = Find<T>(name)) return *found;
        return Add<T>(std::string(name));
    }
    const std::vector<std::unique_ptr<TControl>>& Controls() const { return controls_; }

private:
    std::vector<std::unique_ptr<TControl>> controls_;
};

// The window's picture: the background colour, the pattern, then every visible widget that
// paints itself, in order, each clipped to its own rectangle. Texts are drawn by the window.
Bitmap PaintForm(TForm& form);

}  // namespace tarvos
