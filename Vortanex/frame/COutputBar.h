#pragma once
// The docking "Messages" bar: four lists (Trading, Exchange, General,
// Research Call) of time-stamped message rows, newest on top, and the day's
// message files. SetUserMessage may be called from any thread: the file line
// is written on the caller's thread, the rows are added on the UI thread in
// the order the calls were made.
#include "frame/MessageFiles.h"

#include "ui/dock_pane.h"

#include <QIcon>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>

class CMyNewListCtrl;
class QTabWidget;

namespace pf {
class SoundService;
}

// How many messages the bar has shown since start-up.
extern std::atomic<long> g_MessagesShown;

class COutputBar : public ui::DockPane {
    Q_OBJECT
public:
    static constexpr int kDateWidth = 80;
    static constexpr int kMessageWidth = 1450;
    // The rows a message list keeps (the newest; its file keeps every message).
    static constexpr int kMaxMessageRows = 20000;

    explicit COutputBar(QWidget* parent = nullptr);
    ~COutputBar() override;

    // Any thread. Kinds outside 1-4 are ignored.
    void SetUserMessage(int kind, char side, std::string_view text, std::string_view extra);

    // Opens the four files of today (the clock's local date) for the user.
    int OpenMessageFiles(std::string_view userId);
    MessageFiles& Files() { return m_shared->files; }

    // The sound service for the research-call sound; null for none.
    void SetSoundService(pf::SoundService* sound) { m_shared->sound.store(sound); }

    // Re-creates the lists' font from the settings' grid font.
    void UpdateFont();

    // The list of a kind (1-4), null for others; and what it shows.
    CMyNewListCtrl* List(int kind) const;
    int RowCount(int kind) const;
    QString RowText(int kind, int position, int column) const;
    int RowCode(int kind, int position) const;
    int ActiveKind() const;

private:
    struct Shared {
        MessageFiles files;
        std::atomic<COutputBar*> bar{nullptr}; // cleared by the destructor (UI thread)
        std::atomic<pf::SoundService*> sound{nullptr};
    };
    // UI thread: steps that touch the lists.
    void AddRows(int kind, char side, const std::string& time, const std::string& text);

    std::shared_ptr<Shared> m_shared;
    QTabWidget* m_wndTabs;
    std::array<CMyNewListCtrl*, 4> m_lists{};
    std::array<QIcon, 4> m_icons;
    int m_nWrapWidth = kMessageWrapWidth;
};
