#pragma once
// A dialog's control table, transcribed from the dialog templates: each
// control with its id, kind, caption and rectangle in dialog units. Qt-free,
// so that the tables need nothing but the standard library.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ui {

enum class ControlKind {
    Label,         // static text
    Static,        // frame or picture placeholder without text
    Edit,          // single-line edit
    Password,      // single-line edit showing bullets
    MultiLine,     // multi-line edit
    Button,
    DefaultButton, // pressed by Enter
    Check,
    Radio,         // exclusive with the radios of the same group number
    Combo,         // drop-down list
    ComboEdit,     // drop-down with an editable text
    List,
    Spin,          // number with up/down arrows
    Group,         // group box frame with a title
};

// What a user may type into an edit. Applied to typed and to set text alike.
struct EditRules {
    bool upperCase = false;
    int maxLength = 0;          // 0 = no limit
    std::string forbidden;      // characters removed as they are typed
    bool readOnly = false;

    std::string apply(std::string_view text) const;
};

struct DluRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlSpec {
    ControlSpec() = default;
    // A table row: {id, kind, caption, {x, y, width, height}} plus rules or
    // a radio group where needed.
    ControlSpec(int id_, ControlKind kind_, std::string caption_, DluRect rect_, EditRules rules_ = {}, int group_ = 0)
        : id(id_), kind(kind_), caption(std::move(caption_)), rect(rect_), rules(std::move(rules_)), group(group_)
    {
    }

    int id = 0;
    ControlKind kind = ControlKind::Label;
    std::string caption;
    DluRect rect;
    EditRules rules;
    int group = 0; // radio group; spin: unused
};

struct FormSpec {
    int templateId = 0;
    std::string name;    // how scripted hosts find the form, e.g. "CLogin"
    std::string caption;
    int width = 0;       // dialog units
    int height = 0;
    std::vector<ControlSpec> controls;
};

} // namespace ui
