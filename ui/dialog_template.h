// Dialog templates: the forms of the pages and dialogs, kept as text files in
// res/templates/ and compiled into the program as Qt resources.
//
//   # comment
//   DIALOG <id> <width> <height> ["caption"]
//   <KIND> <id> <x> <y> <width> <height> [FLAG...] ["text"]
//
// Geometry is in dialog units; see ui/dialog_units.h and docs/ui-pages.md.
#pragma once

#include <string>
#include <vector>

enum class ControlKind {
    Label,         // LTEXT
    CenterLabel,   // CTEXT
    GroupBox,      // GROUPBOX
    ComboBox,      // COMBOBOX: sorted drop-down list
    CheckBox,      // CHECKBOX: automatic, text on the left of the box
    RadioButton,   // RADIOBUTTON: automatic; GROUP starts a new group
    Edit,          // EDITTEXT: single line, scrolls horizontally
    NumberEdit,    // NUMEDIT: right-aligned, digits only, read-only
    UpDown,        // UPDOWN: attached to the edit before it, aligned to its right
    TitleLine,     // TITLE: rich-text title line, disabled
    PushButton,    // PUSHBUTTON
    DefPushButton, // DEFPUSHBUTTON
    ListBox,       // LISTBOX: sorted, vertical scroll bar
    Icon,          // ICON: the application icon
};

struct ControlTemplate {
    ControlKind Kind = ControlKind::Label;
    int Id = -1;
    int X = 0, Y = 0, Width = 0, Height = 0;
    std::string Text;
    bool Disabled = false;
    bool Group = false; // starts a group (radio buttons, tab order)
    bool NoTabStop = false;
    bool NoThousands = false; // up-down: plain digits, no separators
};

struct DialogTemplate {
    int Id = -1;
    int Width = 0, Height = 0;
    std::string Caption;
    std::vector<ControlTemplate> Controls;
};

// Parses template text; false with a message naming the line on a syntax error.
bool ParseDialogTemplate(const std::string& text, DialogTemplate& out, std::string& error);

// The template of `id` from the program's resources (":/templates/page_<id>.dlg"
// or ":/templates/dialog_<id>.dlg"); false when there is none or it is broken.
bool LoadDialogTemplate(int id, DialogTemplate& out, std::string& error);
