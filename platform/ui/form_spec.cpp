#include "ui/form_spec.h"

#include <cctype>

namespace ui {

std::string EditRules::apply(std::string_view text) const
{
    // The limit counts characters, not bytes, and never splits a UTF-8
    // sequence; case and forbidden characters concern ASCII only.
    std::string out;
    out.reserve(text.size());
    int characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (!continuation) {
            if (forbidden.find(c) != std::string::npos)
                continue;
            if (maxLength > 0 && characters == maxLength)
                break;
            ++characters;
        } else if (out.empty()) {
            continue; // stray continuation byte
        }
        if (upperCase)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out.push_back(c);
    }
    return out;
}

} // namespace ui
