#pragma once
// The broker's web links on the ribbon: the "&WebLinks" category (a panel
// per panel name, a large button per link of kind 'B' or 'T', a group button
// with the link as a sub-item for kinds 'O' and 'W'), the tab-row buttons of
// the off-ribbon ('T') and feedback ('F') links, and the quick-access bar of
// the place-'S' links. The layout is worked out apart from the widgets so it
// is checked without them. UI thread.
#include "server/ServerRequests.h"
#include "ui/command_bar.h"

#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

class CMainFrame;
class QToolButton;

namespace WebLinkIds {
constexpr int kFirst = 33219;      // a link's command: kFirst + its place in the table
constexpr int kMaxLinks = 50;      // 33219..33268
constexpr int kFirstGroup = 33269; // group buttons' own ids, up to kLastGroup
constexpr int kLastGroup = 33298;  // 33299 is the error bar's
} // namespace WebLinkIds

struct WebLinkButton {
    bool group = false; // a drop-down of sub-items
    int id = 0;         // the link's command (large) or the group's own id
    QString label;
    int icon = 0;
    QString toolTip;
    std::vector<ui::SubItem> items;
};

struct WebLinkPanel {
    QString name;
    std::vector<WebLinkButton> buttons;
};

struct WebLinksLayout {
    std::vector<WebLinkPanel> panels;
    std::vector<WebLinkButton> tabRow;
    std::vector<int> quickAccess; // the place-'S' links' commands, in table order
    int links = 0;                // links laid out (at most kMaxLinks)
    int dropped = 0;              // links past the cap, or past the group ids
};

// Place: character 3 of Pref; kind: character 2.
WebLinksLayout LayoutWebLinks(const std::vector<WebLinkRecord>& links);

// Replaces the "&WebLinks" category and the tab-row buttons of bar with the
// layout's; no category when no link is on it.
void ApplyWebLinksRibbon(ui::CommandBar& bar, const WebLinksLayout& layout);

// What the frame's web-links step does: the "&WebLinks" category and tab-row
// buttons on the frame's ribbon, and the "Quick Access Links" dock (created
// when a place-'S' link exists, emptied otherwise) whose buttons run the
// link commands through the frame's command table.
void InstallWebLinks(CMainFrame& frame, const std::vector<WebLinkRecord>& links);

// The "Quick Access Links" bar: one 40-pixel button per place-'S' link, each
// 5 pixels below the one above, sending the link's command.
// The web links' 32 x 32 images (the ribbon's large buttons and the
// quick-access bar), by a link's icon index; null when there is none.
inline constexpr int kWebLinkImages = 289;
QIcon WebLinkIcon(int index);

class CDlgBarQuickAccess : public QWidget {
    Q_OBJECT
public:
    explicit CDlgBarQuickAccess(QWidget* parent = nullptr);

    // Index-th button's place: left 15, 40 by 40, the first at top 15.
    static QRect ButtonRect(int index);
    void SetLinks(const std::vector<int>& commands, const std::vector<WebLinkRecord>& links);
    const std::vector<QToolButton*>& Buttons() const { return m_buttons; }

signals:
    void command(int id);

private:
    std::vector<QToolButton*> m_buttons;
};
