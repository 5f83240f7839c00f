// The AVX-512 Adler-32 chunk loop, included by the kernels that differ only
// in their dot product of 64 bytes with the weights 64..1.  The includer
// defines ADLER512_TARGET (the function's target attribute), ADLER512_NAME
// (the function's name) and an inline `dot(acc, bytes, weights)`.
//
// Each 64-byte vector adds its bytes to s1 (psadbw) and to s2 its dot product
// with the weights plus 64 times the s1 it started from; those starting
// values are summed in vector lanes and multiplied out once per chunk.  The
// main loop takes four vectors a step with four dot-product accumulators;
// the last partial vector is loaded under a mask, its zero padding weighted
// as if the bytes stood at the start of a full vector, which the end
// corrects for.
//
// Each lane holds only a share of the sums, so chunks can be much longer than
// the 5552 bytes after which the 32-bit totals could overflow: the lanes are
// added up in 64 bits and reduced at the end of the chunk (in 32 bits, which
// is exact, for chunks of at most 5552 bytes).  Over kWideChunk bytes (1024
// vectors) a lane of the starting values, the largest of all lanes, stays
// below 2040 * 1024 * 1023 / 2 < 2^31.

namespace {

inline constexpr std::size_t kWideChunk = 1 << 16;

// The sum of the sixteen 32-bit lanes: in 32 bits where the total cannot
// exceed them (chunks up to 5552 bytes), else in 64 bits.
template <class T>
ADLER512_TARGET inline T total(__m512i v) {
    if constexpr (sizeof(T) == 4) return static_cast<T>(_mm512_reduce_add_epi32(v));
    const __m512i low = _mm512_and_si512(v, _mm512_set1_epi64(0xFFFFFFFF));
    return static_cast<T>(_mm512_reduce_add_epi64(_mm512_add_epi64(low, _mm512_srli_epi64(v, 32))));
}

// The sums after the chunk (done bytes in the vector lanes, then the m < 64
// bytes at `rest`), reduced.
template <class T>
ADLER512_TARGET inline void finishChunk(std::uint32_t& s1, std::uint32_t& s2, __m512i sum, __m512i starts,
                                        __m512i dots, std::size_t done, const std::uint8_t* rest,
                                        std::size_t m) {
    T a = s1 + total<T>(sum);
    T b = s2 + static_cast<T>(done) * s1 + 64 * total<T>(starts) + total<T>(dots);
    if (m != 0) {
        const __m512i zero = _mm512_setzero_si512();
        const __m512i d = _mm512_maskz_loadu_epi8(static_cast<__mmask64>((1ull << m) - 1), rest);
        const T bytes = total<T>(_mm512_sad_epu8(d, zero));
        const T weighted = total<T>(dot(zero, d, _mm512_loadu_si512(adler::kWeights)));
        // The bytes were weighted 64 - i instead of m - i.
        b += static_cast<T>(m) * a + weighted - static_cast<T>(64 - m) * bytes;
        a += bytes;
    }
    s1 = static_cast<std::uint32_t>(a % adler::kBase);
    s2 = static_cast<std::uint32_t>(b % adler::kBase);
}

ADLER512_TARGET void ADLER512_NAME(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p,
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
    for (; n - done >= 64; done += 64) {
        const __m512i d = _mm512_loadu_si512(p + done);
        dot0 = dot(dot0, d, w);
        starts = _mm512_add_epi32(starts, sum);
        sum = _mm512_add_epi32(sum, _mm512_sad_epu8(d, zero));
    }
    const __m512i dots = _mm512_add_epi32(_mm512_add_epi32(dot0, dot1), _mm512_add_epi32(dot2, dot3));
    if (n <= adler::kMaxChunk) finishChunk<std::uint32_t>(s1, s2, sum, starts, dots, done, p + done, n - done);
    else finishChunk<std::uint64_t>(s1, s2, sum, starts, dots, done, p + done, n - done);
}

}  // namespace
