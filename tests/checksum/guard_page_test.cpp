// The checksum kernels on sources that end right before an inaccessible page,
// at every length up to a few vector widths past the kernels' block sizes:
// a single byte read past the end faults.
#include <gtest/gtest.h>

#include "checksum/checksum_kernels.h"
#include "common/test_support.h"
#include "core/cpu_features.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::GuardedMemory;

using Kernel = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

struct KernelCase {
    const char* name;
    Kernel kernel;
    Kernel reference;
    std::uint32_t needs;  // processor features the kernel runs on
};

namespace cpu = orvdc::cpu;

const KernelCase kKernels[] = {
    {"crc32 pclmul", orvdc::crc32Pclmul, orvdc::crc32Slice8, cpu::kPclmul},
    {"crc32 vpclmul256", orvdc::crc32Vpclmul256, orvdc::crc32Slice8, cpu::kPclmul | cpu::kAvx2 | cpu::kVpclmul},
    {"crc32 vpclmul512", orvdc::crc32Vpclmul512, orvdc::crc32Slice8,
     cpu::kPclmul | cpu::kAvx2 | cpu::kVpclmul | cpu::kAvx512},
    {"bzip2 crc pclmul", orvdc::crc32Bzip2Pclmul, orvdc::crc32Bzip2Slice8, cpu::kPclmul},
    {"bzip2 crc vpclmul256", orvdc::crc32Bzip2Vpclmul256, orvdc::crc32Bzip2Slice8,
     cpu::kPclmul | cpu::kAvx2 | cpu::kVpclmul},
    {"bzip2 crc vpclmul512", orvdc::crc32Bzip2Vpclmul512, orvdc::crc32Bzip2Slice8,
     cpu::kPclmul | cpu::kAvx2 | cpu::kVpclmul | cpu::kAvx512},
    {"adler32 ssse3", orvdc::adler32Ssse3, orvdc::adler32Sse2, cpu::kSsse3},
    {"adler32 avx2", orvdc::adler32Avx2, orvdc::adler32Sse2, cpu::kAvx2},
    {"adler32 avx512", orvdc::adler32Avx512, orvdc::adler32Sse2, cpu::kAvx512},
    {"adler32 avx512 vnni", orvdc::adler32Avx512Vnni, orvdc::adler32Sse2, cpu::kAvx512 | cpu::kAvx512Vnni},
};

TEST(ChecksumGuardPage, EveryLengthEndingAtThePage) {
    const Bytes data = orvdc::test::randomBytes(2200, 5);
    GuardedMemory mem(data.size());
    for (std::size_t len = 1; len <= data.size(); len += len < 600 ? 1 : 61) {
        const std::uint8_t* at = mem.place(data.data(), len);
        const auto n = static_cast<std::int32_t>(len);
        std::uint32_t crc = 0, bz = 0, adler = 1, crcHeap = 0, bzHeap = 0, adlerHeap = 1;
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
        ASSERT_EQ(orvdc::adler32Sse2(0x1234567u, at, len), orvdc::adler32Sse2(0x1234567u, data.data(), len)) << len;
        for (const KernelCase& k : kKernels) {
            if (!cpu::has(k.needs)) continue;
            ASSERT_EQ(k.kernel(0x1234567u, at, len), k.reference(0x1234567u, data.data(), len)) << k.name << " " << len;
        }
    }
}

}  // namespace
