// Local list stamps, machine details and the side downloads of start-up.
#include "ServerFixture.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LocalFileStamps.h"
#include "app/base/MachineDetails.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/SideDownloads.h"

#include "pf/files.h"
#include "pf/machine_info.h"

namespace {

using servertest::ServerFixture;

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t p = 0;
    for (;;) {
        const size_t q = s.find(sep, p);
        out.push_back(s.substr(p, q == std::string::npos ? q : q - p));
        if (q == std::string::npos)
            return out;
        p = q + 1;
    }
}

pf::MachineFacts sampleFacts()
{
    pf::MachineFacts f;
    f.osName = "Debian GNU/Linux 12 (bookworm)";
    f.osVersion = "6.1.0-18-amd64";
    f.systemType = "x86_64";
    f.manufacturer = "Acme Computers";
    f.model = "Box 7";
    f.serial = "SER-123";
    f.productId = "0123abcd";
    return f;
}

class LocalFiles : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        ClearSessionRecord();
        SetDefaultSettings();
        clock.setMillis(1'709'632'800'000); // 5 March 2024
    }
    void TearDown() override
    {
        SetMachineFactsSource({});
        Headless::TearDown();
    }
    void writeComp(const char* name, const std::string& text)
    {
        ASSERT_TRUE(pf::files::writeAll(paths.comp() / name, text));
    }
};

TEST_F(LocalFiles, MachineDetailsFileParsesBack)
{
    ASSERT_TRUE(pf::MachineInfo::writeDetailsFile(paths.root() / "versionDetails.txt", sampleFacts()));
    int collected = 0;
    SetMachineFactsSource([&] {
        ++collected;
        return sampleFacts();
    });
    PrintOSVersion();
    EXPECT_EQ(collected, 0) << "an existing details file is reused";
    EXPECT_EQ(DeviceId(), "VX_SER-123_Acme Computers");
    const std::vector<std::string> f = split(MachineDetails(), '|');
    ASSERT_EQ(f.size(), 14u);
    EXPECT_EQ(f[0], "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(f[1], "VX_SER-123_Acme Computers");
    EXPECT_EQ(f[2], "0123abcd");
    EXPECT_EQ(f[3], "Acme Computers");
    EXPECT_EQ(f[4], "Box 7");
    EXPECT_EQ(f[5], "-");
    EXPECT_EQ(f[7], "6.1.0-18-") << "nine characters of the version";
    EXPECT_EQ(f[10], "0");
    EXPECT_EQ(f[13], std::string("Vortanex/") + kBuildText + "(Acme Computers Box 7 6.1.0-18-)");
}

TEST_F(LocalFiles, MissingDetailsFileIsWrittenOnceFromTheSystemFacts)
{
    int collected = 0;
    SetMachineFactsSource([&] {
        ++collected;
        return sampleFacts();
    });
    PrintOSVersion();
    PrintOSVersion();
    EXPECT_EQ(collected, 1);
    EXPECT_TRUE(pf::files::exists(paths.root() / "versionDetails.txt"));
    EXPECT_EQ(DeviceId(), "VX_SER-123_Acme Computers");

    // A details file that cannot be made gives the short record.
    std::filesystem::remove(paths.root() / "versionDetails.txt");
    std::filesystem::create_directory(paths.root() / "versionDetails.txt");
    PrintOSVersion();
    const std::string record = MachineDetails();
    EXPECT_EQ(split(record, '|').size(), 14u);
    EXPECT_EQ(record.back(), '|') << "nothing after the last separator";
}

TEST_F(LocalFiles, SecurityStampComesFromTheLocalListHeader)
{
    EXPECT_EQ(ReadSecurityStamp(), 1);
    EXPECT_STREQ(g_Session.security_stamp, "0");
    writeComp("security.lst", "05032024-3-120~1,2,3~");
    EXPECT_EQ(ReadSecurityStamp(), 0);
    EXPECT_STREQ(g_Session.security_stamp, "05032024");
}

struct StampCase {
    const char* name;
    const char* stamp;
    bool localFile;
    int result;
};

void PrintTo(const StampCase& c, std::ostream* os)
{
    *os << c.name;
}

class SecurityCheck : public LocalFiles, public ::testing::WithParamInterface<StampCase> {};

TEST_P(SecurityCheck, AnnouncedFileMustBeFetched)
{
    const StampCase& c = GetParam();
    if (c.localFile)
        writeComp("security.lst", "05032024-3-120~rows");
    CopyFixedText(g_Session.security_stamp, c.stamp);
    EXPECT_EQ(CheckDate(1), c.result);
}

const StampCase kStamps[] = {
    {"NothingDue", "0-0-0-0", true, 0},
    {"DateAnnounced", "20240305-1-0-0", true, 1},
    {"RecordsAnnounced", "0-0-5000-9000", true, 1},
    {"NoLocalList", "0-0-0-0", false, 1},
    {"GarbledStamp", "junk", true, 0},
};
INSTANTIATE_TEST_SUITE_P(Stamps, SecurityCheck, ::testing::ValuesIn(kStamps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalFiles, ListVersionsAndAdvisoryDate)
{
    EXPECT_EQ(CheckDate(2), 1) << "no category list";
    writeComp("category.lst", "05032024~a,b~");
    g_AppSettings.category_version = 5;
    g_Session.category_version = 5;
    EXPECT_EQ(CheckDate(2), 0);
    g_Session.category_version = 6;
    EXPECT_EQ(CheckDate(2), 1);

    writeComp("services.lst", "05032024~a~");
    g_AppSettings.services_version = 3;
    g_Session.services_version = 3;
    EXPECT_EQ(CheckDate(3), 0);
    g_Session.services_version = 4;
    EXPECT_EQ(CheckDate(3), 1);

    const pf::LocalTime now = clock.localNow();
    char today[16];
    std::snprintf(today, sizeof today, "%02d%02d%04d", now.day, now.month, now.year);
    EXPECT_EQ(CheckDate(4), 1) << "no advisory list";
    writeComp("PellbrookSecFile.lst", std::string(today) + "\n1,x,NN,Bullish|a|b,r\n");
    EXPECT_EQ(CheckDate(4), 0);
    clock.advanceSeconds(24 * 3600);
    EXPECT_EQ(CheckDate(4), 1) << "yesterday's list";
    writeComp("PellbrookSecFile.lst", "0503");
    EXPECT_EQ(CheckDate(4), 1) << "shorter than a date";
    EXPECT_EQ(CheckDate(7), 0);
}

TEST_F(ServerFixture, SideDownloadsFetchOnlyWhatIsMissing)
{
    EXPECT_EQ(testkit::onWorker([&] { return CheckMFCDLLThread(); }), 0);
    EXPECT_EQ(pf::files::readAll(paths.root() / "alert.wav").value_or(""), broker->fileBody("/alert.wav"));
    EXPECT_EQ(requestsTo("/Vortanex/MFC42.lzo"), 0) << "the Windows runtime is never fetched";

    std::filesystem::remove(paths.root() / "alert.wav");
    ASSERT_TRUE(pf::files::writeAll(paths.sound() / "alert.wav", "RIFF"));
    EXPECT_EQ(testkit::onWorker([&] { return CheckMFCDLLThread(); }), 0);
    EXPECT_FALSE(pf::files::exists(paths.root() / "alert.wav"));
    EXPECT_EQ(requestsTo("/alert.wav"), 1);

    EXPECT_EQ(CheckOCXThread(), 0);
    EXPECT_EQ(CheckRegistryforOCX(), 0);
    EXPECT_EQ(requestsTo("/Vortanex/QuenmarkChartX.lzo"), 0);
}

TEST_F(ServerFixture, LoginImageIsFetchedAgainOnlyWhenItsStampChanged)
{
    broker->setReply("/login.png", "PNGDATA");
    const auto image = paths.data() / "images" / "login.png";
    testkit::onWorker([&] { return DownloadLoginImage(image, *profile); });
    EXPECT_EQ(pf::files::readAll(image).value_or(""), "PNGDATA");
    const std::string stamp = profile->getText("Vortanex", "loginimage");
    EXPECT_EQ(stamp.size(), 1u + 14u) << "size, then the time as ddmmyyyyHHMMSS";
    EXPECT_EQ(stamp[0], '7');
    testkit::onWorker([&] { return DownloadLoginImage(image, *profile); });
    EXPECT_EQ(requestsTo("/login.png"), 1);

    ASSERT_TRUE(pf::files::writeAll(image, "changed locally"));
    testkit::onWorker([&] { return DownloadLoginImage(image, *profile); });
    EXPECT_EQ(requestsTo("/login.png"), 2);
    EXPECT_EQ(pf::files::readAll(image).value_or(""), "PNGDATA");
}

} // namespace
