// Streams written by zlib's deflate (every level and strategy, flush points,
// level changes that mix stored and Huffman blocks, the corpus) decode to the
// original bytes on both paths and with any call sizes; corrupted streams
// decode to zlib's bytes whenever zlib accepts them, and fail when it fails.
#include <gtest/gtest.h>

#include "lz77/decode_test_support.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>

namespace {

using namespace orvdc::test;
using namespace orvdc::test::decodetest;

// zlib's own decoding of a raw stream: the bytes, or nothing on failure.
bool zlibInflate(const Bytes& stream, Bytes& out, std::size_t limit) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    out.assign(limit, 0);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// Decodes with the given options and checks bytes and the end position.
void expectRoundTrip(const Bytes& data, const Bytes& deflated, const DriveOptions& opt) {
    Bytes stream = deflated;
    for (std::uint8_t b : {0x11, 0x22, 0x33, 0x44}) stream.push_back(b);  // a trailer
    const DriveResult r = drive(stream, opt);
    ASSERT_EQ(r.status, orvStsStreamEnd);
    ASSERT_EQ(r.out.size(), data.size());
    ASSERT_TRUE(r.out == data);
    EXPECT_EQ(r.srcUsed, deflated.size());
}

const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

TEST(DecodeZlib, EveryLevelAndStrategy) {
    const Bytes text = textLikeBytes(150000, 1);
    const Bytes noise = randomBytes(40000, 2);
    const Bytes skewed = skewedBytes(60000, 7, 3);
    for (const Bytes* data : {&text, &noise, &skewed}) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : kStrategies) {
                const Bytes d = zlibDeflate(*data, level, strategy);
                for (Path path : {Path::OnePass, Path::Pairs}) {
                    DriveOptions opt{path};
                    SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy);
                    expectRoundTrip(*data, d, opt);
                }
            }
        }
    }
}

TEST(DecodeZlib, FlushPointsAndLevelChanges) {
    const Bytes text = textLikeBytes(200000, 4);
    std::vector<Piece> plan;
    Rng rng(8);
    const int flushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
    const int levels[] = {0, 1, 6, 9, 0, -2};
    for (int i = 0; i < 40; ++i) {
        Piece p{1 + rng.below(9000), flushes[rng.below(5)], levels[rng.below(6)],
                kStrategies[rng.below(5)]};
        plan.push_back(p);
    }
    const Bytes d = zlibDeflate(text, 6, Z_DEFAULT_STRATEGY, plan);
    for (Path path : {Path::OnePass, Path::Pairs, Path::Mixed}) {
        for (std::uint64_t seed = 1; seed <= 3; ++seed) {
            DriveOptions opt{path};
            opt.seed = seed;
            opt.useGetBlockType = seed != 2;
            expectRoundTrip(text, d, opt);
        }
    }
    // Stored blocks (level 0) between Huffman blocks whose matches reach into
    // them: alternate the levels at every piece.
    std::vector<Piece> alternate;
    for (int i = 0; i < 30; ++i) alternate.push_back({5000, Z_BLOCK, i % 2 == 0 ? 0 : 6});
    const Bytes mixed = zlibDeflate(text, 6, Z_DEFAULT_STRATEGY, alternate);
    for (Path path : {Path::OnePass, Path::Pairs, Path::Mixed}) expectRoundTrip(text, mixed, DriveOptions{path});
}

TEST(DecodeZlib, EverySplit) {
    const Bytes text = textLikeBytes(40000, 5);
    std::vector<Piece> plan{{7000, Z_SYNC_FLUSH}, {3000, Z_FULL_FLUSH, 0}, {9000, Z_BLOCK, 6}, {9000, Z_NO_FLUSH, 1, Z_FIXED}};
    const Bytes d = zlibDeflate(text, 9, Z_DEFAULT_STRATEGY, plan);
    for (Path path : {Path::OnePass, Path::Pairs, Path::Mixed}) {
        DriveOptions opt{path};
        opt.srcChunk = 1;
        expectRoundTrip(text, d, opt);
        opt.srcChunk = 1u << 30;
        opt.dstChunk = 1;
        opt.pairChunk = 1;
        expectRoundTrip(text, d, opt);
        opt.srcChunk = 3;
        opt.dstChunk = 257;
        opt.pairChunk = 5;
        expectRoundTrip(text, d, opt);
    }
}

TEST(DecodeZlib, Corpus) {
    const auto files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus absent";
    for (const auto& path : files) {
        const Bytes data = readFile(path);
        for (int level : {1, 6, 9}) {
            const Bytes d = zlibDeflate(data, level, Z_DEFAULT_STRATEGY);
            SCOPED_TRACE(path);
            for (Path p : {Path::OnePass, Path::Pairs}) expectRoundTrip(data, d, DriveOptions{p});
        }
        DriveOptions odd{Path::Mixed};
        odd.srcChunk = 4093;
        odd.dstChunk = 3001;
        odd.pairChunk = 999;
        expectRoundTrip(data, zlibDeflate(data, 6, Z_DEFAULT_STRATEGY), odd);
    }
}

// Corrupted streams: where zlib decodes to the end, so do both paths, with
// the same bytes; where zlib fails, so do they.
TEST(DecodeZlib, CorruptedStreamsAgreeWithZlib) {
    Rng rng(12);
    int agreedOk = 0, agreedFail = 0;
    for (int iter = 0; iter < 1500; ++iter) {
        const Bytes data = iter % 3 == 0 ? skewedBytes(3000, 20, iter) : textLikeBytes(3000, iter);
        Bytes d = zlibDeflate(data, 1 + iter % 9, kStrategies[iter % 5]);
        const int flips = 1 + static_cast<int>(rng.below(3));
        for (int f = 0; f < flips; ++f) d[rng.below(static_cast<std::uint32_t>(d.size()))] ^= static_cast<std::uint8_t>(1u << rng.below(8));
        if (rng.below(4) == 0) d.resize(rng.below(static_cast<std::uint32_t>(d.size())));
        Bytes stream = d;
        stream.insert(stream.end(), 8, 0);  // trailer-like tail
        Bytes expected;
        const bool zok = zlibInflate(stream, expected, 1u << 20);
        for (Path path : {Path::OnePass, Path::Pairs}) {
            DriveOptions opt{path};
            opt.maxCalls = 1'000'000;
            const DriveResult r = drive(stream, opt);
            const bool ok = r.status == orvStsStreamEnd;
            ASSERT_EQ(ok, zok) << "iteration " << iter << " status " << r.status;
            if (ok) {
                ASSERT_TRUE(r.out == expected) << "iteration " << iter;
            } else {
                // Output before the failure is a prefix of what zlib produced
                // up to its failure, as far as both got.
                const std::size_t n = std::min(r.out.size(), expected.size());
                ASSERT_TRUE(std::equal(r.out.begin(), r.out.begin() + static_cast<std::ptrdiff_t>(n), expected.begin()));
            }
        }
        (zok ? agreedOk : agreedFail)++;
    }
    EXPECT_GT(agreedOk, 10);
    EXPECT_GT(agreedFail, 100);
}

}  // namespace

#endif  // ORVDC_HAVE_ZLIB
