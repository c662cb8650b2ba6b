// The alert manager's save chain, its list and its menu commands: an alert
// the user saves is checked, stored once and written to the file; a refused
// one leaves everything as it was.
#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/FrameSubscriptions.h"
#include "server/SecurityTable.h"
#include "watch/AlertStore.h"
#include "watch/AlertTable.h"
#include "watch/CAlertManager.h"

#include "pf/files.h"
#include "testkit/headless.h"

#include <QLineEdit>
#include <QTreeWidget>

namespace {

class AlertManagerTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SecurityRows rows(3);
        const char* symbols[3] = {"SBIN", "USDINR", "ACC"};
        const char* keys[3] = {"SBIN~EQ", "USDINR~FUT", "ACC~EQ"};
        const char* exch[3] = {"NN", "CN", "NN"};
        for (size_t i = 0; i < 3; ++i) {
            rows[i].symbol.assign(symbols[i]);
            rows[i].setDisplayKey(keys[i]);
            rows[i].market_exchange.assign(exch[i]);
            rows[i].wtoken = 100 + static_cast<int>(i);
        }
        auto table = std::make_shared<SecurityTable>();
        table->build(std::move(rows), SecurityTable::Build::Full, false);
        QuoteData q;
        q.quote[4] = 51000; // SBIN last 510.00
        q.quote[13] = 5000; // traded quantity
        table->row(0).storeQuote(q); // ACC (row 2) has no quote yet
        SecurityTable::publish(table);
        AlertTable::instance().clear();
        g_AppSettings.alerts_switch = 1;
        CopyFixedText(pv_user_info.user_id, "U1");
        store = std::make_shared<AlertStore>(paths.data());
        SetAlertServices(store);
    }
    void TearDown() override
    {
        SetAlertServices(nullptr);
        AlertTable::instance().clear();
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }

    std::unique_ptr<CAlertManager> open(int security)
    {
        auto dlg = std::make_unique<CAlertManager>();
        dlg->setSecurity(security);
        dlg->prepare();
        return dlg;
    }
    // Fills the fields and saves; returns the boxes the save asked.
    std::vector<std::string> save(CAlertManager& dlg, int type, int criteria, const std::string& value,
                                  const std::string& name = "mine", int frequency = 0)
    {
        const size_t before = prompter.askCount();
        dlg.setComboIndex(CAlertManager::kType, type);
        dlg.setComboIndex(CAlertManager::kCriteria, criteria);
        dlg.setText(CAlertManager::kValue, value);
        dlg.setText(CAlertManager::kName, name);
        dlg.setComboIndex(CAlertManager::kFrequency, frequency);
        dlg.OnOK();
        std::vector<std::string> texts;
        const auto asks = prompter.asks();
        for (size_t i = before; i < asks.size(); ++i)
            texts.push_back(asks[i].text);
        return texts;
    }

    std::shared_ptr<AlertStore> store;
};

// "Alert for" takes no typing: the security comes from "...", and the empty
// box says so.
TEST_F(AlertManagerTest, TheEmptyAlertForBoxSaysHowToPickASecurity)
{
    auto dlg = open(-1);
    auto* box = qobject_cast<QLineEdit*>(dlg->control(CAlertManager::kSecurity));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->text(), "");
    EXPECT_EQ(box->placeholderText().toStdString(), "Click ... to choose the security");
}

TEST_F(AlertManagerTest, TheSaveChainRefusesWhatCannotBeAnAlert)
{
    struct Case {
        const char* name;
        int security, type, criteria;
        const char* value;
        const char* alertName;
        const char* message;
    } cases[] = {
        {"no value", 0, 2, 0, "", "n", "Please enter a value"},
        {"a value that is no number", 0, 2, 0, "12abc", "n", "Please enter a value"},
        {"LTP >= below the last price", 0, 2, 0, "500",
         "n", "Cannot save the alert as LTP of SBIN~EQ is already >= 500.00 is [510.0000]"},
        {"TTQ < above the traded quantity", 0, 6, 1, "6000", "n",
         "Cannot save the alert as TTQ of SBIN~EQ is already < 6000.00 is [5000.0000]"},
        {"no name", 0, 2, 0, "600", "", "Please enter a alert name"},
    };
    for (const Case& c : cases) {
        auto dlg = open(c.security);
        EXPECT_EQ(save(*dlg, c.type, c.criteria, c.value, c.alertName), (std::vector<std::string>{c.message}))
            << c.name;
        EXPECT_EQ(AlertTable::instance().size(), 0) << c.name;
        EXPECT_TRUE(dlg->fieldsEnabled()) << c.name << ": the user's input stays";
    }
    // Without a quote yet, nothing is "already" met.
    auto dlg = open(2);
    EXPECT_TRUE(save(*dlg, 2, 1, "100").empty());
    EXPECT_EQ(AlertTable::instance().size(), 1);
    // Without a security the fields take nothing and Save does nothing.
    auto none = open(-1);
    EXPECT_FALSE(none->fieldsEnabled());
    none->OnOK();
    EXPECT_EQ(AlertTable::instance().size(), 1);
}

TEST_F(AlertManagerTest, ASavedAlertIsListedMarkedAndAFourthIsRefused)
{
    auto dlg = open(0);
    EXPECT_TRUE(save(*dlg, 2, 0, "520", "first").empty());
    EXPECT_EQ(dlg->text(CAlertManager::kStatus), "Alert for SBIN~EQ saved successfully");
    EXPECT_FALSE(dlg->fieldsEnabled());
    EXPECT_EQ(SecurityTable::current()->row(0).alert_flag.load(), 1);
    const auto alert = AlertTable::instance().find("2~SBIN~EQ~>=~520.00");
    ASSERT_TRUE(alert);
    EXPECT_DOUBLE_EQ(alert->trigger, 52000);
    EXPECT_EQ(alert->description, "LTP of SBIN~EQ [NSE] >= 520.00");
    dlg.reset(); // closing the dialog writes the file
    EXPECT_EQ(pf::files::readAll(store->filePath()).value_or("").rfind("2~SBIN~EQ~>=~520.00|", 0), 0u);

    // A quantity alert has no decimals in its key and its row.
    dlg = open(0);
    EXPECT_TRUE(save(*dlg, 6, 0, "7000", "qty", 1).empty());
    ASSERT_TRUE(AlertTable::instance().contains("6~SBIN~EQ~>=~7000"));
    const auto rows = dlg->listRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "NSE");
    EXPECT_EQ(rows[1][2], "TTQ");
    EXPECT_EQ(rows[1][4], "7000");
    EXPECT_EQ(rows[1][7], "ACTIVE");
    EXPECT_EQ(rows[1][8], "YES");
    // Every text reads whole: no column is narrower than its text.
    const auto* list = dlg->findChild<QTreeWidget*>();
    ASSERT_NE(list, nullptr);
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        for (int c = 0; c < list->columnCount(); ++c)
            EXPECT_GE(list->columnWidth(c), list->fontMetrics().horizontalAdvance(list->topLevelItem(r)->text(c)))
                << list->topLevelItem(r)->text(c).toStdString();

    dlg = open(0);
    EXPECT_TRUE(save(*dlg, 2, 0, "530").empty());
    dlg = open(0);
    EXPECT_EQ(save(*dlg, 2, 0, "540"),
              (std::vector<std::string>{"Max of 3 alerts can be set for the same script"}));
    EXPECT_EQ(AlertTable::instance().size(), 3);

    // Modifying one of the three is allowed.
    dlg = open(0);
    dlg->OnClickListAlerts(0);
    dlg->OnModifySelected();
    EXPECT_TRUE(save(*dlg, 2, 0, "545").empty());
    EXPECT_EQ(AlertTable::instance().size(), 3);
    EXPECT_FALSE(AlertTable::instance().contains("2~SBIN~EQ~>=~520.00"));
    EXPECT_TRUE(AlertTable::instance().contains("2~SBIN~EQ~>=~545.00"));
}

TEST_F(AlertManagerTest, TheDuplicateQuestionKeepsOneAlertAndNoKeepsTheOldOne)
{
    auto dlg = open(0);
    save(*dlg, 2, 0, "520", "old");
    dlg = open(0); // a save leaves the fields closed
    save(*dlg, 2, 0, "600", "other");
    dlg = open(0);
    prompter.queueAnswer(6); // Yes
    EXPECT_EQ(save(*dlg, 2, 0, "520", "new"),
              (std::vector<std::string>{"The selected alert already exists do you want to modify this alert"}));
    EXPECT_EQ(AlertTable::instance().size(), 2);
    EXPECT_EQ(AlertTable::instance().find("2~SBIN~EQ~>=~520.00")->name, "new");

    // Modify mode: the old alert is changed into the other's key and No is
    // answered: the old alert stays as it was.
    dlg = open(0);
    dlg->OnClickListAlerts(0); // 2~SBIN~EQ~>=~520.00
    dlg->OnModifySelected();
    prompter.queueAnswer(7); // No
    save(*dlg, 2, 0, "600", "changed");
    EXPECT_TRUE(AlertTable::instance().contains("2~SBIN~EQ~>=~520.00"));
    EXPECT_EQ(AlertTable::instance().find("2~SBIN~EQ~>=~600.00")->name, "other");
    EXPECT_EQ(AlertTable::instance().size(), 2);
}

TEST_F(AlertManagerTest, SwitchingAlertsOnTellsHowToSwitchThemOffAgain)
{
    g_AppSettings.alerts_switch = 0;
    auto dlg = open(0);
    prompter.queueAnswer(6); // Yes, activate them
    EXPECT_EQ(save(*dlg, 2, 0, "520"),
              (std::vector<std::string>{"Alert(s) are currently disabled would you like to activate the alerts?",
                                        "To disable the alerts go to Vortanex Settings and uncheck the ScripAlerts "
                                        "checkBox"}));
    EXPECT_EQ(g_AppSettings.alerts_switch, 1);
}

TEST_F(AlertManagerTest, TheValueTakesTheDecimalsOfItsKind)
{
    struct Case {
        int security, type;
        int maxLength;
    } cases[] = {
        {0, 2, 5}, // "12." on NN: two more characters
        {1, 2, 7}, // on CN: four
        {0, 6, 3}, // a quantity: none
    };
    for (const Case& c : cases) {
        auto dlg = open(c.security);
        dlg->setComboIndex(CAlertManager::kType, c.type);
        dlg->setText(CAlertManager::kValue, "12.");
        EXPECT_EQ(dlg->valueMaxLength(), c.maxLength) << c.security << "/" << c.type;
    }
}

TEST_F(AlertManagerTest, RemoveAndClearAllWriteTheFile)
{
    auto dlg = open(0);
    save(*dlg, 2, 0, "520");
    dlg = open(2);
    save(*dlg, 2, 0, "10");
    ASSERT_EQ(dlg->listRows().size(), 2u);

    dlg->OnClickListAlerts(1); // key order: 2~ACC first, then 2~SBIN
    prompter.queueAnswer(6);
    dlg->OnRemoveSelected();
    EXPECT_EQ(AlertTable::instance().size(), 1);
    const std::string file = pf::files::readAll(store->filePath()).value_or("");
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 1);

    prompter.queueAnswer(6);
    dlg->OnClearAll();
    EXPECT_EQ(dlg->text(CAlertManager::kStatus), "All Alerts Cleared");
    EXPECT_TRUE(dlg->listRows().empty());
    dlg.reset(); // the dialog closes
    EXPECT_EQ(pf::files::readAll(store->filePath()).value_or("x"), "");
}

} // namespace
