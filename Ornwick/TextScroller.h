#pragma once
// A text that scrolls to the left (horizontal type) or upwards (vertical
// type) on a timer, in its own colours. The scroller moves a view of the text
// and keeps the text itself, so it starts over when the text has passed.
#include "OrnwickExport.h"

#include <QColor>
#include <QFont>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <vector>

class ORNWICK_API CTextScroller : public QWidget {
    Q_OBJECT
public:
    enum Type { Horizontal = 0, Vertical = 1 };
    static constexpr int kDefaultIntervalMs = 70;

    struct Line {
        QString text;
        int y = 0;     // current top
        int start = 0; // top to return to
        bool active = true;
    };

    explicit CTextScroller(QWidget* parent = nullptr);

    void SetType(int type);
    void AddLine(const QStringList& lines);
    void AddLine(const QString& line);
    // Values <= 0 are ignored.
    void SetScrollTimer(int milliseconds);
    QColor SetBkColor(const QColor& colour);
    QColor SetTextColor(const QColor& colour);
    void SetBorder(bool on);
    void SetFontName(const QString& name);
    void SetFontBold(bool bold);
    void SetFontItalic(bool italic);
    void SetFontSize(int size);

    // The whole text of the horizontal type (each line and one blank).
    const QString& Text() const { return m_text; }
    // What the horizontal type shows now, and where.
    QString VisibleText() const;
    int Position() const { return m_x; }
    const std::vector<Line>& Lines() const { return m_lines; }
    int Interval() const { return m_timer.interval(); }

protected:
    // One step of the scroll.
    void Tick();
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int charsPerLine() const;
    int lineHeight() const;
    void reformat();
    void placeLines();
    void fontChanged();

    int m_type = Horizontal;
    QString m_text;
    std::vector<Line> m_lines;
    QColor m_textColour{0, 0, 0};
    QColor m_background{0x78, 0x78, 0xFF};
    int m_x = 0;
    int m_offset = 0; // characters of the text that have passed the left edge
    bool m_placed = false;
    QTimer m_timer;
};
