#pragma once
// Server text where Qt guesses at markup (tool tips): a text that could be
// taken for markup is escaped, so a tag or a link in it shows as the
// characters it is and nothing in it can be clicked. Other texts stay as they are.
#include <QString>
#include <QTextDocument>

namespace ui {

inline QString plainToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace ui
