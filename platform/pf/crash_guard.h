#pragma once
// The last safety net of the process: a fault (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGTRAP, SIGABRT) or a C++ exception that escapes every handler is
// described in a plain-text crash report appended to the report file, once per
// process, and the process then dies of the original signal. A fault is never
// turned into an exception: after a wild access the process state cannot be
// trusted, so it ends.
//
// The report keeps the layout of the terminal's crash files on every platform:
// faults carry the classic 32-bit exception codes (0xC0000005 access
// violation, ...), the register block keeps its EDI/ESI/... labels and shows
// the low 32 bits of the x86-64 registers (RDI, RSI, ...), addresses outside
// the register block (fault location, module base) are printed in full with
// at least 8 hex digits, and the module list comes from /proc/self/maps with
// zero checksum, time stamp and version data (ELF files carry none).
//
// The handler runs on an alternate signal stack and uses async-signal-safe
// calls only: everything that needs the C library (program path, user name,
// time zone offset, processor count) is read by install().
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pf {

// Exception codes of the report.
enum : uint32_t {
    kCodeDatatypeMisalignment = 0x80000002, // SIGBUS
    kCodeBreakpoint = 0x80000003,           // SIGTRAP
    kCodeAccessViolation = 0xC0000005,      // SIGSEGV
    kCodeIllegalInstruction = 0xC000001D,   // SIGILL
    kCodeFloatDivideByZero = 0xC000008E,    // SIGFPE FPE_FLTDIV
    kCodeFloatInvalidOperation = 0xC0000090, // other SIGFPE
    kCodeIntDivideByZero = 0xC0000094,      // SIGFPE FPE_INTDIV
    kCodeStackOverflow = 0xC00000FD,        // SIGSEGV next to the stack pointer
    kCodeAbort = 0xC0000409,                // SIGABRT (abort, failed assertion)
    kCodeCppException = 0xE06D7363,         // uncaught C++ exception (std::terminate)
};

// "an Access Violation", ...; "an Unknown exception type" for other codes.
const char* exceptionDescription(uint32_t code);
// "ACCESS_VIOLATION", ...; nullptr for a code without a name.
const char* exceptionName(uint32_t code);
// "Exception ACCESS_VIOLATION (0xc0000005) at address 0x0040123a." or
// "Unknown exception." for a code without a name.
std::string faultText(uint32_t code, uint64_t address);

// Local calendar time as the report shows it ("%d/%d/%d %02d:%02d:%02d",
// month first).
struct CrashTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// One executable image of the process for the report's module list.
struct CrashModule {
    const char* path = "";
    uint64_t base = 0;
    uint64_t size = 0;
    int64_t fileSize = 0;   // 0 when the file cannot be read
    bool hasFileTime = false; // false: the time is left empty
    CrashTime fileTime;
};

// Everything one report says. Strings are borrowed; nothing is allocated.
struct FaultInfo {
    const char* programName = "Unknown"; // file name without folder and extension
    const char* programPath = "Unknown";
    const char* userName = "Unknown";
    const char* moduleName = "Unknown";  // file name of the module holding the fault
    uint32_t code = 0;
    // The access-violation line: shown for code 0xC0000005 when known.
    bool hasAccess = false;
    bool writeAccess = false;
    uint64_t accessAddress = 0;
    // Registers (low 32 bits of the x86-64 ones).
    uint32_t edi = 0, esi = 0, eax = 0, ebx = 0, ecx = 0, edx = 0;
    uint32_t eip = 0, ebp = 0, segCs = 0, eflags = 0, esp = 0, segSs = 0;
    uint64_t instruction = 0; // full instruction pointer
    int16_t codeBytes[16] = {}; // -1: not readable
    CrashTime time;
    int processors = 0;
    int processorType = 0;
    int memoryLoad = 0; // percent in use
    uint64_t physicalTotal = 0, physicalFree = 0; // bytes
    uint64_t pagingTotal = 0, pagingFree = 0;
    uint64_t virtualTotal = 0, virtualFree = 0;
    const CrashModule* modules = nullptr;
    size_t moduleCount = 0;
};

// Formats the whole report (start marker to end marker) into out. Writes at
// most capacity bytes (no terminating zero) and returns the length of the
// whole report, as snprintf does; no allocation, safe in a signal handler.
size_t formatCrashReport(const FaultInfo& info, char* out, size_t capacity);

class CrashGuard {
public:
    // Installs the handlers for the process: the report goes to reportPath
    // (normally "Vortanex_DUMP.dmp" in the program folder); programName names
    // the program in the report (empty: the executable's name without its
    // extension). Also sets up the calling thread's alternate signal stack and
    // makes installThread the thread-start hook of pf::Worker and the handler
    // pool. Call once at start-up, before other threads; false when the path
    // is too long or a handler cannot be installed.
    static bool install(const std::filesystem::path& reportPath, std::string_view programName);

    // Gives the calling thread an alternate signal stack, so that a stack
    // overflow still reaches the handler. Keeps a large enough stack that is
    // already set (a sanitizer's); frees its own when the thread ends. A plain
    // function usable as a thread-start hook.
    static void installThread();
};

} // namespace pf
