#include "ui/caption_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace ui {

std::vector<CaptionBar::Segment> CaptionBar::parseText(const QString& text)
{
    std::vector<Segment> out;
    const QStringList parts = text.split(QChar('\a'));
    for (int i = 0; i < parts.size(); ++i) {
        QString t = parts[i];
        t.replace("&&", "&");
        if (!t.isEmpty())
            out.push_back({t, i % 2 == 1});
    }
    return out;
}

CaptionBar::CaptionBar(QWidget* parent)
    : QFrame(parent),
      m_icon(new QLabel(this)),
      m_label(new QLabel(this)),
      m_button(new QToolButton(this)),
      m_close(new QToolButton(this))
{
    setObjectName("CaptionBar");
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 3, 3);
    m_icon->setFixedSize(16, 16);
    m_icon->hide();
    row->addWidget(m_icon);
    m_label->setTextFormat(Qt::RichText);
    m_label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    row->addWidget(m_label, 1);
    m_button->hide();
    row->addWidget(m_button);
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    row->addWidget(m_close);
    connect(m_label, &QLabel::linkActivated, this, [this](const QString& href) { clickLink(href.toInt()); });
    connect(m_button, &QToolButton::clicked, this, [this] { clickButton(); });
    connect(m_close, &QToolButton::clicked, this, [this] { requestClose(); });
    render();
}

void CaptionBar::setText(const QString& text)
{
    m_text = text;
    render();
}

QString CaptionBar::shownText() const
{
    QString out;
    for (const Segment& s : parseText(m_text))
        out += s.text;
    return out;
}

void CaptionBar::setColours(const QColor& back, const QColor& text)
{
    m_back = back;
    m_fore = text;
    render();
}

void CaptionBar::setIcon(const QIcon& icon)
{
    m_icon->setPixmap(icon.pixmap(16, 16));
    m_icon->setVisible(!icon.isNull());
}

void CaptionBar::setButton(int commandId, const QString& text, const QString& toolTip)
{
    m_command = commandId;
    m_button->setText(text);
    m_button->setToolTip(toolTip);
    m_button->show();
}

void CaptionBar::removeButton()
{
    m_command = 0;
    m_button->hide();
}

bool CaptionBar::hasButton() const
{
    return m_command != 0;
}

void CaptionBar::clickButton()
{
    if (m_command != 0 && onButton)
        onButton(m_command);
}

bool CaptionBar::clickLink(int index)
{
    int n = 0;
    for (const Segment& s : parseText(m_text)) {
        if (!s.link)
            continue;
        if (n++ == index) {
            if (onLink)
                onLink(s.text);
            return true;
        }
    }
    return false;
}

void CaptionBar::requestClose()
{
    if (onCloseRequested && !onCloseRequested())
        return;
    hide();
    deleteLater();
}

void CaptionBar::render()
{
    QPalette p = palette();
    p.setColor(QPalette::Window, m_back);
    p.setColor(QPalette::WindowText, m_fore);
    setPalette(p);
    QString html;
    int link = 0;
    for (const Segment& s : parseText(m_text)) {
        const QString t = s.text.toHtmlEscaped();
        if (s.link)
            html += QString("<a href=\"%1\" style=\"color:%2\">%3</a>").arg(link++).arg(m_fore.name(), t);
        else
            html += t;
    }
    m_label->setText(QString("<span style=\"color:%1\">%2</span>").arg(m_fore.name(), html));
}

} // namespace ui
