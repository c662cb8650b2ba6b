#pragma once
// The one document class behind every MDI window. It holds the id of the view
// that owns it, and when a frame closes it lets the frame's view finish its
// close handling once (a view whose closed flag is already set is left alone).
#include <string_view>

class QWidget;

// What a view of an MDI window offers its document when the frame closes.
class DocumentView {
public:
    virtual ~DocumentView() = default;
    // The view's class name: "CEodChartView", "CTradeView", "CVortanexView",
    // "CIndexView", "CTsloOrderView", or another view's.
    virtual std::string_view viewClassName() const = 0;
    // The view's closed (or closing) flag.
    virtual bool isClosed() const = 0;
    // The view's close handling: it sets its closed flag, frees what it holds
    // and clears the program-wide pointer that names it.
    virtual void closeFromFrame() = 0;
    // The step the trailing stop-loss book runs first, closed or not (it
    // saves its grid layout).
    virtual void closingStep() {}
};

class CVortanexDoc {
public:
    void SetViewId(int id) { m_viewId = id; }
    int GetViewId() const { return m_viewId; }

    // Called while `frame` closes: finds the DocumentView in the frame (the
    // frame itself or a child) and runs its close handling by class name.
    void PreCloseFrame(QWidget* frame);

private:
    int m_viewId = 0;
};
