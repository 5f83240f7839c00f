// Adler-32 with SSSE3: 16 bytes a vector.  Each vector adds its bytes to s1
// (psadbw) and to s2 its dot product with the weights 16..1 (pmaddubsw,
// then pmaddwd against ones) plus 16 times the s1 it started from; those
// starting values are summed in vector lanes and multiplied out once per
// chunk.  Four vectors a step, then single vectors, then single bytes.
#include <immintrin.h>

#include "checksum/adler32_chunks.h"
#include "checksum/checksum_kernels.h"

#define ORVDC_TARGET_SSSE3 __attribute__((target("ssse3")))

namespace orvdc {

namespace {

ORVDC_TARGET_SSSE3 inline __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

ORVDC_TARGET_SSSE3 inline std::uint32_t horizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

ORVDC_TARGET_SSSE3 void addChunkSsse3(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p,
                                    std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i w = load(reinterpret_cast<const std::uint8_t*>(adler::kWeights + 48));
    __m128i sum = zero;     // bytes so far in this chunk (64-bit lanes)
    __m128i starts = zero;  // sum of `sum` at the start of each vector
    __m128i dots = zero;
    std::size_t done = 0;
    for (; n - done >= 64; done += 64) {
        const std::uint8_t* q = p + done;
        const __m128i d0 = load(q), d1 = load(q + 16), d2 = load(q + 32), d3 = load(q + 48);
        // A pair of products is at most 255 * 31; two vectors' pairs still
        // fit a signed 16-bit lane, so they are added before widening.
        const __m128i m01 = _mm_add_epi16(_mm_maddubs_epi16(d0, w), _mm_maddubs_epi16(d1, w));
        const __m128i m23 = _mm_add_epi16(_mm_maddubs_epi16(d2, w), _mm_maddubs_epi16(d3, w));
        dots = _mm_add_epi32(dots, _mm_add_epi32(_mm_madd_epi16(m01, ones), _mm_madd_epi16(m23, ones)));
        const __m128i a = _mm_sad_epu8(d0, zero);
        const __m128i b = _mm_add_epi32(a, _mm_sad_epu8(d1, zero));
        const __m128i c = _mm_add_epi32(b, _mm_sad_epu8(d2, zero));
        starts = _mm_add_epi32(_mm_add_epi32(starts, _mm_slli_epi32(sum, 2)),
                                  _mm_add_epi32(_mm_add_epi32(a, b), c));
        sum = _mm_add_epi32(sum, _mm_add_epi32(c, _mm_sad_epu8(d3, zero)));
    }
    for (; n - done >= 16; done += 16) {
        const __m128i d = load(p + done);
        dots = _mm_add_epi32(dots, _mm_madd_epi16(_mm_maddubs_epi16(d, w), ones));
        starts = _mm_add_epi32(starts, sum);
        sum = _mm_add_epi32(sum, _mm_sad_epu8(d, zero));
    }
    s2 += static_cast<std::uint32_t>(done) * s1 + 16 * horizontalSum(starts) + horizontalSum(dots);
    s1 += horizontalSum(sum);
    adler::addBytes(s1, s2, p + done, n - done);
}

}  // namespace

std::uint32_t adler32Ssse3(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    return adler::update<64, addChunkSsse3>(adler, p, n);
}

}  // namespace orvdc
