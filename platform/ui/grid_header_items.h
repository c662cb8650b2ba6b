#pragma once
// Header items over column ranges: captions that group several columns of a
// grid ("NSE F&O - Equity" over two columns, one note over all of them), on
// numbered lines above the grid's own column header. A band of its own that
// follows the grid's columns as they are resized, moved, hidden or scrolled,
// so the grid itself is left as it is.
#include <QString>
#include <QWidget>

#include <vector>

namespace ui {

class GridView;

struct HeaderItem {
    int line = 0;
    int firstColumn = 0;
    int lastColumn = 0;
    QString text;
    Qt::Alignment alignment = Qt::AlignCenter;
};

class GridHeaderItems : public QWidget {
    Q_OBJECT
public:
    // Follows view's columns; lines: how many item lines the band shows.
    GridHeaderItems(GridView& view, int lines, QWidget* parent = nullptr);

    // Adds an item over the columns firstColumn..lastColumn (logical
    // numbers) on a line; false for a line or a column out of range.
    bool AddHeaderItem(int line, int firstColumn, int lastColumn, const QString& text,
                       Qt::Alignment alignment = Qt::AlignCenter);
    const std::vector<HeaderItem>& items() const { return m_items; }
    // Where an item shows in the band (empty when all its columns are hidden).
    QRect itemRect(size_t index) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GridView& m_view;
    int m_lines;
    std::vector<HeaderItem> m_items;
};

} // namespace ui
