// The deflate decoder's fast loops are built for the base instruction set and
// with BMI2; each path, forced in turn, decodes zlib's streams to the same
// bytes with any call sizes, and corrupted streams to the same result (bytes,
// status and source position) as the base path.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/cpu_paths.h"
#include "core/cpu_features.h"
#include "lz77/decode_test_support.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>

namespace {

using namespace orvdc::test;
using namespace orvdc::test::decodetest;
namespace cpu = orvdc::cpu;

struct CpuPath {
    const char* name;
    std::uint32_t features;
};
constexpr CpuPath kPaths[] = {{"base", 0}, {"bmi2", cpu::kBmi2}};

class DecodeCpuPaths : public CpuPathTest {
protected:
    // Runs `body` once per path the processor has, features restricted to it.
    template <class Body>
    void forEachPath(Body body) {
        for (const CpuPath& path : kPaths) {
            if (!restrictToPath(path.features)) {
                std::printf("not available here: %s\n", path.name);
                continue;
            }
            SCOPED_TRACE(std::string("path ") + path.name);
            body();
        }
    }
};

// Wide and narrow table roots (dynamic and fixed blocks), literal-only and
// distance-1 streams, through both outputs and call sizes that run the fast
// loop, the tail loop and the byte-at-a-time loop.
TEST_F(DecodeCpuPaths, EveryPathDecodesZlibStreams) {
    const Bytes text = textLikeBytes(120000, 5);
    struct Case {
        int level, strategy;
    };
    const Case cases[] = {{6, Z_DEFAULT_STRATEGY}, {9, Z_FIXED}, {6, Z_HUFFMAN_ONLY}, {6, Z_RLE}, {1, Z_FILTERED}};
    for (const Case& c : cases) {
        Bytes stream = zlibDeflate(text, c.level, c.strategy);
        const std::size_t size = stream.size();
        stream.insert(stream.end(), 4, 0x5A);  // a trailer
        forEachPath([&] {
            for (Path path : {Path::OnePass, Path::Pairs}) {
                for (std::size_t dstChunk : {std::size_t{1} << 30, std::size_t{65536}, std::size_t{257},
                                             std::size_t{40}}) {
                    DriveOptions opt{path};
                    opt.dstChunk = dstChunk;
                    opt.srcChunk = dstChunk == 40 ? 11 : std::size_t{1} << 30;
                    const DriveResult r = drive(stream, opt);
                    ASSERT_EQ(r.status, orvStsStreamEnd) << c.strategy << " " << dstChunk;
                    ASSERT_TRUE(r.out == text) << c.strategy << " " << dstChunk;
                    EXPECT_EQ(r.srcUsed, size);
                }
            }
        });
    }
}

TEST_F(DecodeCpuPaths, CorruptedStreamsGiveTheBasePathsResult) {
    const Bytes text = textLikeBytes(30000, 9);
    const Bytes clean = zlibDeflate(text, 6, Z_DEFAULT_STRATEGY);
    Rng rng(77);
    for (int trial = 0; trial < 60; ++trial) {
        Bytes stream = clean;
        const std::size_t flips = 1 + rng.below(3);
        for (std::size_t i = 0; i < flips; ++i) {
            stream[rng.below(stream.size())] ^= static_cast<std::uint8_t>(1u << rng.below(8));
        }
        for (Path path : {Path::OnePass, Path::Pairs}) {
            DriveOptions opt{path};
            opt.dstChunk = trial % 2 ? 4096 : std::size_t{1} << 30;
            cpu::restrictFeaturesForTesting(0);
            const DriveResult base = drive(stream, opt);
            cpu::restrictFeaturesForTesting(~0u);
            forEachPath([&] {
                const DriveResult r = drive(stream, opt);
                ASSERT_EQ(r.status, base.status) << trial;
                ASSERT_TRUE(r.out == base.out) << trial;
                EXPECT_EQ(r.srcUsed, base.srcUsed) << trial;
            });
        }
    }
}

}  // namespace

#endif  // ORVDC_HAVE_ZLIB
