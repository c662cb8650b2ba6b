#pragma once
// A report list whose drawing a derived class steers through hooks: fonts and
// colours per row and per cell, or drawing of its own before or after the
// default. The Is...() hooks say which of the others are consulted.
#include "OrnwickExport.h"

#include <QColor>
#include <QFont>
#include <QTableWidget>

class QPainter;

class ORNWICK_API CListCtrlCustom : public QTableWidget {
    Q_OBJECT
public:
    explicit CListCtrlCustom(QWidget* parent = nullptr);

    // Whole control.
    virtual bool IsDraw() { return false; }
    virtual bool OnDraw(QPainter*, const QRect&) { return false; } // true: skip the default drawing
    virtual bool IsNotifyItemDraw() { return false; }
    virtual bool IsNotifyPostPaint() { return false; }
    virtual bool IsPostDraw() { return false; }
    virtual void OnPostDraw(QPainter*, const QRect&) {}
    // Rows (item data is the row's first cell's Qt::UserRole value).
    virtual const QFont* FontForItem(int, int, quintptr) { return nullptr; }
    virtual QColor TextColorForItem(int, int, quintptr) { return {}; } // invalid: the default
    virtual QColor BkColorForItem(int, int, quintptr) { return {}; }
    virtual bool IsItemDraw(int, int, quintptr) { return false; }
    virtual bool OnItemDraw(QPainter*, int, int, quintptr) { return false; }
    virtual bool IsNotifySubItemDraw(int, int, quintptr) { return false; }
    virtual bool IsNotifyItemPostPaint(int, int, quintptr) { return false; }
    virtual bool IsItemPostDraw() { return false; }
    virtual void OnItemPostDraw(QPainter*, int, int, quintptr) {}
    // Cells.
    virtual const QFont* FontForSubItem(int, int, int, quintptr) { return nullptr; }
    virtual QColor TextColorForSubItem(int, int, int, quintptr) { return {}; }
    virtual QColor BkColorForSubItem(int, int, int, quintptr) { return {}; }
    virtual bool IsSubItemDraw(int, int, int, quintptr) { return false; }
    virtual bool OnSubItemDraw(QPainter*, int, int, int, quintptr) { return false; }
    virtual bool IsNotifySubItemPostPaint(int, int, int, quintptr) { return false; }
    virtual bool IsSubItemPostDraw() { return false; }
    virtual void OnSubItemPostDraw(QPainter*, int, int, int, quintptr) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};
