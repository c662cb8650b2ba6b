#include "pf/instance_lock.h"

#include "pf_test_support.h"

namespace {

using pftest::TempDir;

TEST(InstanceLock, SecondAcquisitionFailsUntilReleased)
{
    TempDir dir;
    auto first = pf::InstanceLock::tryAcquire(dir.path(), "Vortanex_U1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path(), dir / "Vortanex_U1.lock");
    EXPECT_FALSE(pf::InstanceLock::tryAcquire(dir.path(), "Vortanex_U1"));

    auto other = pf::InstanceLock::tryAcquire(dir.path(), "Vortanex_U2");
    EXPECT_TRUE(other); // another user is another instance

    first.reset();
    EXPECT_TRUE(pf::InstanceLock::tryAcquire(dir.path(), "Vortanex_U1"));
}

TEST(InstanceLock, NamesStayInTheLockFolder)
{
    TempDir dir;
    auto lock = pf::InstanceLock::tryAcquire(dir.path(), "../evil/name");
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->path().parent_path(), dir.path());
    EXPECT_FALSE(pf::InstanceLock::tryAcquire(dir / "missing", "x"));
}

} // namespace
