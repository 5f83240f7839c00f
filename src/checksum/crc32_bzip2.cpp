// The bzip2 block CRC: the CRC-32 polynomial, most significant bit first.
#include "checksum/checksum.h"
#include "checksum/crc_tables.h"
#include "core/check.h"
#include "core/export.h"

namespace orvdc {

std::uint32_t crc32Bzip2Update(std::uint32_t crc, const std::uint8_t* src, std::size_t len) {
    const auto& t = crc_tables::kForward;
    std::uint32_t r = ~crc;
    std::size_t i = 0;
    for (; i + 2 <= len; i += 2) {
        r = (r << 8) ^ t[(r >> 24) ^ src[i]];
        r = (r << 8) ^ t[(r >> 24) ^ src[i + 1]];
    }
    if (i < len) r = (r << 8) ^ t[(r >> 24) ^ src[i]];
    return ~r;
}

}  // namespace orvdc

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsCRC32_BZ2_8u(const uint8_t* pSrc, int32_t len,
                                                           uint32_t* pCRC) {
    if (orvdc::anyNull(pSrc, pCRC)) return orvStsNullPtr;
    if (len < 1) return orvStsBadSize;
    *pCRC = orvdc::crc32Bzip2Update(*pCRC, pSrc, static_cast<std::size_t>(len));
    return orvStsOk;
}
