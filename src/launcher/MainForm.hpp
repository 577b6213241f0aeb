#pragma once
#include "widgets/Form.hpp"

namespace tarvos {

// The main window's widgets with their places and states before a skin is applied, in the
// order they are painted. The message panel's label and close button lie inside the panel;
// their places here are in window coordinates (the panel's place plus their own).
void DefineMainForm(TForm& form);

// The message panel hangs from the web panel's top-right corner, wherever the skin puts that
// (the defaults above are that place for the default web panel).
void PlaceMessagePanel(TForm& form);

// The widget a point of the window belongs to for the mouse: the last visible widget painted
// there that takes the mouse (image buttons and the message panel's close button); nullptr
// for the background, which drags the window.
TControl* MouseTarget(const TForm& form, int x, int y);

}  // namespace tarvos
