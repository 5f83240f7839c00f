// The bzip2 block CRC: the CRC-32 polynomial, most significant bit first.
// Portably eight bytes a step with the forward slice tables, then single
// bytes; carry-less-multiplication folding where the processor has it.
#include "checksum/checksum.h"
#include "checksum/checksum_kernels.h"
#include "checksum/crc_tables.h"
#include "core/check.h"
#include "core/export.h"

namespace orvdc {

namespace {

inline std::uint32_t loadBE32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

}  // namespace

std::uint32_t crc32Bzip2Slice8(std::uint32_t r, const std::uint8_t* src, std::size_t len) {
    const auto& t = crc_tables::kForward;
    for (; len >= 8; len -= 8, src += 8) {
        const std::uint32_t x = r ^ loadBE32(src);
        r = t[7][x >> 24] ^ t[6][(x >> 16) & 0xFF] ^ t[5][(x >> 8) & 0xFF] ^ t[4][x & 0xFF] ^
            t[3][src[4]] ^ t[2][src[5]] ^ t[1][src[6]] ^ t[0][src[7]];
    }
    while (len-- > 0) r = (r << 8) ^ t[0][(r >> 24) ^ *src++];
    return r;
}

std::uint32_t crc32Bzip2Update(std::uint32_t crc, const std::uint8_t* src, std::size_t len) {
    const CrcKernel k =
        chooseCrcKernel(len, crc32Bzip2Slice8, crc32Bzip2Pclmul, crc32Bzip2Vpclmul256, crc32Bzip2Vpclmul512);
    return ~k(~crc, src, len);
}

}  // namespace orvdc

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsCRC32_BZ2_8u(const uint8_t* pSrc, int32_t len,
                                                           uint32_t* pCRC) {
    if (orvdc::anyNull(pSrc, pCRC)) return orvStsNullPtr;
    if (len < 1) return orvStsBadSize;
    *pCRC = orvdc::crc32Bzip2Update(*pCRC, pSrc, static_cast<std::size_t>(len));
    return orvStsOk;
}
