#pragma once
// The one notice that the security master was loaded again. A reload builds a
// new table whose rows may be numbered differently (a new security sorting
// ahead moves every row after it), so whatever keeps a security index — an
// alert, a chart and its compared securities, a depth window, an order form,
// a subscription without a window — registers here and, when told, finds its
// security again by token and exchange in the new table, or closes (or
// empties) and says so. The download command tells the holders on the UI
// thread, after the new table is published and while the previous one is
// still held, so each holder can read what its old index named.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SecurityTable;

class SecurityReload {
public:
    // What a holder did with the new table: kept its securities, or closed
    // (or emptied) because its security is gone, having told the user;
    // `closed_what` names it for the log.
    struct Outcome {
        bool closed = false;
        std::string closed_what;
    };
    using Handler = std::function<Outcome(const SecurityTable& before, SecurityTable& after)>;

    // Unregisters when destroyed; a holder keeps it as a member so a closed
    // window is never told.
    class Registration {
    public:
        Registration() = default;
        Registration(Registration&&) noexcept = default;
        Registration& operator=(Registration&&) noexcept = default;
        ~Registration() = default;
        bool active() const { return m_token != nullptr; }
        void reset() { m_token.reset(); }

    private:
        friend class SecurityReload;
        std::shared_ptr<int> m_token;
    };

    static SecurityReload& instance();

    // `name` is the holder's kind ("alerts", "chart", "depth" ...), logged
    // and listed for tests.
    [[nodiscard]] Registration add(std::string name, Handler handler);

    // Tells every registered holder, in registration order; holders that
    // register or go while it runs are not disturbed. Returns the texts of
    // the windows that closed.
    std::vector<std::string> notify(const SecurityTable& before, SecurityTable& after);

    // The kinds of the holders registered now, in registration order.
    std::vector<std::string> holders() const;

private:
    struct Entry {
        std::string name;
        std::weak_ptr<int> alive;
        std::shared_ptr<Handler> handler;
    };
    void prune(); // under m_mutex

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries; // guarded by m_mutex
};

// The row of `after` that holds the security row `index` of `before` holds,
// found by token and exchange; -1 when `index` names no row of `before` or
// the security is gone.
int ReresolveSecurity(const SecurityTable& before, const SecurityTable& after, int index);
