#include "ui/mailbox.h"

#include "ui/ui_thread.h"

#include "pf/log.h"

#include <cstdio>
#include <exception>

namespace ui {

struct MailboxAccess {
    static const std::shared_ptr<detail::WindowSlot>& slot(const WindowRef& ref) { return ref.m_slot; }
};

namespace detail {
namespace {

std::string noteLabel(const Note& note)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(note.id));
    return buf;
}

// UI thread: hands the note to its window if the window is still there.
bool deliver(const std::shared_ptr<WindowSlot>& slot, const Note& note)
{
    NoteReceiver* receiver = slot ? slot->receiver.load() : nullptr;
    if (!receiver) {
        pf::logLine(3, "Note " + noteLabel(note) + " dropped: window closed");
        return false;
    }
    try {
        receiver->onNote(note);
    } catch (const std::exception& e) {
        pf::logLine(0, "SException in onNote " + noteLabel(note) + " : [" + e.what() + "]");
    } catch (...) {
        pf::logLine(0, "Exception in onNote " + noteLabel(note));
    }
    return true;
}

} // namespace
} // namespace detail

NoteReceiver::NoteReceiver() : m_slot(std::make_shared<detail::WindowSlot>())
{
    m_slot->receiver.store(this);
}

NoteReceiver::~NoteReceiver()
{
    detachNotes();
}

void NoteReceiver::detachNotes()
{
    m_slot->receiver.store(nullptr);
}

namespace mailbox {

void post(const WindowRef& window, Note note)
{
    auto slot = MailboxAccess::slot(window);
    if (!slot)
        return;
    UiThread::post([slot = std::move(slot), note = std::move(note)] { detail::deliver(slot, note); });
}

bool send(const WindowRef& window, Note note)
{
    const auto& slot = MailboxAccess::slot(window);
    if (!slot)
        return false;
    bool delivered = false;
    UiThread::runBlocking([&] { delivered = detail::deliver(slot, note); });
    return delivered;
}

} // namespace mailbox
} // namespace ui
