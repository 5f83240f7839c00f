// Adler-32 with AVX-512 (F, BW): the weighted byte sums by pmaddubsw, then
// pmaddwd against ones to widen them to 32 bits.
#include <immintrin.h>

#include "checksum/adler32_chunks.h"
#include "checksum/checksum_kernels.h"

#define ADLER512_TARGET __attribute__((target("avx512f,avx512bw")))
#define ADLER512_NAME adler32Avx512

namespace orvdc {

namespace {

ADLER512_TARGET inline __m512i dot(__m512i acc, __m512i bytes, __m512i weights) {
    const __m512i pairs = _mm512_maddubs_epi16(bytes, weights);  // at most 255 * 127 < 2^15
    return _mm512_add_epi32(acc, _mm512_madd_epi16(pairs, _mm512_set1_epi16(1)));
}

}  // namespace

#include "checksum/x86/adler32_avx512_template.h"

}  // namespace orvdc
