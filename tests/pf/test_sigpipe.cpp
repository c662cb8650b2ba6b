#include "pf/sigpipe.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

namespace {

TEST(Sigpipe, AWriteToAClosedPipeFailsInsteadOfKilling)
{
    pf::ignoreSigpipe();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    errno = 0;
    EXPECT_EQ(::write(fds[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[1]);
}

} // namespace
