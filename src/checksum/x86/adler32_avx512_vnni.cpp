// Adler-32 with AVX-512 VNNI: vpdpbusd multiplies the bytes by the weights and
// adds each group of four products into a 32-bit lane in one instruction.
#include <immintrin.h>

#include "checksum/adler32_chunks.h"
#include "checksum/checksum_kernels.h"

#define ADLER512_TARGET __attribute__((target("avx512f,avx512bw,avx512vnni")))
#define ADLER512_NAME adler32Avx512Vnni

namespace orvdc {

namespace {

ADLER512_TARGET inline __m512i dot(__m512i acc, __m512i bytes, __m512i weights) {
    return _mm512_dpbusd_epi32(acc, bytes, weights);
}

}  // namespace

#include "checksum/x86/adler32_avx512_template.h"

}  // namespace orvdc
