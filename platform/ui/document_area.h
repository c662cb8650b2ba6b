#pragma once
// The frame's document windows: tabbed MDI areas side by side in a splitter.
// With tab groups off there is one area; with them on, the active document
// can open a new group (an area beside or below) and move between groups; a
// group that loses its last document goes. UI thread only.
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QMdiArea;
class QMdiSubWindow;
class QSplitter;

namespace ui {

// The group moves the active document allows, as flags.
enum TabGroupMove : int {
    NewVerticalGroup = 1,
    NewHorizontalGroup = 2,
    PreviousGroup = 4,
    NextGroup = 8,
};

class DocumentArea : public QWidget {
    Q_OBJECT
public:
    explicit DocumentArea(QWidget* parent = nullptr);
    ~DocumentArea() override;

    // Plain tabs at the bottom (off) or tab groups (on); turning them off
    // gathers every document into one area.
    void setTabGroupsEnabled(bool on);
    bool tabGroupsEnabled() const { return m_groupsOn; }

    // Adds view as a document of the active group and activates it.
    QMdiSubWindow* addDocument(QWidget* view, const QString& title, const QIcon& icon = {});
    std::vector<QWidget*> documents() const;
    QWidget* activeDocument() const;
    bool activateDocument(QWidget* view);
    // Closes the active document (its view gets a close event first).
    bool closeActive();

    int groupCount() const { return int(m_areas.size()); }
    int groupOf(QWidget* view) const; // -1 when not a document here
    int allowedMoves() const;
    bool newTabGroup(Qt::Orientation orientation);
    bool moveToNextGroup();
    bool moveToPreviousGroup();

    void cascade();
    void tile(Qt::Orientation orientation);

    // Called after the active document changed (null when none is left).
    std::function<void(QWidget* view)> onActivated;
    // Called for a right click on a document tab, with the global position.
    std::function<void(QPoint globalPos)> onTabContextMenu;
    // Called once per document whose window goes: after its view accepted
    // the close (a tab's close button, the close command), or, for those
    // still open, when the area itself goes with the frame.
    std::function<void(QWidget* view)> onDocumentClosing;

private:
    QMdiArea* makeArea();
    QMdiArea* activeArea() const;
    QMdiSubWindow* activeSub() const;
    bool moveActiveTo(int group);
    void dropEmptyAreas();
    friend class DocumentWindow;
    void documentClosing(QWidget* view);

    QSplitter* m_split;
    std::vector<QMdiArea*> m_areas;
    QMdiArea* m_lastActive = nullptr;
    bool m_groupsOn = false;
    std::vector<QPointer<QWidget>> m_closedViews; // told already; a view is told once
};

} // namespace ui
