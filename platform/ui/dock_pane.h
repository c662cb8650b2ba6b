#pragma once
// A docking pane that can collapse to its title bar, the way a pane that
// hides itself at the window's edge leaves only its caption: a double click
// on the title (or setCollapsed) hides the content and shrinks the pane to a
// strip, vertical for the left and right edges. UI thread only.
#include <QDockWidget>

namespace ui {

class DockPane : public QDockWidget {
    Q_OBJECT
public:
    explicit DockPane(const QString& title, QWidget* parent = nullptr);

    void setCollapsed(bool collapsed);
    bool isCollapsed() const { return m_collapsed; }

protected:
    bool event(QEvent* event) override;

private:
    bool m_collapsed = false;
    QSize m_minimum;
    QSize m_maximum;
};

} // namespace ui
