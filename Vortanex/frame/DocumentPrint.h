#pragma once
// The print commands of the active document window (market watch, books,
// positions, reports, charts): Print (57607) asks where to through the print
// dialog, Quick Print (57608) prints straight to the default printer, Print
// Preview (57609) shows the pages and prints them from there. Every one lays
// the pages out on the current page set-up (A4 portrait, 10 mm margins until
// changed); the page chosen in the print dialog becomes the current one, as
// the print set-up's does. A window prints its grid as a
// table (the shown rows, the visible columns with their headers, group rows,
// across as many pages as it takes); a window without a grid prints its
// picture; a chart's Print is its chart control's own. UI thread.
#include "ui/form.h"
#include "ui/prompter.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class CMainFrame;
class QPrinter;
class QPrintPreviewWidget;

// A document view that prints itself on Print rather than as its grid or
// its picture: a chart prints as its chart control does.
class SelfPrintingView {
public:
    virtual ~SelfPrintingView() = default;
    virtual void printView() = 0;
};

// Where Quick Print goes: the system's default printer, or nothing when no
// printer is installed. Tests install a PDF file.
using DefaultPrinterSource = std::function<std::optional<ui::PrintChoice>()>;
void SetDefaultPrinterSource(DefaultPrinterSource source); // empty: the system's

// The window's title as its tab shows it (the printout's heading).
QString DocumentTitle(const QWidget& view);
// Lays the view's pages out on the printer; the number of pages, 0 when the
// printer could not start.
int PrintDocumentOn(QWidget& view, QPrinter& printer);
// Prints the view where the choice says; the number of pages (0: nothing
// printed, and the user was told).
int PrintDocumentView(QWidget& view, const ui::PrintChoice& choice);

// The three commands on the frame; each is enabled while a document window
// is open.
void InstallPrintCommands(CMainFrame& frame);
void OnFilePrint(CMainFrame& frame);
void OnFilePrintDirect(CMainFrame& frame);
void OnFilePrintPreview(CMainFrame& frame);

// "Print Preview": the pages as they will print, with Print (the print
// dialog, then the pages go there) and Close. Modal.
class CPrintPreview final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kPrint = 1, kClose = 2, kPages = 1001;

    explicit CPrintPreview(QWidget& view, QWidget* parent = nullptr);
    ~CPrintPreview() override;

    int pageCount() const;
    // The print dialog from the preview's page; true when pages were printed.
    bool OnPrint();

protected:
    void onInit() override;

private:
    QPointer<QWidget> m_view;
    std::unique_ptr<QPrinter> m_printer;
    QPrintPreviewWidget* m_preview = nullptr;
};
