// Adler-32 (RFC 1950).  The sums are reduced once per chunk; within a chunk
// 32 bytes a step are summed with SSE2: psadbw adds the bytes for s1, and
// pmaddwd with the weights 32..1 gives each block's contribution to s2 beyond
// 32 times the s1 it started from, which is accumulated separately.
#include <emmintrin.h>

#include "checksum/checksum.h"
#include "core/export.h"

namespace orvdc {

namespace {

constexpr std::uint32_t kBase = 65521;
// Largest n for which 255 n (n + 1) / 2 + (n + 1)(65535) < 2^32: a chunk this
// long cannot overflow either sum, even from the largest incoming halves.
constexpr std::size_t kChunk = 5552;
constexpr std::size_t kVectorChunk = kChunk / 32 * 32;

// Exact remainder modulo 65521 of any 32-bit value, without division:
// subtract 65521 * 2^k where it fits, for k from 16 down to 0.
inline std::uint32_t reduce(std::uint32_t x) {
    for (int k = 16; k >= 0; --k) {
        const std::uint32_t m = kBase << k;  // 65521 * 2^16 still fits 32 bits
        if (x >= m) x -= m;
    }
    return x;
}

inline std::uint32_t horizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

// Adds n bytes (a multiple of 32, at most kVectorChunk) to the sums.  Every
// partial sum is part of a total that cannot exceed 32 bits, so wrapping
// 32-bit arithmetic gives the exact values.
void sumBlocks(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p, std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i w0 = _mm_set_epi16(25, 26, 27, 28, 29, 30, 31, 32);
    const __m128i w1 = _mm_set_epi16(17, 18, 19, 20, 21, 22, 23, 24);
    const __m128i w2 = _mm_set_epi16(9, 10, 11, 12, 13, 14, 15, 16);
    const __m128i w3 = _mm_set_epi16(1, 2, 3, 4, 5, 6, 7, 8);
    __m128i byteSum = zero;   // bytes added so far in this chunk
    __m128i prefixSum = zero; // sum of byteSum at the start of each block
    __m128i weighted = zero;  // weighted in-block contributions to s2
    const std::size_t blocks = n / 32;
    for (std::size_t i = 0; i < blocks; ++i, p += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        prefixSum = _mm_add_epi32(prefixSum, byteSum);
        byteSum = _mm_add_epi32(byteSum, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
        const __m128i wa = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(a, zero), w0),
                                         _mm_madd_epi16(_mm_unpackhi_epi8(a, zero), w1));
        const __m128i wb = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(b, zero), w2),
                                         _mm_madd_epi16(_mm_unpackhi_epi8(b, zero), w3));
        weighted = _mm_add_epi32(weighted, _mm_add_epi32(wa, wb));
    }
    s2 += static_cast<std::uint32_t>(n) * s1 + 32 * horizontalSum(prefixSum) + horizontalSum(weighted);
    s1 += horizontalSum(byteSum);
}

}  // namespace

std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* src, std::size_t len) {
    std::uint32_t s1 = adler & 0xFFFF;
    std::uint32_t s2 = adler >> 16;
    while (len > 0) {
        const std::size_t n = len >= kVectorChunk ? kVectorChunk : len;
        const std::size_t vectorPart = n / 32 * 32;
        if (vectorPart != 0) sumBlocks(s1, s2, src, vectorPart);
        for (std::size_t i = vectorPart; i < n; ++i) {
            s1 += src[i];
            s2 += s1;
        }
        s1 = reduce(s1);
        s2 = reduce(s2);
        src += n;
        len -= n;
    }
    return (s2 << 16) | s1;
}

}  // namespace orvdc

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsAdler32_8u(const uint8_t* pSrc, int32_t len,
                                                         uint32_t* pAdler) {
    if (pAdler == nullptr) return orvStsNullPtr;
    if (pSrc == nullptr) {
        *pAdler = 0;
        return orvStsBadSize;
    }
    if (len < 1) return orvStsOk;
    *pAdler = orvdc::adler32Update(*pAdler, pSrc, static_cast<std::size_t>(len));
    return orvStsOk;
}
