// The memory kernels: exact bytes at every alignment and length, nothing
// written outside the range (also against an inaccessible page), the argument
// checks, and the streaming path for very large lengths.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "core/memory.h"

namespace {

using orvdc::test::Bytes;

constexpr std::uint8_t kGuard = 0xCC;
constexpr std::size_t kPad = 48;

// A destination with guard bytes on both sides.
struct Guarded {
    explicit Guarded(std::size_t n, std::size_t align) : buf(n + 2 * kPad + 64, kGuard) {
        auto base = reinterpret_cast<std::uintptr_t>(buf.data()) + kPad;
        start = kPad + ((64 - (base & 63)) & 63) + align;
        size = n;
    }
    std::uint8_t* dst() { return buf.data() + start; }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < start; ++i) if (buf[i] != kGuard) return false;
        for (std::size_t i = start + size; i < buf.size(); ++i) if (buf[i] != kGuard) return false;
        return true;
    }
    Bytes buf;
    std::size_t start, size;
};

template <class Fill, class Expect>
void checkAllShapes(std::size_t elementSize, Fill fill, Expect expectedByte) {
    for (std::size_t align = 0; align < 16; ++align) {
        for (std::size_t count = 1; count <= 200 / elementSize + 3; ++count) {
            Guarded g(count * elementSize, align);
            fill(g.dst(), count);
            for (std::size_t i = 0; i < count * elementSize; ++i) {
                ASSERT_EQ(g.dst()[i], expectedByte(i)) << "align " << align << " count " << count;
            }
            ASSERT_TRUE(g.guardsIntact()) << "align " << align << " count " << count;
        }
    }
}

TEST(MemoryKernels, FillsWriteExactlyTheirRangeAtEveryAlignment) {
    checkAllShapes(1, [](std::uint8_t* d, std::size_t n) { orvdc::fillKernel(d, 0x5A, n); },
                   [](std::size_t) { return 0x5A; });
    checkAllShapes(1, [](std::uint8_t* d, std::size_t n) { orvdc::zeroKernel(d, n); },
                   [](std::size_t) { return 0; });
    const std::uint8_t v16[2] = {0x34, 0x12};
    checkAllShapes(2, [](std::uint8_t* d, std::size_t n) { orvdc::fill16Kernel(d, 0x1234, n); },
                   [&](std::size_t i) { return v16[i % 2]; });
    const std::uint8_t v32[4] = {0x04, 0x03, 0x02, 0x01};
    checkAllShapes(4, [](std::uint8_t* d, std::size_t n) { orvdc::fill32(0x01020304u, d, n); },
                   [&](std::size_t i) { return v32[i % 4]; });
    checkAllShapes(8, [](std::uint8_t* d, std::size_t n) { orvdc::fill64(0x0807060504030201ull, d, n); },
                   [](std::size_t i) { return static_cast<std::uint8_t>(i % 8 + 1); });
}

TEST(MemoryKernels, CopyIsExactAtEverySourceAndDestinationAlignment) {
    const Bytes src = orvdc::test::randomBytes(300, 7);
    for (std::size_t salign = 0; salign < 8; ++salign) {
        orvdc::test::OffsetBuffer s(src, salign);
        for (std::size_t dalign = 0; dalign < 16; ++dalign) {
            for (std::size_t len = 0; len <= 260; ++len) {
                Guarded g(len, dalign);
                orvdc::copyKernel(g.dst(), s.data(), len);
                ASSERT_EQ(std::memcmp(g.dst(), s.data(), len), 0) << len;
                ASSERT_TRUE(g.guardsIntact()) << len;
            }
        }
    }
}

// Lengths far above any cache take the streaming-store path.
// Source and destination ending right before an inaccessible page, at every
// length up to several vector widths: the kernels' last loads and stores stay
// inside.
TEST(MemoryKernels, BuffersEndingAtAnInaccessiblePage) {
    const Bytes data = orvdc::test::randomBytes(300, 8);
    orvdc::test::GuardedMemory src(data.size()), dst(data.size());
    for (std::size_t len = 1; len <= data.size(); ++len) {
        const std::uint8_t* s = src.place(data.data(), len);
        orvdc::copyKernel(dst.end(len), s, len);
        ASSERT_EQ(std::memcmp(dst.end(len), data.data(), len), 0) << len;
        orvdc::fillKernel(dst.end(len), 0x5A, len);
        ASSERT_EQ(dst.end(len)[len - 1], 0x5A) << len;
        orvdc::zeroKernel(dst.end(len), len);
        ASSERT_EQ(dst.end(len)[0], 0) << len;
        if (len % 2 == 0) orvdc::fill16Kernel(dst.end(len), 0x1234, len / 2);
        if (len % 4 == 0) orvdc::fill32(0x89ABCDEFu, dst.end(len), len / 4);
        if (len % 8 == 0) orvdc::fill64(0x0123456789ABCDEFull, dst.end(len), len / 8);
    }
}

TEST(MemoryKernels, VeryLargeLengthsGiveTheSameBytes) {
    const std::size_t n = (64u << 20) + 13;
    Guarded g(n, 3);
    orvdc::fill16Kernel(g.dst(), 0xBEEF, n / 2);
    EXPECT_EQ(g.dst()[0], 0xEF);
    EXPECT_EQ(g.dst()[n / 2 * 2 - 1], 0xBE);
    Bytes src(n);
    for (std::size_t i = 0; i < n; ++i) src[i] = static_cast<std::uint8_t>(i * 31 + (i >> 13));
    orvdc::copyKernel(g.dst(), src.data() + 1, n - 1);
    EXPECT_EQ(std::memcmp(g.dst(), src.data() + 1, n - 1), 0);
    orvdc::zeroKernel(g.dst(), n);
    for (std::size_t i = 0; i < n; i += 4093) ASSERT_EQ(g.dst()[i], 0);
    EXPECT_TRUE(g.guardsIntact());
}

TEST(MemoryChecked, PointerIsTestedBeforeLengthAndNothingIsWritten) {
    std::uint8_t buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(orvdc::zeroBytes(nullptr, 0), orvStsNullPtr);
    EXPECT_EQ(orvdc::copyBytes(nullptr, buf, 0), orvStsNullPtr);
    EXPECT_EQ(orvdc::copyBytes(buf, nullptr, 4), orvStsNullPtr);
    EXPECT_EQ(orvdc::fillBytes(9, nullptr, 0), orvStsNullPtr);
    EXPECT_EQ(orvdc::fill16(9, nullptr, 0), orvStsNullPtr);
    EXPECT_EQ(orvdc::zeroBytes(buf, 0), orvStsBadSize);
    EXPECT_EQ(orvdc::copyBytes(buf + 2, buf, -1), orvStsBadSize);
    EXPECT_EQ(orvdc::fillBytes(9, buf, 0), orvStsBadSize);
    EXPECT_EQ(orvdc::fill16(9, buf, -5), orvStsBadSize);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[3], 4);
    EXPECT_EQ(orvdc::fill16(0x0909, buf, 2), orvStsOk);
    EXPECT_EQ(buf[3], 9);
    EXPECT_EQ(orvdc::zeroBytes(buf, 1), orvStsOk);
    EXPECT_EQ(buf[0], 0);
}

}  // namespace
