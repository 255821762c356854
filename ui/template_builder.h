// Turns a dialog template into child widgets of a page or dialog: one widget
// per control, the control id as its object name, geometry converted once from
// dialog units, radio buttons grouped, up-down controls attached to their edit.
#pragma once

#include "dialog_template.h"

class QLineEdit;
class QWidget;

// Creates the controls of `form` as children of `parent`, resizes `parent` to the form.
void BuildTemplateControls(const DialogTemplate& form, QWidget* parent);

// Limits what the user may type or paste into `edit` to `maxLength` bytes of the
// ANSI code page (a Hangul syllable takes two); a paste keeps the part that fits.
// A longer text set by the program is kept whole; the user can only shorten it.
// Characters the code page lacks are refused with a tip.
void SetTypingLimit(QLineEdit* edit, int maxLength);
