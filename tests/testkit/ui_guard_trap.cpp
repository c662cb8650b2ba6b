#include "testkit/ui_guard_trap.h"

#include <gtest/gtest.h>

#include <thread>

// The sanitizers' stack printer, present in the sanitized builds only.
extern "C" void __sanitizer_print_stack_trace() __attribute__((weak));

namespace testkit {

pf::uiguard::Handler failingUiGuardHandler()
{
    return [](const std::string& line) {
        ADD_FAILURE() << line;
        if (__sanitizer_print_stack_trace)
            __sanitizer_print_stack_trace();
    };
}

void installUiGuard()
{
    pf::uiguard::setUiThread(std::this_thread::get_id());
#ifdef VX_UI_GUARD_FAILS
    pf::uiguard::setHandler(failingUiGuardHandler());
#endif
}

} // namespace testkit
