// The leading part that the deflate encoder and decoder states share, so that
// one GetStatus, GetPairs and SetPairs serves both state types.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/stored_ptr.h"
#include "orvdc.h"

namespace orvdc::lz77 {

// Placed at offset 0 of LZ77EncoderState and of LZ77DecoderState.  20 bytes,
// 4-byte aligned, the same in 32-bit and 64-bit builds.
struct CommonPart {
    std::int32_t status;           // LZ77DeflateStatus / LZ77InflateStatus
    std::int32_t pairIndex;        // next pair to fill or to code
    std::int32_t pairLength;       // usable pairs in the buffer
    StoredPtr<LZ77Pair> pairs;     // the state's own buffer or the caller's
};

static_assert(sizeof(CommonPart) == 20 && alignof(CommonPart) == 4);

inline CommonPart& common(void* state) { return *static_cast<CommonPart*>(state); }
inline const CommonPart& common(const void* state) {
    return *static_cast<const CommonPart*>(state);
}

// Writes one pair as a single 4-byte store (the compiler would otherwise
// store its two halves apart).
inline void storePair(LZ77Pair* at, std::uint32_t length, std::uint32_t offset) {
    const std::uint32_t word = length | (offset << 16);
    std::memcpy(at, &word, 4);
}

// The pair buffer that Init gives both states holds this many pairs.
inline constexpr std::int32_t kOwnPairCapacity = 65536;

}  // namespace orvdc::lz77
