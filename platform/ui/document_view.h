#pragma once
// What a view of a document window offers the program's document when its
// frame closes: its class name, whether it is closed already, and its close
// handling. Views of every window folder implement it; the document (above
// them) finds the view in the frame and calls it.
#include <string_view>

namespace ui {

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

} // namespace ui
