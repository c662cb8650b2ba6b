#include "server/SecurityTable.h"

#include "market/CScriptDetails.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/ScripDetailsData.h"
#include "server/RequestServer.h"
#include "server/ServerAccess.h"

#include "pf/threads.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QPointer>
#include <QVBoxLayout>

#include <atomic>

struct CScriptDetails::Alive {
    std::atomic<bool> open{true};
};

namespace script_details_detail {
namespace {

ui::FormSpec detailsSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CScriptDetails::kTemplateId;
    spec.name = "CScriptDetails";
    spec.caption = "Scrip Details";
    spec.width = 380;
    spec.height = 250;
    const ui::EditRules readOnly{false, 0, "", true};
    spec.controls = {
        {-1, ControlKind::Label, "Scrip Name :", {6, 8, 50, 10}},
        {CScriptDetails::kName, ControlKind::Edit, "", {58, 6, 240, 12}, readOnly},
        {CScriptDetails::kSearch, ControlKind::Button, "&Search", {304, 5, 50, 14}},
        {CScriptDetails::kList, ControlKind::Static, "", {6, 24, 368, 190}},
        {-1, ControlKind::Label, "Market Lot :", {6, 222, 46, 10}},
        {CScriptDetails::kMarketLot, ControlKind::Edit, "", {54, 220, 60, 12}, readOnly},
        {-1, ControlKind::Label, "Tick Size :", {124, 222, 40, 10}},
        {CScriptDetails::kTickSize, ControlKind::Edit, "", {166, 220, 60, 12}, readOnly},
        {1, ControlKind::Button, "&Clear", {250, 232, 56, 14}},
        {2, ControlKind::Button, "Cancel", {314, 232, 56, 14}},
    };
    return spec;
}

} // namespace
} // namespace script_details_detail

CScriptDetails::CScriptDetails(QWidget* parent)
    : ui::Form(script_details_detail::detailsSpec(), parent), m_alive(std::make_shared<Alive>())
{
    if (QWidget* holder = control(kList)) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_list = new CMyListCtrl(holder);
        layout->addWidget(m_list);
    }
    // "&Search" has nothing to do here.
    onClick(kSearch, [] {});
    m_reload = SecurityReload::instance().add("scrip details", [this](const SecurityTable& before, SecurityTable& after) {
        if (m_security < 0)
            return SecurityReload::Outcome{};
        const int found = ReresolveSecurity(before, after, m_security);
        if (found >= 0) {
            m_security = found;
            return SecurityReload::Outcome{};
        }
        m_security = -1;
        m_reload.reset();
        reject();
        MsgBoxOk("The security of these Scrip Details is no longer in the security file.");
        return SecurityReload::Outcome{true, "Scrip Details"};
    });
}

CScriptDetails::~CScriptDetails()
{
    m_alive->open.store(false);
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void CScriptDetails::onInit()
{
    try {
        SetAccessTime();
        if (m_security == -1) {
            enable(kSearch, true);
            return;
        }
        enable(kSearch, false);
        enable(1, false);
        const auto table = SecurityTable::current();
        if (!table || !table->valid(m_security))
            return;
        const SecurityRecord& rec = table->row(m_security);
        m_commodity = rec.commodity != 0;
        m_currency = rec.currency != 0;
        const ScripDetailsKind kind{m_commodity, m_currency};
        setText(kName, ScripDetailsName(rec.displayKey().view(), rec.market_exchange.view()));
        setText(kMarketLot, formatText("%d", rec.market_lot));
        setText(kTickSize, ScripDetailsTick(rec.tick_size, kind));
        if (m_list) {
            m_list->model().setColumns({"", "", "", ""});
            const int widths[4] = {125, 160, 125, 150};
            for (int c = 0; c < 4; ++c)
                m_list->setColumnWidth(c, widths[c]);
            if (IsDarkTheme())
                m_list->ResetSortState(8);
            for (const auto& row : ScripDetailsLayout(kind)) {
                const int id = m_list->model().addRow();
                m_list->model().setText(id, 0, QString::fromStdString(row[0]));
                m_list->model().setText(id, 2, QString::fromStdString(row[2]));
            }
        }
        Get_Data();
        showControl(kSearch, false);
        showControl(1, false);
    } catch (...) {
        WriteLog(0, "Exception in CScriptDetails::OnInitDialog");
    }
}

void CScriptDetails::Get_Data()
{
    const auto table = SecurityTable::current();
    if (!table || !table->valid(m_security))
        return;
    const SecurityRecord& rec = table->row(m_security);
    const std::string request = ScripDetailsRequest(FixedTextView(pv_user_info.session_id), rec.token,
                                                    rec.market_exchange.view());
    const int encrypt = pv_user_info.encrypt;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<CScriptDetails> self(this);
    std::shared_ptr<Alive> alive = m_alive;
    ServerAccess* server = m_server;
    const bool started = pf::Worker::start("ScripDetails", [self, alive, request, encrypt, server] {
        std::string reply;
        int status = 0;
        if (server) {
            ServerReply r = server->requestServer(encrypt, 22, request);
            status = r.status;
            reply = std::move(r.body);
        } else {
            long length = 0;
            status = RequestServer(encrypt, 22, request, reply, length);
        }
        if (!alive->open.load())
            return;
        ui::UiThread::post([self, status, reply] {
            if (self)
                self->ApplyReply(status, reply);
        });
    });
    if (!started)
        QApplication::restoreOverrideCursor();
}

int CScriptDetails::ApplyReply(int httpStatus, const std::string& reply)
{
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    try {
        if (httpStatus == 407) {
            MsgBoxInfoCaption("Proxy Authentication Failed", "Internet Error");
            return -1;
        }
        if (httpStatus != 200) {
            MsgBoxInfoCaption(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator",
                                         httpStatus),
                              "Internet Error");
            return -1;
        }
        WriteLog(3, formatTextCapped(4095, "Scrip Details :Response Len <%ld> data %s",
                                     static_cast<long>(reply.size()), reply.c_str()));
        ScripDetailsRows rows = ScripDetailsLayout({m_commodity, m_currency});
        const ScripDetailsResult r = ApplyScripDetailsReply(reply, {m_commodity, m_currency}, rows);
        if (r.empty)
            return 0;
        if (r.status != 0) {
            WriteLog(3, r.message);
            MsgBoxInfo(r.message);
            return r.status;
        }
        if (m_list) {
            ui::GridModel& m = m_list->model();
            for (size_t i = 0; i < rows.size(); ++i) {
                const int id = m.idAt(static_cast<int>(i));
                if (id < 0)
                    break;
                for (int c = 0; c < 4; ++c)
                    m.setText(id, c, QString::fromStdString(rows[i][static_cast<size_t>(c)]));
            }
        }
        m_loaded = true;
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in Get_Data");
        return -1;
    }
}

std::string CScriptDetails::cellText(int row, int column) const
{
    if (!m_list)
        return {};
    const int id = m_list->model().idAt(row);
    return id < 0 ? std::string() : m_list->model().text(id, column).toStdString();
}

int CScriptDetails::rowCount() const
{
    return m_list ? m_list->model().rowTotal() : 0;
}

void ShowScripDetails(int security, QWidget* parent)
{
    try {
        SetAccessTime();
        CScriptDetails details(parent);
        details.setSecurityIndex(security);
        ui::modalHost().run(details);
    } catch (...) {
        WriteLog(0, "Exception in OnPopupScripDetails");
    }
}
