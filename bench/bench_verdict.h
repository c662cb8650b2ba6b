#pragma once
// A benchmark's verdict: one line per goal with the figure, its limit, the
// goal and "met" or "missed", then a closing line; the exit code is non-zero
// when any goal was missed (or a precondition of the run did not hold, so
// that a run which measured nothing cannot pass).
//
// Two kinds of goal:
//  - a figure against a fixed bound (a stall in ms, bytes, a count): the
//    limit is the bound itself;
//  - a figure against a limit timed in the same run (the machine's bare
//    work): the goal is a ratio of the figure to that limit.
// A goal recorded again under the same name replaces the earlier one (a
// Google Benchmark function runs more than once while it sizes its loop).
#include <cstdio>
#include <string>
#include <vector>

namespace benchverdict {

class Verdict {
public:
    explicit Verdict(std::string benchmark) : m_benchmark(std::move(benchmark)) {}

    // figure <= limit (or < limit when strict).
    bool atMost(const std::string& what, double figure, double limit, const char* unit, bool strict = false)
    {
        const bool met = strict ? figure < limit : figure <= limit;
        return put(what, what + ": " + num(figure) + " " + unit + " | limit " + num(limit) + " " + unit + " | goal " +
                             (strict ? "<" : "<=") + " limit",
                   met);
    }
    // figure >= limit (a rate or a count that must be reached).
    bool atLeast(const std::string& what, double figure, double limit, const char* unit)
    {
        return put(what, what + ": " + num(figure) + " " + unit + " | limit " + num(limit) + " " + unit +
                             " | goal >= limit",
                   figure >= limit);
    }
    // figure / limit <= maxRatio, the limit timed in the same run.
    bool ratioAtMost(const std::string& what, double figure, double limit, double maxRatio, const char* unit,
                     const char* limitIs)
    {
        const double ratio = limit > 0 ? figure / limit : 0;
        char goal[96];
        std::snprintf(goal, sizeof goal, " | goal <= %.2fx limit, is %.2fx", maxRatio, ratio);
        return put(what, what + ": " + num(figure) + " " + unit + " | limit " + num(limit) + " " + unit + " (" + limitIs +
                             ")" + goal,
                   limit > 0 && ratio <= maxRatio);
    }
    // limit / figure >= minRatio: the figure is a cost the limit must exceed
    // by a factor (a baseline that is slower by design).
    bool ratioAtLeast(const std::string& what, double figure, double limit, double minRatio, const char* unit,
                      const char* limitIs)
    {
        const double ratio = figure > 0 ? limit / figure : 0;
        char goal[96];
        std::snprintf(goal, sizeof goal, " | goal limit >= %.0fx figure, is %.1fx", minRatio, ratio);
        return put(what, what + ": " + num(figure) + " " + unit + " | limit " + num(limit) + " " + unit + " (" + limitIs +
                             ")" + goal,
                   figure > 0 && ratio >= minRatio);
    }
    // A figure printed beside the goals with its limit, no goal of its own.
    void figure(const std::string& what, double figure, double limit, const char* unit, const char* limitIs)
    {
        char ratio[48];
        std::snprintf(ratio, sizeof ratio, " | %.2fx limit", limit > 0 ? figure / limit : 0.0);
        put(what, what + ": " + num(figure) + " " + unit + " | limit " + num(limit) + " " + unit + " (" + limitIs +
                      ")" + ratio + " | no goal",
            true, false);
    }
    // A condition without which the run proves nothing.
    bool require(const std::string& what, bool holds, const std::string& detail)
    {
        return put(what, what + ": " + detail + " | goal: holds", holds);
    }

    // Prints every goal and the closing line; returns the exit code.
    int finish() const
    {
        int missed = 0;
        size_t goals = 0;
        for (const Goal& g : m_goals) {
            if (!g.isGoal) {
                std::printf("  figure           %s\n", g.text.c_str());
                continue;
            }
            ++goals;
            std::printf("  verdict  %-6s  %s\n", g.met ? "met" : "MISSED", g.text.c_str());
            missed += g.met ? 0 : 1;
        }
        if (goals == 0)
            std::printf("%s: no goal was measured: missed\n", m_benchmark.c_str());
        else if (missed == 0)
            std::printf("%s: all %zu goals met\n", m_benchmark.c_str(), goals);
        else
            std::printf("%s: %d of %zu goals MISSED\n", m_benchmark.c_str(), missed, goals);
        std::fflush(stdout);
        return goals == 0 || missed > 0 ? 1 : 0;
    }

private:
    // Four significant digits, never an exponent.
    static std::string num(double v)
    {
        char text[64];
        std::snprintf(text, sizeof text, v >= 1e4 || v <= -1e4 ? "%.0f" : "%.4g", v);
        return text;
    }
    struct Goal {
        std::string what;
        std::string text;
        bool met;
        bool isGoal;
    };
    bool put(const std::string& what, std::string text, bool met, bool isGoal = true)
    {
        for (Goal& g : m_goals)
            if (g.what == what) {
                g = Goal{what, std::move(text), met, isGoal};
                return met;
            }
        m_goals.push_back(Goal{what, std::move(text), met, isGoal});
        return met;
    }

    std::string m_benchmark;
    std::vector<Goal> m_goals;
};

} // namespace benchverdict
