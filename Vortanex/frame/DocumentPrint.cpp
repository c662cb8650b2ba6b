#include "frame/DocumentPrint.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/PrintSetup.h"

#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/grid_print.h"
#include "ui/grid_view.h"
#include "ui/modal_host.h"
#include "ui/qt_prompter.h"

#include <QMdiSubWindow>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QVBoxLayout>

namespace document_print_detail {
namespace {

DefaultPrinterSource& defaultPrinterSource()
{
    static DefaultPrinterSource source; // UI thread only
    return source;
}

std::optional<ui::PrintChoice> systemDefaultPrinter()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull())
        return std::nullopt;
    ui::PrintChoice choice;
    choice.printer = printer.printerName().toStdString();
    return choice;
}

// The grid a window prints: the largest one it shows (a tabbed window shows
// the grid of its current tab only).
const ui::GridView* printedGrid(const QWidget& view)
{
    const ui::GridView* best = nullptr;
    int bestArea = -1;
    if (const auto* own = qobject_cast<const ui::GridView*>(&view))
        return own;
    for (const ui::GridView* grid : view.findChildren<const ui::GridView*>()) {
        if (!grid->isVisibleTo(&view))
            continue;
        const int area = grid->width() * grid->height();
        if (area > bestArea) {
            best = grid;
            bestArea = area;
        }
    }
    return best;
}

QWidget* activeDocument(CMainFrame& frame)
{
    return frame.Documents() ? frame.Documents()->activeDocument() : nullptr;
}

std::string whereTo(const ui::PrintChoice& choice)
{
    if (!choice.outputFile.empty())
        return choice.outputFile;
    return choice.printer.empty() ? std::string("the default printer") : choice.printer;
}

ui::PrintChoice onCurrentPage(ui::PrintChoice choice)
{
    choice.page = CurrentPageSetup();
    return choice;
}

} // namespace
} // namespace document_print_detail

void SetDefaultPrinterSource(DefaultPrinterSource source) { document_print_detail::defaultPrinterSource() = std::move(source); }

QString DocumentTitle(const QWidget& view)
{
    if (const auto* sub = qobject_cast<const QMdiSubWindow*>(view.parentWidget()); sub && !sub->windowTitle().isEmpty())
        return sub->windowTitle();
    return view.windowTitle();
}

int PrintDocumentOn(QWidget& view, QPrinter& printer)
{
    const QString title = DocumentTitle(view);
    if (const ui::GridView* grid = document_print_detail::printedGrid(view))
        return ui::printGrid(*grid, title, printer);
    return ui::printWidget(view, title, printer);
}

int PrintDocumentView(QWidget& view, const ui::PrintChoice& choice)
{
    QPrinter printer(QPrinter::HighResolution);
    ui::ApplyPrintChoice(choice, printer);
    const int pages = PrintDocumentOn(view, printer);
    if (pages <= 0) {
        WriteLog(0, "Print: " + DocumentTitle(view).toStdString() + " could not be printed to " + document_print_detail::whereTo(choice));
        MsgBoxInfo("The window could not be printed to " + document_print_detail::whereTo(choice) + ".");
        return 0;
    }
    WriteLog(1, "Printed " + std::to_string(pages) + " page(s) of " + DocumentTitle(view).toStdString() + " to "
                    + document_print_detail::whereTo(choice));
    return pages;
}

void OnFilePrint(CMainFrame& frame)
{
    QWidget* view = document_print_detail::activeDocument(frame);
    if (!view)
        return;
    if (auto* self = dynamic_cast<SelfPrintingView*>(view)) {
        self->printView();
        return;
    }
    const std::optional<ui::PrintChoice> choice = ui::prompter().pickPrint(document_print_detail::onCurrentPage({}));
    if (!choice)
        return;
    SetCurrentPageSetup(choice->page);
    PrintDocumentView(*view, *choice);
}

void OnFilePrintDirect(CMainFrame& frame)
{
    QWidget* view = document_print_detail::activeDocument(frame);
    if (!view)
        return;
    const DefaultPrinterSource& source = document_print_detail::defaultPrinterSource();
    const std::optional<ui::PrintChoice> printer = source ? source() : document_print_detail::systemDefaultPrinter();
    if (!printer) {
        WriteLog(0, "Quick Print: no default printer");
        MsgBoxInfo("No printer is installed. Use Print to choose where the pages go.");
        return;
    }
    PrintDocumentView(*view, document_print_detail::onCurrentPage(*printer));
}

void OnFilePrintPreview(CMainFrame& frame)
{
    QWidget* view = document_print_detail::activeDocument(frame);
    if (!view)
        return;
    CPrintPreview preview(*view, &frame);
    ui::modalHost().run(preview);
}

void InstallPrintCommands(CMainFrame& frame)
{
    CMainFrame* f = &frame;
    const auto open = [f] { return ui::CommandState{document_print_detail::activeDocument(*f) != nullptr, false}; };
    frame.Commands().add(ID_FILE_PRINT, [f] { OnFilePrint(*f); }, open);
    frame.Commands().add(ID_FILE_PRINT_DIRECT, [f] { OnFilePrintDirect(*f); }, open);
    frame.Commands().add(ID_FILE_PRINT_PREVIEW, [f] { OnFilePrintPreview(*f); }, open);
}

namespace document_print_detail {
namespace {

ui::FormSpec previewSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.name = "CPrintPreview";
    spec.caption = "Print Preview";
    spec.width = 420;
    spec.height = 320;
    spec.controls = {
        {CPrintPreview::kPrint, ControlKind::Button, "&Print...", {6, 4, 56, 14}},
        {CPrintPreview::kClose, ControlKind::Button, "&Close", {68, 4, 56, 14}},
        {CPrintPreview::kPages, ControlKind::Static, "", {6, 22, 408, 292}},
    };
    return spec;
}

} // namespace
} // namespace document_print_detail

CPrintPreview::CPrintPreview(QWidget& view, QWidget* parent)
    : ui::Form(document_print_detail::previewSpec(), parent), m_view(&view), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    ui::PrintChoice page;
    page.page = CurrentPageSetup();
    ui::ApplyPrintChoice(page, *m_printer);
    setWindowTitle(QStringLiteral("Print Preview - ") + DocumentTitle(view));
    if (QWidget* holder = control(kPages)) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_preview = new QPrintPreviewWidget(m_printer.get(), holder);
        layout->addWidget(m_preview);
        connect(m_preview, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* printer) {
            if (m_view)
                PrintDocumentOn(*m_view, *printer);
        });
    }
    onClick(kPrint, [this] {
        if (OnPrint())
            finish(kPrint);
    });
    onClick(kClose, [this] { finish(kClose); });
}

CPrintPreview::~CPrintPreview() = default;

void CPrintPreview::onInit()
{
    if (m_preview)
        m_preview->updatePreview();
}

int CPrintPreview::pageCount() const { return m_preview ? m_preview->pageCount() : 0; }

bool CPrintPreview::OnPrint()
{
    if (!m_view)
        return false;
    const std::optional<ui::PrintChoice> choice = ui::prompter().pickPrint(document_print_detail::onCurrentPage({}));
    if (!choice)
        return false;
    SetCurrentPageSetup(choice->page);
    return PrintDocumentView(*m_view, *choice) > 0;
}
