#pragma once
// A flat-drawn column header with images, a sort arrow, per-column width
// limits and its own drag-and-drop reordering: a floating image of the
// dragged column (CFHDragWnd) and a drop-position marker (CFHDropWnd).
#include "OrnwickExport.h"

#include <QColor>
#include <QHeaderView>
#include <QPointer>
#include <QWidget>

#include <vector>

// Per-column extension: style flags and width limits.
struct ORNWICK_API _HDITEMEX {
    enum Style { FitContent = 1, FixedWidth = 4 };
    unsigned nStyle = 0;
    int iMinWidth = 0;
    int iMaxWidth = -1; // below the minimum: no limit
};

class CFlatHeaderCtrl;

// The image of the dragged column, following the mouse.
class ORNWICK_API CFHDragWnd : public QWidget {
    Q_OBJECT
public:
    CFHDragWnd(CFlatHeaderCtrl* header, int logicalIndex);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<CFlatHeaderCtrl> m_header;
    int m_logicalIndex;
};

// The drop marker: 12 pixels wide, two arrows (top pointing down, bottom
// pointing up) in one colour, as high as the header plus 20.
class ORNWICK_API CFHDropWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 12;
    explicit CFHDropWnd(const QColor& colour, QWidget* parent = nullptr);
    // Shows the marker with its tip at x and its middle at y.
    void SetWindowPos(int x, int y, int headerHeight);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
};

class ORNWICK_API CFlatHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    enum Property { Spacing = 1, ArrowSize = 2, StaticBorder = 3, NoDropCursor = 4, DropTarget = 5 };
    enum DropResult { DroppedInside = 0, DroppedOnTarget = 1, DroppedElsewhere = -1 };

    explicit CFlatHeaderCtrl(QWidget* parent = nullptr);
    ~CFlatHeaderCtrl() override;

    // 1 spacing, 2 arrow size (low word width, high word height), 3 static
    // border, 4 no-drop cursor shape, 5 drop-target window (a QWidget*).
    bool ModifyProperty(int property, quintptr value);

    bool SetItemEx(int column, const _HDITEMEX& ex);
    bool GetItemEx(int column, _HDITEMEX& ex) const;
    // The width the column's content needs: image, text and (when asked)
    // the sort arrow, each with its spacing.
    int GetItemWidth(int column, bool withSortArrow) const;

    void SetSortColumn(int column, bool ascending);
    int GetSortColumn(bool* ascending = nullptr) const;
    void setModel(QAbstractItemModel* model) override;
    QSize sizeHint() const override;

    int GetDropResult() const { return m_dropResult; }
    QColor DropMarkerColour() const { return m_dropColour; }

    // Draws one item in its rectangle (narrowed by the spacing).
    virtual void DrawItem(QPainter* painter, const QRect& rect, int logicalIndex, bool sortColumn,
                          bool ascending) const;

signals:
    void beginDrag(int logicalIndex);
    void endDrag(int logicalIndex, int dropResult);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyLimits(int logicalIndex);
    void onSectionsInserted(const QModelIndex& parent, int first, int last);
    void onSectionsRemoved(const QModelIndex& parent, int first, int last);
    void onSectionResized(int logicalIndex, int oldSize, int newSize);
    // The visual position the dragged column lands on for a point.
    int hotDividerAt(int x) const;
    void endDragging();

    int m_spacing = 6;
    QSize m_arrowSize{8, 8};
    bool m_staticBorder = false;
    int m_noDropCursor = 0;
    QPointer<QWidget> m_dropTarget;
    int m_sortColumn = -1;
    bool m_ascending = true;
    std::vector<_HDITEMEX> m_itemEx;
    QColor m_dropColour{255, 0, 0};

    int m_pressed = -1;
    QPoint m_pressPoint;
    int m_hotDivider = -1;
    bool m_dragging = false;
    bool m_inLimits = false;
    int m_dropResult = DroppedElsewhere;
    QPointer<CFHDragWnd> m_dragWnd;
    QPointer<CFHDropWnd> m_dropWnd;
};
