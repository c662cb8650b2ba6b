#pragma once
// A message bar across the top of a window's work area: coloured background,
// an icon, a text whose parts between "\a" marks are links, at most one
// button and a close box. The owner decides what a link, the button and the
// close box do. UI thread only.
#include <QColor>
#include <QFrame>
#include <QIcon>
#include <QString>

#include <functional>
#include <vector>

class QLabel;
class QToolButton;

namespace ui {

class CaptionBar : public QFrame {
    Q_OBJECT
public:
    struct Segment {
        QString text;
        bool link = false;
    };
    // The text cut at every "\a"; every second part is a link. "&&" reads as "&".
    static std::vector<Segment> parseText(const QString& text);

    explicit CaptionBar(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_text; }
    // The text as shown, without the link marks.
    QString shownText() const;
    void setColours(const QColor& back, const QColor& text);
    QColor backColour() const { return m_back; }
    void setIcon(const QIcon& icon);

    void setButton(int commandId, const QString& text, const QString& toolTip = {});
    void removeButton();
    bool hasButton() const;
    int buttonCommand() const { return m_command; }

    // The button's command; a link by its text; the close box asks first
    // (true closes the bar, which then hides and deletes itself).
    std::function<void(int commandId)> onButton;
    std::function<void(const QString& link)> onLink;
    std::function<bool()> onCloseRequested;

    // As the user's clicks do.
    void clickButton();
    bool clickLink(int index); // index among the links; false when none
    void requestClose();

private:
    void render();

    QString m_text;
    QColor m_back{Qt::red};
    QColor m_fore{Qt::white};
    int m_command = 0;
    QLabel* m_icon;
    QLabel* m_label;
    QToolButton* m_button;
    QToolButton* m_close;
};

} // namespace ui
