// Adler-32 (RFC 1950): the SSE2 base kernel and the choice among the faster
// ones.  Within a chunk 32 bytes a step are summed with SSE2: psadbw adds the
// bytes for s1, and pmaddwd with the weights 32..1 gives each step's
// contribution to s2 beyond 32 times the s1 it started from, which is
// accumulated separately.
#include <emmintrin.h>

#include "checksum/adler32_chunks.h"
#include "checksum/checksum.h"
#include "checksum/checksum_kernels.h"
#include "core/cpu_features.h"
#include "core/export.h"

namespace orvdc {

namespace {

inline std::uint32_t horizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

// Every partial sum is part of a total that cannot exceed 32 bits, so
// wrapping 32-bit arithmetic gives the exact values.
void addChunkSse2(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p, std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i w0 = _mm_set_epi16(25, 26, 27, 28, 29, 30, 31, 32);
    const __m128i w1 = _mm_set_epi16(17, 18, 19, 20, 21, 22, 23, 24);
    const __m128i w2 = _mm_set_epi16(9, 10, 11, 12, 13, 14, 15, 16);
    const __m128i w3 = _mm_set_epi16(1, 2, 3, 4, 5, 6, 7, 8);
    __m128i byteSum = zero;   // bytes added so far in this chunk
    __m128i prefixSum = zero; // sum of byteSum at the start of each step
    __m128i weighted = zero;  // weighted in-step contributions to s2
    const std::size_t steps = n / 32;
    for (std::size_t i = 0; i < steps; ++i, p += 32) {
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
    const std::size_t vectorBytes = steps * 32;
    s2 += static_cast<std::uint32_t>(vectorBytes) * s1 + 32 * horizontalSum(prefixSum) +
          horizontalSum(weighted);
    s1 += horizontalSum(byteSum);
    adler::addBytes(s1, s2, p, n - vectorBytes);
}

}  // namespace

std::uint32_t adler32Sse2(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    return adler::update<32, addChunkSse2>(adler, p, n);
}

std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* src, std::size_t len) {
    using namespace cpu;
    if (len < 16) return adler::update<1, adler::addBytes>(adler, src, len);
    if (has(kAvx512 | kAvx512Vnni)) return adler32Avx512Vnni(adler, src, len);
    if (has(kAvx512)) return adler32Avx512(adler, src, len);
    if (has(kAvx2)) return adler32Avx2(adler, src, len);
    if (has(kSsse3)) return adler32Ssse3(adler, src, len);
    return adler32Sse2(adler, src, len);
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
