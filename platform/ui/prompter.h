#pragma once
// Everything that asks the user and waits for the answer: message boxes, file,
// colour and font pickers, context menus. Callable from any thread: the
// production prompter runs the question on the UI thread and blocks the caller.
// Tests install a scripted prompter.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ui {

// Button results, numbered as the terminal's callers expect them.
enum Outcome : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

enum class Icon { None, Error, Question, Warning, Information };

enum class Buttons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel, Custom };

struct Ask {
    std::string text;
    std::string caption;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    int defaultIndex = 0; // which button is the default, 0 = first
    // With Buttons::Custom: the buttons' texts and the results they give
    // (for example {"Login Again", 1000}).
    std::vector<std::pair<std::string, int>> custom;
};

struct FilePrompt {
    std::string caption;
    std::string filter;           // "CSV Files (*.csv)"
    std::string defaultSuffix;    // "csv"
    std::string initialPath;      // folder or file
    bool confirmOverwrite = true; // save only
};

struct Rgb {
    uint32_t bgr = 0; // 0x00BBGGRR
};

struct MenuItem {
    int id = 0;          // 0 = separator
    std::string text;
    bool checked = false;
    bool enabled = true;
    std::vector<MenuItem> children;
};

struct MenuSpec {
    std::vector<MenuItem> items;
};

// The page the print commands lay out on: the paper, orientation and margins
// in millimetres. The paper is kept by the toolkit's page size id (any size
// the dialogs offer), with its name for the log; a custom paper by its size.
// Without an id (-1) the name says which paper ("A4", "Letter").
struct PageSetup {
    std::string paper = "A4";
    int paperId = -1;
    double paperWidthMm = 0, paperHeightMm = 0; // a custom paper's
    bool landscape = false;
    double leftMm = 10, topMm = 10, rightMm = 10, bottomMm = 10;
    bool operator==(const PageSetup&) const = default;
};

// Where a print job goes: a printer by name (empty: the default one) or,
// when outputFile is set, a PDF file; the copies, the pages (fromPage to
// toPage, counted from 1; 0 for every page) and the page.
struct PrintChoice {
    std::string printer;
    std::string outputFile;
    int copies = 1;
    int fromPage = 0, toPage = 0;
    PageSetup page;
    bool operator==(const PrintChoice&) const = default;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual int ask(const Ask& ask) = 0;
    virtual std::optional<std::string> pickSavePath(const FilePrompt& prompt) = 0;
    virtual std::optional<std::string> pickOpenPath(const FilePrompt& prompt) = 0;
    virtual std::optional<Rgb> pickColour(Rgb initial) = 0;
    // Font as a family and a pixel height; empty when cancelled.
    virtual std::optional<std::pair<std::string, int>> pickFont(const std::string& family, int pixelHeight) = 0;
    // The chosen item's id, 0 when none was chosen. Position in global pixels.
    virtual int pickMenuCommand(const MenuSpec& menu, int x, int y) = 0;
    // The page set-up dialog from the current choice; empty when cancelled
    // (and where no dialog exists).
    virtual std::optional<PageSetup> pickPageSetup(const PageSetup& current)
    {
        (void)current;
        return std::nullopt;
    }
    // The print dialog from the current choice; empty when cancelled (and
    // where no dialog exists).
    virtual std::optional<PrintChoice> pickPrint(const PrintChoice& current)
    {
        (void)current;
        return std::nullopt;
    }
};

// The process-wide prompter. Defaults to the Qt prompter once the UI layer is
// up; tests install a scripted one. The prompter must outlive its installation.
Prompter& prompter();
void setPrompter(Prompter* p); // nullptr restores the default
// Called by the UI layer's start-up and shut-down (ui::UiLayer) only.
void setDefaultPrompter(Prompter* p);

} // namespace ui
