// File downloads against the test broker: whole bodies only, files put in
// place only when whole, bounded unpacking.
#include "ServerFixture.h"

#include "server/FileDownloads.h"
#include "server/RequestServer.h"
#include "server/RequestServerAccess.h"

#include "app/base/ProgressReport.h"
#include "app/base/SessionRecord.h"
#include "app/base/FixedText.h"

#include "pf/files.h"

#include <mutex>
#include <vector>

namespace {

using servertest::ServerFixture;

std::vector<std::string> compFiles(const pf::Paths& paths)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(paths.comp()))
        names.push_back(e.path().filename().string());
    return names;
}

class RecordingProgress : public ProgressReporter {
public:
    void setProgressMessage(std::string_view text) override
    {
        std::lock_guard lock(m_mutex);
        messages.emplace_back(text);
    }
    void stepProgress() override
    {
        std::lock_guard lock(m_mutex);
        ++steps;
    }
    std::mutex m_mutex;
    std::vector<std::string> messages;
    int steps = 0;
};

TEST_F(ServerFixture, DownLoadFileReturnsTheWholeBody)
{
    std::string body;
    long length = 0;
    // Several chunks, with NULs in them.
    std::string expected;
    for (int i = 0; expected.size() < 50000; ++i)
        expected += std::to_string(i) + '\0';
    broker->setReply("/charts/7.lzo", expected);
    ASSERT_EQ(testkit::onWorker([&] { return DownLoadFile("127.0.0.1", 80, "/charts/7.lzo", "", body, length); }), 200);
    EXPECT_EQ(body, expected);
    EXPECT_EQ(length, static_cast<long>(expected.size()));

    tb::HttpFault empty;
    empty.emptyBody = true;
    broker->armFault("/alert.wav", empty);
    ASSERT_EQ(testkit::onWorker([&] { return DownLoadFile("127.0.0.1", 80, "/alert.wav", "", body, length); }), 200);
    EXPECT_EQ(length, 0);
    EXPECT_TRUE(body.empty());

    EXPECT_EQ(testkit::onWorker([&] { return DownLoadFile("127.0.0.1", 80, "/no/such.lzo", "", body, length); }), 404);
    EXPECT_EQ(length, 0);
}

TEST_F(ServerFixture, CutOffDownloadIsAFailure)
{
    tb::HttpFault cut;
    cut.cutAfter = 5000;
    broker->armFault("/security/security.lzo", cut);
    std::string body = "stale";
    long length = 9;
    const int status = testkit::onWorker([&] { return DownLoadFile("127.0.0.1", 80, "/security/security.lzo", "", body, length); });
    EXPECT_NE(status, 200);
    EXPECT_GT(status, 0) << "the client's error number";
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(length, 0);
}

TEST_F(ServerFixture, CategoryFileIsWrittenOnlyWhenWhole)
{
    RecordingProgress progress;
    SetCurrentProgress(&progress);
    const auto target = paths.comp() / "category.lzo";
    std::string reply;
    long length = 0;

    tb::HttpFault cut;
    cut.cutAfter = 10;
    broker->armFault("/security/category.lzo", cut);
    EXPECT_NE(testkit::onWorker([&] { return RequestServer(0, 15, "", reply, length); }), 200);
    EXPECT_FALSE(pf::files::exists(target));
    EXPECT_TRUE(compFiles(paths).empty()) << "no partial file is left behind";

    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 15, "", reply, length); }), 200);
    const std::string expected = broker->fileBody("/security/category.lzo");
    EXPECT_EQ(pf::files::readAll(target).value_or(""), expected);
    EXPECT_EQ(length, static_cast<long>(expected.size()));
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(compFiles(paths), std::vector<std::string>{"category.lzo"});

    // A later failure keeps the good file.
    broker->armFault("/security/category.lzo", tb::HttpFault{500});
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 15, "", reply, length); }), 500);
    EXPECT_EQ(pf::files::readAll(target).value_or(""), expected);
    EXPECT_EQ(length, 0);

    // Category shows its progress message; services shows none.
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 18, "", reply, length); }), 200);
    EXPECT_TRUE(pf::files::exists(paths.comp() / "services.lzo"));
    SetCurrentProgress(nullptr);
    for (const std::string& m : progress.messages)
        EXPECT_EQ(m, "Downloading Category Information");
    EXPECT_FALSE(progress.messages.empty());
}

TEST_F(ServerFixture, SecurityDownloadStepsTheProgressByQuarters)
{
    RecordingProgress progress;
    SetCurrentProgress(&progress);
    CopyFixedText(g_Session.security_stamp, "0-0-0-0");
    broker->setReply("/security/security_0.lzo", std::string(40000, 'z'));
    SetSecurityDownloadStep(10000);
    std::string reply;
    long length = 0;
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 1, "", reply, length); }), 200);
    SetSecurityDownloadStep(0);
    SetCurrentProgress(nullptr);
    EXPECT_EQ(length, 40000);
    EXPECT_EQ(progress.steps, 4);
    EXPECT_EQ(pf::files::size(paths.comp() / "security.lzo"), 40000);
}

TEST_F(ServerFixture, MasterDownloadSeamServesTheFiles)
{
    RequestServerAccess server;
    const ServerReply file = testkit::onWorker([&] { return server.downLoadFile("127.0.0.1", 80, "/security/security.lzo"); });
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, broker->fileBody("/security/security.lzo"));

    const ServerReply category = testkit::onWorker([&] { return server.requestServer(0, 15, ""); });
    EXPECT_EQ(category.status, 200);
    EXPECT_EQ(category.body, broker->fileBody("/security/category.lzo"));

    // A code that is not a file code hands its reply text through.
    broker->setReply("ReportData=700", "701|0|ok");
    const ServerReply text = testkit::onWorker([&] { return server.requestServer(0, 700, "ReportData=700|U1"); });
    EXPECT_EQ(text.status, 200);
    EXPECT_EQ(text.body, "701|0|ok");
}

TEST(DecompressLzo, UnpacksOnlyWithinTheRoomAndRefusesDamage)
{
    const std::string text(100000, 'a'); // packs far beyond 20 to 1
    const std::string packed = servertest::packLzo(text);
    std::string out;
    EXPECT_FALSE(DecompressLZO(packed, out)) << "more than 20 times the packed size";
    EXPECT_TRUE(out.empty());

    std::vector<unsigned char> room(text.size());
    const auto* in = reinterpret_cast<const unsigned char*>(packed.data());
    EXPECT_EQ(DecompressLZO(in, room.data(), static_cast<long>(packed.size()), static_cast<long>(room.size())),
              static_cast<long>(text.size()));
    EXPECT_EQ(DecompressLZO(in, room.data(), static_cast<long>(packed.size()), static_cast<long>(room.size()) - 1), 0);
    EXPECT_EQ(DecompressLZO(in, room.data(), static_cast<long>(packed.size()) - 3, static_cast<long>(room.size())), 0)
        << "truncated input";

    std::string varied;
    for (int i = 0; i < 5000; ++i)
        varied += std::to_string(i * 7919 % 10007) + ",";
    const std::string packedVaried = servertest::packLzo(varied);
    ASSERT_TRUE(DecompressLZO(packedVaried, out));
    EXPECT_EQ(out, varied);
    std::string corrupt = packedVaried;
    corrupt[corrupt.size() / 2] ^= 0x5a;
    corrupt[corrupt.size() / 3] ^= 0x33;
    std::string damaged;
    if (DecompressLZO(corrupt, damaged)) {
        EXPECT_NE(damaged, varied);
    }
    EXPECT_FALSE(DecompressLZO(std::string_view(), out));
}

} // namespace
