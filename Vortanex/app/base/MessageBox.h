#pragma once
// The terminal's message boxes. Call sites pass the text and, where needed, a
// caption and a Windows-style message-box style word; the result is the id of
// the button pressed (1 OK, 2 Cancel, 6 Yes, 7 No, or a custom button's id).
// Callable from any thread: the prompter shows the box on the UI thread and
// the caller waits until it is closed.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The style word: buttons in the low four bits, icon in the next four, the
// default button in bits 8-11.
enum MsgBoxStyleBits : unsigned {
    MsgOk = 0x0,
    MsgOkCancel = 0x1,
    MsgAbortRetryIgnore = 0x2,
    MsgYesNoCancel = 0x3,
    MsgYesNo = 0x4,
    MsgRetryCancel = 0x5,
    MsgIconError = 0x10,
    MsgIconQuestion = 0x20,
    MsgIconWarning = 0x30,
    MsgIconInformation = 0x40,
    MsgDefButton2 = 0x100,
    MsgDefButton3 = 0x200,
};

// The product's caption.
inline constexpr const char* kProductCaption = "Vortanex";

// Shows `text` under `caption` with the buttons, icon and default button of
// `style`. Returns the button's id, or -1 when showing the box failed.
int MyMessageBox(std::string_view text, std::string_view caption, unsigned style);

// The same with buttons of the caller's own (text and result, for example
// {"Login Again", 1000}); `style` then gives only the icon and default button.
int MyMessageBox(std::string_view text, std::string_view caption, unsigned style,
                 const std::vector<std::pair<std::string, int>>& buttons);

// Product caption, the given style.
int MsgBoxStyle(std::string_view text, unsigned style);
// Product caption, OK button, no icon.
int MsgBoxOk(std::string_view text);
// Product caption, OK button, information icon.
int MsgBoxInfo(std::string_view text);
// The given caption, OK button, information icon.
int MsgBoxInfoCaption(std::string_view text, std::string_view caption);
// The reply text of an order update: caption "Update response", OK button,
// information icon, over the active window.
int MsgBoxUpdateResponse(std::string_view text);
