// Adler-32 (RFC 1950).
#include "checksum/checksum.h"
#include "core/export.h"

namespace orvdc {

namespace {

constexpr std::uint32_t kBase = 65521;
// Largest n for which 255 n (n + 1) / 2 + (n + 1)(kBase - 1) < 2^32: a chunk
// this long cannot overflow either sum, even from the largest incoming halves.
constexpr std::size_t kChunk = 5552;

// Exact remainder modulo 65521 of any 32-bit value, without division:
// subtract 65521 * 2^k where it fits, for k from 16 down to 0.
inline std::uint32_t reduce(std::uint32_t x) {
    for (int k = 16; k >= 0; --k) {
        const std::uint32_t m = kBase << k;  // 65521 * 2^16 still fits 32 bits
        if (x >= m) x -= m;
    }
    return x;
}

}  // namespace

std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* src, std::size_t len) {
    std::uint32_t s1 = adler & 0xFFFF;
    std::uint32_t s2 = adler >> 16;
    while (len > 0) {
        std::size_t n = len < kChunk ? len : kChunk;
        len -= n;
        for (; n >= 16; n -= 16, src += 16) {
            for (int i = 0; i < 16; ++i) {
                s1 += src[i];
                s2 += s1;
            }
        }
        while (n-- > 0) {
            s1 += *src++;
            s2 += s1;
        }
        s1 = reduce(s1);
        s2 = reduce(s2);
    }
    return (s2 << 16) | s1;
}

}  // namespace orvdc

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsAdler32_8u(const uint8_t* pSrc, int32_t len,
                                                         uint32_t* pAdler) {
    if (pAdler == nullptr) return orvStsNullPtr;
    const std::uint32_t start = *pAdler;
    if (pSrc == nullptr) {
        *pAdler = 0;
        return orvStsBadSize;
    }
    if (len < 1) return orvStsOk;
    *pAdler = orvdc::adler32Update(start, pSrc, static_cast<std::size_t>(len));
    return orvStsOk;
}
