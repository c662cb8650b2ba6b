#pragma once
// The server exchanges a form runs on its workers (a basket send, a position
// conversion, their queries): the exit waits for them briefly with the UI
// served, then ends those still out and names on the Trading list each
// order or conversion whose reply it did not see.
#include "server/ExchangeCancel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ExchangesInFlight {
public:
    struct Flight {
        std::shared_ptr<ExchangeCancel> cancel = std::make_shared<ExchangeCancel>();
        std::string what; // named if the exit ends it; empty for a query nobody needs told of
        // Out, then either answered (the worker reports) or ended at exit
        // (the exit reports): whichever comes first, the other stays quiet.
        bool answered() { return leave(Answered); }
        bool end() { return leave(Ended); }
        // The exit ended it: a worker between several requests stops.
        bool ended() const { return m_state.load() == Ended; }

    private:
        enum State { Out, Answered, Ended };
        std::atomic<int> m_state{Out};
        bool leave(State to)
        {
            int out = Out;
            return m_state.compare_exchange_strong(out, to);
        }
    };

    // Any thread: an exchange starts; finish() it on every way out.
    std::shared_ptr<Flight> start(std::string what = {})
    {
        auto flight = std::make_shared<Flight>();
        flight->what = std::move(what);
        std::lock_guard lock(m_mutex);
        m_flights.push_back(flight);
        return flight;
    }
    void finish(const std::shared_ptr<Flight>& flight)
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_flights, flight);
        m_done.notify_all();
    }
    // True when none is out within the time (the caller pumps around it).
    bool waitAll(int timeoutMs)
    {
        std::unique_lock lock(m_mutex);
        return m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_flights.empty(); });
    }
    // Ends every exchange still out; the texts of those ended here that
    // carry one, for the caller to name.
    std::vector<std::string> endAll()
    {
        std::vector<std::shared_ptr<Flight>> flights;
        {
            std::lock_guard lock(m_mutex);
            flights = m_flights;
        }
        std::vector<std::string> unknown;
        for (const auto& flight : flights) {
            if (!flight->end())
                continue; // its reply is in: the worker reports it
            flight->cancel->cancel();
            if (!flight->what.empty())
                unknown.push_back(flight->what);
        }
        return unknown;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<std::shared_ptr<Flight>> m_flights; // guarded by m_mutex
};
