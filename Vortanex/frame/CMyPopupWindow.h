#pragma once
// The desktop popup of a research call, notice, offer or feedback request: a
// small window at the bottom right of the primary screen that fades in,
// closes itself and, when clicked, opens its address in the browser. The
// address comes from the server, so only http and https addresses are opened.
#include "ui/toast.h"

#include <QPoint>
#include <QRect>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pf {
class Shell;
}

// Caption and colour set of a popup by its event id. Colours are 0x00BBGGRR,
// in the order caption background, caption text, body background, link,
// hovered link.
struct PopupLook {
    std::string caption;
    bool hasColours = false;
    std::array<uint32_t, 5> colours{};
};
PopupLook PopupLookFor(long eventId, std::string_view title);

// 2000 ms for event id -1, 15000 ms for every other.
int PopupAutoCloseMs(long eventId);
// Width - 300, height - 210 of the primary screen's geometry.
QPoint PopupPosition(const QRect& screen);
// Only an absolute http or https address with a host and no blanks or
// control characters may be opened.
bool IsOpenableAddress(std::string_view address);

inline constexpr double kPopupOpacity = 244.0 / 255.0;
inline constexpr int kPopupFadeStepMs = 50;

class CMyPopupWindow : public ui::Toast {
    Q_OBJECT
public:
    // shell opens the address on a click; it must outlive the popup.
    CMyPopupWindow(const ui::ToastSpec& spec, std::string address, std::string linkText, pf::Shell* shell,
                   QWidget* owner = nullptr);

    const std::string& Address() const { return m_strURL; }
    const std::string& LinkText() const { return m_strLinkText; }

    // The click: opens the address (not the link text shown); a refused
    // address is logged and nothing opens. True when something was opened.
    bool OnClickLinkButton();

private:
    std::string m_strURL;
    std::string m_strLinkText;
    pf::Shell* m_shell;
};
