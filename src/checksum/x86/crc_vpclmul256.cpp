// CRC folding 256 bits at a time (VPCLMULQDQ on AVX2 registers, for
// processors without AVX-512), for both CRCs: four registers 128 bytes apart
// while 128 bytes remain, then one; the four merge onto the last at once.
// The result goes to the shared 128-bit finish.  Inputs below 32 bytes are
// folded 128 bits at a time.
#include "checksum/checksum_kernels.h"
#include "checksum/x86/crc_fold128.h"

#define ORVDC_TARGET_VPCLMUL256 __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1,ssse3")))

namespace orvdc {

namespace {

using crc_fold::foldBy;
using crc_fold::LanePair;
using crc_fold::Order;

ORVDC_TARGET_VPCLMUL256 inline __m256i lanes256(LanePair k) {
    return _mm256_broadcastsi128_si256(crc_fold::lanes(k));
}

template <Order O>
ORVDC_TARGET_VPCLMUL256 inline __m256i load32(const std::uint8_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if constexpr (O == Order::kReflected) return v;
    else return _mm256_shuffle_epi8(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(crc_fold::kByteReverse)));
}

ORVDC_TARGET_VPCLMUL256 inline __m256i fold(__m256i x, __m256i k) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11));
}

template <Order O>
ORVDC_TARGET_VPCLMUL256 std::uint32_t fold256(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    const __m256i first = _mm256_xor_si256(load32<O>(p), _mm256_zextsi128_si256(crc_fold::initial<O>(r)));
    __m256i y;
    if (n >= 128) {
        __m256i y0 = first, y1 = load32<O>(p + 32), y2 = load32<O>(p + 64), y3 = load32<O>(p + 96);
        p += 128;
        n -= 128;
        const __m256i k1024 = lanes256(foldBy<O>(1024));
        for (; n >= 128; n -= 128, p += 128) {
            y0 = _mm256_xor_si256(fold(y0, k1024), load32<O>(p));
            y1 = _mm256_xor_si256(fold(y1, k1024), load32<O>(p + 32));
            y2 = _mm256_xor_si256(fold(y2, k1024), load32<O>(p + 64));
            y3 = _mm256_xor_si256(fold(y3, k1024), load32<O>(p + 96));
        }
        const __m256i moved = _mm256_xor_si256(fold(y0, lanes256(foldBy<O>(768))), fold(y1, lanes256(foldBy<O>(512))));
        y = _mm256_xor_si256(_mm256_xor_si256(moved, fold(y2, lanes256(foldBy<O>(256)))), y3);
    } else {
        y = first;
        p += 32;
        n -= 32;
    }
    const __m256i k256 = lanes256(foldBy<O>(256));
    for (; n >= 32; n -= 32, p += 32) y = _mm256_xor_si256(fold(y, k256), load32<O>(p));

    const __m128i x = _mm_xor_si128(crc_fold::fold(_mm256_castsi256_si128(y), crc_fold::lanes(foldBy<O>(128))),
                                    _mm256_extracti128_si256(y, 1));
    return crc_fold::finish<O>(x, p, n);
}

}  // namespace

ORVDC_TARGET_VPCLMUL256 std::uint32_t crc32Vpclmul256(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Slice8(r, p, n);
    if (n < 32) return crc_fold::fold128<Order::kReflected>(r, p, n);
    return fold256<Order::kReflected>(r, p, n);
}

ORVDC_TARGET_VPCLMUL256 std::uint32_t crc32Bzip2Vpclmul256(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Bzip2Slice8(r, p, n);
    if (n < 32) return crc_fold::fold128<Order::kForward>(r, p, n);
    return fold256<Order::kForward>(r, p, n);
}

}  // namespace orvdc
