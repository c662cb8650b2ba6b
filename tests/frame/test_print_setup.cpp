// "Print Setup": the page chosen in the dialog is kept for the print
// commands; a cancelled dialog keeps the page as it was.
#include "testkit/headless.h"

#include "frame/PrintSetup.h"

namespace {

class PrintSetupTest : public testkit::Headless {};

TEST_F(PrintSetupTest, TheChosenPageIsKeptAndACancelChangesNothing)
{
    ui::PageSetup letter;
    letter.paper = "Letter";
    letter.landscape = true;
    letter.leftMm = 5;
    prompter.queuePageSetup(letter);
    EXPECT_TRUE(OnFilePrintSetup());
    EXPECT_EQ(CurrentPageSetup(), letter);
    prompter.queuePageSetup(std::nullopt); // cancelled
    EXPECT_FALSE(OnFilePrintSetup());
    EXPECT_EQ(CurrentPageSetup(), letter);
    // The default prompter of code without a dialog answers nothing.
    struct Bare : ui::Prompter {
        int ask(const ui::Ask&) override { return 0; }
        std::optional<std::string> pickSavePath(const ui::FilePrompt&) override { return {}; }
        std::optional<std::string> pickOpenPath(const ui::FilePrompt&) override { return {}; }
        std::optional<ui::Rgb> pickColour(ui::Rgb) override { return {}; }
        std::optional<std::pair<std::string, int>> pickFont(const std::string&, int) override { return {}; }
        int pickMenuCommand(const ui::MenuSpec&, int, int) override { return 0; }
    } bare;
    EXPECT_FALSE(bare.pickPageSetup(letter));
}

} // namespace
