#include "Resizer.h"

#include <algorithm>

#include <QRect>
#include <QVariant>
#include <QWidget>

CResizer::~CResizer() = default;

CResizer::Rect CResizer::fromQRect(const QRect& r)
{
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

CResizer::Rect CResizer::clientRect() const
{
    return m_parent ? fromQRect(m_parent->contentsRect()) : Rect{};
}

void CResizer::Clear()
{
    m_items.clear();
    m_computed.clear();
    m_computedCount = 0;
}

QWidget* CResizer::GetDlgItem(int id) const
{
    if (!m_parent)
        return nullptr;
    for (QWidget* child : m_parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        bool ok = false;
        if (child->property(kIdProperty).toInt(&ok) == id && ok)
            return child;
    }
    return nullptr;
}

bool CResizer::Init(QWidget* parent, const QRect* initialParentRect, const CBorderInfo* table, int count)
{
    Clear();
    m_parent = parent;
    if (!parent || count < 0 || (count > 0 && !table))
        return false;
    m_initialParent = initialParentRect ? fromQRect(*initialParentRect) : clientRect();

    // A relative that is not yet placed when an edge is computed would be
    // read uninitialised: such tables are refused here.
    for (int i = 0; i < count; ++i) {
        const CBorderInfo& info = table[i];
        if (info.id == 0 || !GetDlgItem(info.id)) {
            Clear();
            return false;
        }
        for (const CBorder* border : {&info.left, &info.top, &info.right, &info.bottom}) {
            if (border->relativeId == 0 || border->relativeId == info.id)
                continue;
            bool earlier = false;
            for (int j = 0; j < i && !earlier; ++j)
                earlier = table[j].id == border->relativeId;
            if (!earlier) {
                Clear();
                return false;
            }
        }
    }

    m_items.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        m_items[size_t(i)].rule = &table[i];
        GetDlgItemRect(table[i].id, m_items[size_t(i)].initial);
    }
    return true;
}

void CResizer::GetDlgItemRect(int id, Rect& rect) const
{
    if (id == 0) {
        rect = clientRect();
        return;
    }
    const QWidget* w = GetDlgItem(id);
    rect = w ? fromQRect(w->geometry()) : Rect{};
}

void CResizer::GetCachedDlgItemRect(int id, Rect& rect) const
{
    if (id == 0) {
        rect = clientRect();
        return;
    }
    const int index = FindCached(id);
    rect = index >= 0 ? m_computed[size_t(index)].rect : Rect{};
}

void CResizer::GetInitialDlgItemRect(int id, Rect& rect) const
{
    if (id == 0) {
        rect = m_initialParent;
        return;
    }
    const int index = Find(id);
    rect = index >= 0 ? m_items[size_t(index)].initial : Rect{};
}

int CResizer::Find(int id) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].rule->id == id)
            return int(i);
    return -1;
}

int CResizer::FindCached(int id) const
{
    for (int i = 0; i < m_computedCount; ++i)
        if (m_computed[size_t(i)].id == id)
            return i;
    return -1;
}

int CResizer::GetRectCoord(ESize edge, const Rect& r)
{
    switch (edge) {
    case eLeft:
        return r.left;
    case eTop:
        return r.top;
    case eRight:
        return r.right;
    case eBottom:
        return r.bottom;
    case eXCenter:
        return (r.left + r.right) / 2;
    case eYCenter:
        return (r.top + r.bottom) / 2;
    }
    return 0;
}

int CResizer::GetRectSize(ESize edge, const Rect& r)
{
    switch (edge) {
    case eLeft:
    case eRight:
    case eXCenter:
        return r.right - r.left;
    case eTop:
    case eBottom:
    case eYCenter:
        return r.bottom - r.top;
    }
    return 0;
}

int CResizer::GetCoordinate(ESize edge, const Rect& initial, const CBorder& rule, const Rect& soFar) const
{
    switch (rule.mode) {
    case eFixed:
    case eProportional: {
        Rect relInitial, relNow;
        GetInitialDlgItemRect(rule.relativeId, relInitial);
        GetCachedDlgItemRect(rule.relativeId, relNow);
        const int offset = GetRectCoord(edge, initial) - GetRectCoord(rule.edge, relInitial);
        const int nowCoord = GetRectCoord(rule.edge, relNow);
        if (rule.mode == eFixed)
            return nowCoord + offset;
        const int initialSize = GetRectSize(edge, relInitial);
        return GetRectSize(edge, relNow) * offset / (initialSize > 1 ? initialSize : 1) + nowCoord;
    }
    case eKeepWidth:
        return soFar.left + (initial.right - initial.left);
    case eKeepHeight:
        return soFar.top + (initial.bottom - initial.top);
    default:
        return 0;
    }
}

void CResizer::Move(int index)
{
    const Item& item = m_items[size_t(index)];
    Computed& entry = m_computed[size_t(index)];
    m_computedCount = index + 1; // the entry counts as computed while its edges are worked out
    entry.id = item.rule->id;
    // Edges in order, so that a right edge in eKeepWidth sees the new left.
    entry.rect.left = GetCoordinate(eLeft, item.initial, item.rule->left, entry.rect);
    entry.rect.top = GetCoordinate(eTop, item.initial, item.rule->top, entry.rect);
    entry.rect.right = GetCoordinate(eRight, item.initial, item.rule->right, entry.rect);
    entry.rect.bottom = GetCoordinate(eBottom, item.initial, item.rule->bottom, entry.rect);
    const QWidget* w = GetDlgItem(entry.id);
    entry.visible = w && w->isVisibleTo(m_parent) && !w->property(kClipSiblingsProperty).toBool();
    entry.hidden = false;
}

void CResizer::MoveAndHideOverlapped()
{
    for (int i = 0; i < m_computedCount; ++i) {
        Computed& entry = m_computed[size_t(i)];
        for (int j = 0; j < i && entry.visible && !entry.hidden; ++j) {
            const Computed& earlier = m_computed[size_t(j)];
            const Rect& a = entry.rect;
            const Rect& b = earlier.rect;
            const bool intersect = std::max(a.left, b.left) < std::min(a.right, b.right)
                                   && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
            if (earlier.visible && intersect)
                entry.hidden = true;
        }
        if (entry.hidden)
            entry.rect = Rect{};
        if (QWidget* w = GetDlgItem(entry.id))
            w->setGeometry(entry.rect.left, entry.rect.top, entry.rect.right - entry.rect.left,
                           entry.rect.bottom - entry.rect.top);
    }
}

void CResizer::Move()
{
    if (m_computed.size() != m_items.size())
        m_computed.assign(m_items.size(), Computed{});
    for (int i = 0; i < int(m_items.size()); ++i)
        Move(i);
    MoveAndHideOverlapped();
}
