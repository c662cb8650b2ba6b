#pragma once
// The tab window of the risk report and the message bar. A repaint of the
// tab window repaints the current page and all its children with it (Qt
// paints children after their parent), so nothing of a previous page stays.
#include <QTabWidget>

class CMyTabCtrl : public QTabWidget {
    Q_OBJECT
public:
    explicit CMyTabCtrl(QWidget* parent = nullptr);
};
