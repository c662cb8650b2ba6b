#pragma once
// One price alert: which quote value of which security it watches, the
// threshold and how it fires. The alerts file stores one record a line; the
// text key ties the record to its security, type, criteria and value.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct QuoteData;

// An alert type: its name in the type list, the column kind whose quote value
// it watches, and the scale from the typed value to that value's units.
struct AlertType {
    const char* name;
    int quoteField;
    double scale;
};

constexpr int kAlertTypeCount = 8;
// Indexed by the type id (0 Bid Price ... 7 NetChange).
extern const AlertType kAlertTypes[kAlertTypeCount];

// 0 ">=" fires at or above the trigger, 1 "<" below it.
constexpr int kCriteriaAtOrAbove = 0;
constexpr int kCriteriaBelow = 1;
const char* AlertCriteriaText(int criteria);

// The decimals of a typed value in the key, the list and the description:
// none for the quantity types (4 to 6), 4 for exchange "CN", else 2.
int AlertValueDecimals(int type, std::string_view exchange);

struct AlertRecord {
    AlertRecord(); // set time: now, from the program's clock

    int secIndex = -1;
    int type = 0;
    int quoteField = 0;
    int criteria = -1;
    double trigger = 0;  // in the quote value's units (paise, hundredths, quantity)
    double typed = 0;    // as the user typed it
    bool recurring = false;
    bool triggered = false;
    std::string name;        // at most 20 characters; never '|' or a line end
    std::string description; // never '|' or a line end
    int64_t setTime = 0;     // epoch seconds
    int64_t trackedTime = 0; // when it last fired; 0 never

    // The security as the file names it, so that the alert finds its
    // security again after the master is downloaded anew.
    int watchToken = 0;
    std::string symbol;

    // The record part of a file line, from the '|' after the key to the '|'
    // before the watch token; typed value with 2, or 4, decimals. Field 6
    // (triggered) is always written 0, and a '|' or line end left in a text is
    // written as a blank.
    std::string FormatLine() const;
    std::string FormatLine4() const;

    // Fills the record from fields 1 to 22 of a split line. False (the record
    // then is not to be used) when a field is out of range: a type other than
    // 0 to 7, a quote field other than the type's, a criteria other than 0 or
    // 1, a number that does not read, or a date field out of range.
    bool ParseFields(const std::vector<std::string>& fields);

    // The condition against a quote as stored; a value that is not a number
    // never fires.
    bool conditionHolds(const QuoteData& quote) const;
};

// The table key "%ld~%s~%s~%.2lf" (decimals by AlertValueDecimals).
std::string AlertKey(int type, std::string_view displayKey, int criteria, double typed, int decimals);

// The description "%s of %s [%s] %s %.2lf" (decimals by AlertValueDecimals).
std::string AlertDescription(int type, std::string_view displayKey, std::string_view exchangeName, int criteria,
                             double typed, int decimals);

// A name or description made safe for the file: '|', CR and LF become blanks.
std::string AlertFileText(std::string_view text);

// "%Y|%m|%d|%H|%M|%S" of the local time.
std::string AlertTimeFields(int64_t seconds);
