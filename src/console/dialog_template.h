#pragma once

#include <span>

// A dialog described as data, the way a resource script describes it: every control with its
// identifier, kind, caption and place in dialog units. BuildDialog turns one into widgets.

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    PushLikeRadio,    // automatic radio button drawn as a flat push button
    CheckBox,
    GroupBox,         // frame with a title
    Frame,            // flat frame without a title
    Label,            // static text
    Edit,             // single-line edit
    MultiLineEdit,    // read-only text that wraps at its width, no scroll bars
    ListBox,
    VerticalScrollBar,
    Picture,          // a bitmap from the resources, caption = resource path
    DropDownList,     // a list to choose one item from; the program fills it
};

// Style bits, named after what they do to the control.
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleGroup = 1u << 0,          // starts a new group (radio buttons exclusive within a group)
    kStyleTabStop = 1u << 1,
    kStyleAlignLeft = 1u << 2,
    kStyleAlignCenter = 1u << 3,
    kStyleAlignRight = 1u << 4,
    kStyleReadOnly = 1u << 5,
    kStyleDigitsOnly = 1u << 6,     // typing accepts digits only; pasted text is taken as it is
    kStyleNoPrefix = 1u << 7,       // '&' is shown, not a mnemonic
    kStyleBorder = 1u << 8,
};

inline constexpr int kNoControlId = -1;

// The two commands every dialog shares, each the identifier of its button in the templates.
// OK is the default button of the dialogs that have one, so Enter sends it. Cancel is also
// "Done" and the About box's OK; Escape and the caption's close button send it too.
inline constexpr int kOkCommand = 1;
inline constexpr int kCancelCommand = 2;

struct ControlTemplate {
    int id;               // kNoControlId for controls the program never addresses
    ControlKind kind;
    const char* caption;
    int x, y, width, height;   // dialog units
    unsigned style;
};

enum class DialogPlacement { CentredOnScreen, RelativeToOwner };

struct DialogTemplate {
    int templateId;
    const char* caption;
    DialogPlacement placement;
    int x, y, width, height;   // dialog units; x, y relative to the owner's client area
    std::span<const ControlTemplate> controls;   // template order, which is also the tab order
};

// The templates of the console.
extern const DialogTemplate kMainWindowTemplate;      // 1
extern const DialogTemplate kEditValuesTemplate;      // 111
extern const DialogTemplate kConfigureAreasTemplate;  // 116
extern const DialogTemplate kIoBuffersTemplate;       // 117
extern const DialogTemplate kAboutTemplate;           // 118
extern const DialogTemplate kFaultsTemplate;          // 119
extern const DialogTemplate kGeneratorsTemplate;      // 120
