// 128-bit CRC folding shared by every carry-less-multiplication kernel, for
// both bit orders (see crc_fold_constants.h): loading a 16-byte piece,
// folding a register onto a later one, absorbing a last piece shorter than 16
// bytes, and reducing the last register to the CRC register value.  The
// wider kernels fold into one 128-bit register and finish here.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "checksum/x86/crc_fold_constants.h"

#define ORVDC_TARGET_CLMUL __attribute__((target("pclmul,sse4.1,ssse3")))

namespace orvdc::crc_fold {

// Byte shuffles: loading 16 bytes at kShifts + 16 - k shifts a register k
// bytes up (towards byte 15), at kShifts + 16 + k k bytes down; the bytes
// shifted in are zero (indices with the top bit set).
alignas(64) inline constexpr std::uint8_t kShifts[48] = {
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

// Reverses the bytes of each 16-byte lane.
alignas(64) inline constexpr std::uint8_t kByteReverse[64] = {
    15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
    15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
    15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0,
    15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};

inline __m128i loadRaw(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

ORVDC_TARGET_CLMUL inline __m128i lanes(LanePair k) {
    return _mm_set_epi64x(static_cast<long long>(k.lane1), static_cast<long long>(k.lane0));
}

template <Order O>
ORVDC_TARGET_CLMUL inline __m128i load16(const std::uint8_t* p) {
    if constexpr (O == Order::kReflected) return loadRaw(p);
    else return _mm_shuffle_epi8(loadRaw(p), loadRaw(kByteReverse));
}

// The CRC register r, XORed into the first 32 message bits.
template <Order O>
ORVDC_TARGET_CLMUL inline __m128i initial(std::uint32_t r) {
    if constexpr (O == Order::kReflected) return _mm_cvtsi32_si128(static_cast<int>(r));
    else return _mm_set_epi32(static_cast<int>(r), 0, 0, 0);
}

ORVDC_TARGET_CLMUL inline __m128i fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// Register x covers the 16 bytes just before p; the message ends at p + t
// (0 < t < 16) and has at least 16 bytes before p.  Returns the register of
// the message's last 16 bytes.  Moving x on by t bytes splits it into the
// part that stays within 16 bytes of the end, combined with the t new bytes,
// and the part that spills out ahead, which is folded over 128 bits.
template <Order O>
ORVDC_TARGET_CLMUL inline __m128i absorbTail(__m128i x, const std::uint8_t* p, std::size_t t) {
    const __m128i last = load16<O>(p + t - 16);
    const __m128i k128 = lanes(foldBy<O>(128));
    if constexpr (O == Order::kReflected) {
        // Later bytes have lower degrees: the register moves down in memory.
        const __m128i up = loadRaw(kShifts + t);  // up by 16 - t; top bit set below 16 - t
        const __m128i spill = _mm_shuffle_epi8(x, up);
        const __m128i kept = _mm_shuffle_epi8(x, loadRaw(kShifts + 16 + t));
        return _mm_xor_si128(fold(spill, k128), _mm_blendv_epi8(last, kept, up));
    } else {
        // Byte-reversed: the register moves up by t bytes.
        const __m128i up = loadRaw(kShifts + 16 - t);  // top bit set below t
        const __m128i spill = _mm_shuffle_epi8(x, loadRaw(kShifts + 32 - t));
        const __m128i kept = _mm_shuffle_epi8(x, up);
        return _mm_xor_si128(fold(spill, k128), _mm_blendv_epi8(kept, last, up));
    }
}

// The CRC register value of a message whose last 16 bytes are in x: x(x)
// x^32 mod P.  Two multiplications bring it to 64 bits U = U1 x^32 + U0, and
// two more reduce U by Barrett's method (see barrett()).
template <Order O>
ORVDC_TARGET_CLMUL inline std::uint32_t reduce(__m128i x) {
    const __m128i k = lanes(finalReduction<O>());
    const __m128i b = lanes(barrett<O>());
    if constexpr (O == Order::kReflected) {
        // U ends up in lane 1: U1 in its low, U0 in its high 32 bits.
        const __m128i lowHalfUp = _mm_slli_si128(_mm_srli_si128(x, 8), 4);
        const __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), lowHalfUp);
        const __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(s, k, 0x10), s);
        // With U1 moved up 32 bits, the products come out 32 bits higher:
        // q lands in the high half of lane 0 and q P's low 32 bits in word 2.
        const __m128i t = _mm_clmulepi64_si128(_mm_slli_epi64(u, 32), b, 0x01);
        const __m128i qp = _mm_clmulepi64_si128(t, b, 0x10);
        return static_cast<std::uint32_t>(_mm_extract_epi32(qp, 2) ^ _mm_extract_epi32(u, 3));
    } else {
        // U ends up in lane 0.
        const __m128i lowHalfUp = _mm_slli_si128(_mm_move_epi64(x), 4);
        const __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x01), lowHalfUp);
        const __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(s, k, 0x11), s);
        const __m128i t = _mm_clmulepi64_si128(_mm_srli_epi64(u, 32), b, 0x00);
        const __m128i qp = _mm_clmulepi64_si128(_mm_srli_epi64(t, 32), b, 0x10);
        return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_xor_si128(qp, u)));
    }
}

// Folds the remaining n bytes at p into x (which covers the 16 bytes before
// p) and returns the CRC register value.
template <Order O>
ORVDC_TARGET_CLMUL inline std::uint32_t finish(__m128i x, const std::uint8_t* p, std::size_t n) {
    const __m128i k128 = lanes(foldBy<O>(128));
    for (; n >= 16; n -= 16, p += 16) x = _mm_xor_si128(fold(x, k128), load16<O>(p));
    if (n != 0) x = absorbTail<O>(x, p, n);
    return reduce<O>(x);
}

// The CRC register after n >= 16 bytes from register r, 128 bits at a time:
// four registers 64 bytes apart while 64 bytes remain, then one.  This is
// also the short-input path of the wider kernels.
template <Order O>
ORVDC_TARGET_CLMUL inline std::uint32_t fold128(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    __m128i x0 = _mm_xor_si128(load16<O>(p), initial<O>(r));
    if (n < 64) return finish<O>(x0, p + 16, n - 16);
    __m128i x1 = load16<O>(p + 16), x2 = load16<O>(p + 32), x3 = load16<O>(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = lanes(foldBy<O>(512));
    for (; n >= 64; n -= 64, p += 64) {
        x0 = _mm_xor_si128(fold(x0, k512), load16<O>(p));
        x1 = _mm_xor_si128(fold(x1, k512), load16<O>(p + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load16<O>(p + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load16<O>(p + 48));
    }
    // The three earlier registers move onto the last one side by side.
    const __m128i moved = _mm_xor_si128(fold(x0, lanes(foldBy<O>(384))), fold(x1, lanes(foldBy<O>(256))));
    x3 = _mm_xor_si128(_mm_xor_si128(moved, fold(x2, lanes(foldBy<O>(128)))), x3);
    return finish<O>(x3, p, n);
}

}  // namespace orvdc::crc_fold
