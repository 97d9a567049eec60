// The dialog templates: every window the program builds, with its controls
// in template order (which is also the tab order). Positions and sizes are
// in dialog units of the window's font.
#pragma once

enum class ControlKind {
    PushButton,     // tab stop; Enter on it presses it
    DefaultButton,  // as PushButton, and Enter anywhere in the window presses it
    RadioButton,    // plain: a click only notifies, the check is the program's
    CheckBox,       // automatic: a click toggles the check, then notifies
    Edit,           // single-line edit field with a tab stop
    NumberField,    // Edit with right-aligned text
    ReadOnly,       // read-only single-line field, no tab stop
    ReadOnlyRight,  // ReadOnly with right-aligned text
    Log,            // read-only multi-line field, unwrapped, no tab stop
    ReadOnlyText,   // read-only multi-line field, wrapped, with a tab stop so it can be read from the keyboard
    ListBox,        // unsorted list with a tab stop
    Label,          // left-aligned static text
    LabelRight,     // right-aligned static text
    GroupBox,       // frame with a caption, behind the controls it frames
    Icon,           // the program icon
    Chart,          // a chart with the caption as its title, filled by SetHistogram, SetTimeSeries or SetPlot
    Table,          // rows of cells under column titles, one row selected at a time, with a tab stop
};

struct ControlTemplate {
    int id;
    const char* name;  // the IDC_ name, also the widget's objectName
    ControlKind kind;
    const char* caption;  // as stored, '&' marks the mnemonic; "" for none
    int x, y, w, h;
    int order;                   // place in the template, 1-based
    const char* accessibleName;  // for controls without a caption; nullptr otherwise
    bool uppercase;              // typed letters a-z become capitals
    int buddy;                   // for a label with a mnemonic: the control it focuses
};

// The controls one dialog can hold (DialogWindow keeps one slot per control).
// Every template is checked against it when it is compiled; the main window
// has 134, so a few more fit without touching the window.
constexpr int CONTROL_CAPACITY = 144;

struct DialogTemplate {
    int id;
    const char* name;  // the IDD_ name, also the window's objectName
    const char* title;
    int width, height;
    // The controls placed at or beyond `width` form the dialog's panel, hidden
    // until it is shown; the window then widens by panelWidth. 0: no panel.
    int panelWidth;
    bool centred;  // centred on the screen; otherwise at the owner's client origin
    bool minimizable;
    const ControlTemplate* controls;
    int controlCount;
};

// The template with this identifier, nullptr for an unknown one.
const DialogTemplate* FindDialogTemplate(int templateId);
