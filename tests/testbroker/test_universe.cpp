// The master files decompress to the records written, with the securities the
// terminal's tests rely on.
#include "Lzo.h"
#include "TestBroker.h"
#include "Universe.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace test_universe {

namespace {

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string item;
    while (std::getline(ss, item, sep))
        out.push_back(item);
    return out;
}

std::string unpack(const std::string& lzo)
{
    // The terminal allows 20 times the compressed length.
    const auto text = tb::lzoDecompress(lzo, lzo.size() * 20);
    return text ? *text : std::string("<does not decompress within 20x>");
}

tb::BrokerOptions fixedDate(int securities = 3000, uint64_t seed = 1)
{
    tb::BrokerOptions o;
    o.securities = securities;
    o.seed = seed;
    o.year = 2026;
    o.month = 12;
    o.day = 8;
    o.keyDir = TB_KEYS_DIR;
    return o;
}

TEST(Universe, MasterFileDecompressesToTheRecordsWritten)
{
    tb::TestBroker broker(fixedDate());
    ASSERT_TRUE(broker.start());
    const std::string text = unpack(broker.fileBody("/security/security.lzo"));
    ASSERT_EQ(text, broker.universe().masterText());

    const std::vector<std::string> records = split(text, '~');
    ASSERT_EQ(records.front(), "08122026-0-3000");
    ASSERT_EQ(records.size(), 3001u);
    std::set<int> watch;
    std::map<std::string, std::string> byKey;
    std::string previous;
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string> f = split(records[i], ',');
        // A commodity also says what its price is for and its denominator.
        ASSERT_EQ(f.size(), f[1] == "MC" ? 14u : 11u) << records[i];
        if (f[1] == "MC") {
            EXPECT_GT(std::stoi(f[13]), 0) << records[i];
        }
        const int w = std::stoi(f[10]);
        EXPECT_GE(w, 1000) << records[i];
        EXPECT_TRUE(watch.insert(w).second) << "duplicate watch token " << records[i];
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(f[2][0])) || std::isdigit(static_cast<unsigned char>(f[2][0])));
        EXPECT_LE(previous, f[2]) << "records are grouped by display key";
        previous = f[2];
        byKey[f[0] + "," + f[1] + "," + f[2]] = f[10];
    }
    // A new user's default list and an index whose watch token is its 110 feed code.
    const std::pair<const char*, const char*> required[] = {
        {"1410,NN,SBIN|EQ", "2819"},     {"1524,NN,RELIANCE|EQ", "3047"}, {"14922,NN,INFY|EQ", "29843"},
        {"1949,NN,TCS|EQ", "3897"},      {"2046,NN,HDFCBANK|EQ", "4091"}, {"9495,NN,ICICIBANK|EQ", "18989"},
        {"2314,NN,ITC|EQ", "4627"},      {"26000,NN,NIFTY|IN", "51999"}};
    for (const auto& [key, wtoken] : required)
        EXPECT_EQ(byKey[key], wtoken) << key;
    // Every kind of security is there.
    for (const char* kind : {",BN,", "|FI|", "|OI|", "|FS|", "|OS|", ",CN,", ",CB,", "|OC|", ",MC,", "|CO|"})
        EXPECT_NE(text.find(kind), std::string::npos) << kind;
}

TEST(Universe, SideFilesAndIncrementalFileDecompress)
{
    tb::TestBroker broker(fixedDate());
    ASSERT_TRUE(broker.start());
    EXPECT_EQ(unpack(broker.fileBody("/security/category.lzo")).substr(0, 11), "08122026~6~"); // with "CNX Nifty"
    EXPECT_EQ(unpack(broker.fileBody("/security/services.lzo")), "08122026~2~Research Calls,1~SMS Alerts,2");
    const std::vector<std::string> advisory = split(unpack(broker.fileBody("/security/PellbrookSecFile.lzo")), '\n');
    ASSERT_GE(advisory.size(), 2u);
    EXPECT_EQ(advisory[0], "08122026");
    EXPECT_EQ(split(advisory[1], ',').size(), 5u);

    const std::vector<std::string> incr = split(unpack(broker.fileBody("/security/security_2.lzo")), '~');
    ASSERT_GE(incr.size(), 3u);
    EXPECT_EQ(incr[0], "08122026-2-" + std::to_string(incr.size() - 1));
    bool deletion = false;
    for (const std::string& r : incr)
        deletion |= r.find(",DEL,") != std::string::npos;
    EXPECT_TRUE(deletion);
}

TEST(Universe, SameSeedSameUniverseAndLargeUniversesStayUnique)
{
    const tb::Universe a(7, 3000, 2026, 12, 8), b(7, 3000, 2026, 12, 8), c(8, 3000, 2026, 12, 8);
    EXPECT_EQ(a.masterText(), b.masterText());
    EXPECT_NE(a.masterText(), c.masterText());

    const tb::Universe big(1, 40000, 2026, 12, 8);
    ASSERT_EQ(big.securities().size(), 40000u);
    std::set<int> watch;
    std::set<std::string> keys;
    for (const tb::Security& s : big.securities()) {
        EXPECT_TRUE(watch.insert(s.wtoken).second) << s.record();
        EXPECT_TRUE(keys.insert(s.exchange + s.securityText()).second) << s.record();
    }
    const std::string lzo = tb::lzoCompress(big.masterText());
    EXPECT_TRUE(tb::lzoDecompress(lzo, lzo.size() * 20).has_value());
}

} // namespace

} // namespace test_universe
