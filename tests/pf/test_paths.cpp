#include "pf/paths.h"

#include <gtest/gtest.h>

TEST(Paths, SpecNamesStayBelowTheRoot)
{
    pf::Paths paths("/opt/vx");
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"\\Data\\x.dat", "/opt/vx/Data/x.dat"},
        {"Data\\x.dat", "/opt/vx/Data/x.dat"},
        {"Data/Sound/alert.wav", "/opt/vx/Data/Sound/alert.wav"},
        {"..\\..\\etc\\passwd", "/opt/vx/etc/passwd"},
        {"", "/opt/vx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(paths.spec(c.name).string(), c.expected) << c.name;
}
