#include "app/base/SeException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

} // namespace

TEST(SeException, TextsByCode)
{
    struct Case {
        uint32_t code;
        uint64_t address;
        const char* text;
        const char* description;
    } cases[] = {
        {0xC0000005, 0x0040123a, "Exception ACCESS_VIOLATION (0xc0000005) at address 0x0040123a.", "an Access Violation"},
        {0x80000001, 0x10, "Exception GUARD_PAGE (0x80000001) at address 0x00000010.", "an Unknown exception type"},
        {0x80000004, 0, "Exception SINGLE_STEP (0x80000004) at address 0x00000000.", "an Unknown exception type"},
        {0xC0000094, 0x7f0012345678, "Exception INT_DIVIDE_BY_ZERO (0xc0000094) at address 0x7f0012345678.",
         "an Integer Divide by Zero"},
        {0xC00000FD, 1, "Exception STACK_OVERFLOW (0xc00000fd) at address 0x00000001.", "a Stack Overflow"},
        {0xC000008C, 2, "Exception ARRAY_BOUNDS_EXCEEDED (0xc000008c) at address 0x00000002.", "a Array Bounds Exceeded"},
        // Described in the crash report but without a name of its own.
        {0x40010005, 3, "Unknown exception.", "a Control-C"},
        {0xC0000017, 3, "Unknown exception.", "a No Memory"},
        {0xC0000142, 3, "Unknown exception.", "a DLL Initialization Failed"},
        {0xE06D7363, 3, "Unknown exception.", "a Microsoft C++ Exception"},
        // Neither.
        {0x12345678, 3, "Unknown exception.", "an Unknown exception type"},
        {0, 0, "Unknown exception.", "an Unknown exception type"},
    };
    for (const auto& c : cases) {
        CSeException e(c.code, c.address);
        EXPECT_STREQ(e.what(), c.text) << std::hex << c.code;
        EXPECT_STREQ(CSeException::Description(c.code), c.description) << std::hex << c.code;
        EXPECT_EQ(e.GetSeCode(), c.code);
        EXPECT_EQ(e.GetExceptionAddress(), c.address);
    }
}

TEST(SeException, EveryNamedCodeHasItsName)
{
    const char* names[] = {"GUARD_PAGE", "DATATYPE_MISALIGNMENT", "BREAKPOINT", "SINGLE_STEP", "ACCESS_VIOLATION",
        "IN_PAGE_ERROR", "INVALID_HANDLE", "ILLEGAL_INSTRUCTION", "NONCONTINUABLE_EXCEPTION", "INVALID_DISPOSITION",
        "ARRAY_BOUNDS_EXCEEDED", "FLT_DENORMAL_OPERAND", "FLT_DIVIDE_BY_ZERO", "FLT_INEXACT_RESULT",
        "FLT_INVALID_OPERATION", "FLT_OVERFLOW", "FLT_STACK_CHECK", "FLT_UNDERFLOW", "INT_DIVIDE_BY_ZERO",
        "INT_OVERFLOW", "PRIV_INSTRUCTION", "STACK_OVERFLOW"};
    const uint32_t codes[] = {0x80000001, 0x80000002, 0x80000003, 0x80000004, 0xC0000005, 0xC0000006, 0xC0000008,
        0xC000001D, 0xC0000025, 0xC0000026, 0xC000008C, 0xC000008D, 0xC000008E, 0xC000008F, 0xC0000090, 0xC0000091,
        0xC0000092, 0xC0000093, 0xC0000094, 0xC0000095, 0xC0000096, 0xC00000FD};
    static_assert(std::size(names) == 22 && std::size(codes) == 22);
    for (size_t i = 0; i < std::size(codes); ++i) {
        const std::string text = CSeException(codes[i], 0).what();
        EXPECT_EQ(text.find(std::string("Exception ") + names[i] + " ("), 0u) << text;
    }
}

TEST(SeException, EveryDescribedCodeHasItsDescription)
{
    const CodeText described[] = {{0x40010005, "a Control-C"}, {0x40010008, "a Control-Break"},
        {0x80000002, "a Datatype Misalignment"}, {0x80000003, "a Breakpoint"}, {0xC0000005, "an Access Violation"},
        {0xC0000006, "an In Page Error"}, {0xC0000017, "a No Memory"}, {0xC000001D, "an Illegal Instruction"},
        {0xC0000025, "a Noncontinuable Exception"}, {0xC0000026, "an Invalid Disposition"},
        {0xC000008C, "a Array Bounds Exceeded"}, {0xC000008D, "a Float Denormal Operand"},
        {0xC000008E, "a Float Divide by Zero"}, {0xC000008F, "a Float Inexact Result"},
        {0xC0000090, "a Float Invalid Operation"}, {0xC0000091, "a Float Overflow"},
        {0xC0000092, "a Float Stack Check"}, {0xC0000093, "a Float Underflow"},
        {0xC0000094, "an Integer Divide by Zero"}, {0xC0000095, "an Integer Overflow"},
        {0xC0000096, "a Privileged Instruction"}, {0xC00000FD, "a Stack Overflow"},
        {0xC0000142, "a DLL Initialization Failed"}, {0xE06D7363, "a Microsoft C++ Exception"}};
    static_assert(std::size(described) == 24);
    for (const auto& d : described)
        EXPECT_STREQ(CSeException::Description(d.code), d.text) << std::hex << d.code;
}

TEST(SeException, GetErrorMessageNeedsRoomForTheWholeText)
{
    CSeException e(0xC0000005, 0x1000);
    const std::string text = e.what();
    char buffer[128];
    unsigned help = 77;

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(e.GetErrorMessage(buffer, static_cast<unsigned>(text.size() + 1), &help));
    EXPECT_EQ(std::string(buffer), text);
    EXPECT_EQ(help, 0u);

    for (unsigned max : {static_cast<unsigned>(text.size()), 10u, 1u}) {
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_FALSE(e.GetErrorMessage(buffer, max)) << max;
        EXPECT_STREQ(buffer, "") << max;
    }
    EXPECT_FALSE(e.GetErrorMessage(buffer, 0));
}

TEST(SeException, CaughtTextByKindOfException)
{
    auto caught = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return CaughtText("SaveSettings");
        }
        return std::string("nothing thrown");
    };
    EXPECT_EQ(caught([] { throw std::runtime_error("disk full"); }), "SException in SaveSettings : [disk full]");
    EXPECT_EQ(caught([] { throw CSeException(0xC0000094, 0x10); }),
        "SException in SaveSettings : [Exception INT_DIVIDE_BY_ZERO (0xc0000094) at address 0x00000010.]");
    EXPECT_EQ(caught([] { throw 42; }), "Exception in SaveSettings");
    EXPECT_EQ(caught([] { throw "text"; }), "Exception in SaveSettings");
    // Outside a catch block there is nothing to classify.
    EXPECT_EQ(CaughtText("Run()"), "Exception in Run()");
}
