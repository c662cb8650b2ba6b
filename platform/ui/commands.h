#pragma once
// A window's commands by numeric id: the handler, an optional update function
// that says whether the command is enabled or checked right now, and queued
// invocation from any thread. Handlers run on the UI thread.
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace ui {

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

class Commands {
public:
    Commands();
    ~Commands();
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    void add(int id, std::function<void()> handler, std::function<CommandState()> update = {});
    // One handler for a range of ids (first..last inclusive); it gets the id.
    void addRange(int first, int last, std::function<void(int id)> handler,
                  std::function<CommandState(int id)> update = {});

    // A check every invoke passes before the handler: false refuses the
    // command (the gate tells the user why). One gate per table.
    void setGate(std::function<bool(int id)> gate);
    // Every id the table answers: each single id and each id of a range.
    std::vector<int> ids() const;

    bool has(int id) const;
    // Enabled and checked state of the command; disabled when unknown.
    CommandState state(int id) const;
    // UI thread: runs the command; false when unknown or disabled.
    bool invoke(int id);
    // Any thread: queues invoke(id) on the UI thread; dropped quietly when
    // this object is gone by then.
    void post(int id);

private:
    struct Entry {
        std::function<void(int)> handler;
        std::function<CommandState(int)> update;
    };
    const Entry* find(int id) const;

    std::map<int, Entry> m_single;
    std::map<int, std::pair<int, Entry>> m_ranges; // first -> (last, entry)
    std::function<bool(int)> m_gate;
    std::shared_ptr<Commands*> m_self;             // weak handle for queued invokes
};

} // namespace ui
