#include "ui/commands.h"

#include "ui/ui_thread.h"

#include "pf/log.h"

#include <exception>
#include <string>

namespace ui {

Commands::Commands() : m_self(std::make_shared<Commands*>(this)) {}

Commands::~Commands() = default;

void Commands::add(int id, std::function<void()> handler, std::function<CommandState()> update)
{
    Entry e;
    e.handler = [h = std::move(handler)](int) {
        if (h)
            h();
    };
    if (update)
        e.update = [u = std::move(update)](int) { return u(); };
    m_single[id] = std::move(e);
}

void Commands::addRange(int first, int last, std::function<void(int)> handler, std::function<CommandState(int)> update)
{
    if (last < first)
        return;
    m_ranges[first] = {last, Entry{std::move(handler), std::move(update)}};
}

const Commands::Entry* Commands::find(int id) const
{
    if (auto it = m_single.find(id); it != m_single.end())
        return &it->second;
    auto it = m_ranges.upper_bound(id);
    if (it == m_ranges.begin())
        return nullptr;
    --it;
    return id <= it->second.first ? &it->second.second : nullptr;
}

void Commands::setGate(std::function<bool(int)> gate)
{
    m_gate = std::move(gate);
}

std::vector<int> Commands::ids() const
{
    std::vector<int> out;
    for (const auto& [id, entry] : m_single)
        out.push_back(id);
    for (const auto& [first, range] : m_ranges)
        for (int id = first; id <= range.first; ++id)
            if (!m_single.count(id))
                out.push_back(id);
    return out;
}

bool Commands::has(int id) const
{
    return find(id) != nullptr;
}

CommandState Commands::state(int id) const
{
    const Entry* e = find(id);
    if (!e)
        return CommandState{false, false};
    return e->update ? e->update(id) : CommandState{};
}

bool Commands::invoke(int id)
{
    if (!UiThread::requireCurrent("Commands::invoke"))
        return false;
    const Entry* e = find(id);
    if (!e || !e->handler || !state(id).enabled)
        return false;
    // A copy: the handler may replace or remove its own command.
    const auto handler = e->handler;
    try {
        if (m_gate && !m_gate(id))
            return false;
        handler(id);
    } catch (const std::exception& ex) {
        pf::logLine(0, "SException in command " + std::to_string(id) + " : [" + ex.what() + "]");
    } catch (...) {
        pf::logLine(0, "Exception in command " + std::to_string(id));
    }
    return true;
}

void Commands::post(int id)
{
    std::weak_ptr<Commands*> self = m_self;
    UiThread::post([self, id] {
        // Destruction and delivery both happen on the UI thread, so the check holds.
        if (auto alive = self.lock())
            (*alive)->invoke(id);
    });
}

} // namespace ui
