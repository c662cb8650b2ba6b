#include "frame/CMyPopupWindow.h"

#include "app/base/LogWriter.h"

#include "pf/shell.h"

#include <cctype>

namespace {

constexpr uint32_t rgb(int r, int g, int b)
{
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

constexpr std::array<uint32_t, 5> kOfferColours = {rgb(247, 165, 65), rgb(0, 0, 0), rgb(247, 165, 65),
                                                   rgb(0, 0, 250), rgb(255, 0, 0)};

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}

} // namespace

PopupLook PopupLookFor(long eventId, std::string_view title)
{
    PopupLook look;
    look.hasColours = true;
    switch (eventId) {
    case 1:
        look.caption = "You have a new Fundamental Research Alert.";
        look.colours = {rgb(210, 229, 249), rgb(0, 0, 0), rgb(210, 229, 249), rgb(0, 0, 250), rgb(255, 0, 0)};
        break;
    case 2:
        look.caption = "You have a new Technical Research Alert.";
        look.colours = {rgb(210, 241, 158), rgb(0, 0, 0), rgb(225, 247, 189), rgb(0, 0, 250), rgb(255, 0, 0)};
        break;
    case 3:
        look.caption = "You have a new Derivative Research Alert.";
        look.colours = {rgb(237, 215, 182), rgb(0, 0, 0), rgb(237, 215, 182), rgb(0, 0, 250), rgb(255, 0, 0)};
        break;
    case 5:
        look.caption = "Morrowpick.";
        look.colours = kOfferColours;
        break;
    case 6:
        look.caption = "Feedback";
        look.colours = kOfferColours;
        break;
    case 7:
        look.caption = std::string(title);
        look.colours = kOfferColours;
        break;
    case 8:
        look.caption = "Brackenfolds";
        look.colours = kOfferColours;
        break;
    case 0:
    case -1:
        look.caption = "You have a new Alert.";
        look.colours = kOfferColours;
        break;
    default:
        look.hasColours = false;
        break;
    }
    return look;
}

int PopupAutoCloseMs(long eventId)
{
    return eventId == -1 ? 2000 : 15000;
}

QPoint PopupPosition(const QRect& screen)
{
    return QPoint(screen.width() - 300, screen.height() - 210);
}

bool IsOpenableAddress(std::string_view address)
{
    size_t rest = 0;
    if (startsWithNoCase(address, "http://"))
        rest = 7;
    else if (startsWithNoCase(address, "https://"))
        rest = 8;
    else
        return false;
    if (address.size() <= rest || address[rest] == '/')
        return false;
    for (char c : address)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            return false;
    return true;
}

CMyPopupWindow::CMyPopupWindow(const ui::ToastSpec& spec, std::string address, std::string linkText,
                               pf::Shell* shell, QWidget* owner)
    : ui::Toast(spec, owner), m_strURL(std::move(address)), m_strLinkText(std::move(linkText)), m_shell(shell)
{
    onClicked = [this] { OnClickLinkButton(); };
}

bool CMyPopupWindow::OnClickLinkButton()
{
    if (!IsOpenableAddress(m_strURL)) {
        WriteLog(0, "Popup address refused (not http or https) : [" + m_strURL + "]");
        return false;
    }
    if (!m_shell)
        return false;
    return m_shell->openUrl(m_strURL, pf::ShowMode::Normal);
}
