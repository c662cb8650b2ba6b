#include "ui/qt_prompter.h"

#include "ui/text_fit.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include <algorithm>
#include <map>

namespace ui {
namespace qt_prompter_detail {
namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Information: return QMessageBox::Information;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QWidget* dialogParent()
{
    return QApplication::activeWindow();
}

void addMenuItems(QMenu& menu, const std::vector<MenuItem>& items)
{
    for (const MenuItem& item : items) {
        if (!item.children.empty()) {
            QMenu* sub = menu.addMenu(qs(item.text));
            sub->setEnabled(item.enabled);
            addMenuItems(*sub, item.children);
        } else if (item.id == 0) {
            menu.addSeparator();
        } else {
            QAction* action = menu.addAction(qs(item.text));
            action->setData(item.id);
            action->setEnabled(item.enabled);
            action->setCheckable(item.checked);
            action->setChecked(item.checked);
        }
    }
}

std::optional<std::string> runFileDialog(const FilePrompt& prompt, bool save)
{
    QFileDialog dialog(dialogParent(), qs(prompt.caption), qs(prompt.initialPath), qs(prompt.filter));
    // The non-native dialog behaves the same on every desktop and offscreen.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!prompt.defaultSuffix.empty())
        dialog.setDefaultSuffix(qs(prompt.defaultSuffix));
    if (save && !prompt.confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

} // namespace
} // namespace qt_prompter_detail

QtPrompter::BoxPlan QtPrompter::plan(const Ask& ask)
{
    using SB = QMessageBox::StandardButton;
    BoxPlan p;
    p.icon = qt_prompter_detail::boxIcon(ask.icon);
    switch (ask.buttons) {
    case Buttons::Ok:
        p.buttons = {{SB::Ok, {}, Ok}};
        p.closeResult = Ok;
        break;
    case Buttons::OkCancel:
        p.buttons = {{SB::Ok, {}, Ok}, {SB::Cancel, {}, Cancel}};
        break;
    case Buttons::AbortRetryIgnore:
        p.buttons = {{SB::Abort, {}, Abort}, {SB::Retry, {}, Retry}, {SB::Ignore, {}, Ignore}};
        p.closeResult = Abort;
        break;
    case Buttons::YesNoCancel:
        p.buttons = {{SB::Yes, {}, Yes}, {SB::No, {}, No}, {SB::Cancel, {}, Cancel}};
        break;
    case Buttons::YesNo:
        p.buttons = {{SB::Yes, {}, Yes}, {SB::No, {}, No}};
        p.closeResult = No;
        break;
    case Buttons::RetryCancel:
        p.buttons = {{SB::Retry, {}, Retry}, {SB::Cancel, {}, Cancel}};
        break;
    case Buttons::Custom:
        for (const auto& [text, result] : ask.custom)
            p.buttons.push_back({SB::NoButton, text, result});
        if (p.buttons.empty())
            p.buttons = {{SB::Ok, {}, Ok}};
        // Closing picks the button that means Cancel, else the last one.
        p.closeResult = p.buttons.back().result;
        for (const BoxButton& b : p.buttons)
            if (b.result == Cancel)
                p.closeResult = Cancel;
        break;
    }
    const int count = static_cast<int>(p.buttons.size());
    p.defaultIndex = ask.defaultIndex >= 0 && ask.defaultIndex < count ? ask.defaultIndex : 0;
    return p;
}

int QtPrompter::ask(const Ask& question)
{
    const BoxPlan p = plan(question);
    int answer = p.closeResult;
    UiThread::runBlocking([&] {
        QMessageBox box(p.icon, QString::fromStdString(question.caption), QString::fromStdString(question.text),
                        QMessageBox::NoButton, qt_prompter_detail::dialogParent());
        // Box texts often carry server text: never markup, never a link.
        box.setTextFormat(Qt::PlainText);
        // The box sizes itself to its text when shown; a row of the title's
        // width under the buttons keeps a short message's title whole.
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
            grid->addItem(new QSpacerItem(titleBarWidth(box.windowTitle()), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                          grid->rowCount(), 0, 1, grid->columnCount());
        std::map<QAbstractButton*, int> results;
        QAbstractButton* escape = nullptr;
        for (int i = 0; i < static_cast<int>(p.buttons.size()); ++i) {
            const BoxButton& b = p.buttons[static_cast<size_t>(i)];
            QPushButton* button = b.standard != QMessageBox::NoButton
                ? box.addButton(b.standard)
                : box.addButton(QString::fromStdString(b.text), QMessageBox::ActionRole);
            results[button] = b.result;
            if (i == p.defaultIndex)
                box.setDefaultButton(button);
            if (b.result == p.closeResult)
                escape = button;
        }
        if (escape)
            box.setEscapeButton(escape);
        box.exec();
        auto it = results.find(box.clickedButton());
        answer = it != results.end() ? it->second : p.closeResult;
    });
    return answer;
}

std::optional<std::string> QtPrompter::pickSavePath(const FilePrompt& prompt)
{
    return UiThread::call([&] { return qt_prompter_detail::runFileDialog(prompt, true); });
}

std::optional<std::string> QtPrompter::pickOpenPath(const FilePrompt& prompt)
{
    return UiThread::call([&] { return qt_prompter_detail::runFileDialog(prompt, false); });
}

std::optional<Rgb> QtPrompter::pickColour(Rgb initial)
{
    return UiThread::call([&]() -> std::optional<Rgb> {
        const QColor start(int(initial.bgr & 0xFF), int((initial.bgr >> 8) & 0xFF), int((initial.bgr >> 16) & 0xFF));
        const QColor c = QColorDialog::getColor(start, qt_prompter_detail::dialogParent(), QString(),
                                                QColorDialog::DontUseNativeDialog);
        if (!c.isValid())
            return std::nullopt;
        return Rgb{uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16};
    });
}

std::optional<std::pair<std::string, int>> QtPrompter::pickFont(const std::string& family, int pixelHeight)
{
    return UiThread::call([&]() -> std::optional<std::pair<std::string, int>> {
        QFont start(QString::fromStdString(family));
        if (pixelHeight > 0)
            start.setPixelSize(pixelHeight);
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, start, qt_prompter_detail::dialogParent(), QString(),
                                             QFontDialog::DontUseNativeDialog);
        if (!ok)
            return std::nullopt;
        int px = f.pixelSize();
        if (px <= 0) // chosen in points: convert at the screen's 96 dpi
            px = qRound(f.pointSizeF() * 96.0 / 72.0);
        return std::make_pair(f.family().toStdString(), px);
    });
}

namespace {

// The paper of a page set-up: by its id, a custom one by its size, else by
// its name among every size the toolkit knows; A4 when nothing matches.
QPageSize pageSizeOf(const PageSetup& p)
{
    if (p.paperId == QPageSize::Custom) {
        if (p.paperWidthMm > 0 && p.paperHeightMm > 0)
            return QPageSize(QSizeF(p.paperWidthMm, p.paperHeightMm), QPageSize::Millimeter,
                             QString::fromStdString(p.paper));
    } else if (p.paperId >= 0 && p.paperId <= QPageSize::LastPageSize) {
        return QPageSize(static_cast<QPageSize::PageSizeId>(p.paperId));
    }
    const QString name = QString::fromStdString(p.paper);
    for (int id = 0; id <= QPageSize::LastPageSize; ++id) {
        if (id == QPageSize::Custom)
            continue;
        const QPageSize size(static_cast<QPageSize::PageSizeId>(id));
        if (size.name() == name || size.key() == name)
            return size;
    }
    return QPageSize(QPageSize::A4);
}

QPageLayout layoutOf(const PageSetup& p)
{
    return QPageLayout(pageSizeOf(p), p.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(p.leftMm, p.topMm, p.rightMm, p.bottomMm), QPageLayout::Millimeter);
}

PageSetup pageSetupOf(const QPageLayout& layout)
{
    PageSetup out;
    const QPageSize size = layout.pageSize();
    out.paper = size.name().toStdString();
    out.paperId = size.id();
    if (size.id() == QPageSize::Custom) {
        const QSizeF mm = size.size(QPageSize::Millimeter);
        out.paperWidthMm = mm.width();
        out.paperHeightMm = mm.height();
    }
    const QMarginsF m = layout.margins(QPageLayout::Millimeter);
    out.landscape = layout.orientation() == QPageLayout::Landscape;
    out.leftMm = m.left();
    out.topMm = m.top();
    out.rightMm = m.right();
    out.bottomMm = m.bottom();
    return out;
}

} // namespace

std::optional<PageSetup> QtPrompter::pickPageSetup(const PageSetup& current)
{
    return UiThread::call([&]() -> std::optional<PageSetup> {
        QPrinter printer;
        printer.setPageLayout(layoutOf(current));
        QPageSetupDialog dialog(&printer, qt_prompter_detail::dialogParent());
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return pageSetupOf(printer.pageLayout());
    });
}

std::optional<PrintChoice> QtPrompter::pickPrint(const PrintChoice& current)
{
    return UiThread::call([&]() -> std::optional<PrintChoice> {
        QPrinter printer;
        ApplyPrintChoice(current, printer);
        QPrintDialog dialog(&printer, qt_prompter_detail::dialogParent());
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        PrintChoice out;
        out.printer = printer.printerName().toStdString();
        if (printer.outputFormat() == QPrinter::PdfFormat)
            out.outputFile = printer.outputFileName().toStdString();
        out.copies = printer.copyCount();
        if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
            out.fromPage = printer.fromPage();
            out.toPage = std::max(printer.fromPage(), printer.toPage());
        }
        out.page = pageSetupOf(printer.pageLayout());
        return out;
    });
}

void ApplyPrintChoice(const PrintChoice& choice, QPrinter& printer)
{
    if (!choice.outputFile.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(choice.outputFile));
    } else if (!choice.printer.empty()) {
        printer.setPrinterName(QString::fromStdString(choice.printer));
    }
    printer.setCopyCount(std::max(1, choice.copies));
    if (choice.fromPage > 0) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(choice.fromPage, std::max(choice.fromPage, choice.toPage));
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }
    printer.setPageLayout(layoutOf(choice.page));
}

int QtPrompter::pickMenuCommand(const MenuSpec& menu, int x, int y)
{
    return UiThread::call([&] {
        QMenu qmenu(qt_prompter_detail::dialogParent());
        qt_prompter_detail::addMenuItems(qmenu, menu.items);
        QAction* chosen = qmenu.exec(QPoint(x, y));
        return chosen ? chosen->data().toInt() : 0;
    });
}

} // namespace ui
