#pragma once
// A status bar of panes addressed by indicator id: each pane has a width (0
// hides it, -1 stretches), a text, an optional 16 x 16 icon, a tool tip and a
// click. UI thread only.
#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class QLabel;
class QStatusBar;

namespace ui {

class StatusPanes : public QObject {
    Q_OBJECT
public:
    static constexpr int kStretch = -1;

    // The panes go into bar, which the caller owns (the window's status bar).
    explicit StatusPanes(QStatusBar* bar);
    ~StatusPanes() override;

    void addPane(int id, int width, const QString& text = {});
    bool hasPane(int id) const;
    std::vector<int> paneIds() const;

    void setText(int id, const QString& text);
    QString text(int id) const;
    // Widths are given in the units the window's layout uses; the scale
    // turns them into pixels for the bar's font (1 by default).
    void setWidthScale(double scale);
    void setWidth(int id, int width);
    int width(int id) const;
    void setIcon(int id, const QIcon& icon);
    bool hasIcon(int id) const;
    void setToolTip(int id, const QString& tip);
    QString toolTip(int id) const;

    // Called with the pane's id when a pane is clicked.
    std::function<void(int id)> onClick;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pane {
        QWidget* box = nullptr;
        QLabel* icon = nullptr;
        QLabel* label = nullptr;
        int width = 0;
        bool hasIcon = false;
    };
    Pane* find(int id);
    const Pane* find(int id) const;

    QStatusBar* m_bar;
    double m_scale = 1.0;
    std::map<int, Pane> m_panes;
    std::vector<int> m_order;
};

} // namespace ui
