#pragma once
// Forced into every file of the libFuzzer build (cmake/Sanitizers.cmake).
// clang before 15 has no __builtin_source_location, so libstdc++'s
// <source_location> declares nothing for it; the UI-thread guard's reports
// take std::source_location. This stands in with the same three facts from
// the builtins clang has, and is never used by a compiler that has the type.
#include <source_location>

#if !defined(__cpp_lib_source_location) && defined(__clang__)
namespace std {
struct source_location {
    static constexpr source_location current(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE(),
                                             const char* function = __builtin_FUNCTION()) noexcept
    {
        source_location where;
        where.m_file = file;
        where.m_line = line;
        where.m_function = function;
        return where;
    }
    constexpr const char* file_name() const noexcept { return m_file; }
    constexpr unsigned line() const noexcept { return m_line; }
    constexpr unsigned column() const noexcept { return 0; }
    constexpr const char* function_name() const noexcept { return m_function; }

private:
    const char* m_file = "";
    unsigned m_line = 0;
    const char* m_function = "";
};
} // namespace std
#endif
