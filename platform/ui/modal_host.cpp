#include "ui/modal_host.h"

#include "ui/form.h"
#include "ui/prompter.h"
#include "ui/ui_thread.h"

#include <atomic>

namespace ui {
namespace modal_host_detail {
namespace {
std::atomic<ModalHost*> g_host{nullptr};
} // namespace
} // namespace modal_host_detail

int QtModalHost::run(Form& form)
{
    if (!UiThread::requireCurrent("QtModalHost::run"))
        return Cancel;
    form.prepare();
    if (form.isFinished()) // onInit may already close the form
        return form.outcome();
    const int result = form.exec();
    return form.isFinished() ? form.outcome() : result;
}

void QtModalHost::showModeless(Form& form)
{
    if (!UiThread::requireCurrent("QtModalHost::showModeless"))
        return;
    form.prepare();
    form.show();
    form.raise();
    form.activateWindow();
}

ModalHost& modalHost()
{
    static QtModalHost qtHost;
    ModalHost* host = modal_host_detail::g_host.load(std::memory_order_acquire);
    return host ? *host : qtHost;
}

void setModalHost(ModalHost* host)
{
    modal_host_detail::g_host.store(host, std::memory_order_release);
}

} // namespace ui
