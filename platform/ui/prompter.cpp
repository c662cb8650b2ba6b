#include "ui/prompter.h"

#include "pf/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace ui {
namespace {
std::atomic<Prompter*> g_prompter{nullptr};
std::atomic<Prompter*> g_default{nullptr};
} // namespace

Prompter& prompter()
{
    Prompter* p = g_prompter.load(std::memory_order_acquire);
    if (!p)
        p = g_default.load(std::memory_order_acquire);
    // The Qt prompter is installed by the UI layer's start-up; until then a
    // question has nobody to answer it, which is a programming error.
    if (!p) {
        pf::logLine(0, "ui::prompter: no prompter installed");
        std::fputs("ui::prompter: no prompter installed\n", stderr);
        std::abort();
    }
    return *p;
}

void setDefaultPrompter(Prompter* p)
{
    g_default.store(p, std::memory_order_release);
}

void setPrompter(Prompter* p)
{
    g_prompter.store(p, std::memory_order_release);
}

} // namespace ui
