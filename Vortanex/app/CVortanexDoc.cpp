#include "app/CVortanexDoc.h"

#include "app/base/LogWriter.h"

#include "ui/document_area.h"

#include <QWidget>

namespace vortanex_doc_detail {
namespace {

DocumentView* findView(QWidget* frame)
{
    if (!frame)
        return nullptr;
    if (auto* view = dynamic_cast<DocumentView*>(frame))
        return view;
    for (QWidget* child : frame->findChildren<QWidget*>()) {
        if (auto* view = dynamic_cast<DocumentView*>(child))
            return view;
    }
    return nullptr;
}

} // namespace
} // namespace vortanex_doc_detail

void CVortanexDoc::PreCloseFrame(QWidget* frame)
{
    WriteLog(0, "Entry : CVortanexDoc::PreCloseFrame");
    DocumentView* view = vortanex_doc_detail::findView(frame);
    if (view) {
        const std::string_view name = view->viewClassName();
        if (name == "CTsloOrderView")
            view->closingStep();
        if (name == "CEodChartView" || name == "CTradeView" || name == "CVortanexView" || name == "CIndexView"
            || name == "CTsloOrderView") {
            if (view->isClosed())
                return;
            view->closeFromFrame();
        }
    }
    WriteLog(0, "Exit : CVortanexDoc::PreCloseFrame");
}

void InstallDocumentClosing(ui::DocumentArea& documents)
{
    documents.onDocumentClosing = [](QWidget* view) { CVortanexDoc().PreCloseFrame(view); };
}
