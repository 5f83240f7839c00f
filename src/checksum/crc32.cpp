// CRC-32 (zlib, gzip): slicing by eight with the tables of crc_tables.h, and
// carry-less-multiplication folding where the processor has it.
#include "checksum/checksum.h"

#include <cstring>

#include "checksum/checksum_kernels.h"
#include "checksum/crc_tables.h"
#include "core/check.h"
#include "core/cpu_features.h"
#include "core/export.h"

namespace orvdc {

namespace {

using crc_tables::kReflected;

inline std::uint32_t crcByte(std::uint32_t r, std::uint8_t b) {
    return (r >> 8) ^ kReflected[0][(r ^ b) & 0xFF];
}

inline std::uint32_t loadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::uint32_t crc32Slice8(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n >= 15) {
        while (reinterpret_cast<std::uintptr_t>(p) & 7) {
            r = crcByte(r, *p++);
            --n;
        }
        for (; n >= 8; n -= 8, p += 8) {
            const std::uint32_t x = r ^ loadLE32(p);
            const std::uint32_t y = loadLE32(p + 4);
            r = kReflected[7][x & 0xFF] ^ kReflected[6][(x >> 8) & 0xFF] ^
                kReflected[5][(x >> 16) & 0xFF] ^ kReflected[4][x >> 24] ^
                kReflected[3][y & 0xFF] ^ kReflected[2][(y >> 8) & 0xFF] ^
                kReflected[1][(y >> 16) & 0xFF] ^ kReflected[0][y >> 24];
        }
    }
    while (n-- > 0) r = crcByte(r, *p++);
    return r;
}

CrcKernel chooseCrcKernel(std::size_t n, CrcKernel table, CrcKernel fold128, CrcKernel fold256, CrcKernel fold512) {
    using namespace cpu;
    if (n < 16) return table;
    if (has(kPclmul | kAvx2 | kAvx512 | kVpclmul)) return fold512;
    if (has(kPclmul | kAvx2 | kVpclmul)) return fold256;
    if (has(kPclmul)) return fold128;
    return table;
}

std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* src, std::size_t len) {
    const CrcKernel k = chooseCrcKernel(len, crc32Slice8, crc32Pclmul, crc32Vpclmul256, crc32Vpclmul512);
    return ~k(~crc, src, len);
}

}  // namespace orvdc

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsCRC32_8u(const uint8_t* pSrc, int32_t len,
                                                       uint32_t* pCRC) {
    if (orvdc::anyNull(pSrc, pCRC)) return orvStsNullPtr;
    if (len < 1) return orvStsBadSize;
    *pCRC = orvdc::crc32Update(*pCRC, pSrc, static_cast<std::size_t>(len));
    return orvStsOk;
}
