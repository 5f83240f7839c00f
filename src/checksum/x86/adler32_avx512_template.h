// The AVX-512 Adler-32 chunk loop, included by the kernels that differ only
// in their dot product of 64 bytes with the weights 64..1.  The includer
// defines ADLER512_TARGET (the target attribute), ADLER512_NAME (the name of
// the kernel) and an inline `dot(acc, bytes, weights)`.
//
// Each 64-byte vector adds its bytes to s1 (psadbw) and to s2 its dot product
// with the weights plus 64 times the s1 it started from; those starting
// values are summed in vector lanes and multiplied out once per chunk.  The
// main loop takes four vectors a step with four dot-product accumulators;
// the last partial vector is loaded under a mask.
//
// Each lane holds only a share of the sums, so chunks can be much longer than
// the 5552 bytes after which the 32-bit totals could overflow: the lanes are
// added up in 64 bits and reduced at the end of the chunk (in 32 bits, which
// is exact, for chunks of at most 5552 bytes).  Over kWideChunk bytes (1024
// vectors) a lane of the starting values, the largest of all lanes, stays
// below 2040 * 1024 * 1023 / 2 < 2^31.

// GCC 12's AVX-512 headers fill "don't care" operands from a self-initialised
// variable, which its own uninitialised-use warnings then flag.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

inline constexpr std::size_t kWideChunk = 1 << 16;

// The sums of the 32-bit lanes of `bytes` (psadbw results: the odd lanes are
// zero) and of `weighted`, each modulo 2^32, in one reduction: the weighted
// lanes are first added in pairs into the odd lanes.
ADLER512_TARGET inline void laneSums(__m512i bytes, __m512i weighted, std::uint32_t& byteSum,
                                     std::uint32_t& weightedSum) {
    const __m512i pairs = _mm512_add_epi32(weighted, _mm512_srli_epi64(weighted, 32));
    const __m512i v = _mm512_add_epi32(bytes, _mm512_slli_epi64(pairs, 32));
    const __m256i y = _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
    x = _mm_add_epi32(x, _mm_unpackhi_epi64(x, x));
    byteSum = static_cast<std::uint32_t>(_mm_cvtsi128_si32(x));
    weightedSum = static_cast<std::uint32_t>(_mm_extract_epi32(x, 1));
}

// The sum of the sixteen 32-bit lanes in 64 bits.
ADLER512_TARGET inline std::uint64_t wideSum(__m512i v) {
    const __m512i low = _mm512_and_si512(v, _mm512_set1_epi64(0xFFFFFFFF));
    return static_cast<std::uint64_t>(_mm512_reduce_add_epi64(_mm512_add_epi64(low, _mm512_srli_epi64(v, 32))));
}

ADLER512_TARGET inline void addChunk(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p,
                                     std::size_t n) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i w = _mm512_loadu_si512(adler::kWeights);
    __m512i sum = zero;     // bytes so far in this chunk (64-bit lanes)
    __m512i starts = zero;  // sum of `sum` at the start of each vector
    __m512i dot0 = zero, dot1 = zero, dot2 = zero, dot3 = zero;
    std::size_t done = 0;
    for (; n - done >= 256; done += 256) {
        const std::uint8_t* q = p + done;
        const __m512i d0 = _mm512_loadu_si512(q), d1 = _mm512_loadu_si512(q + 64);
        const __m512i d2 = _mm512_loadu_si512(q + 128), d3 = _mm512_loadu_si512(q + 192);
        dot0 = dot(dot0, d0, w);
        dot1 = dot(dot1, d1, w);
        dot2 = dot(dot2, d2, w);
        dot3 = dot(dot3, d3, w);
        // Starts of the four vectors: 4 sum + 3 sad0 + 2 sad1 + sad2.
        const __m512i a = _mm512_sad_epu8(d0, zero);
        const __m512i b = _mm512_add_epi32(a, _mm512_sad_epu8(d1, zero));
        const __m512i c = _mm512_add_epi32(b, _mm512_sad_epu8(d2, zero));
        starts = _mm512_add_epi32(_mm512_add_epi32(starts, _mm512_slli_epi32(sum, 2)),
                                  _mm512_add_epi32(_mm512_add_epi32(a, b), c));
        sum = _mm512_add_epi32(sum, _mm512_add_epi32(c, _mm512_sad_epu8(d3, zero)));
    }
    for (; n - done > 64; done += 64) {
        const __m512i d = _mm512_loadu_si512(p + done);
        dot0 = dot(dot0, d, w);
        starts = _mm512_add_epi32(starts, sum);
        sum = _mm512_add_epi32(sum, _mm512_sad_epu8(d, zero));
    }
    const __m512i dots = _mm512_add_epi32(_mm512_add_epi32(dot0, dot1), _mm512_add_epi32(dot2, dot3));

    // The last 1..64 bytes (none only for an empty chunk), loaded under a
    // mask, with the weights m..1: short inputs need no other reduction.
    const std::size_t m = n - done;
    std::uint32_t tailBytes = 0, tailWeighted = 0;
    if (m != 0) {
        const __m512i d = _mm512_maskz_loadu_epi8(static_cast<__mmask64>(~0ull >> (64 - m)), p + done);
        laneSums(_mm512_sad_epu8(d, zero), dot(zero, d, _mm512_loadu_si512(adler::kWeights + 64 - m)),
                 tailBytes, tailWeighted);
    }
    std::uint64_t a, b;
    if (done == 0) {
        a = s1;
        b = s2;
    } else if (n <= adler::kMaxChunk) {
        // The totals fit 32 bits, so sums modulo 2^32 are exact.
        std::uint32_t bytes, weighted;
        laneSums(sum, _mm512_add_epi32(_mm512_slli_epi32(starts, 6), dots), bytes, weighted);
        a = static_cast<std::uint32_t>(s1 + bytes);
        b = static_cast<std::uint32_t>(s2 + static_cast<std::uint32_t>(done) * s1 + weighted);
    } else {
        a = s1 + wideSum(sum);
        b = s2 + done * s1 + 64 * wideSum(starts) + wideSum(dots);
    }
    b += m * a + tailWeighted;
    a += tailBytes;
    s1 = static_cast<std::uint32_t>(a % adler::kBase);
    s2 = static_cast<std::uint32_t>(b % adler::kBase);
}

}  // namespace

// The chunks reduce their own sums.
ADLER512_TARGET std::uint32_t ADLER512_NAME(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    std::uint32_t s1 = adler & 0xFFFF;
    std::uint32_t s2 = adler >> 16;
    while (n > 0) {
        const std::size_t m = n < kWideChunk ? n : kWideChunk;
        addChunk(s1, s2, p, m);
        p += m;
        n -= m;
    }
    return (s2 << 16) | s1;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
