// The special-reports dialog on the offscreen platform against the test
// broker: bulk deals by exchange ("MCX-CM" sends no code), the FII and MF
// reports with their chart, a refused header, an HTTP 500, saving, Escape,
// a fetch replaced by a newer one and a dialog closed during a slow fetch.
#include "OrderFixture.h"

#include "frame/controls/CMyListCtrl.h"
#include "market/CSpecialReports.h"
#include "market/NetInvestmentChart.h"
#include "SpecialReportDesk.h"

#include "ui/grid_model.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

class SpecialReports : public ordertest::OrderFixture {
protected:
    std::vector<std::string> column(const CSpecialReports& dlg, int c) const
    {
        std::vector<std::string> out;
        for (int id : dlg.list()->model().preorder())
            out.push_back(dlg.list()->model().text(id, c).toStdString());
        return out;
    }
    // Shows the dialog (which starts its fetch) and waits for the result.
    bool showAndLoad(CSpecialReports& dlg)
    {
        dlg.prepare();
        dlg.show();
        return pumpUntil([&] { return dlg.fetchCount() == 1; }, 20000);
    }
    std::vector<std::string> reportRequests(const std::string& key) const
    {
        std::vector<std::string> out;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.path == "/qtrade/qnews.exe" && r.key() == key)
                out.push_back(r.decoded.text);
        return out;
    }
    bool boxWithCaption(const std::string& caption, const std::string& text) const
    {
        for (const testkit::AskRecord& a : prompter.asks())
            if (a.caption == caption && a.text == text)
                return true;
        return false;
    }
    static std::string readAll(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(SpecialReports, BulkDealsByExchangeAndMcxCmSendsNoCode)
{
    CSpecialReports dlg(sr::kBulkDeals);
    ASSERT_TRUE(showAndLoad(dlg));
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Bulk deal report");
    EXPECT_FALSE(dlg.isVisible(CSpecialReports::kChart));
    EXPECT_FALSE(dlg.isVisible(CSpecialReports::kSave));
    ASSERT_EQ(reportRequests("ReportData=1000"), (std::vector<std::string>{"ReportData=1000|ABC12|U1|NN"}));
    // Six listed deals; the deal in a token the master does not list adds no row.
    EXPECT_EQ(broker->specialReports().bulkDeals("NN").size(), 7u);
    EXPECT_EQ(dlg.list()->model().rowTotal(), 6);
    for (const std::string& me : column(dlg, 1))
        EXPECT_EQ(me, "NN");
    EXPECT_EQ(dlg.statusText(), "Bulk deal details successfully downloaded");
    EXPECT_TRUE(dlg.isEnabled(CSpecialReports::kExchange));

    // A client name holding ',' comes back whole from the saved file.
    const std::vector<std::string> clients = column(dlg, 4);
    ASSERT_NE(std::find(clients.begin(), clients.end(), "Rao, Mehta & Co"), clients.end());
    const std::filesystem::path csv = root / "bulk.csv";
    ASSERT_TRUE(dlg.SaveTo(CSpecialReports::kSaveGrid, csv.string()));
    const std::string text = readAll(csv);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Security Name,ME,Date,Buy/Sell,Client Name,Quantity,Price,");
    EXPECT_NE(text.find(",\"Rao, Mehta & Co\","), std::string::npos);

    // "MCX-CM" has no exchange code: the request carries an empty one.
    dlg.setComboIndex(CSpecialReports::kExchange, 3);
    dlg.OnExchangeChange();
    EXPECT_FALSE(dlg.isEnabled(CSpecialReports::kExchange)); // no second fetch while one runs
    ASSERT_TRUE(pumpUntil([&] { return dlg.fetchCount() == 2; }, 20000));
    EXPECT_EQ(reportRequests("ReportData=1000").back(), "ReportData=1000|ABC12|U1|");
    EXPECT_EQ(dlg.list()->model().rowTotal(), 0);
    EXPECT_EQ(dlg.statusText(), "No Bulk deal data available");

    // Escape closes it as Close does.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &escape);
    EXPECT_TRUE(dlg.isFinished());
    EXPECT_EQ(dlg.outcome(), ui::Cancel);
    dlg.prepare();
    auto* close = qobject_cast<QAbstractButton*>(dlg.control(ui::Cancel));
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_TRUE(dlg.isFinished());
    EXPECT_EQ(dlg.outcome(), ui::Cancel);
}

TEST_F(SpecialReports, FiiAndMfReportsWithChartsAndSaving)
{
    CSpecialReports fii(sr::kFiiActivity);
    ASSERT_TRUE(showAndLoad(fii));
    EXPECT_EQ(reportRequests("ReportData=1002"), (std::vector<std::string>{"ReportData=1002|ABC12|U1"}));
    EXPECT_FALSE(fii.isVisible(CSpecialReports::kExchange));
    EXPECT_EQ(fii.statusText(), "FII Activity details successfully downloaded");
    const std::vector<std::string> rows = broker->specialReports().fiiRows();
    ASSERT_EQ(fii.list()->model().rowTotal(), static_cast<int>(rows.size()));
    // Amounts are shown as sent, aligned right; texts left.
    const int first = fii.list()->model().preorder().front();
    std::vector<std::string> sentCells;
    for (size_t at = 0, next = 0; next != std::string::npos; at = next + 1) {
        next = rows.front().find('|', at);
        sentCells.push_back(rows.front().substr(at, next == std::string::npos ? next : next - at));
    }
    ASSERT_EQ(sentCells.size(), 6u);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(fii.list()->model().text(first, c).toStdString(), sentCells[static_cast<size_t>(c)]);
        EXPECT_EQ(bool(fii.list()->model().alignment(first, c) & Qt::AlignRight), c >= 2) << c;
    }
    EXPECT_EQ(fii.chart()->barCount(), 8);
    EXPECT_EQ(fii.chart()->points().front().label.toStdString(), rows.front().substr(0, 2));
    EXPECT_EQ(fii.chart()->axisName().toStdString(), "Net Invest (Rs. Cr)");

    // The chart as BMP and PNG; a file that cannot be written is reported
    // and never announced as saved.
    ASSERT_TRUE(fii.SaveTo(CSpecialReports::kSaveChart, (root / "fii.bmp").string()));
    ASSERT_TRUE(fii.SaveTo(CSpecialReports::kSaveChart, (root / "fii.png").string()));
    EXPECT_EQ(readAll(root / "fii.bmp").substr(0, 2), "BM");
    EXPECT_EQ(readAll(root / "fii.png").substr(1, 3), "PNG");
    EXPECT_TRUE(boxShown("Image Saved successfully"));
    const size_t asked = prompter.asks().size();
    EXPECT_FALSE(fii.SaveTo(CSpecialReports::kSaveGrid, (root / "missing" / "x.csv").string()));
    EXPECT_FALSE(fii.SaveTo(CSpecialReports::kSaveChart, (root / "missing" / "x.png").string()));
    ASSERT_EQ(prompter.asks().size(), asked + 2);
    for (size_t i = asked; i < prompter.asks().size(); ++i)
        EXPECT_EQ(prompter.asks()[i].text, "Unable to open file to write");

    // Through the Save menu and the file chooser.
    prompter.queueMenuCommand(CSpecialReports::kSaveGrid);
    prompter.queueSavePath((root / "fii.csv").string());
    fii.OnSave();
    const std::string text = readAll(root / "fii.csv");
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "Reporting Date,Type,Gross Purchase,Gross Sales,Net Investment (Rs. Cr),Net Investment (USD Millions),");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);
    EXPECT_TRUE(boxShown("File Saved successfully"));

    CSpecialReports mf(sr::kMfActivity);
    ASSERT_TRUE(showAndLoad(mf));
    EXPECT_EQ(mf.windowTitle().toStdString(), "MF Activity");
    EXPECT_EQ(mf.statusText(), "MF Activity details successfully downloaded");
    EXPECT_EQ(mf.list()->model().rowTotal(), 8);
    EXPECT_EQ(mf.chart()->barCount(), 8);
    EXPECT_GE(mf.list()->columnWidth(1), 80); // the set widths are the least
    EXPECT_GT(mf.list()->columnWidth(4), 50); // "-1995.15" does not fit in 50
    EXPECT_EQ(reportRequests("ReportData=1004").size(), 1u);
}

TEST_F(SpecialReports, RefusedHeaderHttpErrorAndAnEmptyList)
{
    // A non-zero header: the server's text in its box, no rows, and the
    // status line still says the report is being fetched.
    broker->specialReports().refuseNext("1002", "FII data not available");
    CSpecialReports refused(sr::kFiiActivity);
    ASSERT_TRUE(showAndLoad(refused));
    EXPECT_TRUE(boxWithCaption("Bulk Deal Report Error", "FII data not available"));
    EXPECT_EQ(refused.list()->model().rowTotal(), 0);
    EXPECT_EQ(refused.statusText(), "Getting FII Activity details please wait.....");

    // An empty list saves an empty file and says so.
    const std::filesystem::path empty = root / "empty.csv";
    ASSERT_TRUE(refused.SaveTo(CSpecialReports::kSaveGrid, empty.string()));
    EXPECT_TRUE(std::filesystem::exists(empty));
    EXPECT_EQ(std::filesystem::file_size(empty), 0u);
    EXPECT_TRUE(boxShown("File Saved successfully"));

    // HTTP 500: the error box, an error on the status line, no success text.
    tb::HttpFault fault;
    fault.status = 500;
    broker->armFault("/qtrade/qnews.exe", fault);
    CSpecialReports failed(sr::kMfActivity);
    ASSERT_TRUE(showAndLoad(failed));
    const std::string error = "Internet Connectivity Error [500]. Pls contact System Administrator";
    EXPECT_TRUE(boxWithCaption("Internet Error", error));
    EXPECT_EQ(failed.statusText(), error);
    for (const testkit::AskRecord& a : prompter.asks())
        EXPECT_EQ(a.text.find("successfully downloaded"), std::string::npos) << a.text;
    EXPECT_EQ(failed.chart()->barCount(), 0);
}

TEST_F(SpecialReports, ANewFetchReplacesASlowOneAndClosingDuringAFetchIsSafe)
{
    // The first fetch is held by the broker; showing again replaces it and
    // only the second result is shown.
    tb::HttpFault slow;
    slow.delayMs = 3000;
    broker->armFault("/qtrade/qnews.exe", slow);
    CSpecialReports dlg(sr::kFiiActivity);
    dlg.prepare();
    dlg.show();
    ASSERT_TRUE(broker->waitForKey("ReportData=1002", 10000));
    dlg.hide();
    dlg.show();
    ASSERT_TRUE(pumpUntil([&] { return dlg.fetchCount() == 1; }, 20000));
    EXPECT_EQ(dlg.list()->model().rowTotal(), 8);
    EXPECT_FALSE(dlg.busy());
    pumpUntil([] { return false; }, 3500); // the replaced fetch's time is over
    EXPECT_EQ(dlg.fetchCount(), 1);
    EXPECT_EQ(dlg.list()->model().rowTotal(), 8);

    // Closed while the broker still holds the request: the late answer
    // reaches nobody.
    broker->clearRequests();
    broker->armFault("/qtrade/qnews.exe", slow);
    auto closing = std::make_unique<CSpecialReports>(sr::kMfActivity);
    closing->prepare();
    closing->show();
    ASSERT_TRUE(broker->waitForKey("ReportData=1004", 10000));
    closing->finish(2);
    closing.reset();
    pumpUntil([] { return false; }, 3500);
    for (const testkit::AskRecord& a : prompter.asks())
        EXPECT_EQ(a.caption, "") << a.text; // no box of a dialog that is gone
}

} // namespace
