#include "pf/crash_guard.h"

#include "pf_test_support.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using pftest::TempDir;

const char* const kStart = "\r\n===== [Start of Vortanex_DUMP.dmp] =====\r\n";
const char* const kEnd = "\r\n===== [end of Vortanex_DUMP.dmp] =====\r\n";

size_t countOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

pf::FaultInfo sampleFault()
{
    pf::FaultInfo info;
    info.programName = "Vortanex";
    info.programPath = "/opt/vx/Vortanex";
    info.userName = "dealer1";
    info.moduleName = "libOrnwick120.so";
    info.code = 0xC0000005;
    info.hasAccess = true;
    info.writeAccess = false;
    info.accessAddress = 0;
    info.edi = 0x1, info.esi = 0x22, info.eax = 0x333, info.ebx = 0x4444;
    info.ecx = 0x55555, info.edx = 0x666666, info.eip = 0x89abcdef, info.ebp = 0x7fff0000;
    info.segCs = 0x33, info.eflags = 0x10246, info.esp = 0x7ffefff8, info.segSs = 0x2b;
    info.instruction = 0x7f0089abcdef;
    for (int i = 0; i < 16; ++i)
        info.codeBytes[i] = static_cast<int16_t>(i < 14 ? i * 17 : -1);
    info.time = {2024, 3, 5, 9, 7, 31};
    info.processors = 4;
    info.processorType = 8664;
    info.memoryLoad = 37;
    info.physicalTotal = 8ull << 30;
    info.physicalFree = (5ull << 30) + 1; // rounds up
    info.pagingTotal = 2ull << 30;
    info.pagingFree = 0;
    info.virtualTotal = 1ull << 47;
    info.virtualFree = (1ull << 47) - (300ull << 20);
    return info;
}

std::string format(const pf::FaultInfo& info)
{
    char buffer[16384];
    const size_t length = pf::formatCrashReport(info, buffer, sizeof buffer);
    EXPECT_LE(length, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : sizeof buffer);
}

TEST(CrashReport, LayoutOfAWholeReport)
{
    pf::FaultInfo info = sampleFault();
    pf::CrashModule modules[2];
    modules[0].path = "/opt/vx/Vortanex";
    modules[0].base = 0x555555554000;
    modules[0].size = 0x2d000;
    modules[0].fileSize = 123456;
    modules[0].hasFileTime = true;
    modules[0].fileTime = {2023, 12, 31, 23, 59, 59};
    modules[1].path = "/gone/libx.so";
    modules[1].base = 0x7f0000000000;
    modules[1].size = 0x1000;
    info.modules = modules;
    info.moduleCount = 2;

    EXPECT_EQ(format(info),
        "\r\n===== [Start of Vortanex_DUMP.dmp] =====\r\n"
        "Vortanex caused an Access Violation (0xc0000005) \r\n"
        "in module libOrnwick120.so at 0033:7f0089abcdef.\r\n\r\n"
        "Exception handler called in ExceptionAttacher - AfxWinMain.\r\n"
        "Error occurred at 3/5/2024 09:07:30.\r\n"
        "/opt/vx/Vortanex, run by dealer1.\r\n"
        "4 processor(s), type 8664.\r\n"
        "37% memory in use.\r\n"
        "8192 MBytes physical memory.\r\n"
        "5121 MBytes physical memory free.\r\n"
        "2048 MBytes paging file.\r\n"
        "0 MBytes paging file free.\r\n"
        "134217728 MBytes user address space.\r\n"
        "134217428 MBytes user address space free.\r\n"
        "Read from location 00000000 caused an access violation.\r\n"
        "\r\n"
        "Context:\r\n"
        "EDI:    0x00000001  ESI: 0x00000022  EAX:   0x00000333\r\n"
        "EBX:    0x00004444  ECX: 0x00055555  EDX:   0x00666666\r\n"
        "EIP:    0x89abcdef  EBP: 0x7fff0000  SegCs: 0x00000033\r\n"
        "EFlags: 0x00010246  ESP: 0x7ffefff8  SegSs: 0x0000002b\r\n"
        "\r\nBytes at CS:EIP:\r\n"
        "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ?? ?? \r\n"
        "Module 1\r\n"
        "/opt/vx/Vortanex\r\n"
        "Image Base: 0x555555554000  Image Size: 0x0002d000\r\n"
        "Checksum:   0x00000000  Time Stamp: 0x00000000\r\n"
        "File Size:  123456      File Time:  12/31/2023 23:59:58\r\n"
        "Version Information:\r\n"
        "   Company:    \r\n"
        "   Product:    \r\n"
        "   FileDesc:   \r\n"
        "   FileVer:    0.0.0.0\r\n"
        "   ProdVer:    0.0.0.0\r\n"
        "\r\n"
        "Module 2\r\n"
        "/gone/libx.so\r\n"
        "Image Base: 0x7f0000000000  Image Size: 0x00001000\r\n"
        "Checksum:   0x00000000  Time Stamp: 0x00000000\r\n"
        "File Size:  0           File Time:  \r\n"
        "Version Information:\r\n"
        "   Company:    \r\n"
        "   Product:    \r\n"
        "   FileDesc:   \r\n"
        "   FileVer:    0.0.0.0\r\n"
        "   ProdVer:    0.0.0.0\r\n"
        "\r\n"
        "\r\n===== [end of Vortanex_DUMP.dmp] =====\r\n");
}

TEST(CrashReport, DescriptionAndAccessLineByCode)
{
    struct Case {
        uint32_t code;
        bool hasAccess;
        bool write;
        uint64_t address;
        const char* caused;
        const char* accessLine; // nullptr: no such line
    } cases[] = {
        {0xC0000005, true, false, 0, "caused an Access Violation (0xc0000005) ",
         "\r\nRead from location 00000000 caused an access violation.\r\n"},
        {0xC0000005, true, true, 0x7fffdeadbeef, "caused an Access Violation (0xc0000005) ",
         "\r\nWrite to location 7fffdeadbeef caused an access violation.\r\n"},
        // A fault without a known address (signal sent by another process).
        {0xC0000005, false, false, 0, "caused an Access Violation (0xc0000005) ", nullptr},
        // The line belongs to access violations only.
        {0xC00000FD, true, true, 0x10, "caused a Stack Overflow (0xc00000fd) ", nullptr},
        {0xC0000094, false, false, 0, "caused an Integer Divide by Zero (0xc0000094) ", nullptr},
        {0xC000008E, false, false, 0, "caused a Float Divide by Zero (0xc000008e) ", nullptr},
        {0xC000001D, false, false, 0, "caused an Illegal Instruction (0xc000001d) ", nullptr},
        {0x80000002, false, false, 0, "caused a Datatype Misalignment (0x80000002) ", nullptr},
        {0x80000003, false, false, 0, "caused a Breakpoint (0x80000003) ", nullptr},
        {0xE06D7363, false, false, 0, "caused a Microsoft C++ Exception (0xe06d7363) ", nullptr},
        {0x40010008, false, false, 0, "caused a Control-Break (0x40010008) ", nullptr},
        {0xC0000409, false, false, 0, "caused an Unknown exception type (0xc0000409) ", nullptr},
        {0x80000001, false, false, 0, "caused an Unknown exception type (0x80000001) ", nullptr},
    };
    for (const auto& c : cases) {
        pf::FaultInfo info = sampleFault();
        info.code = c.code;
        info.hasAccess = c.hasAccess;
        info.writeAccess = c.write;
        info.accessAddress = c.address;
        const std::string report = format(info);
        EXPECT_NE(report.find(std::string("\r\nVortanex ") + c.caused + "\r\nin module "), std::string::npos)
            << std::hex << c.code;
        if (c.accessLine) {
            EXPECT_NE(report.find(c.accessLine), std::string::npos) << std::hex << c.code;
        } else {
            EXPECT_EQ(report.find("caused an access violation"), std::string::npos) << std::hex << c.code;
        }
    }
}

TEST(CrashReport, SmallBufferIsNeverOverrun)
{
    const pf::FaultInfo info = sampleFault();
    const std::string whole = format(info);
    char buffer[64 + 8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(pf::formatCrashReport(info, buffer, 64), whole.size());
    EXPECT_EQ(std::string(buffer, 64), whole.substr(0, 64));
    EXPECT_EQ(std::string(buffer + 64, 8), "########");
}

TEST(CrashReport, FaultText)
{
    EXPECT_EQ(pf::faultText(0xC0000005, 0x401000), "Exception ACCESS_VIOLATION (0xc0000005) at address 0x00401000.");
    EXPECT_EQ(pf::faultText(0xC0000409, 0x401000), "Unknown exception.");
}

// --- Crashing children -------------------------------------------------------
// Each case forks a child that installs the guard and faults; the parent reads
// the report. The faulting code is kept out of the sanitizers' reach so that
// the fault itself, not a sanitizer finding, ends the child.

#define VX_NO_SANITIZE __attribute__((noinline, no_sanitize("address", "undefined", "thread")))

volatile uintptr_t g_nullAddress = 0;
volatile uintptr_t g_lowAddress = 0x10;
volatile int g_zero = 0;
volatile int g_depthLimit = INT_MAX;

VX_NO_SANITIZE int readNull()
{
    return *reinterpret_cast<volatile int*>(g_nullAddress);
}

VX_NO_SANITIZE void writeLow()
{
    *reinterpret_cast<volatile int*>(g_lowAddress) = 1;
}

volatile int g_sink = 0;

VX_NO_SANITIZE void divideByZero()
{
    g_sink = 7 / g_zero;
}

VX_NO_SANITIZE int recurse(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth < g_depthLimit)
        return recurse(depth + 1) + pad[0];
    return pad[0];
}

[[noreturn]] void throwUncaught()
{
    throw std::runtime_error("nobody catches this");
}

struct Child {
    int status = 0;
    std::string report;
    std::string errors; // the child's stderr
};

// Runs fault in a forked child with the guard installed; the report goes to
// reportPath. alarm() bounds a child that hangs.
Child runChild(const TempDir& dir, const std::filesystem::path& reportPath, const std::function<void()>& fault)
{
    const std::filesystem::path errorsPath = dir / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
        const int errorsFd = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (errorsFd >= 0)
            dup2(errorsFd, STDERR_FILENO);
        struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        alarm(60);
        if (!pf::CrashGuard::install(reportPath, "test_pf"))
            _exit(90);
        fault();
        _exit(91);
    }
    Child child;
    EXPECT_GT(pid, 0);
    if (pid > 0) {
        EXPECT_EQ(waitpid(pid, &child.status, 0), pid);
    }
    child.report = readFile(reportPath);
    child.errors = readFile(errorsPath);
    // A sanitizer finding in the child (a call that is not signal-safe, ...)
    // is a fault of the handler.
    EXPECT_EQ(child.errors.find("Sanitizer"), std::string::npos) << child.errors;
    return child;
}

int signalOf(const Child& child)
{
    return WIFSIGNALED(child.status) ? WTERMSIG(child.status) : -WEXITSTATUS(child.status);
}

TEST(CrashGuard, ReadOfAddressZeroLeavesOneReport)
{
    TempDir dir;
    const Child child = runChild(dir, dir / "Vortanex_DUMP.dmp", [] { readNull(); });
    EXPECT_EQ(signalOf(child), SIGSEGV);
    const std::string& r = child.report;
    EXPECT_EQ(countOf(r, kStart), 1u) << r;
    EXPECT_EQ(countOf(r, kEnd), 1u);
    EXPECT_EQ(r.rfind(kEnd), r.size() - std::strlen(kEnd));
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    EXPECT_NE(r.find("test_pf caused an Access Violation (0xc0000005) \r\nin module " + self + " at "), std::string::npos)
        << r;
    EXPECT_NE(r.find("\r\nRead from location 00000000 caused an access violation.\r\n"), std::string::npos);
    EXPECT_NE(r.find(", run by "), std::string::npos);
    // The faulting instruction is readable; the test program is a module.
    EXPECT_EQ(r.find("Bytes at CS:EIP:\r\n?? "), std::string::npos);
    EXPECT_NE(r.find("Module 1\r\n"), std::string::npos);
    EXPECT_NE(r.find("/" + self + "\r\nImage Base: 0x"), std::string::npos);
}

TEST(CrashGuard, WriteFaultSaysWriteTo)
{
    TempDir dir;
    const Child child = runChild(dir, dir / "Vortanex_DUMP.dmp", [] { writeLow(); });
    EXPECT_EQ(signalOf(child), SIGSEGV);
    EXPECT_EQ(countOf(child.report, kStart), 1u);
    EXPECT_NE(child.report.find("\r\nWrite to location 00000010 caused an access violation.\r\n"), std::string::npos)
        << child.report;
}

TEST(CrashGuard, EachKindOfFaultEndsTheProcessWithItsCode)
{
    struct Case {
        const char* name;
        std::function<void()> fault;
        int signal;
        const char* caused;
    } cases[] = {
        {"divide", [] { divideByZero(); }, SIGFPE, "caused an Integer Divide by Zero (0xc0000094)"},
        {"stack", [] { recurse(0); }, SIGSEGV, "caused a Stack Overflow (0xc00000fd)"},
        {"stack of a thread",
         [] {
             std::thread thread([] {
                 pf::CrashGuard::installThread();
                 recurse(0);
             });
             thread.join();
         },
         SIGSEGV, "caused a Stack Overflow (0xc00000fd)"},
        {"trap", [] { __builtin_trap(); }, SIGILL, "caused an Illegal Instruction (0xc000001d)"},
        {"uncaught", []() noexcept { throwUncaught(); }, SIGABRT, "caused a Microsoft C++ Exception (0xe06d7363)"},
        {"abort", [] { std::abort(); }, SIGABRT, "caused an Unknown exception type (0xc0000409)"},
        {"bus", [] { raise(SIGBUS); }, SIGBUS, "caused a Datatype Misalignment (0x80000002)"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const Child child = runChild(dir, dir / "Vortanex_DUMP.dmp", c.fault);
        EXPECT_EQ(signalOf(child), c.signal) << c.name;
        EXPECT_EQ(countOf(child.report, kStart), 1u) << c.name;
        EXPECT_EQ(countOf(child.report, kEnd), 1u) << c.name;
        EXPECT_NE(child.report.find(c.caused), std::string::npos) << c.name << "\n" << child.report;
        EXPECT_EQ(child.report.find("caused an access violation"), std::string::npos) << c.name;
    }
}

TEST(CrashGuard, TwoThreadsFaultingAtOnceWriteOneReport)
{
    TempDir dir;
    const Child child = runChild(dir, dir / "Vortanex_DUMP.dmp", [] {
        std::atomic<int> ready{0};
        auto body = [&ready] {
            pf::CrashGuard::installThread();
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
            readNull();
        };
        std::thread first(body);
        std::thread second(body);
        first.join();
        second.join();
    });
    EXPECT_EQ(signalOf(child), SIGSEGV);
    EXPECT_EQ(countOf(child.report, kStart), 1u) << child.report;
    EXPECT_EQ(countOf(child.report, kEnd), 1u);
}

TEST(CrashGuard, ReportsOfLaterCrashesAreAppended)
{
    TempDir dir;
    const auto report = dir / "Vortanex_DUMP.dmp";
    runChild(dir, report, [] { readNull(); });
    const Child second = runChild(dir, report, [] { writeLow(); });
    EXPECT_EQ(countOf(second.report, kStart), 2u);
    EXPECT_EQ(countOf(second.report, kEnd), 2u);
    EXPECT_LT(second.report.find("Read from location"), second.report.find("Write to location"));
}

TEST(CrashGuard, UnwritableReportStillEndsTheProcess)
{
    TempDir dir;
    const Child child = runChild(dir, dir / "missing" / "Vortanex_DUMP.dmp", [] { readNull(); });
    EXPECT_EQ(signalOf(child), SIGSEGV);
    EXPECT_EQ(child.report, "");
    EXPECT_NE(child.errors.find("Error creating exception report\r\n"), std::string::npos);
}

} // namespace
