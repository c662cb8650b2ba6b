#include "frame/WebLinksRibbon.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "frame/CMainFrame.h"
#include "frame/ImageCollections.h"
#include "ui/commands.h"
#include "ui/dock_pane.h"
#include "ui/plain_text.h"

#include <QToolButton>

namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), int(s.size())); }

char prefAt(const WebLinkRecord& link, size_t i) { return i < sizeof link.Pref ? link.Pref[i] : '\0'; }

} // namespace

WebLinksLayout LayoutWebLinks(const std::vector<WebLinkRecord>& links)
{
    WebLinksLayout out;
    const int n = std::min<int>(int(links.size()), WebLinkIds::kMaxLinks);
    out.links = n;
    out.dropped = int(links.size()) - n;
    if (out.dropped > 0)
        WriteLog(0, formatText("Web links past %d not shown: %d", WebLinkIds::kMaxLinks, out.dropped));
    int nextGroup = WebLinkIds::kFirstGroup;
    QString lastPanel, lastLabel;
    bool havePanel = false;
    std::vector<int> offRibbon, feedback;
    for (int i = 0; i < n; ++i) {
        const WebLinkRecord& link = links[size_t(i)];
        const int id = WebLinkIds::kFirst + i;
        const char kind = prefAt(link, 2);
        const char place = prefAt(link, 3);
        if (place == 'S')
            out.quickAccess.push_back(id);
        if (place == 'F')
            feedback.push_back(i);
        if (place == 'T') {
            offRibbon.push_back(i);
            continue;
        }
        const QString panel = text(FixedTextView(link.MainGroup));
        const QString label = text(FixedTextView(link.ButtonLabel));
        const QString name = text(FixedTextView(link.Name));
        if (!havePanel || panel != lastPanel) {
            out.panels.push_back({panel, {}});
            havePanel = true;
            lastPanel = panel;
            lastLabel.clear();
        }
        std::vector<WebLinkButton>& buttons = out.panels.back().buttons;
        const bool group = kind == 'O' || kind == 'W';
        if (group && !buttons.empty() && buttons.back().group && label == lastLabel) {
            buttons.back().items.push_back({id, name}); // the same label: one more entry of that button
            continue;
        }
        WebLinkButton b;
        b.label = label;
        b.icon = link.IconIndex;
        b.toolTip = ui::plainToolTip(text(FixedTextView(link.ToolTip)));
        if (group) {
            if (nextGroup > WebLinkIds::kLastGroup) {
                WriteLog(0, formatText("Web link %d not shown: no group button id left", i));
                ++out.dropped;
                continue;
            }
            b.group = true;
            b.id = nextGroup++;
            b.items.push_back({id, name});
        } else if (kind == 'B' || kind == 'T') {
            b.id = id;
        } else {
            continue; // a kind the ribbon has no button for
        }
        buttons.push_back(std::move(b));
        lastLabel = label;
    }
    // The tab row: more than two off-ribbon and feedback links together put
    // the off-ribbon ones under one "Useful Links" button.
    const auto single = [&](int i) {
        WebLinkButton b;
        b.id = WebLinkIds::kFirst + i;
        b.label = text(FixedTextView(links[size_t(i)].Name));
        return b;
    };
    if (offRibbon.size() + feedback.size() > 2 && !offRibbon.empty()) {
        WebLinkButton useful;
        useful.group = true;
        useful.label = QStringLiteral("Useful Links");
        useful.id = nextGroup <= WebLinkIds::kLastGroup ? nextGroup++ : 0;
        for (int i : offRibbon)
            useful.items.push_back({WebLinkIds::kFirst + i, text(FixedTextView(links[size_t(i)].Name))});
        out.tabRow.push_back(std::move(useful));
    } else {
        for (int i : offRibbon)
            out.tabRow.push_back(single(i));
    }
    for (int i : feedback)
        out.tabRow.push_back(single(i));
    return out;
}

void ApplyWebLinksRibbon(ui::CommandBar& bar, const WebLinksLayout& layout)
{
    const QString category = QStringLiteral("&WebLinks");
    bar.removeCategory(category);
    WriteLog(0, formatText("Weblink Ctr :%d", layout.links));
    if (!layout.panels.empty()) {
        const int c = bar.addCategory(category);
        for (const WebLinkPanel& p : layout.panels) {
            const int panel = bar.addPanel(c, p.name);
            for (const WebLinkButton& b : p.buttons) {
                if (b.group)
                    bar.addGroupButton(panel, b.id, b.label, b.items);
                else
                    bar.addButton(panel, b.id, b.label, ui::ButtonKind::Large, WebLinkIcon(b.icon), b.toolTip);
            }
        }
    }
    for (const WebLinkButton& b : layout.tabRow)
        bar.addTabRowButton(b.id, b.label, b.items);
}

QIcon WebLinkIcon(int index)
{
    const ImageCollection* images = GetImageCollection(kWebLinkImages);
    return images ? images->icon(index) : QIcon();
}

CDlgBarQuickAccess::CDlgBarQuickAccess(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Quick Access Links"));
    setMinimumWidth(70);
}

QRect CDlgBarQuickAccess::ButtonRect(int index)
{
    // Each button 5 pixels below the bottom of the one above: 40-pixel
    // buttons 5 pixels apart would overlap.
    return QRect(15, 15 + index * 45, 40, 40);
}

void CDlgBarQuickAccess::SetLinks(const std::vector<int>& commands, const std::vector<WebLinkRecord>& links)
{
    for (QToolButton* b : m_buttons)
        delete b;
    m_buttons.clear();
    for (size_t i = 0; i < commands.size(); ++i) {
        const int id = commands[i];
        const size_t link = size_t(id - WebLinkIds::kFirst);
        auto* b = new QToolButton(this);
        b->setGeometry(ButtonRect(int(i)));
        b->setIconSize(QSize(32, 32));
        if (link < links.size()) {
            // The link's image alone; a link whose image index has no image
            // keeps its label, so the button is never blank.
            const QIcon icon = WebLinkIcon(links[link].IconIndex);
            if (icon.isNull())
                b->setText(text(FixedTextView(links[link].ButtonLabel)));
            else
                b->setIcon(icon);
            b->setToolTip(ui::plainToolTip(text(FixedTextView(links[link].ToolTip))));
        }
        connect(b, &QToolButton::clicked, this, [this, id] { emit command(id); });
        b->show();
        m_buttons.push_back(b);
    }
    setMinimumHeight(commands.empty() ? 0 : ButtonRect(int(commands.size()) - 1).bottom() + 15);
}

void InstallWebLinks(CMainFrame& frame, const std::vector<WebLinkRecord>& links)
{
    const WebLinksLayout layout = LayoutWebLinks(links);
    if (ui::CommandBar* bar = frame.Ribbon())
        ApplyWebLinksRibbon(*bar, layout);
    auto* dock = frame.findChild<ui::DockPane*>(QStringLiteral("QuickAccessLinks"));
    if (layout.quickAccess.empty()) {
        if (dock)
            dock->hide();
        return;
    }
    if (!dock) {
        dock = new ui::DockPane(QStringLiteral("Quick Access Links"), &frame);
        dock->setObjectName(QStringLiteral("QuickAccessLinks"));
        auto* bar = new CDlgBarQuickAccess(dock);
        QObject::connect(bar, &CDlgBarQuickAccess::command, &frame, [&frame](int id) { frame.Commands().invoke(id); });
        dock->setWidget(bar);
        frame.addDockWidget(Qt::RightDockWidgetArea, dock);
    }
    WriteLog(0, "Entry : CDlgBarQuickAccess::CreateWebLinksBtns");
    static_cast<CDlgBarQuickAccess*>(dock->widget())->SetLinks(layout.quickAccess, links);
    WriteLog(0, "Exit : CDlgBarQuickAccess::CreateWebLinksBtns");
    dock->show();
}
