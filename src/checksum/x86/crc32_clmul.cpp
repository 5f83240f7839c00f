// CRC-32 by folding with carry-less multiplication.
//
// Take the message as a polynomial over GF(2) whose first stream bit has the
// highest degree; the CRC register is the message times x^32 modulo P.  A
// 128-bit little-endian load puts the stream's first bit at bit 0, so bit i of
// a register standing T bits before the end of the message is the coefficient
// of x^(T+127-i).  Multiplying two 64-bit halves without carries gives a
// 127-bit product whose bit k has degree (da + db - k) when the operands' bit
// 0 have degrees da and db.  From that: moving a register D bits further on
// means multiplying its low half by (x^(D+63) mod P) and its high half by
// (x^(D-1) mod P), each written with degree d at bit 63-d; the product lands
// exactly on the later register's bit positions and is XORed into it.
//
// The loop keeps four registers 512 bits apart, folds them into one, then
// into single 16-byte steps.  The last register is reduced by running its 16
// bytes through the table-driven CRC from 0, which yields the register value
// for everything folded so far; the remaining tail continues from there.  The
// initial register value is XORed into the first 32 message bits, which for a
// reflected CRC is the same as starting the register there.
#include <emmintrin.h>
#include <smmintrin.h>
#include <wmmintrin.h>

#include "checksum/crc32_impl.h"

namespace orvdc {

namespace {

// {low half multiplier, high half multiplier} for a 512-bit and a 128-bit move.
constexpr std::uint64_t kFold512Lo = 0x653d982200000000ull;  // x^575 mod P
constexpr std::uint64_t kFold512Hi = 0xcad38e8f00000000ull;  // x^511 mod P
constexpr std::uint64_t kFold128Lo = 0x65673b4600000000ull;  // x^191 mod P
constexpr std::uint64_t kFold128Hi = 0x9ba54c6f00000000ull;  // x^127 mod P

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

inline __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

__attribute__((target("pclmul,sse4.1")))
std::uint32_t crc32Clmul(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 64) return crc32Slice8(r, p, n);
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));

    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(r)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; n -= 64, p += 64) {
        x0 = _mm_xor_si128(fold(x0, k512), load(p));
        x1 = _mm_xor_si128(fold(x1, k512), load(p + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load(p + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load(p + 48));
    }
    x1 = _mm_xor_si128(fold(x0, k128), x1);
    x2 = _mm_xor_si128(fold(x1, k128), x2);
    x3 = _mm_xor_si128(fold(x2, k128), x3);
    for (; n >= 16; n -= 16, p += 16) x3 = _mm_xor_si128(fold(x3, k128), load(p));

    alignas(16) std::uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x3);
    return crc32Slice8(crc32Slice8(0, last, 16), p, n);
}

}  // namespace orvdc
