#pragma once
// The popup of the ribbon's "Days Events" button: one row per listed day
// event with its name, a "T & C" link to the event's terms and, where the
// event may be accepted, an "Accept" button; the event's text is the row's
// preview line. The owner decides what a link and an Accept do. UI thread.
#include <QWidget>

#include <functional>
#include <string>

class CDaysProductEvents;
namespace ui {
class GridView;
}

class CEventsRptCtrl;

class CDlgPopupDaysEvent : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 307;
    static constexpr int kEventColumn = 0;
    static constexpr int kTermsColumn = 1;
    static constexpr int kAcceptColumn = 2;

    explicit CDlgPopupDaysEvent(QWidget* parent = nullptr);

    // Rows for the events in use whose show flag is 'Y'.
    void Fill(const CDaysProductEvents& events);

    // An Accept (the slot's command id 33365-33374) and a "T & C" click.
    std::function<void(int commandId)> onAccept;
    std::function<void(const std::string& link)> onLink;

    ui::GridView* Grid() const;
    // As the user's clicks do (tests).
    bool ClickAccept(int commandId);
    bool ClickTerms(int row);

private:
    void OnAcceptEvent(int commandId);

    CEventsRptCtrl* m_grid = nullptr;
};
