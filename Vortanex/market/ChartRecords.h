#pragma once
// The records of a chart and its chart dates, shared by every chart control.
//
// A chart date is the number of days since 30 December 1899 plus the
// fraction of the local day; it grows with the local date and time it is made
// from and turns back into the same date and time to the second.
//
// A record is one chart date with one value per series (a column). Values
// that share a date form one record across every series; a later date
// appends a record (amortised constant time), an earlier one is inserted in
// date order. A series without a value on a record holds NaN there.
#include <string>
#include <vector>

struct ChartDateFields {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// Fields out of range roll over as on a calendar (month 13 is January of the
// next year, second 60 the next minute).
double ChartDateOf(int year, int month, int day, int hour, int minute, int second);
// The date and time of a chart date, rounded to the nearest second.
ChartDateFields ChartDateSplit(double chartDate);
// "dd/mm/yyyy hh:mm:ss".
std::string ChartDateText(double chartDate);

class ChartRecords {
public:
    // Two dates within half a second are the same record's.
    static constexpr double kSameDate = 0.5 / 86400.0;

    struct Put {
        int record = -1;     // 0-based record the value landed on
        bool added = false;  // a record was added for it
        bool appended = false; // ... at the end
    };

    // A new series column, empty on every record; returns its number.
    int addColumn();
    // Drops the column's values; its number is not reused.
    void removeColumn(int column);
    bool hasColumn(int column) const;
    // Removes every record and column.
    void clear();

    Put put(int column, double chartDate, double value);

    int count() const { return int(m_dates.size()); }
    double date(int record) const { return m_dates[size_t(record)]; }
    const std::vector<double>& dates() const { return m_dates; }
    // NaN for a missing value, an unknown column or record.
    double value(int column, int record) const;
    // The whole column (empty for an unknown column).
    const std::vector<double>& column(int column) const;

    // The record holding this date, -1 when there is none.
    int find(double chartDate) const;
    // A record position (0-based, fractional between records) for a date,
    // extrapolated past either end at the spacing of the nearest two records;
    // and the reverse. With fewer than two records one record is one day.
    double positionOf(double chartDate) const;
    double dateAt(double position) const;

private:
    std::vector<double> m_dates;
    std::vector<std::vector<double>> m_columns;
    std::vector<bool> m_live;
};
