// The checksum kernels on sources that end right before an inaccessible page,
// at every length up to a few vector widths past the kernels' block sizes:
// a single byte read past the end faults.
#include <gtest/gtest.h>

#include "checksum/crc32_impl.h"
#include "common/test_support.h"
#include "core/cpu_features.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

TEST(ChecksumGuardPage, EveryLengthEndingAtThePage) {
    const Bytes data = orvdc::test::randomBytes(2200, 5);
    GuardedMemory mem(data.size());
    const bool clmul = orvdc::cpuHasPclmul();
    for (std::size_t len = 1; len <= data.size(); len += len < 600 ? 1 : 61) {
        const std::uint8_t* at = mem.place(data.data(), len);
        const auto n = static_cast<std::int32_t>(len);
        std::uint32_t crc = 0, bz = 0, adler = 0, crcHeap = 0, bzHeap = 0, adlerHeap = 0;
        ASSERT_EQ(orvsCRC32_8u(at, n, &crc), orvStsOk);
        ASSERT_EQ(orvsCRC32_BZ2_8u(at, n, &bz), orvStsOk);
        ASSERT_EQ(orvsAdler32_8u(at, n, &adler), orvStsOk);
        orvsCRC32_8u(data.data(), n, &crcHeap);
        orvsCRC32_BZ2_8u(data.data(), n, &bzHeap);
        orvsAdler32_8u(data.data(), n, &adlerHeap);
        ASSERT_EQ(crc, crcHeap) << len;
        ASSERT_EQ(bz, bzHeap) << len;
        ASSERT_EQ(adler, adlerHeap) << len;
        ASSERT_EQ(orvdc::crc32Slice8(0x1234567u, at, len), orvdc::crc32Slice8(0x1234567u, data.data(), len)) << len;
        if (clmul) {
            ASSERT_EQ(orvdc::crc32Clmul(0x1234567u, at, len), orvdc::crc32Slice8(0x1234567u, data.data(), len)) << len;
        }
    }
}

}  // namespace
