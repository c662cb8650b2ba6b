#pragma once
// Re-lays the child controls of a dialog or form when it changes size. The
// owner describes once, per control, which edge of the parent's client area
// or of an earlier control each of the control's four edges follows; Init
// records the initial rectangles and every Move places the controls again,
// collapsing a control that would overlap an earlier visible one.
//
// Controls are the parent's child widgets carrying the dynamic property
// "controlId" (int); id 0 stands for the parent's client area. A control with
// the property "clipSiblings" set to true never collapses nor makes another
// collapse.
#include "OrnwickExport.h"

#include <vector>

class QRect;
class QWidget;

class ORNWICK_API CResizer {
public:
    enum EMode { eFixed = 1, eProportional = 2, eKeepWidth = 3, eKeepHeight = 4 };
    enum ESize { eLeft = 1, eTop = 2, eRight = 3, eBottom = 4, eXCenter = 5, eYCenter = 6 };

    struct CBorder {
        int mode;       // EMode
        int relativeId; // 0: the parent's client area
        ESize edge;     // edge of the relative that this edge follows
    };
    struct CBorderInfo {
        int id;
        CBorder left, top, right, bottom;
    };

    CResizer() = default;
    // The table is read through a pointer; copies would share it silently.
    CResizer(const CResizer&) = delete;
    CResizer& operator=(const CResizer&) = delete;
    ~CResizer();

    // Records the parent, its initial client rectangle (the given one, or
    // its current one when null) and each control's initial rectangle. The
    // table must outlive the resizer. Refuses (false, nothing recorded) a
    // table with an unknown control or a relative id that is neither 0 nor
    // the control itself or one earlier in the table.
    bool Init(QWidget* parent, const QRect* initialParentRect, const CBorderInfo* table, int count);
    // Places every control by its rules.
    void Move();

    // Control ids are read from this property of the parent's children.
    static constexpr const char* kIdProperty = "controlId";
    static constexpr const char* kClipSiblingsProperty = "clipSiblings";

protected:
    // Win32-style rectangle: right and bottom are one past the last pixel.
    struct Rect {
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    struct Item {
        Rect initial;
        const CBorderInfo* rule = nullptr;
    };
    struct Computed {
        int id = 0;
        Rect rect;
        bool visible = false;
        bool hidden = false;
    };

    void Clear();
    void Move(int index);
    void MoveAndHideOverlapped();
    int GetCoordinate(ESize edge, const Rect& initial, const CBorder& rule, const Rect& computedSoFar) const;
    static int GetRectCoord(ESize edge, const Rect& rect);
    static int GetRectSize(ESize edge, const Rect& rect);
    QWidget* GetDlgItem(int id) const;
    void GetDlgItemRect(int id, Rect& rect) const;
    void GetCachedDlgItemRect(int id, Rect& rect) const;
    void GetInitialDlgItemRect(int id, Rect& rect) const;
    int Find(int id) const;
    int FindCached(int id) const;

private:
    static Rect fromQRect(const QRect& r);
    Rect clientRect() const;

    QWidget* m_parent = nullptr;
    Rect m_initialParent;
    std::vector<Item> m_items;
    std::vector<Computed> m_computed;
    int m_computedCount = 0;
};
