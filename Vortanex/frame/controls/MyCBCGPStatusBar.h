#pragma once
// The main frame's status bar: panes by command id, and a click on the pane
// of command 33320 ("Click here") posts that command to the bar's owner.
#include <QStatusBar>

#include <map>

class QLabel;

class MyCBCGPStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kClickHerePane = 33320;

    explicit MyCBCGPStatusBar(QWidget* parent = nullptr);

    // A pane of a given width (0 = hidden); false when the id is taken.
    bool AddPane(int id, int width);
    void SetPaneText(int id, const QString& text);
    QString PaneText(int id) const;
    QLabel* Pane(int id) const;
    // The pane under a point of the bar, 0 when none.
    int PaneAt(const QPoint& pos) const;

signals:
    // Posted (queued) to the owner, the parent when no other owner connects.
    void command(int id);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void clicked(int id);
    std::map<int, QLabel*> m_panes;
};
