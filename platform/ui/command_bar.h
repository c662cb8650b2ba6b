#pragma once
// A ribbon made of plain widgets: categories as tabs, panels as titled groups,
// buttons bound to command ids. Every button of an id shares one QAction; a
// trigger runs the id through the window's Commands, and the update functions
// of the Commands decide each action's enabled and checked state before the
// bar is shown and while it is visible. Categories and panels may be added
// and removed at run time. UI thread only.
#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QHBoxLayout;
class QMenu;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace ui {

class Commands;

enum class ButtonKind {
    Large, // text under a large icon
    Small, // icon beside the text
    Check, // a check item that shows the command's checked state
    Radio, // a radio item; its group is the other radio items of its panel
};

struct SubItem {
    int id = 0; // 0 = separator
    QString text;
};

class CommandBar : public QWidget {
    Q_OBJECT
public:
    explicit CommandBar(Commands& commands, QWidget* parent = nullptr);
    ~CommandBar() override;

    // Structure. Categories and panels are named; a name given twice returns
    // the one already there. Returns the category or panel.
    int addCategory(const QString& name);
    int addPanel(int category, const QString& name);
    bool removeCategory(const QString& name);
    bool removePanel(int category, const QString& name);
    int findCategory(const QString& name) const; // -1 when absent
    int findPanel(int category, const QString& name) const;

    // Buttons. A button of an id already on the bar reuses its action (and
    // so its state); the text and icon of the first one stay.
    void addButton(int panel, int id, const QString& text, ButtonKind kind = ButtonKind::Large,
                   const QIcon& icon = {}, const QString& tooltip = {});
    // A button with a drop-down of sub-items; the button's own id runs when
    // pressed (an id of 0 only opens the menu).
    void addGroupButton(int panel, int id, const QString& text, const std::vector<SubItem>& items,
                        const QIcon& icon = {});
    // A button whose click shows a widget made by the factory below it.
    void addPopupButton(int panel, int id, const QString& text, std::function<QWidget*(QWidget* parent)> factory,
                        const QIcon& icon = {});

    // The main menu button at the left of the tabs ("File").
    void setMainMenu(const QString& title, const std::vector<SubItem>& items);
    // The quick-access row above the tabs.
    void addQuickAccess(int id);
    void setQuickAccess(const std::vector<int>& ids);
    std::vector<int> quickAccessCommands() const { return m_quickIds; }
    // A button on the tab row, right of the tabs.
    void addTabRowButton(int id, const QString& text, const std::vector<SubItem>& items = {});
    // Attaches a popup to every button of id (an empty factory detaches it):
    // a button with a popup opens the factory's widget below it instead of
    // running its command. A popup that is a dialog closes when the dialog
    // ends and is kept, with what the user entered, until then; other
    // widgets are made anew at each opening.
    void setPopup(int id, std::function<QWidget*(QWidget* parent)> factory);
    bool hasPopup(int id) const;
    // Opens the popup of the first shown button of id that has one; false
    // when there is none.
    bool showPopup(int id);
    // Shows again, where it was, the popup that holds content (a box or a
    // file chooser shown from a popup closes it); no-op for other widgets.
    static void reopenPopup(QWidget* content);

    // Look-ups for the frame and for tests.
    QAction* action(int id) const; // null when no button carries the id
    QStringList categoryNames() const;
    QStringList panelNames(int category) const;
    std::vector<int> panelCommands(int panel) const;
    std::vector<int> mainMenuCommands() const;
    // Every command on a panel, in category and panel order, each once.
    std::vector<int> panelCommandIds() const;
    QString textOf(int id) const;
    void setCurrentCategory(int category);
    int currentCategory() const;

    // Runs the update functions now and sets every action's state.
    void refreshStates();
    // Triggers the action of id as a click would; false when disabled or absent.
    bool trigger(int id);

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Panel {
        int category = -1;
        QString name;
        QWidget* box = nullptr;
        QHBoxLayout* row = nullptr;
        std::vector<int> ids;
        QActionGroup* radios = nullptr;
    };
    struct Category {
        QString name;
        QWidget* page = nullptr;
        QHBoxLayout* row = nullptr;
        std::vector<int> panels;
    };

    QAction* actionFor(int id, const QString& text, const QIcon& icon, bool checkable);
    QToolButton* makeButton(Panel& panel, QAction* action, ButtonKind kind);
    void attachPopup(QToolButton* button, std::function<QWidget*(QWidget* parent)> factory);
    std::vector<QToolButton*> buttonsOf(int id) const;
    void addToPanel(Panel& panel, QWidget* w);

    Commands& m_commands;
    QTabWidget* m_tabs;
    QToolBar* m_quick;
    QToolButton* m_mainButton;
    QMenu* m_mainMenu;
    QWidget* m_tabRow;
    QHBoxLayout* m_tabRowLayout;
    QTimer* m_refresh;
    std::map<int, QAction*> m_actions;
    std::map<int, Category> m_categories; // by handle
    std::map<int, Panel> m_panels;        // by handle
    std::vector<int> m_categoryOrder;
    std::vector<int> m_mainIds;
    std::vector<int> m_quickIds;
    int m_nextHandle = 1;
};

} // namespace ui
