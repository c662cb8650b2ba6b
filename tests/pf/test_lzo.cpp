#include "pf/lzo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

std::vector<unsigned char> bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

std::vector<unsigned char> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<unsigned char> out(n);
    for (auto& b : out)
        b = static_cast<unsigned char>(gen());
    return out;
}

std::vector<unsigned char> masterList()
{
    std::string s = "20240101-1-5000~";
    for (int i = 0; i < 5000; ++i)
        s += std::to_string(i) + ",RELIANCE" + std::to_string(i % 37) + ",NSE,EQ,1,0.05~";
    return bytes(s);
}

TEST(Lzo, RoundTrips)
{
    ASSERT_TRUE(pf::lzo::init());
    ASSERT_TRUE(pf::lzo::init()); // once is enough, more is harmless
    struct Case {
        const char* name;
        std::vector<unsigned char> data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"master list", masterList()},
        {"incompressible", randomBytes(70000, 1)},
    };
    for (const auto& c : cases) {
        const auto packed = pf::lzo::compress(c.data.data(), c.data.size());
        ASSERT_FALSE(packed.empty()) << c.name;
        std::vector<unsigned char> out{1, 2, 3};
        ASSERT_TRUE(pf::lzo::inflate(packed.data(), packed.size(), out, c.data.size())) << c.name;
        EXPECT_EQ(out, c.data) << c.name;
    }
}

TEST(Lzo, OutputRoomIsABound)
{
    const auto data = masterList();
    const auto packed = pf::lzo::compress(data.data(), data.size());
    std::vector<unsigned char> out;
    int code = 0;
    EXPECT_FALSE(pf::lzo::inflate(packed.data(), packed.size(), out, data.size() - 1, &code));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(code, -5); // the library's output-overrun code, as callers log it
    EXPECT_TRUE(pf::lzo::inflate(packed.data(), packed.size(), out, data.size()));
    EXPECT_TRUE(pf::lzo::inflate(packed.data(), packed.size(), out, data.size() + 1));
    EXPECT_EQ(out.size(), data.size());
    // The archives' rule: room for 20 times the packed size.
    EXPECT_TRUE(pf::lzo::inflate(packed.data(), packed.size(), out, packed.size() * 20));
}

// Data that packs far better than the first guess: the unzeroed buffer grows
// until it fits, and the caller's bound still holds on every try.
TEST(Lzo, HighlyPackedDataGrowsTheUnzeroedBufferWithinTheBound)
{
    std::vector<unsigned char> data(3'000'000, 'x');
    for (size_t i = 0; i < data.size(); i += 4099)
        data[i] = static_cast<unsigned char>('a' + i % 26);
    const auto packed = pf::lzo::compress(data.data(), data.size());
    ASSERT_LT(packed.size() * 8 + 4096, data.size() / 2); // several doublings are needed
    pf::lzo::Bytes out;
    ASSERT_TRUE(pf::lzo::inflate(packed.data(), packed.size(), out, data.size() * 2));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin(), data.end()));
    int code = 0;
    EXPECT_FALSE(pf::lzo::inflate(packed.data(), packed.size(), out, data.size() - 1, &code));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(code, -5);
    EXPECT_TRUE(pf::lzo::inflate(packed.data(), packed.size(), out, data.size()));
    EXPECT_EQ(out.size(), data.size());
}

TEST(Lzo, HeadIsTheDataOwnBeginning)
{
    const auto data = masterList();
    const auto packed = pf::lzo::compress(data.data(), data.size());
    for (size_t room : {size_t{64}, size_t{4096}, data.size() + 100}) {
        std::vector<unsigned char> head(room);
        const size_t got = pf::lzo::inflateHead(packed.data(), packed.size(), head.data(), room);
        EXPECT_GT(got, room / 2) << room;
        EXPECT_LE(got, std::min(room, data.size())) << room;
        EXPECT_TRUE(std::equal(head.begin(), head.begin() + static_cast<long>(got), data.begin())) << room;
    }
    const auto noise = randomBytes(4096, 3);
    unsigned char head[4096];
    const size_t got = pf::lzo::inflateHead(noise.data(), noise.size(), head, sizeof head);
    EXPECT_LT(got, sizeof head); // whatever came before the fault, never past the room
}

TEST(Lzo, CorruptInputIsRefused)
{
    const auto data = masterList();
    const auto packed = pf::lzo::compress(data.data(), data.size());
    ASSERT_GT(packed.size(), 100u);

    struct Case {
        const char* name;
        std::vector<unsigned char> input;
    };
    std::vector<Case> cases;
    cases.push_back({"truncated", {packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2)}});
    cases.push_back({"end marker cut", {packed.begin(), packed.end() - 1}});
    auto trailing = packed;
    trailing.push_back(0);
    cases.push_back({"trailing byte", trailing});
    cases.push_back({"noise", randomBytes(4096, 2)});
    cases.push_back({"empty", {}});
    for (const auto& c : cases) {
        std::vector<unsigned char> out;
        EXPECT_FALSE(pf::lzo::inflate(c.input.data(), c.input.size(), out, data.size() * 2)) << c.name;
        EXPECT_TRUE(out.empty()) << c.name;
    }

    // Damage anywhere must never read or write out of bounds (the sanitizers
    // watch); a damaged copy may still decode to something.
    const size_t step = std::max<size_t>(1, packed.size() / 300);
    for (size_t at = 0; at < packed.size(); at += step) {
        auto damaged = packed;
        damaged[at] ^= 0x5A;
        std::vector<unsigned char> out;
        if (pf::lzo::inflate(damaged.data(), damaged.size(), out, data.size())) {
            EXPECT_LE(out.size(), data.size());
        }
    }
}

} // namespace
