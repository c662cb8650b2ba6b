#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "frame/OrderFormOpener.h"

#include "pf/files.h"
#include "testkit/headless.h"

#include <QWidget>

#include <thread>
#include <vector>

namespace {

// Records what the order form was asked to do, and on which thread.
class FakeOrderForm final : public OrderFormService {
public:
    struct Opening {
        int formType;
        QWidget* parent;
        OrderFormParams params;
        std::thread::id thread;
    };

    bool getInstance(int formType, QWidget* parent, const OrderFormParams& params) override
    {
        openings.push_back({formType, parent, params, std::this_thread::get_id()});
        if (reenter) {
            // A nested event loop inside the opening opens the form again.
            reenter = false;
            OpenOrderForm(params, parent, 15);
        }
        return succeed;
    }
    void showForm() override { ++shown; }

    std::vector<Opening> openings;
    int shown = 0;
    bool succeed = true;
    bool reenter = false;
};

class OrderFormOpenerTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        StartLog(paths);
        SetOrderFormService(&form);
        SetScripCodeLookup([](int code, char letter) { return code == 500325 && letter == 'R' ? 4242 : -1; });
    }
    void TearDown() override
    {
        SetScripCodeLookup(nullptr);
        SetOrderFormService(nullptr);
        SetTerminalLocked(false);
        CloseLog();
        Headless::TearDown();
    }
    std::string logText() const { return pf::files::readAll(CurrentLogPath()).value_or(""); }

    static std::vector<std::string> researchCall(std::string side, std::string symbol, size_t count = 27)
    {
        std::vector<std::string> fields(count);
        if (count > 19) {
            fields[2] = "500325";
            fields[4] = std::move(side);
            fields[19] = std::move(symbol);
        }
        return fields;
    }

    FakeOrderForm form;
    QWidget parent;
};

TEST_F(OrderFormOpenerTest, OpensWithTheParametersAndRefusesWhileLocked)
{
    OrderFormParams params;
    params.index = 17;
    params.side = 'S';
    params.quantity = 50;
    params.companionIndex = 18;
    params.price = 123.45;

    SetTerminalLocked(true);
    OpenOrderForm(params, &parent, 1);
    EXPECT_TRUE(form.openings.empty());
    ASSERT_EQ(prompter.askCount(), 1u);
    EXPECT_EQ(prompter.asks()[0].text, "Terminal is Locked. Pls Unlock to Place Order.");
    EXPECT_EQ(prompter.asks()[0].caption, "Vortanex");

    SetTerminalLocked(false);
    OpenOrderForm(params, &parent, 1);
    ASSERT_EQ(form.openings.size(), 1u);
    const auto& o = form.openings[0];
    EXPECT_EQ(o.formType, 1);
    EXPECT_EQ(o.parent, &parent);
    EXPECT_EQ(o.params.index, 17);
    EXPECT_EQ(o.params.side, 'S');
    EXPECT_EQ(o.params.quantity, 50);
    EXPECT_EQ(o.params.companionIndex, 18);
    EXPECT_DOUBLE_EQ(o.params.price, 123.45);
    EXPECT_EQ(form.shown, 1);

    form.succeed = false; // the form refused (a request in process): nothing is shown
    OpenOrderForm(params, &parent, 2);
    EXPECT_EQ(form.shown, 1);
}

TEST_F(OrderFormOpenerTest, NestedOpeningOnTheSameThreadDoesNotDeadlock)
{
    form.reenter = true;
    OpenOrderForm(OrderFormParams{}, &parent, 1);
    ASSERT_EQ(form.openings.size(), 2u);
    EXPECT_EQ(form.openings[0].formType, 1);
    EXPECT_EQ(form.openings[1].formType, 15);
}

TEST_F(OrderFormOpenerTest, ResearchCallOpensOnlyAFoundSecurity)
{
    struct Case {
        const char* name;
        std::vector<std::string> fields;
        bool opens;
    };
    const Case cases[] = {
        {"26 fields", researchCall("BUY", "RELIANCE", 26), false},
        {"empty symbol", researchCall("BUY", ""), false},
        {"unknown side", researchCall("HOLD", "RELIANCE"), false},
        {"not found", researchCall("SELL", "TCS"), false},
        {"sell call", researchCall("SELL", "RELIANCE"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.openings.clear();
        ShowMorrowpickOrderForm(&parent, c.fields);
        ASSERT_EQ(form.openings.size(), c.opens ? 1u : 0u);
        if (c.opens) {
            const auto& o = form.openings[0];
            EXPECT_EQ(o.formType, 1);
            EXPECT_EQ(o.params.index, 4242);
            EXPECT_EQ(o.params.side, 'S');
            EXPECT_EQ(o.params.tslKind, 5);
            EXPECT_EQ(o.params.quantity, 0);
            EXPECT_EQ(o.params.price, 0.0);
            EXPECT_TRUE(o.params.clientCode.empty());
            EXPECT_EQ(o.params.callFields, c.fields);
        }
    }
    const std::string log = logText();
    size_t entries = 0;
    size_t exits = 0;
    for (size_t at = 0; (at = log.find("Entry : ShowMorrowpickOrderForm", at)) != std::string::npos; ++at)
        ++entries;
    for (size_t at = 0; (at = log.find("Exit : ShowMorrowpickOrderForm", at)) != std::string::npos; ++at)
        ++exits;
    EXPECT_EQ(entries, 5u);
    EXPECT_EQ(exits, 5u);
    EXPECT_NE(log.find("Research call security not found"), std::string::npos);
}

TEST_F(OrderFormOpenerTest, ResearchCallFromAWorkerOpensOnTheUiThread)
{
    std::thread worker([&] { ShowMorrowpickOrderForm(&parent, researchCall("BUY", "RELIANCE")); });
    worker.join();
    ASSERT_TRUE(pumpUntil([&] { return !form.openings.empty(); }));
    EXPECT_EQ(form.openings[0].thread, std::this_thread::get_id());
    EXPECT_EQ(form.openings[0].params.side, 'B');
    EXPECT_EQ(form.openings[0].parent, &parent);
}

} // namespace
