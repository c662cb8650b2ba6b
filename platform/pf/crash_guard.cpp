#include "pf/crash_guard.h"

#include "pf/threads.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iterator>

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <ucontext.h>
#include <unistd.h>

namespace pf {

namespace crash_guard_detail {

struct CodeText {
    uint32_t code;
    const char* text;
};

constexpr CodeText kNames[] = {
    {0x80000001, "GUARD_PAGE"},
    {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"},
    {0x80000004, "SINGLE_STEP"},
    {0xC0000005, "ACCESS_VIOLATION"},
    {0xC0000006, "IN_PAGE_ERROR"},
    {0xC0000008, "INVALID_HANDLE"},
    {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "INVALID_DISPOSITION"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "FLT_DENORMAL_OPERAND"},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "FLT_INEXACT_RESULT"},
    {0xC0000090, "FLT_INVALID_OPERATION"},
    {0xC0000091, "FLT_OVERFLOW"},
    {0xC0000092, "FLT_STACK_CHECK"},
    {0xC0000093, "FLT_UNDERFLOW"},
    {0xC0000094, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "INT_OVERFLOW"},
    {0xC0000096, "PRIV_INSTRUCTION"},
    {0xC00000FD, "STACK_OVERFLOW"},
};

constexpr CodeText kDescriptions[] = {
    {0x40010005, "a Control-C"},
    {0x40010008, "a Control-Break"},
    {0x80000002, "a Datatype Misalignment"},
    {0x80000003, "a Breakpoint"},
    {0xC0000005, "an Access Violation"},
    {0xC0000006, "an In Page Error"},
    {0xC0000017, "a No Memory"},
    {0xC000001D, "an Illegal Instruction"},
    {0xC0000025, "a Noncontinuable Exception"},
    {0xC0000026, "an Invalid Disposition"},
    {0xC000008C, "a Array Bounds Exceeded"},
    {0xC000008D, "a Float Denormal Operand"},
    {0xC000008E, "a Float Divide by Zero"},
    {0xC000008F, "a Float Inexact Result"},
    {0xC0000090, "a Float Invalid Operation"},
    {0xC0000091, "a Float Overflow"},
    {0xC0000092, "a Float Stack Check"},
    {0xC0000093, "a Float Underflow"},
    {0xC0000094, "an Integer Divide by Zero"},
    {0xC0000095, "an Integer Overflow"},
    {0xC0000096, "a Privileged Instruction"},
    {0xC00000FD, "a Stack Overflow"},
    {0xC0000142, "a DLL Initialization Failed"},
    {0xE06D7363, "a Microsoft C++ Exception"},
};

const char* lookUp(const CodeText* table, size_t count, uint32_t code)
{
    for (size_t i = 0; i < count; ++i) {
        if (table[i].code == code)
            return table[i].text;
    }
    return nullptr;
}

constexpr const char* kReportName = "Vortanex_DUMP.dmp";
// Pending text above this is handed to the file before the next line.
constexpr size_t kFlushAbove = 7168;
constexpr size_t kTextSize = 8192;

// Line-oriented text in a fixed buffer. With a flush function the buffer is
// emptied into it; without one the text is cut at the capacity and only
// counted beyond it. No allocation, no locks: usable in a signal handler.
class ReportText {
public:
    using Flush = void (*)(void* context, const char* data, size_t size);

    ReportText(char* buffer, size_t capacity, Flush flush = nullptr, void* context = nullptr)
        : m_buffer(buffer), m_capacity(capacity), m_flush(flush), m_context(context)
    {
    }

    // Called before each line: long pending text goes out first.
    ReportText& line()
    {
        if (m_flush && m_length > kFlushAbove)
            flush();
        return *this;
    }

    ReportText& str(const char* text, size_t max = static_cast<size_t>(-1))
    {
        for (size_t i = 0; i < max && text[i] != '\0'; ++i)
            put(text[i]);
        return *this;
    }

    ReportText& dec(int64_t value, int leftWidth = 0)
    {
        char digits[24];
        int n = 0;
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        int width = n;
        if (value < 0) {
            put('-');
            ++width;
        }
        while (n > 0)
            put(digits[--n]);
        for (; width < leftWidth; ++width)
            put(' ');
        return *this;
    }

    // Lower-case hex with at least minDigits digits (zero padded).
    ReportText& hex(uint64_t value, int minDigits)
    {
        static constexpr char kDigits[] = "0123456789abcdef";
        char digits[16];
        int n = 0;
        do {
            digits[n++] = kDigits[value & 0xF];
            value >>= 4;
        } while (value != 0);
        for (int i = n; i < minDigits; ++i)
            put('0');
        while (n > 0)
            put(digits[--n]);
        return *this;
    }

    // "%d/%d/%d %02d:%02d:%02d": month, day, year; seconds in steps of two,
    // as the report has always shown them.
    ReportText& time(const CrashTime& t)
    {
        dec(t.month).str("/").dec(t.day).str("/").dec(t.year).str(" ");
        twoDigits(t.hour).str(":");
        twoDigits(t.minute).str(":");
        return twoDigits(t.second / 2 * 2);
    }

    void flush()
    {
        if (m_flush && m_length > 0)
            m_flush(m_context, m_buffer, m_length);
        m_length = 0;
    }

    size_t total() const { return m_total; }

private:
    ReportText& twoDigits(int value)
    {
        if (value >= 0 && value < 10)
            put('0');
        return dec(value);
    }

    void put(char c)
    {
        if (m_length == m_capacity && m_flush)
            flush();
        if (m_length < m_capacity)
            m_buffer[m_length++] = c;
        ++m_total;
    }

    char* m_buffer;
    size_t m_capacity;
    Flush m_flush;
    void* m_context;
    size_t m_length = 0;
    size_t m_total = 0;
};

constexpr uint64_t kMiB = 1024 * 1024;

int64_t roundUpMiB(uint64_t bytes)
{
    return static_cast<int64_t>((bytes + kMiB - 1) / kMiB);
}

void writeHead(const FaultInfo& info, ReportText& out)
{
    out.line().str("\r\n===== [Start of ").str(kReportName).str("] =====\r\n");
    out.line().str(info.programName).str(" caused ").str(exceptionDescription(info.code)).str(" (0x");
    out.hex(info.code, 8).str(") \r\nin module ").str(info.moduleName).str(" at ");
    out.hex(info.segCs & 0xFFFF, 4).str(":").hex(info.instruction, 8).str(".\r\n\r\n");
    out.line().str("Exception handler called in ExceptionAttacher - AfxWinMain.\r\n");

    out.line().str("Error occurred at ").time(info.time).str(".\r\n");
    out.line().str(info.programPath).str(", run by ").str(info.userName).str(".\r\n");
    out.line().dec(info.processors).str(" processor(s), type ").dec(info.processorType).str(".\r\n");
    out.line().dec(info.memoryLoad).str("% memory in use.\r\n");
    out.line().dec(roundUpMiB(info.physicalTotal)).str(" MBytes physical memory.\r\n");
    out.line().dec(roundUpMiB(info.physicalFree)).str(" MBytes physical memory free.\r\n");
    out.line().dec(roundUpMiB(info.pagingTotal)).str(" MBytes paging file.\r\n");
    out.line().dec(roundUpMiB(info.pagingFree)).str(" MBytes paging file free.\r\n");
    out.line().dec(roundUpMiB(info.virtualTotal)).str(" MBytes user address space.\r\n");
    out.line().dec(roundUpMiB(info.virtualFree)).str(" MBytes user address space free.\r\n");

    if (info.code == kCodeAccessViolation && info.hasAccess) {
        out.line().str(info.writeAccess ? "Write to" : "Read from").str(" location ");
        out.hex(info.accessAddress, 8).str(" caused an access violation.\r\n");
    }

    out.line().str("\r\n");
    out.line().str("Context:\r\n");
    out.line().str("EDI:    0x").hex(info.edi, 8).str("  ESI: 0x").hex(info.esi, 8);
    out.str("  EAX:   0x").hex(info.eax, 8).str("\r\n");
    out.line().str("EBX:    0x").hex(info.ebx, 8).str("  ECX: 0x").hex(info.ecx, 8);
    out.str("  EDX:   0x").hex(info.edx, 8).str("\r\n");
    out.line().str("EIP:    0x").hex(info.eip, 8).str("  EBP: 0x").hex(info.ebp, 8);
    out.str("  SegCs: 0x").hex(info.segCs, 8).str("\r\n");
    out.line().str("EFlags: 0x").hex(info.eflags, 8).str("  ESP: 0x").hex(info.esp, 8);
    out.str("  SegSs: 0x").hex(info.segSs, 8).str("\r\n");

    out.line().str("\r\nBytes at CS:EIP:\r\n");
    out.line();
    for (int16_t byte : info.codeBytes) {
        if (byte < 0)
            out.str("?? ");
        else
            out.hex(static_cast<uint64_t>(byte), 2).str(" ");
    }
    // Ends the byte line so that the module list starts on a line of its own.
    out.str("\r\n");
}

void writeModule(int number, const CrashModule& module, ReportText& out)
{
    out.line().str("Module ").dec(number).str("\r\n");
    out.line().str(module.path).str("\r\n");
    out.line().str("Image Base: 0x").hex(module.base, 8).str("  Image Size: 0x").hex(module.size, 8).str("\r\n");
    // ELF files carry neither a checksum nor a link time stamp.
    out.line().str("Checksum:   0x").hex(0, 8).str("  Time Stamp: 0x").hex(0, 8).str("\r\n");
    out.line().str("File Size:  ").dec(module.fileSize, 10).str("  File Time:  ");
    if (module.hasFileTime)
        out.time(module.fileTime);
    out.str("\r\n");
    // Nor version resources: the texts stay empty and the versions zero.
    out.line().str("Version Information:\r\n");
    out.line().str("   Company:    \r\n");
    out.line().str("   Product:    \r\n");
    out.line().str("   FileDesc:   \r\n");
    out.line().str("   FileVer:    0.0.0.0\r\n");
    out.line().str("   ProdVer:    0.0.0.0\r\n");
    out.line().str("\r\n");
}

void writeEnd(ReportText& out)
{
    out.line().str("\r\n===== [end of ").str(kReportName).str("] =====\r\n");
}

// --- State fixed by install(); read-only for the handler -------------------

char g_reportPath[4096];
char g_programName[256] = "Unknown";
char g_programPath[4096] = "Unknown";
char g_userName[256] = "Unknown";
long g_utcOffset = 0; // seconds east of UTC when installed
int g_processors = 0;
long g_pageSize = 4096;
std::terminate_handler g_previousTerminate = nullptr;
std::atomic<bool> g_terminateInstalled{false};

// Thread id of the thread writing the report; 0 until the first fault.
std::atomic<long> g_reporter{0};
// Set by the terminate handler for the abort that follows it.
std::atomic<uint32_t> g_pendingCode{0};

// --- Work areas of the one report (only the reporting thread uses them) ----

char g_text[kTextSize];
char g_mapsBuffer[8192];
char g_modulePath[4096];
char g_faultModule[256];
CrashModule g_module;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT};

void copyText(char* target, size_t size, const char* text)
{
    size_t n = 0;
    for (; n + 1 < size && text[n] != '\0'; ++n)
        target[n] = text[n];
    target[n] = '\0';
}

const char* baseName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/')
            name = p + 1;
    }
    return name;
}

// Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
CrashTime toCrashTime(int64_t epochSeconds)
{
    const int64_t local = epochSeconds + g_utcOffset;
    int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const int64_t secs = local - days * 86400;
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CrashTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>(secs / 60 % 60);
    t.second = static_cast<int>(secs % 60);
    return t;
}

void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void flushToFd(void* context, const char* data, size_t size)
{
    writeAll(*static_cast<int*>(context), data, size);
}

// Reads memory that may not be there: the kernel copies the byte into a pipe
// or answers EFAULT, so a bad address never faults. Raw system calls keep the
// sanitizers' interceptors out of it.
class MemoryProbe {
public:
    MemoryProbe() { m_ok = syscall(SYS_pipe2, m_fds, O_CLOEXEC | O_NONBLOCK) == 0; }
    ~MemoryProbe()
    {
        if (m_ok) {
            close(m_fds[0]);
            close(m_fds[1]);
        }
    }
    MemoryProbe(const MemoryProbe&) = delete;
    MemoryProbe& operator=(const MemoryProbe&) = delete;

    bool read(uint64_t address, unsigned char* out, size_t size)
    {
        if (!m_ok)
            return false;
        if (syscall(SYS_write, m_fds[1], reinterpret_cast<const void*>(address), size) != static_cast<long>(size))
            return false;
        return syscall(SYS_read, m_fds[0], out, size) == static_cast<long>(size);
    }

private:
    int m_fds[2] = {-1, -1};
    bool m_ok = false;
};

// One line of /proc/self/maps.
struct MapLine {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t offset = 0;
    const char* path = "";
};

// Reads /proc/self/maps line by line into g_mapsBuffer.
class MapsReader {
public:
    MapsReader() { m_fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC); }
    ~MapsReader()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    MapsReader(const MapsReader&) = delete;
    MapsReader& operator=(const MapsReader&) = delete;

    bool next(MapLine& line)
    {
        char* text = nextLine();
        if (!text)
            return false;
        line = MapLine();
        const char* p = text;
        line.start = parseHex(p);
        if (*p == '-')
            ++p;
        line.end = parseHex(p);
        p = skipField(p); // permissions
        line.offset = parseHex(p);
        p = skipField(p); // device
        p = skipField(p); // inode
        while (*p == ' ')
            ++p;
        line.path = p;
        return true;
    }

private:
    static uint64_t parseHex(const char*& p)
    {
        while (*p == ' ')
            ++p;
        uint64_t value = 0;
        for (;; ++p) {
            const char c = *p;
            if (c >= '0' && c <= '9')
                value = value * 16 + static_cast<uint64_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value = value * 16 + static_cast<uint64_t>(c - 'a' + 10);
            else
                return value;
        }
    }

    static const char* skipField(const char* p)
    {
        while (*p == ' ')
            ++p;
        while (*p != ' ' && *p != '\0')
            ++p;
        return p;
    }

    // The next line, zero-terminated in place; a line longer than the buffer
    // is cut.
    char* nextLine()
    {
        if (m_fd < 0)
            return nullptr;
        for (;;) {
            for (size_t i = m_begin; i < m_end; ++i) {
                if (g_mapsBuffer[i] == '\n') {
                    g_mapsBuffer[i] = '\0';
                    char* line = g_mapsBuffer + m_begin;
                    m_begin = i + 1;
                    if (m_skipping) {
                        m_skipping = false;
                        break; // rest of a cut line
                    }
                    return line;
                }
            }
            if (m_begin > 0 && m_begin < m_end)
                memmove(g_mapsBuffer, g_mapsBuffer + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
            if (m_end == sizeof g_mapsBuffer - 1) {
                // No line end in a full buffer: hand out what there is.
                g_mapsBuffer[m_end] = '\0';
                m_end = 0;
                m_skipping = true;
                return g_mapsBuffer;
            }
            if (m_eof) {
                if (m_end == 0 || m_skipping)
                    return nullptr;
                g_mapsBuffer[m_end] = '\0';
                m_end = 0;
                return g_mapsBuffer;
            }
            ssize_t n;
            do {
                n = ::read(m_fd, g_mapsBuffer + m_end, sizeof g_mapsBuffer - 1 - m_end);
            } while (n < 0 && errno == EINTR);
            if (n <= 0)
                m_eof = true;
            else
                m_end += static_cast<size_t>(n);
        }
    }

    int m_fd = -1;
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_eof = false;
    bool m_skipping = false;
};

void findFaultModule(uint64_t address)
{
    copyText(g_faultModule, sizeof g_faultModule, "Unknown");
    MapsReader maps;
    MapLine line;
    while (maps.next(line)) {
        if (address >= line.start && address < line.end) {
            if (line.path[0] != '\0')
                copyText(g_faultModule, sizeof g_faultModule, baseName(line.path));
            return;
        }
    }
}

void emitModule(int& number, ReportText& out)
{
    struct stat st;
    if (stat(g_module.path, &st) == 0) {
        g_module.fileSize = st.st_size;
        g_module.hasFileTime = true;
        g_module.fileTime = toCrashTime(st.st_mtime);
    } else {
        g_module.fileSize = 0;
        g_module.hasFileTime = false;
    }
    writeModule(++number, g_module, out);
}

// Every mapped ELF image: a file mapped from offset 0 whose first bytes are
// the ELF magic; its size runs to the end of its last mapping.
void writeModules(ReportText& out, MemoryProbe& probe)
{
    MapsReader maps;
    MapLine line;
    bool open = false;
    int number = 0;
    while (maps.next(line)) {
        if (line.path[0] != '/')
            continue;
        if (open && strcmp(line.path, g_modulePath) == 0 && line.offset != 0) {
            g_module.size = line.end - g_module.base;
            continue;
        }
        if (line.offset != 0)
            continue;
        unsigned char magic[4];
        if (!probe.read(line.start, magic, sizeof magic) || memcmp(magic, "\x7f" "ELF", 4) != 0)
            continue;
        if (open)
            emitModule(number, out);
        copyText(g_modulePath, sizeof g_modulePath, line.path);
        g_module = CrashModule();
        g_module.path = g_modulePath;
        g_module.base = line.start;
        g_module.size = line.end - line.start;
        open = true;
    }
    if (open)
        emitModule(number, out);
}

uint32_t codeOf(int signal, const siginfo_t* si)
{
    switch (signal) {
    case SIGSEGV:
        return kCodeAccessViolation;
    case SIGBUS:
        return kCodeDatatypeMisalignment;
    case SIGILL:
        return si->si_code == ILL_PRVOPC || si->si_code == ILL_PRVREG ? 0xC0000096 : kCodeIllegalInstruction;
    case SIGTRAP:
        return kCodeBreakpoint;
    case SIGFPE:
        switch (si->si_code) {
        case FPE_INTDIV:
            return kCodeIntDivideByZero;
        case FPE_INTOVF:
            return 0xC0000095;
        case FPE_FLTDIV:
            return kCodeFloatDivideByZero;
        case FPE_FLTOVF:
            return 0xC0000091;
        case FPE_FLTUND:
            return 0xC0000093;
        case FPE_FLTRES:
            return 0xC000008F;
        default:
            return kCodeFloatInvalidOperation;
        }
    case SIGABRT: {
        const uint32_t pending = g_pendingCode.exchange(0);
        return pending != 0 ? pending : kCodeAbort;
    }
    default:
        return 0;
    }
}

void fillSystem(FaultInfo& info)
{
    // The program's clock object may take locks; the handler reads the
    // system clock directly (clock_gettime is async-signal-safe).
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    info.time = toCrashTime(now.tv_sec);
    info.processors = g_processors;
#if defined(__x86_64__)
    info.processorType = 8664; // the processor-type number of x86-64
#endif
    struct sysinfo si;
    if (sysinfo(&si) == 0) {
        const uint64_t unit = si.mem_unit ? si.mem_unit : 1;
        info.physicalTotal = si.totalram * unit;
        info.physicalFree = (si.freeram + si.bufferram) * unit;
        info.pagingTotal = si.totalswap * unit;
        info.pagingFree = si.freeswap * unit;
        if (info.physicalTotal > 0)
            info.memoryLoad = static_cast<int>((info.physicalTotal - info.physicalFree) * 100 / info.physicalTotal);
    }
    info.virtualTotal = sizeof(void*) == 8 ? uint64_t(1) << 47 : uint64_t(3) << 30;
    // The first field of statm is the process's mapped size in pages.
    const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[64];
        const ssize_t n = read(fd, text, sizeof text - 1);
        close(fd);
        uint64_t pages = 0;
        for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
            pages = pages * 10 + static_cast<uint64_t>(text[i] - '0');
        const uint64_t used = pages * static_cast<uint64_t>(g_pageSize);
        info.virtualFree = used < info.virtualTotal ? info.virtualTotal - used : 0;
    }
}

void writeReport(int signal, const siginfo_t* si, const ucontext_t* uc)
{
    FaultInfo info;
    info.programName = g_programName;
    info.programPath = g_programPath;
    info.userName = g_userName;
    info.code = codeOf(signal, si);

    uint64_t sp = 0;
#if defined(__x86_64__)
    if (uc) {
        const greg_t* r = uc->uc_mcontext.gregs;
        auto low = [](greg_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v)); };
        info.edi = low(r[REG_RDI]);
        info.esi = low(r[REG_RSI]);
        info.eax = low(r[REG_RAX]);
        info.ebx = low(r[REG_RBX]);
        info.ecx = low(r[REG_RCX]);
        info.edx = low(r[REG_RDX]);
        info.eip = low(r[REG_RIP]);
        info.ebp = low(r[REG_RBP]);
        info.eflags = low(r[REG_EFL]);
        info.esp = low(r[REG_RSP]);
        const uint64_t segments = static_cast<uint64_t>(r[REG_CSGSFS]);
        info.segCs = static_cast<uint32_t>(segments & 0xFFFF);
        // The kernel saves SS in the top 16 bits when it says so (UC_SIGCONTEXT_SS).
        constexpr unsigned long kSigcontextSs = 0x2;
        if (uc->uc_flags & kSigcontextSs)
            info.segSs = static_cast<uint32_t>(segments >> 48);
        info.instruction = static_cast<uint64_t>(r[REG_RIP]);
        sp = static_cast<uint64_t>(r[REG_RSP]);
        if (signal == SIGSEGV)
            info.writeAccess = (static_cast<uint64_t>(r[REG_ERR]) & 2) != 0;
    }
#else
    (void)uc;
#endif

    // Only a fault raised by the processor has a faulting address.
    const bool hardware = si->si_code > 0 && si->si_code != SI_KERNEL;
    if (signal == SIGSEGV && hardware) {
        const uint64_t address = reinterpret_cast<uint64_t>(si->si_addr);
        // A fault right next to the stack pointer is the stack running into
        // its guard page.
        const uint64_t distance = address > sp ? address - sp : sp - address;
        if (sp != 0 && distance <= 65536) {
            info.code = kCodeStackOverflow;
        } else {
            info.hasAccess = true;
            info.accessAddress = address;
        }
    }

    MemoryProbe probe;
    for (int i = 0; i < 16; ++i) {
        unsigned char byte;
        info.codeBytes[i] = probe.read(info.instruction + static_cast<uint64_t>(i), &byte, 1)
            ? static_cast<int16_t>(byte) : int16_t(-1);
    }
    findFaultModule(info.instruction);
    info.moduleName = g_faultModule;
    fillSystem(info);

    // The report holds log text: the user's alone.
    int fd = open(g_reportPath, O_WRONLY | O_CREAT | O_APPEND | O_SYNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        static constexpr char kMessage[] = "Error creating exception report\r\n";
        writeAll(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        return;
    }
    ReportText out(g_text, sizeof g_text, flushToFd, &fd);
    writeHead(info, out);
    writeModules(out, probe);
    writeEnd(out);
    out.flush();
    close(fd);
}

// Ends the process by the signal that brought it here.
[[noreturn]] void endProcess(int signal)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    _exit(128 + signal);
}

void onSignal(int signal, siginfo_t* si, void* context)
{
    const long self = syscall(SYS_gettid);
    long reporter = 0;
    if (g_reporter.compare_exchange_strong(reporter, self)) {
        writeReport(signal, si, static_cast<const ucontext_t*>(context));
    } else if (reporter != self) {
        // Another thread writes the report and then ends the process; a
        // second report must not start, and this thread must not go on.
        for (;;)
            pause();
    }
    // reporter == self: a fault inside the report itself; end without it.
    endProcess(signal);
}

void onTerminate()
{
    g_pendingCode.store(kCodeCppException);
    // The runtime's own handler names the exception on stderr, then aborts.
    if (g_previousTerminate)
        g_previousTerminate();
    std::abort();
}

// The calling thread's own alternate stack, released when the thread ends
// unless someone else's stack has replaced it meanwhile.
struct AltStack {
    void* memory = nullptr;
    size_t size = 0;

    ~AltStack()
    {
        if (!memory)
            return;
        stack_t current;
        if (sigaltstack(nullptr, &current) != 0)
            return; // cannot tell whether it is in use: keep it
        if (current.ss_sp == memory && !(current.ss_flags & SS_DISABLE)) {
            if (current.ss_flags & SS_ONSTACK)
                return;
            stack_t off;
            memset(&off, 0, sizeof off);
            off.ss_flags = SS_DISABLE;
            if (sigaltstack(&off, nullptr) != 0)
                return;
        }
        munmap(memory, size);
    }
};

thread_local AltStack t_altStack;

// Enough for the handler, also with sanitizer instrumentation.
constexpr size_t kAltStackSize = 64 * 1024;
constexpr size_t kAltStackMinimum = 16 * 1024;

} // namespace crash_guard_detail

const char* exceptionDescription(uint32_t code)
{
    const char* text = crash_guard_detail::lookUp(crash_guard_detail::kDescriptions, std::size(crash_guard_detail::kDescriptions), code);
    return text ? text : "an Unknown exception type";
}

const char* exceptionName(uint32_t code)
{
    return crash_guard_detail::lookUp(crash_guard_detail::kNames, std::size(crash_guard_detail::kNames), code);
}

std::string faultText(uint32_t code, uint64_t address)
{
    const char* name = exceptionName(code);
    if (!name)
        return "Unknown exception.";
    char text[160];
    crash_guard_detail::ReportText out(text, sizeof text);
    out.str("Exception ").str(name).str(" (0x").hex(code, 8).str(") at address 0x").hex(address, 8).str(".");
    return std::string(text, out.total() < sizeof text ? out.total() : sizeof text);
}

size_t formatCrashReport(const FaultInfo& info, char* out, size_t capacity)
{
    crash_guard_detail::ReportText text(out, capacity);
    crash_guard_detail::writeHead(info, text);
    for (size_t i = 0; i < info.moduleCount; ++i)
        crash_guard_detail::writeModule(static_cast<int>(i + 1), info.modules[i], text);
    crash_guard_detail::writeEnd(text);
    return text.total();
}

void CrashGuard::installThread()
{
    using namespace crash_guard_detail;
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)
        && current.ss_size >= kAltStackMinimum)
        return;
    if (t_altStack.memory)
        return;
    void* memory = mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t stack;
    memset(&stack, 0, sizeof stack);
    stack.ss_sp = memory;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, kAltStackSize);
        return;
    }
    t_altStack.memory = memory;
    t_altStack.size = kAltStackSize;
}

bool CrashGuard::install(const std::filesystem::path& reportPath, std::string_view programName)
{
    using namespace crash_guard_detail;
    const std::string path = reportPath.string();
    if (path.empty() || path.size() >= sizeof g_reportPath)
        return false;
    copyText(g_reportPath, sizeof g_reportPath, path.c_str());

    char exe[sizeof g_programPath];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        copyText(g_programPath, sizeof g_programPath, exe);
    }
    if (!programName.empty()) {
        const size_t len = programName.size() < sizeof g_programName - 1 ? programName.size() : sizeof g_programName - 1;
        memcpy(g_programName, programName.data(), len);
        g_programName[len] = '\0';
    } else if (n > 0) {
        // The executable's name without its last extension.
        copyText(g_programName, sizeof g_programName, baseName(exe));
        if (char* dot = strrchr(g_programName, '.'); dot && dot != g_programName)
            *dot = '\0';
    }

    struct passwd entry;
    struct passwd* found = nullptr;
    char pwBuffer[1024];
    if (getpwuid_r(geteuid(), &entry, pwBuffer, sizeof pwBuffer, &found) == 0 && found && found->pw_name)
        copyText(g_userName, sizeof g_userName, found->pw_name);

    // The handler cannot read the time zone; the offset of now serves for the
    // report's local times.
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local))
        g_utcOffset = local.tm_gmtoff;
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    g_processors = processors > 0 ? static_cast<int>(processors) : 0;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize > 0)
        g_pageSize = pageSize;

    installThread();
    setThreadStartHook(&CrashGuard::installThread);

    bool ok = true;
    for (int signal : kSignals) {
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_sigaction = onSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        if (sigaction(signal, &action, nullptr) != 0)
            ok = false;
    }
    if (!g_terminateInstalled.exchange(true))
        g_previousTerminate = std::set_terminate(onTerminate);
    return ok;
}

} // namespace pf
