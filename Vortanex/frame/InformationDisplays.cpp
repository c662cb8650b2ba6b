#include "frame/InformationDisplays.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/CDlgPopupDaysEvent.h"
#include "frame/CMainFrame.h"
#include "frame/CMyPopupWindow.h"
#include "frame/ImageCollections.h"
#include "frame/MessageFiles.h"
#include "frame/OrderFormOpener.h"
#include "frame/UserPopupText.h"
#include "server/FeedSubscriptions.h"
#include "server/RequestServerAccess.h"
#include "server/SecurityRecord.h"
#include "server/SecurityRequests.h"
#include "server/SecurityTable.h"

#include "pf/shell.h"
#include "pf/threads.h"
#include "ui/caption_bar.h"
#include "ui/command_bar.h"
#include "ui/commands.h"
#include "ui/mailbox.h"
#include "ui/plain_text.h"
#include "ui/ui_thread.h"

#include <QAction>
#include <QApplication>
#include <QStyle>
#include <QToolButton>

#include <cstdlib>
#include <cstring>

namespace {

std::atomic<InformationDisplays*> g_displays{nullptr};

const QString kAdvisoryPanel = QString();
const QString kDaysEventsPanel = QStringLiteral("Days Events");

ServerAccess& programServer()
{
    static RequestServerAccess program;
    return program;
}

QColor offerBackground(int colourState, QColor colour)
{
    if (colourState == 0)
        return QColor(241, 85, 18);
    if (colourState == 1)
        return QColor(3, 129, 7);
    return colour;
}

std::string fixed(const char* text, size_t size)
{
    return std::string(text, strnlen(text, size));
}

} // namespace

void SetInformationDisplays(InformationDisplays* displays)
{
    g_displays.store(displays);
}

InformationDisplays* InformationDisplays::Instance()
{
    return g_displays.load();
}

InformationDisplays::InformationDisplays(CMainFrame& frame, Services services)
    : QObject(&frame), m_frame(frame), m_services(std::move(services)),
      m_self(std::make_shared<std::atomic<InformationDisplays*>>(this))
{
    m_reload = SecurityReload::instance().add("advisory calls", [this](const SecurityTable& before, SecurityTable& after) {
        m_calls.Reresolve(before, after);
        publishCallSecurities();
        return SecurityReload::Outcome{};
    });
    if (!m_services.server)
        m_services.server = &programServer();
    if (!m_services.locked)
        m_services.locked = [] { return IsTerminalLocked(); };
    if (!m_services.displayKey)
        m_services.displayKey = [](int security) {
            const auto table = SecurityTable::current();
            return table && table->valid(security) ? std::string(table->row(security).displayKey().view())
                                                   : std::string();
        };
    m_frameRef = frame.ref();
    ui::Commands& c = frame.Commands();
    c.addRange(kAdvisoryFirstCommand, kAdvisoryFirstCommand + kAdvisorySlots - 1,
               [this](int id) { OnAdvisoryCallButton(id); });
    c.add(
        kUpdateRbiRefRate, [this] { OnUpdateRbiRefRate(); },
        [this] {
            return ui::CommandState{m_busy == 0, false};
        });
    c.add(kParticipate, [this] { OnParticipate(); });
    c.addRange(kShowSunvaleHours, kShowBrackenfold, [this](int id) { OnShowOfferCommand(id); });
    c.add(kAcceptSunvaleHour, [this] { OnAcceptSunvaleHour(); });
    c.add(kAcceptBrackenfold, [this] { OnBtnBkfClicked(); });
    if (ui::CommandBar* bar = frame.Ribbon(); bar && bar->action(kUpdateRbiRefRate))
        bar->action(kUpdateRbiRefRate)->setToolTip("Update latest RBI Reference Rate.");
}

InformationDisplays::~InformationDisplays()
{
    m_self->store(nullptr);
    InformationDisplays* self = this;
    g_displays.compare_exchange_strong(self, nullptr);
}

void InformationDisplays::postToUi(std::function<void(InformationDisplays&)> work)
{
    ui::UiThread::post([self = m_self, work = std::move(work)] {
        if (InformationDisplays* d = self->load())
            work(*d);
    });
}

std::vector<int> InformationDisplays::UpdateMorrowpickTokens() const
{
    return MorrowpickTokenSource()();
}

std::function<std::vector<int>()> InformationDisplays::MorrowpickTokenSource() const
{
    return [store = m_callSecurities]() -> std::vector<int> {
        try {
            std::lock_guard lock(store->mutex);
            return store->securities;
        } catch (...) {
            WriteLog(0, "Exception while updating Watch Token from Morrowpick array.");
            return {};
        }
    };
}

void InformationDisplays::publishCallSecurities()
{
    std::vector<int> now = m_calls.Securities();
    std::lock_guard lock(m_callSecurities->mutex);
    m_callSecurities->securities = std::move(now);
}

// ------------------------------------------------------------------ the feed

AdvisoryCall InformationDisplays::readCall(const std::string& payload) const
{
    AdvisoryCall call;
    call.fields = SplitInformationFields(payload, '|');
    const auto at = [&](size_t i) -> const std::string& {
        static const std::string empty;
        return i < call.fields.size() ? call.fields[i] : empty;
    };
    call.closed = at(12) == "Closed";
    call.callId = std::atol(at(13).c_str());
    const std::string& symbol = at(19);
    if (!symbol.empty())
        call.security = Search_ScripCode(std::atoi(at(2).c_str()), symbol[0]);
    if (call.security >= 0 && m_services.displayKey)
        call.displayKey = m_services.displayKey(call.security);
    return call;
}

void InformationDisplays::OnInformationFeed(int code, const std::string& payload)
{
    switch (code) {
    case 141:
        DerivaneMsgThread(payload);
        break;
    case 145:
        DisplayMorrowpickThread(payload);
        break;
    case 155:
        DisplaySunvaleHour_Bkf_Thread(payload);
        break;
    case 160:
        UpdateRbiRefRateThread(payload);
        break;
    default:
        break;
    }
}

void InformationDisplays::DerivaneMsgThread(const std::string& payload)
{
    try {
        const DerivaneAdvice a = ParseDerivaneMsg(payload);
        if (!a.valid)
            return;
        const int security = Search_Token(a.token, a.exchange);
        if (security >= 0) {
            postToUi([security, status = a.status](InformationDisplays& d) {
                if (d.m_services.addToOptionsWindows)
                    d.m_services.addToOptionsWindows(security, status);
                const auto table = SecurityTable::current();
                if (!table || !table->valid(security))
                    return;
                const std::string mark = formatText(",%d,", table->row(security).wtoken);
                if (("," + FeedSubscriptions::instance().feedTokenList()).find(mark) == std::string::npos)
                    Update_Feeds_Token();
            });
        }
        if (a.report)
            if (CMainFrame* f = CMainFrame::Instance())
                f->SetUserMessage(MsgResearch, ' ', a.text, {}, 1, -1);
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in DerivaneMsgThread : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in DerivaneMsgThread");
    }
}

void InformationDisplays::DisplayMorrowpickThread(const std::string& payload)
{
    try {
        AdvisoryCall call = readCall(payload);
        if (call.fields.size() <= 25)
            return;
        const char side = call.fields[1].empty() ? ' ' : call.fields[1][0];
        const std::string text = call.fields[5];
        postToUi([call = std::move(call)](InformationDisplays& d) { d.ProcessMorrowpickMsg(call); });
        if (CMainFrame* f = CMainFrame::Instance())
            f->SetUserMessage(MsgResearch, side, text, {}, 1, 5);
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in DisplayMorrowpickThread : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in DisplayMorrowpickThread");
    }
}

void InformationDisplays::DisplaySunvaleHour_Bkf_Thread(const std::string& payload)
{
    try {
        WriteLog(3, "Entry : DisplaySunvaleHour_Bkf_Thread");
        WriteLog(3, payload);
        // The frame splits it on the UI thread (its day-event note).
        ui::mailbox::post(m_frameRef, ui::Note{ui::NoteId::DayEvent, 0, 0, payload});
        WriteLog(3, "Exit : DisplaySunvaleHour_Bkf_Thread");
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in DisplaySunvaleHourThread : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in DisplaySunvaleHour_Bkf_Thread");
    }
}

void InformationDisplays::UpdateRbiRefRateThread(const std::string& payload)
{
    try {
        // The rates are table values under their own lock, not widgets: they
        // are applied here, on the pool.
        const RbiRefRateUpdate u = ParseRbiRefRatePayload(payload);
        if (u.valid)
            UpdateRbiRefRate(u.count, u.records);
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in UpdateRbiRefRateThread : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in UpdateRbiRefRateThread");
    }
}

// ------------------------------------------------------------------ the ribbon

int InformationDisplays::RibbonCategory() const
{
    ui::CommandBar* bar = m_frame.Ribbon();
    if (!bar)
        return -1;
    const QStringList names = bar->categoryNames();
    return names.size() > 1 ? bar->findCategory(names[1]) : -1;
}

void InformationDisplays::CreateControl()
{
    ui::CommandBar* bar = m_frame.Ribbon();
    const int category = RibbonCategory();
    if (!bar || category < 0 || m_calls.displayType == 0)
        return;
    // The panel is built afresh with the calls held now: one large button
    // with a sub-button per call.
    bar->removePanel(category, kAdvisoryPanel);
    const int panel = bar->addPanel(category, kAdvisoryPanel);
    std::vector<ui::SubItem> items;
    for (const CEventData& d : m_calls.Slots())
        if (d.inUse && d.displayType == 2)
            items.push_back({d.commandId, QString::fromStdString(d.buttonText)});
    const ImageCollection* big = GetImageCollection(302);
    const QIcon icon = big ? big->icon(m_calls.displayType - 1) : QIcon();
    const bool advisory = m_calls.displayType == 2;
    bar->addGroupButton(panel, advisory ? kAdvisoryMainButton : 0, advisory ? "Nifty Morrowpick" : "", items, icon);
    // The main button has no work of its own: a click opens the calls.
    if (QAction* main = bar->action(kAdvisoryMainButton))
        for (QToolButton* b : bar->findChildren<QToolButton*>())
            if (b->defaultAction() == main && b->menu())
                b->setPopupMode(QToolButton::InstantPopup);
    const ImageCollection* small = GetImageCollection(273);
    for (const CEventData& d : m_calls.Slots()) {
        if (!d.inUse || d.displayType != 2)
            continue;
        if (QAction* a = bar->action(d.commandId)) {
            a->setText(QString::fromStdString(d.buttonText));
            a->setToolTip(ui::plainToolTip(QString::fromStdString(d.toolTip)));
            const std::string& side = d.fields.size() > 4 ? d.fields[4] : std::string();
            const int image = side == "BUY" ? 0 : side == "SELL" ? 3 : -1;
            a->setIcon(small && image >= 0 ? small->icon(image) : QIcon());
        }
    }
    m_advisoryPanel = true;
    bar->refreshStates();
}

void InformationDisplays::DestroyControl()
{
    ui::CommandBar* bar = m_frame.Ribbon();
    const int category = RibbonCategory();
    if (bar && category >= 0 && m_advisoryPanel)
        bar->removePanel(category, kAdvisoryPanel);
    m_advisoryPanel = false;
}

void InformationDisplays::ProcessMorrowpickMsg(const AdvisoryCall& call)
{
    try {
        const MorrowpickChange change = ProcessMorrowpickCalls(m_calls, call);
        if (change.destroyed)
            DestroyControl();
        else if (change.filledSlot >= 0 || change.removed)
            CreateControl();
        publishCallSecurities();
        // The call's security is carried by the feed from now on (the
        // subscription's rebuild takes the calls' securities).
        if (change.filledSlot >= 0 && m_calls.GetSecurityIndex(call.callId) >= 0)
            Update_Feeds_Token();
    } catch (...) {
        WriteLog(0, "Exception in DisplayMorrowpickThread");
    }
}

void InformationDisplays::OnAdvisoryCallButton(int id)
{
    if (m_calls.displayType != 2)
        return;
    const int slot = m_calls.SlotOfCommand(id);
    ShowMorrowpickOrderForm(&m_frame, slot < 0 ? std::vector<std::string>{} : m_calls.Slots()[size_t(slot)].fields);
}

// ------------------------------------------------------------------ day events

CDlgPopupDaysEvent* InformationDisplays::Popup()
{
    auto* popup = new CDlgPopupDaysEvent;
    popup->onAccept = [this](int commandId) {
        const int slot = m_events.SlotOfCommand(commandId);
        if (slot >= 0)
            AcceptDaysEvent(m_events.Slots()[size_t(slot)].productId);
    };
    popup->onLink = [this](const std::string& link) {
        // The link came with the feed: only a web page is opened.
        if (!IsOpenableAddress(link)) {
            WriteLog(0, "Terms link not opened : [" + link + "]");
            return;
        }
        if (m_services.shell)
            m_services.shell->openUrl(link, pf::ShowMode::Normal);
    };
    popup->Fill(m_events);
    m_popup = popup;
    return popup;
}

void InformationDisplays::CreateRibbonButton()
{
    ui::CommandBar* bar = m_frame.Ribbon();
    const int category = RibbonCategory();
    if (!bar) {
        WriteLog(0, "RibbonBar not found.");
        return;
    }
    if (category < 0)
        return;
    WriteLog(3, "Entry : CDaysProductEvents::CreateRibbonButton");
    const int panel = bar->addPanel(category, kDaysEventsPanel);
    const QString caption = QString::fromStdString(DayEventsCaption(m_events.Count()));
    const ImageCollection* big = GetImageCollection(302);
    bar->addPopupButton(
        panel, kDaysEventsButton, caption,
        [self = m_self](QWidget* parent) -> QWidget* {
            InformationDisplays* d = self->load();
            if (!d)
                return nullptr;
            CDlgPopupDaysEvent* popup = d->Popup();
            popup->setParent(parent);
            return popup;
        },
        big ? big->icon(0) : QIcon());
    m_daysPanel = true;
    WriteLog(3, "Exit : CDaysProductEvents::CreateRibbonButton");
}

void InformationDisplays::RemoveRibbonButton()
{
    ui::CommandBar* bar = m_frame.Ribbon();
    const int category = RibbonCategory();
    if (m_popup)
        if (QWidget* menu = m_popup->parentWidget())
            menu->close();
    if (bar && category >= 0)
        bar->removePanel(category, kDaysEventsPanel);
    m_events.Clear();
    m_daysPanel = false;
}

void InformationDisplays::UpdateRibbonButton()
{
    if (m_events.Count() > 0 && m_daysPanel)
        if (ui::CommandBar* bar = m_frame.Ribbon())
            if (QAction* a = bar->action(kDaysEventsButton)) {
                const QString caption = QString::fromStdString(DayEventsCaption(m_events.Count()));
                a->setText(caption);
                a->setToolTip(caption);
                a->setStatusTip(caption);
            }
    // An open popup follows the table.
    if (m_popup)
        m_popup->Fill(m_events);
}

void InformationDisplays::ProcessDayProductEventMsg(const std::vector<std::string>& fields)
{
    WriteLog(3, "Entry : ProcessDayProductEventMsg");
    try {
        if (m_events.SetData(fields) != -1) {
            if (m_events.Count() > 0 && !m_daysPanel)
                CreateRibbonButton();
            else if (m_events.Count() == 0 && m_daysPanel)
                RemoveRibbonButton();
            UpdateRibbonButton();
        }
    } catch (...) {
        WriteLog(0, "Exception in ProcessDayProductEventMsg");
    }
    WriteLog(3, "Exit : ProcessDayProductEventMsg");
}

void InformationDisplays::refusedWhileLocked() const
{
    MyMessageBox("Terminal is Locked. Pls Unlock to proceed.", kProductCaption, MsgOk | MsgIconInformation);
}

void InformationDisplays::AcceptDaysEvent(int productId)
{
    if (m_services.locked && m_services.locked()) {
        refusedWhileLocked();
        return;
    }
    const int slot = m_events.SearchEvent(productId);
    std::string title = slot >= 0 ? m_events.Slots()[size_t(slot)].name : std::string("Days Event");
    std::string link = slot >= 0 ? m_events.Slots()[size_t(slot)].termsLink
                                 : (m_services.brokerWebAddress ? m_services.brokerWebAddress() : std::string());
    acceptRequest(productId, 0, std::move(title), std::move(link));
}

void InformationDisplays::acceptRequest(int id, int lastField, std::string title, std::string link)
{
    const std::string request
        = AcceptDaysEventRequest(fixed(pv_user_info.session_id, sizeof pv_user_info.session_id),
                                 fixed(pv_user_info.user_id, sizeof pv_user_info.user_id),
                                 fixed(pv_user_info.client_code, sizeof pv_user_info.client_code),
                                 fixed(pv_user_info.local_address, sizeof pv_user_info.local_address), id, lastField);
    const int encrypt = pv_user_info.encrypt;
    ServerAccess* server = m_services.server;
    ++m_busy;
    const bool started = pf::Worker::start("AcceptDaysEvent", [self = m_self, server, encrypt, request, lastField,
                                                               title = std::move(title), link = std::move(link)] {
        ServerReply reply;
        try {
            reply = server->requestServer(encrypt, 1013, request);
        } catch (...) {
            WriteLog(0, lastField == 2 ? "Exception in OnBtnBkfClicked" : "Exception in AcceptDaysEvent");
        }
        const AcceptReply r = ReadAcceptReply(reply.status, reply.body);
        ui::UiThread::post([self, r, lastField, title, link] {
            InformationDisplays* d = self->load();
            if (!d)
                return;
            --d->m_busy;
            switch (r.kind) {
            case AcceptReply::Transport:
                if (lastField == 2)
                    MsgBoxInfo(r.text);
                else
                    WriteLog(0, r.text);
                break;
            case AcceptReply::Blank:
                if (lastField == 2)
                    MsgBoxInfoCaption(r.text, "Client Message");
                else
                    WriteLog(0, r.text);
                break;
            case AcceptReply::Refused:
                MsgBoxInfoCaption(r.text, "Server Message");
                break;
            case AcceptReply::Accepted: {
                // The popup note's fields are escaped, so a '|' in the
                // server's text or the feed's link cannot shift a field.
                UserPopupFields f;
                f.text = r.text;
                if (lastField == 2) {
                    f.kind = f.eventId = 8;
                    f.address = d->m_services.brokerWebAddress ? d->m_services.brokerWebAddress() : "";
                    if (ui::CaptionBar* bar = d->m_frame.CaptionBarOf(kBrackenfoldBar, false))
                        bar->close();
                } else {
                    f.kind = f.eventId = 7;
                    f.address = link;
                    f.title = title;
                    f.linkText = "Terms & Conditions"; // the resource text "Terms &&
                                                       // Conditions" as shown
                }
                ui::mailbox::post(d->m_frameRef, ui::Note{ui::NoteId::UserPopup, 0, 0, FormatUserPopupText(f)});
                break;
            }
            }
            emit d->exchangeDone();
        });
    });
    if (!started)
        --m_busy;
}

// ------------------------------------------------------------------ reference
// rate

void InformationDisplays::OnUpdateRbiRefRate()
{
    if (m_busy > 0)
        return;
    RequestSession session;
    session.session_id = fixed(pv_user_info.session_id, sizeof pv_user_info.session_id);
    session.user_id = fixed(pv_user_info.user_id, sizeof pv_user_info.user_id);
    session.encrypt = pv_user_info.encrypt;
    ServerAccess* server = m_services.server;
    ++m_busy;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const bool started = pf::Worker::start("OnUpdateRbiRefRate", [self = m_self, server, session] {
        int result = -1;
        try {
            result = GetCrossCurrencyRefRate(*server, session);
        } catch (...) {
            WriteLog(0, "Exception in OnUpdateRbiRefRate");
        }
        ui::UiThread::post([self, result] {
            QApplication::restoreOverrideCursor();
            InformationDisplays* d = self->load();
            if (!d)
                return;
            --d->m_busy;
            if (result == 0)
                MsgBoxOk("RBI reference Rate updated successfully.");
            emit d->exchangeDone();
        });
    });
    if (!started) {
        --m_busy;
        QApplication::restoreOverrideCursor();
    }
}

// ------------------------------------------------------------------ offers

void InformationDisplays::OnParticipate()
{
    if (m_sunvaleOfferId != -1)
        DisplaySunvaleHours();
    else if (m_brackenfoldOfferId != -1)
        DisplayBkf();
}

void InformationDisplays::OnShowOfferCommand(int id)
{
    if (id == kShowSunvaleHours)
        DisplaySunvaleHours();
    else if (id == kShowBrackenfold)
        DisplayBkf();
}

void InformationDisplays::OnAcceptSunvaleHour()
{
    // No current offer: nothing to accept (the request would carry id -1).
    if (m_sunvaleOfferId == -1) {
        WriteLog(1, "Sunvale Hours accept without a current offer");
        return;
    }
    AcceptDaysEvent(m_sunvaleOfferId);
}

void InformationDisplays::OnBtnBkfClicked()
{
    if (m_brackenfoldOfferId == -1) {
        WriteLog(1, "Brackenfold accept without a current offer");
        return;
    }
    if (m_services.locked && m_services.locked()) {
        refusedWhileLocked();
        return;
    }
    acceptRequest(m_brackenfoldOfferId, 2, {}, {});
}

void InformationDisplays::DisplaySunvaleHours()
{
    // The offer store has no records (no message fills it): with no record
    // of the current offer there is nothing to show.
    WriteLog(1, formatText("No Sunvale Hours offer %d to show", m_sunvaleOfferId));
}

void InformationDisplays::DisplayBkf()
{
    WriteLog(3, "Entry : DisplayBkf");
    WriteLog(1, formatText("No Brackenfold offer %d to show", m_brackenfoldOfferId));
    WriteLog(3, "Exit : DisplayBkf");
}

void InformationDisplays::CreateCaptionBar(const std::string& text, int kind, int colourState, QColor colour)
{
    if (kind != 1 && kind != 3)
        return;
    const int id = kind == 1 ? kSunvaleBar : kBrackenfoldBar;
    ui::CaptionBar* bar = m_frame.CaptionBarOf(id, true);
    if (!bar)
        return;
    bar->setColours(offerBackground(colourState, colour), Qt::white);
    bar->setIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
    bar->setText(QString::fromStdString(text));
    if (kind == 1)
        bar->setButton(kAcceptSunvaleHour, "Accept", "Click to accept to gain Sunvale Hour benefits.");
    else
        bar->setButton(kAcceptBrackenfold, "Accept", "Click to accept to gain Brackenfold benefits.");
    bar->show();
    WriteLog(3, "Exit : CreateCaptionBar");
}

void InformationDisplays::UpdateCaptionBar(const std::string& text, int kind, int colourState, QColor colour)
{
    if (kind != 1 && kind != 3)
        return;
    ui::CaptionBar* bar = m_frame.CaptionBarOf(kind == 1 ? kSunvaleBar : kBrackenfoldBar, false);
    if (!bar)
        return;
    bar->setColours(offerBackground(colourState, colour), Qt::white);
    bar->setIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation));
    bar->setText(QString::fromStdString(text));
}
