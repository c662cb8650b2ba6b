#pragma once
// Expiry texts of the master ("05FEB21"), month names and the wrapping of a
// text into short lines for narrow displays.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Converts an expiry text DDMMMYY into "yyyymmdd" in out. Returns 0 on success
// (a month name that is not "JAN".."DEC" gives month 00), 1 for an empty text
// and 2 when the text does not hold day, month and year; out is untouched
// unless the result is 0.
int ExpiryTextToDate(std::string_view text, std::string& out);

// 1..12 for "JAN".."DEC" (exact, case-sensitive), else 0.
int MonthNumber(std::string_view text);

// Thrown by ParseExpiryDate: Fail for a part out of range, InvalidArg when the
// day cannot be represented as a local time.
class ExpiryDateError : public std::runtime_error {
public:
    enum Code { Fail, InvalidArg };
    ExpiryDateError(Code code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    Code code() const { return m_code; }

private:
    Code m_code;
};

// Local midnight of the expiry day as epoch seconds. Only the ranges are
// checked, so "31APR21" gives 1 May 2021.
int64_t ParseExpiryDate(std::string_view text);

// Splits text at single blanks into lines of at least 15 characters (the last
// may be shorter and keeps the blank appended after its word).
void WrapTextLines(std::string_view text, std::vector<std::string>& lines);
