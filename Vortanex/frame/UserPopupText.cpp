#include "frame/UserPopupText.h"

#include <charconv>

namespace {

void appendEscaped(std::string& out, std::string_view field)
{
    for (char c : field) {
        if (c == '|' || c == '\\')
            out += '\\';
        out += c;
    }
}

long toLong(const std::string& s)
{
    long v = 0;
    const char* b = s.data();
    const char* e = s.data() + s.size();
    while (b < e && *b == ' ')
        ++b;
    std::from_chars(b, e, v);
    return v;
}

} // namespace

std::string FormatUserPopupText(const UserPopupFields& f)
{
    std::string out = std::to_string(f.kind);
    out += '|';
    out += f.side ? f.side : ' ';
    out += '|';
    appendEscaped(out, f.text);
    out += '|';
    appendEscaped(out, f.extra);
    out += '|';
    appendEscaped(out, f.address);
    out += '|';
    out += std::to_string(f.eventId);
    if (!f.title.empty() || !f.linkText.empty()) {
        out += '|';
        appendEscaped(out, f.title);
        out += '|';
        appendEscaped(out, f.linkText);
    }
    return out;
}

std::vector<std::string> SplitPopupFields(std::string_view text)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '|' || text[i + 1] == '\\')) {
            fields.back() += text[++i];
        } else if (c == '|') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

bool ParseUserPopupText(std::string_view text, UserPopupFields& out)
{
    const std::vector<std::string> f = SplitPopupFields(text);
    if (f.size() < 6)
        return false;
    out = UserPopupFields{};
    out.fieldCount = int(f.size());
    out.kind = toLong(f[0]);
    out.side = f[1].empty() ? ' ' : f[1][0];
    out.text = f[2];
    out.extra = f[3];
    out.address = f[4];
    out.eventId = toLong(f[5]);
    if (f.size() > 6)
        out.title = f[6];
    out.linkText = f.size() > 7 && !f[7].empty() ? f[7] : f[4];
    return true;
}
