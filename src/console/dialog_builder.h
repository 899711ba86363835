#pragma once

#include <functional>

#include <QFont>
#include <QLineEdit>
#include <QRect>
#include <QWidget>

#include "console/dialog_template.h"

// The font the templates are laid out in: Liberation Sans 8 pt (metric-compatible with Arial),
// or the closest sans-serif face on the machine.
QFont TemplateFont();

// Dialog base units in pixels: the font's average character width and its character height,
// computed the way Windows computes them for a dialog font.
struct DialogBaseUnits {
    int averageCharWidth;
    int charHeight;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

// x and width scale by averageCharWidth / 4, y and height by charHeight / 8, rounded.
QRect DialogUnitsToPixels(const DialogBaseUnits& units, int x, int y, int width, int height);

// Called with the control's identifier when a button, radio button or check box is clicked.
using CommandHandler = std::function<void(int controlId)>;

// Makes the template's controls as children of `dialog`, in template order (so the tab order
// follows the template), sizes the dialog to the template and sets its caption and font.
// Frames and group boxes go to the bottom of the stacking order so that they never cover the
// controls inside them.
void BuildDialog(QWidget* dialog, const DialogTemplate& dialogTemplate, const CommandHandler& onCommand);

// Switches a box's typing between digits only (kStyleDigitsOnly) and any character.
void SetDigitsOnly(QLineEdit* edit, bool digitsOnly);

// The control with this template identifier among the dialog's own controls, or nullptr.
QWidget* FindControl(const QWidget* dialog, int controlId);

template <class Widget>
Widget* ControlAs(const QWidget* dialog, int controlId)
{
    return qobject_cast<Widget*>(FindControl(dialog, controlId));
}
