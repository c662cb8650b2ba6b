#include "positions/RiskReportThread.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "pf/threads.h"
#include "server/RequestServer.h"

#include <exception>

void RiskHandover::put(RiskOutcome outcome)
{
    std::lock_guard lock(m_mutex);
    m_outcomes.push_back(std::move(outcome));
}

std::optional<RiskOutcome> RiskHandover::take()
{
    std::lock_guard lock(m_mutex);
    if (m_outcomes.empty())
        return std::nullopt;
    RiskOutcome out = std::move(m_outcomes.front());
    m_outcomes.pop_front();
    return out;
}

RiskExchange DefaultRiskExchange()
{
    return [](int encrypt, int transCode, const std::string& text, std::string& reply) {
        long length = 0;
        return RequestServer(encrypt, transCode, text, reply, length);
    };
}

namespace {

// What the window is told after an exception: re-enable, and a box.
RiskOutcome exceptionOutcome(int type)
{
    RiskOutcome out;
    out.type = type;
    out.post = true;
    out.note = kRiskNoteFailed;
    switch (type) {
    case kRiskLimits: out.box = "Unable to download Limits Report. Please Try Again..."; break;
    case kRiskPositions: out.box = "Unable to download Position Report. Please Try Again..."; break;
    case kRiskHoldings: out.box = "Unable to download Holding Report. Please Try Again..."; break;
    default: out.box = formatText("Exception while getting Risk Report: %d", type); break;
    }
    return out;
}

} // namespace

void GetRiskReportThread(const RiskJob& job, const ui::WindowRef& window, const std::shared_ptr<RiskHandover>& handover,
                         const RiskExchange& exchange)
{
    RiskOutcome out;
    try {
        WriteLog(0, "Entry in GetRiskReportThread");
        WriteLog(0, formatText("Client <%s>, Risk Request [%d]", job.client.c_str(), job.type));
        std::string reply;
        const int status = exchange(job.encrypt, job.type, job.text, reply);
        if (status != 200) {
            WriteLog(0, formatText("Http Error Code :%d", status));
            out = RiskHttpFailure(job.type, status);
        } else {
            WriteLog(3, formatText("Risk Request [%d], Response Len <%ld>", job.type, static_cast<long>(reply.size())));
            RiskParseContext context;
            context.securities = &TableRiskSecurities();
            context.segment_ids = job.segmentIds;
            out = ParseRiskReply(job.type, reply, job.client, job.clientText, context);
        }
        if (job.mis) {
            // The figures only; the limits grid keeps its record, and an HTTP
            // failure is only logged.
            if (status == 200 && !reply.empty())
                out = ParseMisReply(reply, job.clientText);
            else
                out = RiskOutcome{};
            if (!out.post) {
                out.post = true;
                out.note = kRiskNoteMis;
            }
            out.box.clear();
        }
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in download Risk Report : [%s]", e.what()));
        out = exceptionOutcome(job.type);
        out.box = "Exception while downloading  Risk Report. Please Try Again...";
    } catch (...) {
        WriteLog(0, formatText("Exception while getting Risk Report: %d", job.type));
        out = exceptionOutcome(job.type);
    }
    if (!out.post || !window.isAlive())
        return;
    const int note = out.note;
    const long count = out.count;
    std::string text = out.text;
    handover->put(std::move(out));
    ui::mailbox::post(window, ui::Note{ui::NoteId::RiskReport, note, count, std::move(text)});
}

bool StartRiskReport(RiskJob job, ui::WindowRef window, std::shared_ptr<RiskHandover> handover, RiskExchange exchange)
{
    if (!exchange)
        exchange = DefaultRiskExchange();
    return pf::Worker::start("GetRiskReportThread",
                             [job = std::move(job), window = std::move(window), handover = std::move(handover),
                              exchange = std::move(exchange)] { GetRiskReportThread(job, window, handover, exchange); });
}
