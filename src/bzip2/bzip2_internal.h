// What the bzip2-format stages share: the run-length encoder's state layout
// and a run scan.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "orvdc.h"

namespace orvdc::bzip2 {

// The layout of RLEState: 264 bytes, 4-byte alignment, the same in 32-bit and
// 64-bit builds.
struct RunLengthState {
    std::uint8_t inUse[256];  // 1 for every byte value written since Init
    std::uint32_t lastByte;   // last byte consumed, kNoByte after Init
    std::int32_t runCount;    // 0..3: run still in literals; 4..259: count byte owed
};
static_assert(sizeof(RunLengthState) == 264 && alignof(RunLengthState) == 4);

constexpr std::uint32_t kNoByte = 0xFFFFFFFFu;
constexpr std::int32_t kLongestRun = 259;  // four copies and a count of 255

inline RunLengthState* stateOf(RLEState* p) { return reinterpret_cast<RunLengthState*>(p); }
inline const RunLengthState* stateOf(const RLEState* p) { return reinterpret_cast<const RunLengthState*>(p); }

// Number of elements equal to `value` from p[0] on, at most `limit`.
inline std::size_t countEqualBytes(const std::uint8_t* p, std::size_t limit, std::uint8_t value) {
    std::size_t n = 0;
    const __m128i key = _mm_set1_epi8(static_cast<char>(value));
    while (limit - n >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, key)));
        if (same != 0xFFFF) return n + static_cast<unsigned>(__builtin_ctz(~same));
        n += 16;
    }
    while (n < limit && p[n] == value) ++n;
    return n;
}

}  // namespace orvdc::bzip2
