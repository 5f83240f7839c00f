// Adler-32 with AVX2: 32 bytes a vector.  Each vector adds its bytes to s1
// (vpsadbw) and to s2 its dot product with the weights 32..1 (vpmaddubsw,
// then vpmaddwd against ones) plus 32 times the s1 it started from; those
// starting values are summed in vector lanes and multiplied out once per
// chunk.  Four vectors a step, then single vectors, then single bytes.
#include <immintrin.h>

#include "checksum/adler32_chunks.h"
#include "checksum/checksum_kernels.h"

#define ORVDC_TARGET_AVX2 __attribute__((target("avx2")))

namespace orvdc {

namespace {

ORVDC_TARGET_AVX2 inline __m256i load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

ORVDC_TARGET_AVX2 inline std::uint32_t horizontalSum(__m256i v) {
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(x));
}

ORVDC_TARGET_AVX2 void addChunkAvx2(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p,
                                    std::size_t n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i w = load(reinterpret_cast<const std::uint8_t*>(adler::kWeights + 32));
    __m256i sum = zero;     // bytes so far in this chunk (64-bit lanes)
    __m256i starts = zero;  // sum of `sum` at the start of each vector
    __m256i dots = zero;
    std::size_t done = 0;
    for (; n - done >= 128; done += 128) {
        const std::uint8_t* q = p + done;
        const __m256i d0 = load(q), d1 = load(q + 32), d2 = load(q + 64), d3 = load(q + 96);
        // A pair of products is at most 255 * 63; two vectors' pairs still
        // fit a signed 16-bit lane, so they are added before widening.
        const __m256i m01 = _mm256_add_epi16(_mm256_maddubs_epi16(d0, w), _mm256_maddubs_epi16(d1, w));
        const __m256i m23 = _mm256_add_epi16(_mm256_maddubs_epi16(d2, w), _mm256_maddubs_epi16(d3, w));
        dots = _mm256_add_epi32(dots, _mm256_add_epi32(_mm256_madd_epi16(m01, ones), _mm256_madd_epi16(m23, ones)));
        const __m256i a = _mm256_sad_epu8(d0, zero);
        const __m256i b = _mm256_add_epi32(a, _mm256_sad_epu8(d1, zero));
        const __m256i c = _mm256_add_epi32(b, _mm256_sad_epu8(d2, zero));
        starts = _mm256_add_epi32(_mm256_add_epi32(starts, _mm256_slli_epi32(sum, 2)),
                                  _mm256_add_epi32(_mm256_add_epi32(a, b), c));
        sum = _mm256_add_epi32(sum, _mm256_add_epi32(c, _mm256_sad_epu8(d3, zero)));
    }
    for (; n - done >= 32; done += 32) {
        const __m256i d = load(p + done);
        dots = _mm256_add_epi32(dots, _mm256_madd_epi16(_mm256_maddubs_epi16(d, w), ones));
        starts = _mm256_add_epi32(starts, sum);
        sum = _mm256_add_epi32(sum, _mm256_sad_epu8(d, zero));
    }
    s2 += static_cast<std::uint32_t>(done) * s1 + 32 * horizontalSum(starts) + horizontalSum(dots);
    s1 += horizontalSum(sum);
    adler::addBytes(s1, s2, p + done, n - done);
}

}  // namespace

std::uint32_t adler32Avx2(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    return adler::update<128, addChunkAvx2>(adler, p, n);
}

}  // namespace orvdc
