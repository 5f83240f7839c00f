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

namespace {

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
    s2 += static_cast<std::uint32_t>(done) * s1 + 64 * static_cast<std::uint32_t>(_mm512_reduce_add_epi32(starts)) +
          static_cast<std::uint32_t>(_mm512_reduce_add_epi32(dots));
    s1 += static_cast<std::uint32_t>(_mm512_reduce_add_epi32(sum));

    const auto m = static_cast<std::uint32_t>(n - done);
    if (m == 0) return;
    const __m512i d = _mm512_maskz_loadu_epi8(static_cast<__mmask64>((1ull << m) - 1), p + done);
    const auto bytes = static_cast<std::uint32_t>(_mm512_reduce_add_epi32(_mm512_sad_epu8(d, zero)));
    const auto weighted = static_cast<std::uint32_t>(_mm512_reduce_add_epi32(dot(zero, d, w)));
    // The bytes were weighted 64 - i instead of m - i.
    s2 += m * s1 + weighted - (64 - m) * bytes;
    s1 += bytes;
}

}  // namespace
