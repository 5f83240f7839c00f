// The match finder against its reference model, and its edge cases.
#include <gtest/gtest.h>

#include <memory>

#include "lz77/encode_test_support.h"

namespace orvdc::test {
namespace {

struct Call {
    std::size_t bytes;
    std::int32_t room;
    int flush;
};

// Feeds `data` through calls of the given shapes (the last shape repeats
// until the data is used up) to the library and to the reference model, and
// requires the same pairs, consumption, statuses and running CRC-32.
void compareWithModel(const Bytes& data, int level, const std::vector<Call>& calls, const char* what) {
    SCOPED_TRACE(what);
    SCOPED_TRACE(level);
    EncoderBlock block(level, LZ77ChecksumCRC32);
    auto model = std::make_unique<ReferenceMatchFinder>(level);
    std::vector<LZ77Pair> buffer(65536);
    std::size_t pos = 0;
    std::uint32_t crc = 0;
    for (std::size_t k = 0; pos < data.size(); ++k) {
        const Call c = calls[std::min(k, calls.size() - 1)];
        const std::size_t n = std::min(c.bytes, data.size() - pos);
        const std::uint8_t* src = data.data() + pos;
        auto srcLen = static_cast<std::int32_t>(n);
        LZ77Pair* dst = buffer.data();
        std::int32_t room = c.room;
        const orvStatus s = orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, c.flush, block.get());

        std::vector<LZ77Pair> expected;
        const std::size_t consumed =
            model->encode(data.data() + pos, n, static_cast<std::size_t>(c.room), c.flush, expected);
        ASSERT_EQ(static_cast<std::size_t>(src - (data.data() + pos)), consumed) << "call " << k;
        ASSERT_EQ(srcLen, static_cast<std::int32_t>(n - consumed));
        ASSERT_EQ(s, consumed < n ? orvStsDstFull : orvStsOk);
        const auto produced = static_cast<std::size_t>(dst - buffer.data());
        ASSERT_EQ(produced, expected.size()) << "call " << k;
        ASSERT_EQ(room, c.room - static_cast<std::int32_t>(produced));
        for (std::size_t i = 0; i < produced; ++i) {
            ASSERT_EQ(buffer[i].length, expected[i].length) << "call " << k << " pair " << i;
            ASSERT_EQ(buffer[i].offset, expected[i].offset) << "call " << k << " pair " << i;
        }
        if (consumed > 0) orvsCRC32_8u(data.data() + pos, static_cast<std::int32_t>(consumed), &crc);
        pos += consumed;
    }
    // The running checksum and the length total cover exactly the consumed
    // bytes: close the (empty) stream and read them from the trailer.
    std::uint8_t trailer[8];
    std::uint8_t* d = trailer;
    std::int32_t room = 8;
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, block.get());
    static const LZ77Pair none{};
    const LZ77Pair* p = &none;
    std::int32_t np = 0;
    std::uint8_t scratch[4];
    std::uint8_t* sd = scratch;
    std::int32_t sroom = 4;
    ASSERT_EQ(orvsEncodeLZ77FixedHuff_8u(&p, &np, &sd, &sroom, LZ77FlushFinish, block.get()), orvStsStreamEnd);
    ASSERT_EQ(orvsEncodeLZ77Flush_8u(&d, &room, block.get()), orvStsOk);
    const std::uint32_t got = trailer[0] | trailer[1] << 8 | trailer[2] << 16 | std::uint32_t{trailer[3]} << 24;
    const std::uint32_t total = trailer[4] | trailer[5] << 8 | trailer[6] << 16 | std::uint32_t{trailer[7]} << 24;
    EXPECT_EQ(got, crc);
    EXPECT_EQ(total, data.size());
}

Bytes runsAndRepeats(std::size_t n, std::uint64_t seed) {
    Rng rng(seed);
    Bytes out;
    while (out.size() < n) {
        switch (rng.below(4)) {
            case 0: out.insert(out.end(), 1 + rng.below(400), static_cast<std::uint8_t>(rng.below(4))); break;
            case 1:
                // a copy from anywhere earlier, often beyond the 32 KB window
                if (out.size() > 100) {
                    const std::size_t from = rng.below(static_cast<std::uint32_t>(out.size() - 50));
                    const std::size_t len = std::min<std::size_t>(3 + rng.below(600), out.size() - from);
                    for (std::size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
                }
                break;
            default:
                for (std::uint32_t i = 0, m = 1 + rng.below(60); i < m; ++i) {
                    out.push_back(static_cast<std::uint8_t>(rng.below(256)));
                }
        }
    }
    out.resize(n);
    return out;
}

class MatchFinderModel : public ::testing::TestWithParam<int> {};

TEST_P(MatchFinderModel, SamePairsInOneCall) {
    const int level = GetParam();
    compareWithModel(textLikeBytes(150000, 1), level, {{1u << 20, 1 << 20, LZ77FlushNone}}, "text");
    compareWithModel(runsAndRepeats(140000, 2), level, {{1u << 20, 1 << 20, LZ77FlushNone}}, "runs");
    compareWithModel(randomBytes(40000, 3), level, {{1u << 20, 1 << 20, LZ77FlushNone}}, "random");
    compareWithModel(skewedBytes(90000, 6, 4), level, {{1u << 20, 1 << 20, LZ77FlushNone}}, "skewed");
}

TEST_P(MatchFinderModel, SamePairsInSmallPiecesWithWindowSlides) {
    const int level = GetParam();
    // Pieces of 1000 bytes slide the window every few dozen calls; pieces
    // above 32768 bytes replace it whole.
    compareWithModel(runsAndRepeats(120000, 5), level, {{1000, 65536, LZ77FlushNone}}, "1000-byte pieces");
    compareWithModel(textLikeBytes(150000, 6), level,
                     {{7, 65536, 0}, {40000, 65536, 0}, {33000, 65536, 0}, {257, 65536, 0}, {259, 65536, 0},
                      {30000, 65536, 0}, {1, 65536, 0}, {2, 65536, 0}, {3, 65536, 0}, {4, 65536, 0}, {20011, 65536, 0}},
                     "mixed pieces");
}

TEST_P(MatchFinderModel, SamePairsWhenThePairArrayFills) {
    const int level = GetParam();
    compareWithModel(textLikeBytes(60000, 7), level, {{1u << 20, 1, 0}, {1u << 20, 2, 0}, {1u << 20, 97, 0}},
                     "rooms 1, 2, 97");
    std::vector<Call> calls;
    Rng rng(8);
    for (int i = 0; i < 400; ++i) calls.push_back({1 + rng.below(3000), static_cast<std::int32_t>(1 + rng.below(300)), 0});
    compareWithModel(runsAndRepeats(200000, 9), level, calls, "random rooms");
}

TEST_P(MatchFinderModel, SamePairsAcrossFullFlushes) {
    const int level = GetParam();
    std::vector<Call> calls;
    Rng rng(10);
    for (int i = 0; i < 300; ++i) {
        const int flush = static_cast<int>(rng.below(4));
        calls.push_back({1 + rng.below(5000), static_cast<std::int32_t>(1 + rng.below(4000)), flush});
    }
    compareWithModel(runsAndRepeats(300000, 11), level, calls, "random flushes");
    // Calls long enough for the skip hints of the chain walks.
    std::vector<Call> longCalls;
    for (int i = 0; i < 12; ++i) {
        longCalls.push_back({70000 + rng.below(30000), 65536, static_cast<int>(rng.below(4))});
    }
    compareWithModel(runsAndRepeats(800000, 12), level, longCalls, "long calls, random flushes");
}

TEST_P(MatchFinderModel, SamePairsWhenMatchesRunToTheLimit) {
    // Periodic data: matches run as far as allowed, so they end at every
    // limit the source length gives (within and after the 16- and 8-byte
    // compare steps).  After a history call the candidates lie in the
    // window and the matches run on past the start of the call.  With the
    // last byte changed, the bytes that agree run past the limit by one but
    // not to the end of an 8-byte compare.
    const int level = GetParam();
    const Bytes unit = randomBytes(23, 14);
    for (const std::size_t period : {1u, 23u}) {
        for (const std::size_t history : {0u, 300u}) {
            for (std::size_t n = 1; n <= 280; ++n) {
                for (const bool changeLast : {false, true}) {
                    Bytes data(history + n);
                    for (std::size_t i = 0; i < data.size(); ++i) data[i] = unit[i % period];
                    if (changeLast) data.back() ^= 0x5A;
                    std::vector<Call> calls;
                    if (history > 0) calls.push_back({history, 65536, LZ77FlushNone});
                    calls.push_back({n, 65536, LZ77FlushNone});
                    compareWithModel(data, level, calls, "periodic");
                    if (::testing::Test::HasFatalFailure()) return;
                }
            }
        }
    }
}

// The whole corpus, each file in pieces of 256 KiB (the window slides and
// is replaced between them): the fast paths of the finder give the pairs of
// the model on real data too.
TEST_P(MatchFinderModel, SamePairsOnTheCorpus) {
    const int level = GetParam();
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus absent";
    for (const std::string& path : files) {
        const Bytes data = readFile(path);
        compareWithModel(data, level, {{262144, 65536, LZ77FlushNone}}, path.c_str());
        if (::testing::Test::HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, MatchFinderModel, ::testing::Values(0, 1, 2));

std::vector<LZ77Pair> findPairs(const Bytes& data, int level, int flush = LZ77FlushNone) {
    EncoderBlock block(level, LZ77ChecksumNone);
    std::vector<LZ77Pair> out(data.size() + 1);
    const std::uint8_t* src = data.data();
    auto srcLen = static_cast<std::int32_t>(data.size());
    LZ77Pair* dst = out.data();
    auto room = static_cast<std::int32_t>(out.size());
    EXPECT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, flush, block.get()), orvStsOk);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

TEST(MatchFinder, LongRunAtLevel0) {
    const auto pairs = findPairs(Bytes(300, 'x'), 0);
    ASSERT_GE(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].length, 'x');
    EXPECT_EQ(pairs[0].offset, 0);
    EXPECT_EQ(pairs[1].length, 258);
    EXPECT_EQ(pairs[1].offset, 1);
    std::size_t covered = 0;
    for (std::size_t i = 0; i + 2 < pairs.size(); ++i) covered += pairs[i].offset ? pairs[i].length : 1;
    EXPECT_EQ(covered, 298u);  // the last two bytes are literals
    EXPECT_EQ(pairs[pairs.size() - 1].offset, 0);
    EXPECT_EQ(pairs[pairs.size() - 2].offset, 0);
}

// Bytes whose 3-byte strings are all distinct: a two-byte counter.
Bytes distinctTriples(std::size_t n) {
    Bytes out;
    for (std::uint32_t k = 0; out.size() < n; ++k) {
        out.push_back(static_cast<std::uint8_t>(k >> 8));
        out.push_back(static_cast<std::uint8_t>(k));
    }
    out.resize(n);
    return out;
}

TEST(MatchFinder, Level2TakesShortMatchesOnlyUpTo4096Back) {
    for (const std::size_t distance : {4096u, 4097u}) {
        Bytes data = {0xF0, 0xF1, 0xF2};
        const Bytes filler = distinctTriples(distance - 3);
        data.insert(data.end(), filler.begin(), filler.end());
        const std::size_t p = data.size();
        data.insert(data.end(), {0xF0, 0xF1, 0xF2, 0xE0, 0xE1, 0xE2, 0xE3});
        const auto pairs = findPairs(data, 2);
        std::size_t at = 0;
        std::size_t i = 0;
        while (at < p) at += pairs[i].offset ? pairs[i].length : 1, ++i;
        ASSERT_EQ(at, p);
        if (distance == 4096) {
            EXPECT_EQ(pairs[i].length, 3);
            EXPECT_EQ(pairs[i].offset, 4096);
        } else {
            EXPECT_EQ(pairs[i].length, 0xF0);
            EXPECT_EQ(pairs[i].offset, 0);
        }
    }
}

// Every match lies inside the data seen since the last window restart and
// repeats it; distances stay within 1..32767.
void checkPairsValid(const Bytes& data, const std::vector<LZ77Pair>& pairs, std::size_t epochStart) {
    std::size_t at = 0;
    for (const auto& p : pairs) {
        if (p.offset == 0) {
            ASSERT_EQ(p.length, data[at]);
            ++at;
            continue;
        }
        ASSERT_GE(p.length, 3);
        ASSERT_LE(p.length, 258);
        ASSERT_LE(p.offset, 32767);
        ASSERT_LE(p.offset, at - epochStart);
        for (std::size_t k = 0; k < p.length; ++k) ASSERT_EQ(data[at + k], data[at + k - p.offset]);
        at += p.length;
    }
    ASSERT_EQ(at, data.size());
}

TEST(MatchFinder, FullFlushForgetsEverythingBefore) {
    const Bytes first = textLikeBytes(20000, 12);
    Bytes again(first.begin(), first.begin() + 5000);  // repeats of the first piece only
    for (int level = 0; level < 3; ++level) {
        EncoderBlock block(level, LZ77ChecksumNone);
        std::vector<LZ77Pair> pairs(40000);
        for (int flush : {LZ77FlushNone, LZ77FlushFull}) {
            const std::uint8_t* src = first.data();
            auto srcLen = static_cast<std::int32_t>(first.size());
            LZ77Pair* dst = pairs.data();
            std::int32_t room = 40000;
            ASSERT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, flush, block.get()), orvStsOk);
        }
        // The call after the full-flush call and the one after that: no
        // reference before their own start.
        for (int call = 0; call < 2; ++call) {
            const std::uint8_t* src = again.data();
            auto srcLen = static_cast<std::int32_t>(again.size());
            LZ77Pair* dst = pairs.data();
            std::int32_t room = 40000;
            ASSERT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, LZ77FlushNone, block.get()), orvStsOk);
            checkPairsValid(again, std::vector<LZ77Pair>(pairs.data(), dst), 0);
        }
    }
}

TEST(MatchFinder, ArgumentChecks) {
    EncoderBlock block(1, LZ77ChecksumAdler32);
    const std::uint8_t byte = 1;
    const std::uint8_t* src = &byte;
    std::int32_t srcLen = 1;
    LZ77Pair pair{};
    LZ77Pair* dst = &pair;
    std::int32_t room = 1;
    EXPECT_TRUE(eachNullRefused(orvsEncodeLZ77_8u, &src, &srcLen, &dst, &room, 0, block.get()));
    room = -1;
    srcLen = -1;
    EXPECT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, 0, block.get()), orvStsBadSize);
    room = 0;
    srcLen = 1;
    EXPECT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, 0, block.get()), orvStsDstFull);
    EXPECT_EQ(srcLen, 1);
    room = 1;
    srcLen = 0;
    EXPECT_EQ(orvsEncodeLZ77_8u(&src, &srcLen, &dst, &room, 0, block.get()), orvStsOk);
    EXPECT_EQ(src, &byte);
    EXPECT_EQ(room, 1);
}

}  // namespace
}  // namespace orvdc::test
