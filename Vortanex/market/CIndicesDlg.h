#pragma once
// The indices bar: a dock of the main frame with four buttons, each showing
// one chosen market index (name, value, change, % change) coloured by the
// direction of its last move. A button's menu picks its index; the choice is
// written at once to the indices file and subscribed on the feed. Index
// broadcasts reach it through its tick box while it is visible (MarketFeed).
#include <QDockWidget>
#include <QPoint>

#include <array>
#include <memory>
#include <optional>
#include <string>

class QToolButton;
namespace ui {
class Ticker;
}
struct IndexRecord;

class CIndicesDlg : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 251;
    static constexpr std::array<int, 4> kButtonIds = {1353, 1355, 1356, 1357};
    static constexpr int ID_INDEX_INTRADAY_CHART = 32888, ID_INDEX_DERIVATIVE_CHAIN = 32889;
    static constexpr int kIndexEntryBase = 40000;
    static constexpr int kCompactHeight = 34;
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 100;

    explicit CIndicesDlg(QWidget* parent = nullptr);
    ~CIndicesDlg() override;

    // The frame's bar (null when none).
    static CIndicesDlg* instance();

    // Initialisation: the buttons from the index table's button numbers;
    // rewrite: the frame's reader replaced a choice, so the file is written now.
    bool OnInitDialog(bool rewrite);
    void SetIndices();
    // Refreshes the button showing the index, from its record.
    void UpdateIndexData(const IndexRecord& index);
    void RebuildIndexTokens();
    // False (after the box) when the file cannot be written.
    bool SaveIndices();
    // Button n (1-4): its menu, under the button, or where the right click was.
    void OnBtnIndex(int button, std::optional<QPoint> where = std::nullopt);
    void SetButtonFont();
    void FloatBar(const QRect& mainView);
    // The timer: applies the broadcasts that arrived.
    void OnTimer();
    // A button shorter than its four lines need at the bar's font (and 34 px
    // or less always): one-line texts, never lines cut at the top and bottom.
    void applySize(int width, int height);
    // The client height a button needs for its four lines.
    int fullTextHeight() const;
    // The dock's height that leaves its buttons fullTextHeight().
    int dockHeight() const;

    int buttonIndex(int button) const { return m_index[static_cast<size_t>(button - 1)]; }
    QToolButton* button(int button) const { return m_buttons[static_cast<size_t>(button - 1)]; }
    int buttonImage(int button) const { return m_image[static_cast<size_t>(button - 1)]; }
    bool compact() const { return m_compact; }
    ui::Ticker* ticker() const { return m_ticker; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showIndex(int button, const IndexRecord& index);
    struct Box;
    std::array<QToolButton*, 4> m_buttons{};
    std::array<int, 4> m_index{-1, -1, -1, -1};
    std::array<double, 4> m_lastValue{};
    std::array<int, 4> m_image{252, 252, 252, 252};
    bool m_compact = false;
    bool m_layoutReady = true;
    bool m_inSize = false;
    QWidget* m_content = nullptr;
    ui::Ticker* m_ticker = nullptr;
    std::shared_ptr<Box> m_box;
};

// The frame's reader of the indices file at start-up (CMainFrame::UpdateIndices):
// gives the chosen indices their button numbers and returns true when the
// file must be rewritten (a missing file, or an entry replaced by a default).
bool UpdateIndices();
