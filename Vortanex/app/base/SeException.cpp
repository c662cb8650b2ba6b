#include "app/base/SeException.h"

#include "app/base/LogWriter.h"

#include "pf/crash_guard.h"

#include <cstring>

CSeException::CSeException(uint32_t code, uint64_t address)
    : m_code(code), m_address(address), m_text(pf::faultText(code, address))
{
}

bool CSeException::GetErrorMessage(char* buffer, unsigned maxLength, unsigned* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    if (!buffer || maxLength == 0)
        return false;
    if (m_text.size() < maxLength) {
        std::memcpy(buffer, m_text.c_str(), m_text.size() + 1);
        return true;
    }
    buffer[0] = '\0';
    return false;
}

const char* CSeException::Description(uint32_t code)
{
    return pf::exceptionDescription(code);
}

std::string CaughtText(std::string_view name)
{
    const std::exception_ptr current = std::current_exception();
    if (current) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            return "SException in " + std::string(name) + " : [" + e.what() + "]";
        } catch (...) {
        }
    }
    return "Exception in " + std::string(name);
}

void LogCaught(std::string_view name) noexcept
{
    // A catch-all block must not throw out of itself, not even for want of
    // memory for the line.
    try {
        WriteLog(0, CaughtText(name));
    } catch (...) {
    }
}
