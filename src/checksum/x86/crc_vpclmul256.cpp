// CRC folding 256 bits at a time (VPCLMULQDQ on AVX2 registers, for
// processors without AVX-512), for both CRCs: four registers 128 bytes apart,
// merged into one, then halved to 128 bits for the shared finish.  Inputs too
// short for the wide setup go straight to the 128-bit folding.
#include "checksum/checksum_kernels.h"
#include "checksum/x86/crc_fold128.h"

#define ORVDC_TARGET_VPCLMUL256 __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1,ssse3")))

namespace orvdc {

namespace {

using crc_fold::LanePair;
using crc_fold::Order;

// Shorter inputs are folded 128 bits at a time.
constexpr std::size_t kWideMin = 256;

ORVDC_TARGET_VPCLMUL256 inline __m256i lanes256(LanePair k) {
    return _mm256_broadcastsi128_si256(crc_fold::lanes(k));
}

template <Order O>
ORVDC_TARGET_VPCLMUL256 inline __m256i load32(const std::uint8_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if constexpr (O == Order::kReflected) return v;
    else return _mm256_shuffle_epi8(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(crc_fold::kByteReverse)));
}

ORVDC_TARGET_VPCLMUL256 inline __m256i foldInto(__m256i x, __m256i k, __m256i y) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00),
                                             _mm256_clmulepi64_epi128(x, k, 0x11)), y);
}

template <Order O>
ORVDC_TARGET_VPCLMUL256 std::uint32_t fold256(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    __m256i y0 = _mm256_xor_si256(load32<O>(p), _mm256_zextsi128_si256(crc_fold::initial<O>(r)));
    __m256i y1 = load32<O>(p + 32), y2 = load32<O>(p + 64), y3 = load32<O>(p + 96);
    p += 128;
    n -= 128;
    const __m256i k1024 = lanes256(crc_fold::foldBy<O>(1024));
    for (; n >= 128; n -= 128, p += 128) {
        y0 = foldInto(y0, k1024, load32<O>(p));
        y1 = foldInto(y1, k1024, load32<O>(p + 32));
        y2 = foldInto(y2, k1024, load32<O>(p + 64));
        y3 = foldInto(y3, k1024, load32<O>(p + 96));
    }
    const __m256i k256 = lanes256(crc_fold::foldBy<O>(256));
    y1 = foldInto(y0, k256, y1);
    y2 = foldInto(y1, k256, y2);
    y3 = foldInto(y2, k256, y3);
    for (; n >= 32; n -= 32, p += 32) y3 = foldInto(y3, k256, load32<O>(p));

    const __m128i k128 = crc_fold::lanes(crc_fold::foldBy<O>(128));
    const __m128i x = _mm_xor_si128(crc_fold::fold(_mm256_castsi256_si128(y3), k128),
                                    _mm256_extracti128_si256(y3, 1));
    return crc_fold::finish<O>(x, p, n);
}

}  // namespace

ORVDC_TARGET_VPCLMUL256 std::uint32_t crc32Vpclmul256(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Slice8(r, p, n);
    if (n < kWideMin) return crc_fold::fold128<Order::kReflected>(r, p, n);
    return fold256<Order::kReflected>(r, p, n);
}

ORVDC_TARGET_VPCLMUL256 std::uint32_t crc32Bzip2Vpclmul256(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Bzip2Slice8(r, p, n);
    if (n < kWideMin) return crc_fold::fold128<Order::kForward>(r, p, n);
    return fold256<Order::kForward>(r, p, n);
}

}  // namespace orvdc
