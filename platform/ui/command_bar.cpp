#include "ui/command_bar.h"

#include "ui/commands.h"

#include <QAction>
#include <QActionEvent>
#include <QActionGroup>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QSizePolicy>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>
#include <cstdlib>

namespace ui {

namespace {
// While visible, states follow the program the way a ribbon does on idle.
constexpr int kRefreshMs = 250;

// A large ribbon button shows a text of several words on two lines, broken at
// the space nearest its middle, as a ribbon does: twelve one-line buttons
// would not fit a 1280 pixels wide frame and be cut. The action keeps its
// one-line text for menus and tips.
class LargeButton final : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void actionEvent(QActionEvent* event) override
    {
        QToolButton::actionEvent(event);
        if (event->type() == QEvent::ActionChanged || event->type() == QEvent::ActionAdded)
            setText(twoLines(text()));
    }

private:
    static QString twoLines(QString text)
    {
        if (text.contains(QLatin1Char('\n')))
            return text;
        int best = -1;
        for (int i = 0; i < text.size(); ++i)
            if (text[i] == QLatin1Char(' ') && (best < 0 || std::abs(i - text.size() / 2) < std::abs(best - text.size() / 2)))
                best = i;
        if (best > 0)
            text[best] = QLatin1Char('\n');
        return text;
    }
};

// The menu of a popup button. The popup widget is made as the menu opens; a
// popup dialog is kept, with what the user entered, until it ends (a box it
// shows closes the menu, and the next opening shows it again), any other
// widget is made anew each time.
class PopupMenu final : public QMenu {
public:
    explicit PopupMenu(QWidget* parent) : QMenu(parent)
    {
        setObjectName(QStringLiteral("PopupMenu"));
        connect(this, &QMenu::aboutToShow, this, [this] { build(); });
    }
    std::function<QWidget*(QWidget* parent)> factory;

private:
    void build()
    {
        if (m_dialog && !m_ended) {
            m_dialog->show();
            return;
        }
        clear();
        m_dialog = nullptr;
        m_ended = false;
        auto* wa = new QWidgetAction(this);
        QWidget* w = factory ? factory(this) : nullptr;
        if (w) {
            // A popup dialog that ends (its OK, Cancel or Escape) closes the popup.
            if (auto* dialog = qobject_cast<QDialog*>(w)) {
                m_dialog = dialog;
                connect(dialog, &QDialog::finished, this, [this] {
                    m_ended = true;
                    QTimer::singleShot(0, this, &QMenu::close);
                });
            }
            wa->setDefaultWidget(w);
        }
        addAction(wa);
        // The action hid the widget as it took it; in the menu it shows.
        if (w && w->parentWidget() == this)
            w->show();
    }

    QPointer<QDialog> m_dialog;
    bool m_ended = false;
};
} // namespace

CommandBar::CommandBar(Commands& commands, QWidget* parent)
    : QWidget(parent),
      m_commands(commands),
      m_tabs(new QTabWidget(this)),
      m_quick(new QToolBar(this)),
      m_mainButton(new QToolButton(this)),
      m_mainMenu(new QMenu(this)),
      m_tabRow(new QWidget(this)),
      m_tabRowLayout(new QHBoxLayout(m_tabRow)),
      m_refresh(new QTimer(this))
{
    setObjectName("CommandBar");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_quick->setIconSize(QSize(16, 16));
    m_quick->setObjectName("QuickAccess");
    m_tabRow->setObjectName("RibbonTabRow"); // the links right of the tabs
    m_quick->setVisible(false); // shown once it holds a command
    outer->addWidget(m_quick);
    outer->addWidget(m_tabs);

    m_mainButton->setPopupMode(QToolButton::InstantPopup);
    m_mainButton->setMenu(m_mainMenu);
    m_mainButton->setVisible(false);
    m_tabs->setCornerWidget(m_mainButton, Qt::TopLeftCorner);
    m_tabRowLayout->setContentsMargins(0, 0, 0, 0);
    m_tabs->setCornerWidget(m_tabRow, Qt::TopRightCorner);
    m_tabs->setDocumentMode(true);
    m_tabs->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { refreshStates(); });
    connect(m_mainMenu, &QMenu::aboutToShow, this, [this] { refreshStates(); });

    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        if (isVisible())
            refreshStates();
    });
    m_refresh->start();
}

CommandBar::~CommandBar() = default;

int CommandBar::findCategory(const QString& name) const
{
    for (const auto& [handle, c] : m_categories)
        if (c.name == name)
            return handle;
    return -1;
}

int CommandBar::findPanel(int category, const QString& name) const
{
    for (const auto& [handle, p] : m_panels)
        if (p.category == category && p.name == name)
            return handle;
    return -1;
}

int CommandBar::addCategory(const QString& name)
{
    if (int found = findCategory(name); found >= 0)
        return found;
    const int handle = m_nextHandle++;
    Category c;
    c.name = name;
    c.page = new QWidget;
    c.row = new QHBoxLayout(c.page);
    c.row->setContentsMargins(4, 2, 4, 2);
    c.row->setSpacing(4);
    c.row->addStretch(1);
    m_tabs->addTab(c.page, name);
    m_categories[handle] = c;
    m_categoryOrder.push_back(handle);
    return handle;
}

int CommandBar::addPanel(int category, const QString& name)
{
    auto it = m_categories.find(category);
    if (it == m_categories.end())
        return -1;
    if (int found = findPanel(category, name); found >= 0)
        return found;
    const int handle = m_nextHandle++;
    Panel p;
    p.category = category;
    p.name = name;
    p.box = new QWidget;
    p.box->setObjectName("RibbonPanel");
    auto* v = new QVBoxLayout(p.box);
    v->setContentsMargins(2, 2, 2, 0);
    v->setSpacing(0);
    auto* body = new QWidget(p.box);
    p.row = new QHBoxLayout(body);
    p.row->setContentsMargins(0, 0, 0, 0);
    p.row->setSpacing(2);
    v->addWidget(body, 1);
    auto* title = new QLabel(name, p.box);
    title->setAlignment(Qt::AlignHCenter);
    title->setObjectName("RibbonPanelTitle");
    v->addWidget(title);
    // Before the stretch that closes the category's row.
    it->second.row->insertWidget(it->second.row->count() - 1, p.box);
    it->second.panels.push_back(handle);
    m_panels[handle] = p;
    return handle;
}

bool CommandBar::removePanel(int category, const QString& name)
{
    const int handle = findPanel(category, name);
    if (handle < 0)
        return false;
    auto& cat = m_categories[category];
    std::erase(cat.panels, handle);
    delete m_panels[handle].box;
    m_panels.erase(handle);
    return true;
}

bool CommandBar::removeCategory(const QString& name)
{
    const int handle = findCategory(name);
    if (handle < 0)
        return false;
    Category& c = m_categories[handle];
    for (int p : c.panels)
        m_panels.erase(p);
    m_tabs->removeTab(m_tabs->indexOf(c.page));
    delete c.page;
    m_categories.erase(handle);
    std::erase(m_categoryOrder, handle);
    return true;
}

QAction* CommandBar::actionFor(int id, const QString& text, const QIcon& icon, bool checkable)
{
    if (auto it = m_actions.find(id); it != m_actions.end()) {
        if (checkable)
            it->second->setCheckable(true);
        // A menu item made first has no icon; the ribbon button brings one.
        if (it->second->icon().isNull() && !icon.isNull())
            it->second->setIcon(icon);
        return it->second;
    }
    auto* a = new QAction(icon, text, this);
    a->setCheckable(checkable);
    a->setData(id);
    connect(a, &QAction::triggered, this, [this, id] {
        m_commands.invoke(id);
        refreshStates();
    });
    m_actions[id] = a;
    return a;
}

void CommandBar::addToPanel(Panel& panel, QWidget* w)
{
    panel.row->addWidget(w);
}

QToolButton* CommandBar::makeButton(Panel& panel, QAction* action, ButtonKind kind)
{
    auto* b = kind == ButtonKind::Large ? new LargeButton(panel.box) : new QToolButton(panel.box);
    b->setDefaultAction(action);
    b->setAutoRaise(true);
    switch (kind) {
    case ButtonKind::Large:
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(32, 32));
        break;
    case ButtonKind::Small:
    case ButtonKind::Check:
    case ButtonKind::Radio: {
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIconSize(QSize(16, 16));
        // Small buttons stand three to a column, as a ribbon's do: a row of
        // eleven would be squeezed and cut their texts ("Mar...ver").
        b->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
        QWidget* column = nullptr;
        if (QLayoutItem* last = panel.row->count() ? panel.row->itemAt(panel.row->count() - 1) : nullptr)
            if (QWidget* w = last->widget(); w && w->objectName() == QLatin1String("RibbonColumn") && w->layout()->count() < 3)
                column = w;
        if (!column) {
            column = new QWidget(panel.box);
            column->setObjectName(QStringLiteral("RibbonColumn"));
            auto* stack = new QVBoxLayout(column);
            stack->setContentsMargins(0, 0, 0, 0);
            stack->setSpacing(0);
            stack->setAlignment(Qt::AlignTop);
            addToPanel(panel, column);
        }
        b->setParent(column);
        column->layout()->addWidget(b);
        return b;
    }
    }
    addToPanel(panel, b);
    return b;
}

void CommandBar::addButton(int panel, int id, const QString& text, ButtonKind kind, const QIcon& icon,
                           const QString& tooltip)
{
    auto it = m_panels.find(panel);
    if (it == m_panels.end())
        return;
    const bool checkable = kind == ButtonKind::Check || kind == ButtonKind::Radio;
    QAction* a = actionFor(id, text, icon, checkable);
    if (!tooltip.isEmpty())
        a->setToolTip(tooltip);
    if (kind == ButtonKind::Radio) {
        if (!it->second.radios) {
            it->second.radios = new QActionGroup(this);
            // The update functions own the checks; the group only draws them as radios.
            it->second.radios->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
        }
        it->second.radios->addAction(a);
    }
    makeButton(it->second, a, kind);
    it->second.ids.push_back(id);
}

void CommandBar::addGroupButton(int panel, int id, const QString& text, const std::vector<SubItem>& items,
                                const QIcon& icon)
{
    auto it = m_panels.find(panel);
    if (it == m_panels.end())
        return;
    QAction* a = actionFor(id, text, icon, false);
    auto* menu = new QMenu(it->second.box);
    for (const SubItem& s : items) {
        if (s.id == 0)
            menu->addSeparator();
        else
            menu->addAction(actionFor(s.id, s.text, {}, false));
    }
    connect(menu, &QMenu::aboutToShow, this, [this] { refreshStates(); });
    QToolButton* b = makeButton(it->second, a, ButtonKind::Large);
    b->setMenu(menu);
    b->setPopupMode(id == 0 ? QToolButton::InstantPopup : QToolButton::MenuButtonPopup);
    it->second.ids.push_back(id);
    for (const SubItem& s : items)
        if (s.id)
            it->second.ids.push_back(s.id);
}

void CommandBar::addPopupButton(int panel, int id, const QString& text,
                                std::function<QWidget*(QWidget* parent)> factory, const QIcon& icon)
{
    auto it = m_panels.find(panel);
    if (it == m_panels.end())
        return;
    QAction* a = actionFor(id, text, icon, false);
    QToolButton* b = makeButton(it->second, a, ButtonKind::Large);
    attachPopup(b, std::move(factory));
    it->second.ids.push_back(id);
}

void CommandBar::attachPopup(QToolButton* b, std::function<QWidget*(QWidget* parent)> factory)
{
    // One menu per button for its life: detaching only takes it off the
    // button, so a popup whose own handler detaches it is never deleted
    // under itself.
    PopupMenu* menu = nullptr;
    for (QMenu* m : b->findChildren<QMenu*>(QStringLiteral("PopupMenu"), Qt::FindDirectChildrenOnly))
        menu = dynamic_cast<PopupMenu*>(m);
    if (!factory) {
        if (menu) {
            menu->factory = {};
            if (b->menu() == menu)
                b->setMenu(nullptr);
            menu->close();
        }
        // A button whose popup was open stays drawn pressed otherwise.
        b->setDown(false);
        b->setPopupMode(QToolButton::DelayedPopup);
        return;
    }
    if (!menu)
        menu = new PopupMenu(b);
    menu->factory = std::move(factory);
    b->setMenu(menu);
    b->setPopupMode(QToolButton::InstantPopup);
}

void CommandBar::reopenPopup(QWidget* content)
{
    for (QWidget* w = content; w; w = w->parentWidget()) {
        if (auto* menu = dynamic_cast<PopupMenu*>(w)) {
            // Only while the popup is still its button's (not detached meanwhile).
            auto* button = qobject_cast<QToolButton*>(menu->parentWidget());
            if (!menu->isVisible() && button && button->menu() == menu && button->isVisible())
                menu->popup(menu->pos());
            return;
        }
    }
}

std::vector<QToolButton*> CommandBar::buttonsOf(int id) const
{
    std::vector<QToolButton*> out;
    QAction* a = action(id);
    if (!a)
        return out;
    for (QToolButton* b : findChildren<QToolButton*>())
        if (b->defaultAction() == a)
            out.push_back(b);
    return out;
}

void CommandBar::setPopup(int id, std::function<QWidget*(QWidget* parent)> factory)
{
    for (QToolButton* b : buttonsOf(id))
        attachPopup(b, factory);
}

bool CommandBar::hasPopup(int id) const
{
    for (QToolButton* b : buttonsOf(id))
        if (b->menu())
            return true;
    return false;
}

bool CommandBar::showPopup(int id)
{
    QToolButton* chosen = nullptr;
    for (QToolButton* b : buttonsOf(id)) {
        if (!b->menu())
            continue;
        if (!chosen || (b->isVisible() && !chosen->isVisible()))
            chosen = b;
    }
    if (!chosen)
        return false;
    // Below the button, without waiting for the popup to close (the command
    // that asked returns at once).
    chosen->menu()->popup(chosen->mapToGlobal(QPoint(0, chosen->height())));
    return true;
}

void CommandBar::setMainMenu(const QString& title, const std::vector<SubItem>& items)
{
    m_mainMenu->clear();
    m_mainIds.clear();
    m_mainButton->setText(title);
    m_mainButton->setVisible(true);
    for (const SubItem& s : items) {
        if (s.id == 0) {
            m_mainMenu->addSeparator();
            continue;
        }
        m_mainMenu->addAction(actionFor(s.id, s.text, {}, false));
        m_mainIds.push_back(s.id);
    }
}

void CommandBar::addQuickAccess(int id)
{
    if (QAction* a = action(id)) {
        m_quick->addAction(a);
        m_quick->setVisible(true);
        m_quickIds.push_back(id);
    }
}

void CommandBar::setQuickAccess(const std::vector<int>& ids)
{
    m_quick->clear();
    m_quickIds.clear();
    m_quick->setVisible(false);
    for (int id : ids)
        addQuickAccess(id);
}

std::vector<int> CommandBar::panelCommandIds() const
{
    std::vector<int> out;
    for (int c : m_categoryOrder)
        for (int p : m_categories.at(c).panels)
            for (int id : m_panels.at(p).ids)
                if (id != 0 && std::find(out.begin(), out.end(), id) == out.end())
                    out.push_back(id);
    return out;
}

void CommandBar::addTabRowButton(int id, const QString& text, const std::vector<SubItem>& items)
{
    QAction* a = actionFor(id, text, {}, false);
    auto* b = new QToolButton(m_tabRow);
    b->setDefaultAction(a);
    b->setAutoRaise(true);
    // A tab-row button given an icon later keeps its text beside it.
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    if (!items.empty()) {
        auto* menu = new QMenu(b);
        for (const SubItem& s : items)
            menu->addAction(actionFor(s.id, s.text, {}, false));
        b->setMenu(menu);
        b->setPopupMode(QToolButton::InstantPopup);
    }
    m_tabRowLayout->addWidget(b);
}

QAction* CommandBar::action(int id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QStringList CommandBar::categoryNames() const
{
    QStringList out;
    for (int i = 0; i < m_tabs->count(); ++i)
        for (const auto& [handle, c] : m_categories)
            if (c.page == m_tabs->widget(i))
                out << c.name;
    return out;
}

QStringList CommandBar::panelNames(int category) const
{
    QStringList out;
    auto it = m_categories.find(category);
    if (it != m_categories.end())
        for (int p : it->second.panels)
            out << m_panels.at(p).name;
    return out;
}

std::vector<int> CommandBar::panelCommands(int panel) const
{
    auto it = m_panels.find(panel);
    return it == m_panels.end() ? std::vector<int>{} : it->second.ids;
}

std::vector<int> CommandBar::mainMenuCommands() const
{
    return m_mainIds;
}

QString CommandBar::textOf(int id) const
{
    QAction* a = action(id);
    return a ? a->text() : QString();
}

void CommandBar::setCurrentCategory(int category)
{
    auto it = m_categories.find(category);
    if (it != m_categories.end())
        m_tabs->setCurrentWidget(it->second.page);
}

int CommandBar::currentCategory() const
{
    for (const auto& [handle, c] : m_categories)
        if (c.page == m_tabs->currentWidget())
            return handle;
    return -1;
}

void CommandBar::refreshStates()
{
    for (const auto& [id, a] : m_actions) {
        const CommandState s = m_commands.state(id);
        a->setEnabled(s.enabled);
        if (a->isCheckable())
            a->setChecked(s.checked);
    }
}

bool CommandBar::trigger(int id)
{
    QAction* a = action(id);
    if (!a)
        return false;
    refreshStates();
    if (!a->isEnabled())
        return false;
    a->trigger();
    return true;
}

void CommandBar::showEvent(QShowEvent* event)
{
    refreshStates();
    QWidget::showEvent(event);
}

} // namespace ui
