// The market dialog's turnover modes against the test broker: market
// turnover sends "mktcaptok=1" and shows four rows and the pie; indices
// turnover lists an exchange's indices with stacked bars and opens an
// index's details; Refresh waits 30 s of the program clock; error replies,
// saving and closing.
#include "OrderFixture.h"

#include "frame/controls/CMyListCtrl.h"
#include "market/CMarketTurnOver.h"
#include "market/MarketChart.h"

#include "ui/form_driver.h"
#include "ui/grid_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

#include <algorithm>

#include <fstream>
#include <sstream>

namespace {

class MarketDialog : public ordertest::OrderFixture {
protected:
    std::vector<std::string> column(CMarketTurnOver& dlg, int c) const
    {
        std::vector<std::string> out;
        for (int id : dlg.list()->model().preorder())
            out.push_back(dlg.list()->model().text(id, c).toStdString());
        return out;
    }
    static std::string readAll(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(MarketDialog, MarketTurnoverShowsFourRowsThePieAndHoldsRefresh)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(1, nullptr);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(CMarketTurnOver::Open(1, nullptr), dlg); // one per slot
    ASSERT_TRUE(pumpUntil([&] { return dlg->loadCount() == 1; }, 20000));
    ASSERT_TRUE(broker->waitForKey("mktcaptok=1", 1000));
    EXPECT_EQ(dlg->comboItems(CMarketTurnOver::kSelector), (std::vector<std::string>{"NSE", "BSE"}));
    EXPECT_EQ(column(*dlg, 0), (std::vector<std::string>{"Up", "Down", "Neutral", "Total"}));
    EXPECT_EQ(dlg->chart()->kind(), MarketChart::Kind::Pie);
    EXPECT_EQ(dlg->chart()->title().toStdString(), "NSE Market Turnover");
    EXPECT_FALSE(dlg->chart()->slices().empty());
    for (const MarketChart::Slice& s : dlg->chart()->slices())
        EXPECT_GT(s.value, 0);

    // Refresh waits 30 s of the program clock after the load.
    EXPECT_FALSE(dlg->isEnabled(CMarketTurnOver::kRefresh));
    clock.advanceSeconds(29);
    dlg->CheckRefreshHold();
    EXPECT_FALSE(dlg->isEnabled(CMarketTurnOver::kRefresh));
    dlg->OnRefresh();
    EXPECT_FALSE(dlg->busy());
    clock.advanceSeconds(1);
    dlg->CheckRefreshHold();
    EXPECT_TRUE(dlg->isEnabled(CMarketTurnOver::kRefresh));

    // A second load keeps the selector as it was; BSE is shown on request.
    dlg->setComboIndex(CMarketTurnOver::kSelector, 1);
    dlg->OnSelectorChange();
    EXPECT_EQ(dlg->chart()->title().toStdString(), "BSE Market Turnover");
    dlg->OnRefresh();
    ASSERT_TRUE(pumpUntil([&] { return dlg->loadCount() == 2; }, 20000));
    EXPECT_EQ(dlg->comboItems(CMarketTurnOver::kSelector).size(), 2u);
    EXPECT_EQ(dlg->comboIndex(CMarketTurnOver::kSelector), 1);

    // An exchange the reply lacks leaves the grid empty.
    dlg->DisplayTurnoverData("MCX");
    EXPECT_EQ(dlg->list()->model().rowTotal(), 0);

    // Escape closes it, freeing the dialog and its slot.
    QPointer<CMarketTurnOver> gone(dlg);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg, &escape);
    ASSERT_TRUE(pumpUntil([&] { return gone.isNull(); }, 5000));
    EXPECT_EQ(CMarketTurnOver::instance(1), nullptr);
}

TEST_F(MarketDialog, ErrorRecordsAndServerMessages)
{
    CMarketTurnOver dlg(1);
    dlg.ApplyTurnover(200, "-1,55,Service down*");
    EXPECT_TRUE(boxShown("Error : [55] : Service down"));
    EXPECT_EQ(dlg.loadCount(), 1);
    EXPECT_EQ(dlg.list()->model().rowTotal(), 0);
    dlg.ApplyTurnover(200, "Market closed");
    EXPECT_TRUE(boxShown("Market closed"));
    EXPECT_EQ(dlg.loadCount(), 1);
}

TEST_F(MarketDialog, IndicesTurnoverBarsDetailsAndSaving)
{
    CMarketTurnOver* dlg = CMarketTurnOver::Open(2, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg->loadCount() == 1; }, 20000));
    ASSERT_TRUE(broker->waitForKey("mktcaptok=2", 1000));
    const std::vector<std::string> names = column(*dlg, 0);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(std::count(names.begin(), names.end(), "SENSEX"), 0); // NSE indices only
    EXPECT_EQ(dlg->chart()->kind(), MarketChart::Kind::StackedBars);
    EXPECT_EQ(dlg->chart()->title().toStdString(), "NSE INDICES TurnOver");
    EXPECT_EQ(dlg->chart()->categories().size(), names.size());
    EXPECT_EQ(dlg->chart()->barSeries().size(), 3u);
    EXPECT_TRUE(dlg->chart()->legendVisible());

    // "Turnover details" on the first index: a modal pyramid of it.
    dlg->list()->selectRow(dlg->list()->model().preorder().front());
    std::string title;
    MarketChart::Kind kind = MarketChart::Kind::None;
    modalHost.script("CMarketTurnOver", [&](ui::FormDriver& d) {
        auto& details = static_cast<CMarketTurnOver&>(d.form());
        title = details.windowTitle().toStdString();
        kind = details.chart()->kind();
        d.form().finish(2);
    });
    prompter.queueMenuCommand(CMarketTurnOver::kTurnoverDetails);
    EXPECT_EQ(dlg->OnListRightClick(), CMarketTurnOver::kTurnoverDetails);
    EXPECT_EQ(title, names.front());
    EXPECT_EQ(kind, MarketChart::Kind::Pyramid);

    // CSV lines each end in ','; the chart as PNG; a folder that does not
    // exist is reported, not announced as saved.
    const std::filesystem::path csv = root / "indices.csv";
    ASSERT_TRUE(dlg->SaveTo(CMarketTurnOver::kSaveGrid, csv.string()));
    const std::string text = readAll(csv);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Index,Total Turnover,");
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.back(), ',') << line;
    EXPECT_TRUE(boxShown("File Saved successfully"));
    EXPECT_TRUE(dlg->SaveTo(CMarketTurnOver::kSaveChart, (root / "chart.png").string()));
    EXPECT_GT(std::filesystem::file_size(root / "chart.png"), 0u);
    EXPECT_FALSE(dlg->SaveTo(CMarketTurnOver::kSaveGrid, (root / "missing" / "x.csv").string()));
    EXPECT_TRUE(boxShown("Unable to open file to write"));
    dlg->finish(2);
}

TEST_F(MarketDialog, AnEmptyGridSavesAnEmptyFile)
{
    CMarketTurnOver dlg(1);
    dlg.prepare();
    ASSERT_TRUE(pumpUntil([&] { return dlg.loadCount() == 1; }, 20000));
    dlg.DisplayTurnoverData("MCX");
    const std::filesystem::path csv = root / "empty.csv";
    ASSERT_TRUE(dlg.SaveTo(CMarketTurnOver::kSaveGrid, csv.string()));
    EXPECT_EQ(std::filesystem::file_size(csv), 0u);
}

} // namespace
