// Turns a dialog template into child widgets of a page or dialog: one widget
// per control, the control id as its object name, geometry converted once from
// dialog units, radio buttons grouped, up-down controls attached to their edit.
#pragma once

#include "dialog_template.h"

class QLineEdit;
class QWidget;

// Creates the controls of `form` as children of `parent`, resizes `parent` to the form.
void BuildTemplateControls(const DialogTemplate& form, QWidget* parent);

// Limits what the user may type into `edit` to `maxLength` characters counted
// as the system counts them (a Korean character takes two). A longer text set
// by the program is kept whole; the user can only shorten it.
void SetTypingLimit(QLineEdit* edit, int maxLength);
