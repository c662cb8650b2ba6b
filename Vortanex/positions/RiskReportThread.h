#pragma once
// The risk report request on its own worker: the request is a value the
// thread owns, the reply is read into new arrays there, and the outcome is
// handed to the window, which stores it on the UI thread when the RiskReport
// note arrives. A window closed meanwhile gets nothing, and the outcome goes
// with the last reference to the hand-over.
#include "positions/RiskReplies.h"
#include "ui/mailbox.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// One request.
struct RiskJob {
    int type = 0;
    std::string text;       // the "RiskData=" text
    std::string client;     // the code it is for
    std::string clientText; // the window's client edit at sending
    int encrypt = 0;
    std::vector<int> segmentIds; // the delivery marks' segment ids
    bool mis = false;            // the "Get" button's limits fetch: only the MIS figures
};

// Outcomes on their way from workers to the window, in order.
class RiskHandover {
public:
    void put(RiskOutcome outcome);
    std::optional<RiskOutcome> take();

private:
    std::mutex m_mutex;
    std::deque<RiskOutcome> m_outcomes; // guarded by m_mutex
};

// The exchange: status and reply of one request (RequestServer by default;
// tests give their own).
using RiskExchange = std::function<int(int encrypt, int transCode, const std::string& text, std::string& reply)>;
RiskExchange DefaultRiskExchange();

// The thread body: sends, reads, hands over and posts the note (type, count,
// text) to the window. Runs on the calling thread.
void GetRiskReportThread(const RiskJob& job, const ui::WindowRef& window, const std::shared_ptr<RiskHandover>& handover,
                         const RiskExchange& exchange);
// Starts it on a pf::Worker; false when no thread could be started.
bool StartRiskReport(RiskJob job, ui::WindowRef window, std::shared_ptr<RiskHandover> handover,
                     RiskExchange exchange = {});
