#include "pf/machine_info.h"

#include "pf/files.h"
#include "pf_test_support.h"

namespace {

using pftest::TempDir;

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(MachineInfo, CollectsFromTheSystemFiles)
{
    TempDir root;
    ASSERT_TRUE(pf::files::ensureDir(root / "etc"));
    ASSERT_TRUE(pf::files::ensureDir(root / "sys/class/dmi/id"));
    ASSERT_TRUE(pf::files::writeAll(root / "etc/os-release", "NAME=\"Debian GNU/Linux\"\n"
                                                             "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                                             "VERSION_ID=\"12\"\n"));
    ASSERT_TRUE(pf::files::writeAll(root / "etc/machine-id", "0123456789abcdef\n"));
    ASSERT_TRUE(pf::files::writeAll(root / "sys/class/dmi/id/sys_vendor", "Acme Corp \n"));
    ASSERT_TRUE(pf::files::writeAll(root / "sys/class/dmi/id/product_name", "Box 9\n"));

    auto facts = pf::MachineInfo::collect(root.path());
    EXPECT_EQ(facts.osName, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(facts.manufacturer, "Acme Corp");
    EXPECT_EQ(facts.model, "Box 9");
    EXPECT_EQ(facts.productId, "0123456789abcdef");
    EXPECT_EQ(facts.serial, "0123456789abcdef"); // no hardware serial: the machine id
    EXPECT_FALSE(facts.osVersion.empty());
    EXPECT_GE(facts.cpus, 1);

    ASSERT_TRUE(pf::files::writeAll(root / "sys/class/dmi/id/product_serial", "SN-42\n"));
    EXPECT_EQ(pf::MachineInfo::collect(root.path()).serial, "SN-42");
}

TEST(MachineInfo, MissingFilesLeaveFactsEmpty)
{
    TempDir root;
    const auto facts = pf::MachineInfo::collect(root.path());
    EXPECT_FALSE(facts.osName.empty()); // uname's system name
    EXPECT_EQ(facts.manufacturer, "");
    EXPECT_EQ(facts.model, "");
    EXPECT_EQ(facts.serial, "");
}

TEST(MachineInfo, DetailsFileHasTheLabelledLineLayout)
{
    TempDir dir;
    pf::MachineFacts facts;
    facts.osName = "Debian GNU/Linux 12 (bookworm)";
    facts.osVersion = "6.1.0-18-amd64";
    facts.productId = "0123456789abcdef";
    facts.manufacturer = "Acme\nCorp"; // a line break must not shift the lines
    facts.model = "Box 9";
    facts.systemType = "x86_64";
    facts.serial = "SN-42";
    ASSERT_TRUE(pf::MachineInfo::writeDetailsFile(dir / "versionDetails.txt", facts));

    const auto text = pf::files::readAll(dir / "versionDetails.txt");
    ASSERT_TRUE(text);
    const auto lines = linesOf(*text);
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0], "OS Name:                   Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(lines[1], "OS Version:                6.1.0-18-amd64");
    EXPECT_EQ(lines[2], "Product ID:                0123456789abcdef");
    EXPECT_EQ(lines[3], "System Manufacturer:       Acme Corp");
    EXPECT_EQ(lines[4], "System Model:              Box 9");
    EXPECT_EQ(lines[5], "System Type:               x86_64");
    EXPECT_EQ(lines[18], "SerialNumber");
    EXPECT_EQ(lines[19], "SN-42");
}

} // namespace
