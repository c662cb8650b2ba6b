#include "frame/OrderFormService.h"

#include "app/base/LogWriter.h"

#include <atomic>
#include <cstdio>

namespace order_form_service_detail {
namespace {

// Stands in for the order form until order entry provides it.
class NoOrderForm final : public OrderFormService {
public:
    bool getInstance(int formType, QWidget*, const OrderFormParams& p) override
    {
        char line[160];
        std::snprintf(line, sizeof line, "Order form not available : Type [%d], Idx [%d], BS [%c], TSLO [%d]",
                      formType, p.index, p.side, static_cast<int>(p.tslKind));
        WriteLog(0, line);
        return false;
    }
    void showForm() override {}
};

NoOrderForm g_noOrderForm;
std::atomic<OrderFormService*> g_service{&g_noOrderForm};

} // namespace
} // namespace order_form_service_detail

void SetOrderFormService(OrderFormService* service)
{
    order_form_service_detail::g_service.store(service ? service : &order_form_service_detail::g_noOrderForm);
}

OrderFormService& CurrentOrderFormService()
{
    return *order_form_service_detail::g_service.load();
}

pf::ReentrantLock& OrderFormLock()
{
    static pf::ReentrantLock lock;
    return lock;
}
