// Every checksum kernel on its own: the processor features the entry points
// see are restricted so that each kernel is chosen in turn, and its results
// are compared with the bit-at-a-time definitions at every length up to 600
// and several alignments, around each kernel's switch-over lengths, on large
// inputs, and with the largest Adler-32 sums.  Kernels the processor cannot
// run are skipped and named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checksum/checksum.h"
#include "checksum/checksum_reference.h"
#include "common/cpu_paths.h"
#include "common/test_support.h"
#include "core/cpu_features.h"

namespace {

using orvdc::test::Bytes;
namespace cpu = orvdc::cpu;

using Update = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

struct Path {
    const char* name;
    std::uint32_t features;  // exactly what the kernel needs
};

struct Kind {
    const char* name;
    Update update;
    Update ref;
    std::vector<Path> paths;
    std::vector<std::size_t> edges;  // lengths where a kernel changes its stride
};

constexpr std::uint32_t kClmul = cpu::kSsse3 | cpu::kSse41 | cpu::kPclmul;

std::vector<Kind> kinds() {
    const std::vector<Path> crcPaths = {
        {"tables", 0},
        {"pclmul", kClmul},
        {"vpclmul256", kClmul | cpu::kAvx2 | cpu::kVpclmul},
        {"vpclmul512", kClmul | cpu::kAvx2 | cpu::kAvx512 | cpu::kVpclmul},
    };
    // 16: folding starts; 64: four registers; 256 and 512: the wide
    // kernels' setup; multiples of their strides around them.
    const std::vector<std::size_t> crcEdges = {15, 16, 17, 31, 32, 63, 64, 65, 127, 128, 129,
                                               255, 256, 257, 383, 384, 511, 512, 513, 767, 768,
                                               769, 1023, 1024, 1025, 1279, 1280, 1281};
    // The chunk lengths of each step size (5552 rounded down to 256, 128,
    // 64 and 32), the 5552-byte limit itself once and twice, and the 64 KiB
    // chunks of the AVX-512 kernels.
    const std::vector<std::size_t> adlerEdges = {
        63, 64, 65, 255, 256, 257, 5375, 5376, 5377, 5503, 5504, 5505, 5535, 5536, 5537,
        5551, 5552, 5553, 10751, 10752, 10753, 11103, 11104, 11105, 16656, 16696,
        65535, 65536, 65537, 131071, 131072, 131073};
    return {
        {"crc32", orvdc::crc32Update, orvdc::test::refCrc32, crcPaths, crcEdges},
        {"bzip2", orvdc::crc32Bzip2Update, orvdc::test::refBzip2, crcPaths, crcEdges},
        {"adler32", orvdc::adler32Update, orvdc::test::refAdler,
         {{"sse2", 0},
          {"ssse3", cpu::kSsse3},
          {"avx2", cpu::kSsse3 | cpu::kAvx2},
          {"avx512", cpu::kSsse3 | cpu::kAvx2 | cpu::kAvx512},
          {"avx512vnni", cpu::kSsse3 | cpu::kAvx2 | cpu::kAvx512 | cpu::kAvx512Vnni}},
         adlerEdges},
    };
}

// Runs `body` once per kind and path the processor supports, with the
// features restricted to that path's.
class ChecksumPaths : public orvdc::test::CpuPathTest {
protected:
    template <class Body>
    void forEachPath(Body body) {
        std::string skipped;
        for (const Kind& k : kinds()) {
            for (const Path& path : k.paths) {
                if (!orvdc::test::restrictToPath(path.features)) {
                    skipped += std::string(" ") + k.name + "/" + path.name;
                    continue;
                }
                SCOPED_TRACE(std::string(k.name) + " path " + path.name);
                body(k);
            }
        }
        if (!skipped.empty()) std::printf("not available here:%s\n", skipped.c_str());
    }
};

// Each input is copied to the end of an allocation of its own, so a kernel
// reading past the end is caught by the sanitizer builds.
std::uint32_t runAtEnd(const Kind& k, std::uint32_t v, const std::uint8_t* p, std::size_t n,
                       std::size_t align) {
    std::vector<std::uint8_t> copy(align + n);
    std::copy(p, p + n, copy.begin() + static_cast<std::ptrdiff_t>(align));
    return k.update(v, copy.data() + align, n);
}

TEST_F(ChecksumPaths, EveryLengthUpTo600AtEightAlignments) {
    const Bytes data = orvdc::test::randomBytes(600, 31);
    forEachPath([&](const Kind& k) {
        for (std::size_t align = 0; align < 8; ++align) {
            const std::uint32_t start = 0x9E3779B1u * static_cast<std::uint32_t>(align + 1);
            for (std::size_t len = 0; len <= data.size(); ++len) {
                ASSERT_EQ(runAtEnd(k, start, data.data(), len, align), k.ref(start, data.data(), len))
                    << "align " << align << " len " << len;
            }
        }
    });
}

TEST_F(ChecksumPaths, LengthsAroundEachSwitchOverAndLargeInputs) {
    const Bytes data = orvdc::test::randomBytes((1 << 20) + 80, 32);
    forEachPath([&](const Kind& k) {
        std::vector<std::size_t> lengths = k.edges;
        for (std::size_t len : {100003u, 1u << 20, (1u << 20) + 77}) lengths.push_back(len);
        for (std::size_t len : lengths) {
            for (std::size_t align : {0u, 3u}) {
                const std::uint32_t start = 0x12345678u;
                ASSERT_EQ(runAtEnd(k, start, data.data() + align, len, align),
                          k.ref(start, data.data() + align, len))
                    << "align " << align << " len " << len;
            }
        }
    });
}

// Runs of 0xFF from the largest incoming halves are the worst case for the
// deferred modulo of Adler-32 (and all-ones or all-zero runs exercise the
// CRC folds with extreme registers).
TEST_F(ChecksumPaths, ExtremeBytesFromExtremeStarts) {
    forEachPath([&](const Kind& k) {
        for (std::uint8_t fill : {0xFF, 0x00}) {
            const Bytes same(131072 + 300, fill);
            for (std::size_t len : k.edges) {
                for (std::uint32_t start : {0xFFFFFFFFu, 0xFFF0FFF0u, 0u}) {
                    ASSERT_EQ(k.update(start, same.data(), len), k.ref(start, same.data(), len))
                        << "fill " << int{fill} << " start " << start << " len " << len;
                }
            }
        }
    });
}

TEST_F(ChecksumPaths, ContinuingFromAnyPathGivesTheSameValue) {
    const Bytes data = orvdc::test::textLikeBytes(5000, 33);
    forEachPath([&](const Kind& k) {
        const std::uint32_t whole = k.ref(k.ref == orvdc::test::refAdler ? 1 : 0, data.data(), data.size());
        for (std::size_t cut : {1u, 15u, 16u, 100u, 700u, 2500u, 4999u}) {
            std::uint32_t v = k.update(k.ref == orvdc::test::refAdler ? 1 : 0, data.data(), cut);
            v = k.update(v, data.data() + cut, data.size() - cut);
            ASSERT_EQ(v, whole) << "cut " << cut;
        }
    });
}

}  // namespace
