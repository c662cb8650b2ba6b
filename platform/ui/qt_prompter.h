#pragma once
// The production prompter: message boxes, file, colour and font pickers and
// context menus on Qt's standard dialogs. Any thread may ask; the question
// runs on the UI thread and the asking thread waits for the answer.
#include "ui/prompter.h"

#include <QMessageBox>

class QPrinter;

#include <string>
#include <vector>

namespace ui {

class QtPrompter final : public Prompter {
public:
    // How an Ask becomes a QMessageBox: the buttons in order with the results
    // they give, the default button and the result of closing the box without
    // a button (Escape or the window's close).
    struct BoxButton {
        QMessageBox::StandardButton standard = QMessageBox::NoButton; // NoButton: custom text
        std::string text;
        int result = 0;
    };
    struct BoxPlan {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        std::vector<BoxButton> buttons;
        int defaultIndex = 0;
        int closeResult = Cancel;
    };
    static BoxPlan plan(const Ask& ask);

    int ask(const Ask& ask) override;
    std::optional<std::string> pickSavePath(const FilePrompt& prompt) override;
    std::optional<std::string> pickOpenPath(const FilePrompt& prompt) override;
    std::optional<Rgb> pickColour(Rgb initial) override;
    std::optional<PageSetup> pickPageSetup(const PageSetup& current) override;
    std::optional<PrintChoice> pickPrint(const PrintChoice& current) override;
    std::optional<std::pair<std::string, int>> pickFont(const std::string& family, int pixelHeight) override;
    int pickMenuCommand(const MenuSpec& menu, int x, int y) override;
};

// Sets up a printer for a choice the print dialog gave (or a test scripts).
void ApplyPrintChoice(const PrintChoice& choice, QPrinter& printer);

} // namespace ui
