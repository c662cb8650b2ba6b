#pragma once
// The application window messages as notes carried by value. A worker posts a
// note to a weak window reference; the note is delivered on the UI thread in
// posting order, or dropped quietly when the window has closed meanwhile. The
// payload is owned by the note, so nothing leaks either way.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace ui {

// The seven notes keep their numbers so that log lines stay comparable.
enum class NoteId : int {
    UserPopup = 0x821B,
    ExpandNews = 0x821C,
    SelectedNews = 0x821D,
    DayEvent = 0x8249,
    OrderBook = 0x824C,
    RiskReport = 0x824D,
    PledgeResult = 0x8252,
};

struct Note {
    NoteId id = NoteId::UserPopup;
    intptr_t w = 0;
    intptr_t l = 0;
    std::string text;
};

class NoteReceiver;

namespace detail {
// Shared by a receiver and every reference to it; the receiver clears it when
// it goes. Read and cleared on the UI thread only; atomic so that isAlive()
// may be asked from anywhere.
struct WindowSlot {
    std::atomic<NoteReceiver*> receiver{nullptr};
};
} // namespace detail

// A weak reference to a window that receives notes; copyable to any thread.
class WindowRef {
public:
    WindowRef() = default;
    bool isAlive() const { return m_slot && m_slot->receiver.load() != nullptr; }

private:
    friend class NoteReceiver;
    friend struct MailboxAccess;
    explicit WindowRef(std::shared_ptr<detail::WindowSlot> slot) : m_slot(std::move(slot)) {}
    std::shared_ptr<detail::WindowSlot> m_slot;
};

// Base of a window that handles notes. Lives and dies on the UI thread.
class NoteReceiver {
public:
    NoteReceiver();
    virtual ~NoteReceiver();
    NoteReceiver(const NoteReceiver&) = delete;
    NoteReceiver& operator=(const NoteReceiver&) = delete;

    virtual void onNote(const Note& note) = 0;
    WindowRef ref() const { return WindowRef(m_slot); }

protected:
    // Stops delivery before the derived part is torn down; a derived
    // destructor that may still process events calls this first.
    void detachNotes();

private:
    std::shared_ptr<detail::WindowSlot> m_slot;
};

namespace mailbox {
// Queues the note for the window's UI-thread handler; any thread.
void post(const WindowRef& window, Note note);
// Runs the handler and waits for it (inline on the UI thread); false when the
// window is gone or the application is shutting down.
bool send(const WindowRef& window, Note note);
} // namespace mailbox

} // namespace ui
