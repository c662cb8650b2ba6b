#include "app/base/MessageBox.h"

#include "app/base/LogWriter.h"
#include "ui/prompter.h"

namespace {

ui::Buttons buttonsOf(unsigned style)
{
    switch (style & 0xFu) {
    case MsgOkCancel:
        return ui::Buttons::OkCancel;
    case MsgAbortRetryIgnore:
        return ui::Buttons::AbortRetryIgnore;
    case MsgYesNoCancel:
        return ui::Buttons::YesNoCancel;
    case MsgYesNo:
        return ui::Buttons::YesNo;
    case MsgRetryCancel:
        return ui::Buttons::RetryCancel;
    default:
        return ui::Buttons::Ok;
    }
}

int buttonCount(ui::Buttons buttons)
{
    switch (buttons) {
    case ui::Buttons::Ok:
        return 1;
    case ui::Buttons::AbortRetryIgnore:
    case ui::Buttons::YesNoCancel:
        return 3;
    default:
        return 2;
    }
}

ui::Icon iconOf(unsigned style)
{
    switch (style & 0xF0u) {
    case MsgIconError:
        return ui::Icon::Error;
    case MsgIconQuestion:
        return ui::Icon::Question;
    case MsgIconWarning:
        return ui::Icon::Warning;
    case MsgIconInformation:
        return ui::Icon::Information;
    default:
        return ui::Icon::None;
    }
}

int show(ui::Ask ask, unsigned style, int count)
{
    // A default button past the last one falls back to the first, as a
    // Windows box does.
    const int wanted = static_cast<int>((style >> 8) & 0xFu);
    ask.defaultIndex = wanted < count ? wanted : 0;
    try {
        return ui::prompter().ask(ask);
    } catch (...) {
        // The log lock is not held here, so logging cannot deadlock.
        WriteLog(0, "Exception in MyMessageBox.");
        return -1;
    }
}

} // namespace

int MyMessageBox(std::string_view text, std::string_view caption, unsigned style)
{
    ui::Ask ask;
    ask.text = text;
    ask.caption = caption;
    ask.icon = iconOf(style);
    ask.buttons = buttonsOf(style);
    const int count = buttonCount(ask.buttons);
    return show(std::move(ask), style, count);
}

int MyMessageBox(std::string_view text, std::string_view caption, unsigned style,
                 const std::vector<std::pair<std::string, int>>& buttons)
{
    ui::Ask ask;
    ask.text = text;
    ask.caption = caption;
    ask.icon = iconOf(style);
    ask.buttons = ui::Buttons::Custom;
    ask.custom = buttons;
    const int count = static_cast<int>(buttons.size());
    return show(std::move(ask), style, count);
}

int MsgBoxStyle(std::string_view text, unsigned style)
{
    return MyMessageBox(text, kProductCaption, style);
}

int MsgBoxOk(std::string_view text)
{
    return MyMessageBox(text, kProductCaption, MsgOk);
}

int MsgBoxInfo(std::string_view text)
{
    return MyMessageBox(text, kProductCaption, MsgOk | MsgIconInformation);
}

int MsgBoxInfoCaption(std::string_view text, std::string_view caption)
{
    return MyMessageBox(text, caption, MsgOk | MsgIconInformation);
}

int MsgBoxUpdateResponse(std::string_view text)
{
    return MyMessageBox(text, "Update response", MsgOk | MsgIconInformation);
}
