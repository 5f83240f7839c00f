// Pieces of the byte run-length encoder.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace orvdc::rle {

// Inside the pair scan (src[i-1] is the byte before src[i] in the current
// sequence), copies the bytes from src[i] on that complete no pair, 16 at a
// time, while more than 16 source bytes and more than 16 bytes of room are
// left, so that none of them can be the last source byte or fill the
// destination.  Stops in front of the first byte equal to its predecessor.
// Advances i and o past what it copied; writes nothing beyond that.
inline void copyPairFreeBytes(const std::uint8_t* src, std::size_t& i, std::size_t srcLen,
                              std::uint8_t* dst, std::size_t& o, std::size_t dstLen) {
    while (srcLen - i > 16 && dstLen - o > 16) {
        const __m128i cur = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i - 1));
        const unsigned pairs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(cur, prev)));
        if (pairs == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o), cur);
            i += 16;
            o += 16;
            continue;
        }
        const unsigned k = static_cast<unsigned>(__builtin_ctz(pairs));
        for (unsigned j = 0; j < k; ++j) dst[o + j] = src[i + j];
        i += k;
        o += k;
        return;
    }
}

}  // namespace orvdc::rle
