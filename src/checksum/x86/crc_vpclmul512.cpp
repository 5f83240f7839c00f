// CRC folding 512 bits at a time (VPCLMULQDQ on AVX-512 registers), for both
// CRCs: four registers 256 bytes apart while 256 bytes remain, then one;
// each merge moves all the earlier registers (or 128-bit lanes) onto the last
// at once, so it costs one multiplication's latency.  The result goes to the
// shared 128-bit finish.  Inputs below 64 bytes are folded 128 bits at a time.
#include "checksum/checksum_kernels.h"
#include "checksum/x86/crc_fold128.h"

// GCC 12's AVX-512 headers fill "don't care" operands from a self-initialised
// variable, which its own uninitialised-use warnings then flag.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define ORVDC_TARGET_VPCLMUL512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,vpclmulqdq,pclmul,avx2,sse4.1,ssse3")))

namespace orvdc {

namespace {

using crc_fold::foldBy;
using crc_fold::LanePair;
using crc_fold::Order;

// Per 128-bit lane of a 512-bit register: the moves onto its last lane.
template <Order O>
alignas(64) constexpr LanePair kOntoLastLane[4] = {foldBy<O>(384), foldBy<O>(256), foldBy<O>(128), {0, 0}};

ORVDC_TARGET_VPCLMUL512 inline __m512i lanes512(LanePair k) {
    return _mm512_broadcast_i32x4(crc_fold::lanes(k));
}

template <Order O>
ORVDC_TARGET_VPCLMUL512 inline __m512i load64(const std::uint8_t* p) {
    const __m512i v = _mm512_loadu_si512(p);
    if constexpr (O == Order::kReflected) return v;
    else return _mm512_shuffle_epi8(v, _mm512_loadu_si512(crc_fold::kByteReverse));
}

ORVDC_TARGET_VPCLMUL512 inline __m512i fold(__m512i x, __m512i k) {
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11));
}

// fold(x) XOR y, the XOR of three in one instruction.
ORVDC_TARGET_VPCLMUL512 inline __m512i foldInto(__m512i x, __m512i k, __m512i y) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                     _mm512_clmulepi64_epi128(x, k, 0x11), y, 0x96);
}

template <Order O>
ORVDC_TARGET_VPCLMUL512 std::uint32_t fold512(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    const __m512i first = _mm512_xor_si512(load64<O>(p), _mm512_zextsi128_si512(crc_fold::initial<O>(r)));
    __m512i z;
    if (n >= 256) {
        __m512i z0 = first, z1 = load64<O>(p + 64), z2 = load64<O>(p + 128), z3 = load64<O>(p + 192);
        p += 256;
        n -= 256;
        const __m512i k2048 = lanes512(foldBy<O>(2048));
        for (; n >= 256; n -= 256, p += 256) {
            z0 = foldInto(z0, k2048, load64<O>(p));
            z1 = foldInto(z1, k2048, load64<O>(p + 64));
            z2 = foldInto(z2, k2048, load64<O>(p + 128));
            z3 = foldInto(z3, k2048, load64<O>(p + 192));
        }
        z = _mm512_ternarylogic_epi64(fold(z0, lanes512(foldBy<O>(1536))), fold(z1, lanes512(foldBy<O>(1024))),
                                      foldInto(z2, lanes512(foldBy<O>(512)), z3), 0x96);
    } else {
        z = first;
        p += 64;
        n -= 64;
    }
    const __m512i k512 = lanes512(foldBy<O>(512));
    for (; n >= 64; n -= 64, p += 64) z = foldInto(z, k512, load64<O>(p));

    // Lanes 0..2 move onto lane 3; lane 3 stays.
    const __m512i onto = foldInto(z, _mm512_load_si512(kOntoLastLane<O>), _mm512_maskz_mov_epi64(0xC0, z));
    const __m256i y = _mm256_xor_si256(_mm512_castsi512_si256(onto), _mm512_extracti64x4_epi64(onto, 1));
    const __m128i x = _mm_xor_si128(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
    return crc_fold::finish<O>(x, p, n);
}

}  // namespace

ORVDC_TARGET_VPCLMUL512 std::uint32_t crc32Vpclmul512(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Slice8(r, p, n);
    if (n < 256) return crc_fold::fold128<Order::kReflected>(r, p, n);
    return fold512<Order::kReflected>(r, p, n);
}

ORVDC_TARGET_VPCLMUL512 std::uint32_t crc32Bzip2Vpclmul512(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Bzip2Slice8(r, p, n);
    if (n < 256) return crc_fold::fold128<Order::kForward>(r, p, n);
    return fold512<Order::kForward>(r, p, n);
}

}  // namespace orvdc
