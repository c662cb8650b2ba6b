#pragma once
// System-fault texts and the program's catch-all convention.
//
// A fault (access violation, division by zero, ...) is never turned into an
// exception here: the crash guard writes the crash report and the process
// ends. CSeException keeps the fault's code and address with the texts the
// terminal has always shown for them, for code that names a fault.
//
// Every catch-all block of the terminal logs what it caught with LogCaught:
//     catch (...) { LogCaught("SaveSettings"); }
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

class CSeException : public std::exception {
public:
    CSeException(uint32_t code, uint64_t address);

    uint32_t GetSeCode() const { return m_code; }
    uint64_t GetExceptionAddress() const { return m_address; }

    // "Exception ACCESS_VIOLATION (0xc0000005) at address 0x0040123a.", or
    // "Unknown exception." for a code without a name.
    const char* what() const noexcept override { return m_text.c_str(); }

    // Copies the text into buffer when it is shorter than maxLength and
    // returns true; otherwise leaves the buffer empty and returns false. Sets
    // *helpContext to 0 when given.
    bool GetErrorMessage(char* buffer, unsigned maxLength, unsigned* helpContext = nullptr) const;

    // The crash report's words for a code: "an Access Violation", ... or
    // "an Unknown exception type".
    static const char* Description(uint32_t code);

private:
    uint32_t m_code;
    uint64_t m_address;
    std::string m_text;
};

// The log line for the exception being handled; call it inside a catch block.
// An exception with a text (std::exception) gives "SException in <name> :
// [<its text>]", any other "Exception in <name>".
std::string CaughtText(std::string_view name);

// Writes CaughtText(name) to the log at level 0; call it inside a catch block.
void LogCaught(std::string_view name) noexcept;
