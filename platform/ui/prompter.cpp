#include "ui/prompter.h"

#include <atomic>
#include <cstdlib>

namespace ui {
namespace {
std::atomic<Prompter*> g_prompter{nullptr};
} // namespace

Prompter& prompter()
{
    Prompter* p = g_prompter.load(std::memory_order_acquire);
    // The Qt prompter is installed by the UI layer's start-up; until then a
    // question has nobody to answer it.
    if (!p)
        std::abort();
    return *p;
}

void setPrompter(Prompter* p)
{
    g_prompter.store(p, std::memory_order_release);
}

} // namespace ui
