#include "frame/OrderFormOpener.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"

#include "ui/ui_thread.h"

#include <QPointer>
#include <QWidget>

#include <charconv>
#include <mutex>

namespace order_form_opener_detail {
namespace {

constexpr const char* kPlaceOrder = "Place Order.";
constexpr size_t kMinCallFields = 27;

std::mutex g_lookupMutex;
ScripCodeLookup g_lookup; // guarded by g_lookupMutex

int lookUpScripCode(int code, char letter)
{
    std::lock_guard lock(g_lookupMutex);
    return g_lookup ? g_lookup(code, letter) : -1;
}

// Runs an opening on the UI thread; the parent may be gone by the time a
// handed-over opening runs, and then the form opens without one.
void onUiThread(QWidget* parent, std::function<void(QWidget*)> open)
{
    if (ui::UiThread::isCurrent()) {
        open(parent);
        return;
    }
    QPointer<QWidget> guard(parent);
    if (!ui::UiThread::post([guard, open = std::move(open)] { open(guard.data()); }))
        WriteLog(0, "Order form not opened: the application is shutting down");
}

void openForm(int formType, QWidget* parent, const OrderFormParams& params)
{
    std::lock_guard lock(OrderFormLock());
    OrderFormService& service = CurrentOrderFormService();
    if (service.getInstance(formType, parent, params))
        service.showForm();
}

int leadingInt(std::string_view s)
{
    int value = 0;
    std::from_chars(s.data(), s.data() + s.size(), value);
    return value;
}

} // namespace
} // namespace order_form_opener_detail

void SetScripCodeLookup(ScripCodeLookup lookup)
{
    std::lock_guard lock(order_form_opener_detail::g_lookupMutex);
    order_form_opener_detail::g_lookup = std::move(lookup);
}

void OpenOrderForm(const OrderFormParams& params, QWidget* parent, int formType)
{
    order_form_opener_detail::onUiThread(parent, [params, formType](QWidget* p) {
        if (RefuseWhileLocked(order_form_opener_detail::kPlaceOrder))
            return;
        try {
            order_form_opener_detail::openForm(formType, p, params);
        } catch (...) {
            WriteLog(0, "Exception while opening order form");
        }
    });
}

void ShowMorrowpickOrderForm(QWidget* parent, const std::vector<std::string>& fields)
{
    order_form_opener_detail::onUiThread(parent, [fields](QWidget* p) {
        WriteLog(0, "Entry : ShowMorrowpickOrderForm");
        if (RefuseWhileLocked(order_form_opener_detail::kPlaceOrder))
            return;
        try {
            if (fields.size() >= order_form_opener_detail::kMinCallFields) {
                const std::string& action = fields[4];
                const std::string& symbol = fields[19];
                const char side = action == "BUY" ? 'B' : action == "SELL" ? 'S' : '\0';
                const int index = side && !symbol.empty()
                    ? order_form_opener_detail::lookUpScripCode(order_form_opener_detail::leadingInt(fields[2]), symbol.front())
                    : -1;
                if (!side || symbol.empty()) {
                    WriteLog(0, "Research call without a side or symbol [" + action + "][" + symbol + "]");
                } else if (index < 0) {
                    WriteLog(0, "Research call security not found, scrip code [" + fields[2] + "] symbol [" + symbol
                                    + "]");
                } else {
                    OrderFormParams params;
                    params.index = index;
                    params.side = side;
                    params.tslKind = 5;
                    params.callFields = fields;
                    order_form_opener_detail::openForm(1, p, params);
                }
            }
        } catch (...) {
            WriteLog(0, "Exception while opening Morrowpick order form");
        }
        WriteLog(0, "Exit : ShowMorrowpickOrderForm");
    });
}
