#pragma once
#include "widgets/Form.hpp"

namespace tarvos {

// What the settings controller asks of its window. The controller keeps everything the window
// shows in its form (texts, items, selections, states, size, outline); the window shows the
// form and writes the user's picks (selections, check state) back into it before it forwards
// an event to the controller.
class SettingsView {
public:
    virtual ~SettingsView() = default;
    // Texts, items, selections or states of the widgets changed.
    virtual void FormChanged(const TForm& form) = 0;
    // The background or the outline changed.
    virtual void OutlineChanged(const TForm& form) = 0;
    // The position or the size changed (placement by the main window, the grow-in).
    virtual void BoundsChanged(const TForm& form) = 0;
    // Shows the window modally and returns when it has been closed, with how it was closed.
    virtual TModalResult ShowModal(TForm& form) = 0;
    // Ends the modal showing.
    virtual void CloseModal(TModalResult result) = 0;
};

}  // namespace tarvos
