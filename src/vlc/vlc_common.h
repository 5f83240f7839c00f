// What the VLC encoder and decoders share: object placement, the identifier
// words, the object headers and big-endian stream access.
#pragma once

#include <cstdint>
#include <cstring>

#include "orvdc.h"

namespace orvdc::vlc {

constexpr std::uint32_t kEncodeId = 0x4C4D5379u;  // "ySML" in memory
constexpr std::uint32_t kDecodeId = 0x4C4D537Au;  // "zSML" in memory

// The first 32-byte boundary at or after p: where every object starts.
template <class T>
inline T* alignUp32(T* p) {
    const auto a = reinterpret_cast<std::uintptr_t>(p);
    return reinterpret_cast<T*>((a + 31) & ~static_cast<std::uintptr_t>(31));
}

// The 32 bytes in front of the encoder's tables.
struct EncodeHeader {
    std::uint32_t lengthTable;  // byte offset of the length table from the object start (32)
    std::uint32_t valueOffset;  // -min modulo 2^32: value + valueOffset indexes both tables
    std::int32_t indexBits;     // k: the code table starts 2^k entries after the length table
    std::int32_t allocated;     // 1: made by InitAlloc
    std::uint32_t identifier;   // kEncodeId while valid
    std::uint32_t unused[3];
};
static_assert(sizeof(EncodeHeader) == 32);

// The fields in front of a decoder's lookup table (32 bytes for the value
// decoder, 64 for the tuple decoder).  The first two are shared by both, so
// one Free serves them.
struct DecodeHeader {
    std::uint32_t identifier;   // kDecodeId while valid
    std::int32_t allocated;     // 1: made by InitAlloc
    std::int32_t maxCodeLength;
    std::uint32_t table;        // byte offset of the lookup table from the object start
    std::int32_t entryBits;     // 8, 16 or 32
    std::int32_t lengthBits;
};
static_assert(sizeof(DecodeHeader) <= 32);

struct TupleHeader {
    DecodeHeader base;
    std::int32_t elementCount;
    std::int32_t elementBits;
    std::int32_t tupleBits;
};
static_assert(sizeof(TupleHeader) <= 64);

constexpr std::uint32_t kDecodeTableOffset = 32;
constexpr std::uint32_t kTupleTableOffset = 64;
constexpr std::int64_t kDecodeOverhead = 88;  // alignment slack, header, spare
constexpr std::int64_t kTupleOverhead = 100;

inline std::uint32_t loadBE32(const std::uint8_t* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return __builtin_bswap32(w);
}

inline void storeBE32(std::uint8_t* p, std::uint32_t w) {
    w = __builtin_bswap32(w);
    std::memcpy(p, &w, 4);
}

// The stream from bit `offset` of p, left-aligned in 64 bits, of which at
// least the top 33 are valid.  Reads p[0..4] and nothing else.
inline std::uint64_t peek33(const std::uint8_t* p, unsigned offset) {
    const std::uint64_t w = (static_cast<std::uint64_t>(loadBE32(p)) << 32) |
                            (static_cast<std::uint64_t>(p[4]) << 24);
    return w << offset;
}

}  // namespace orvdc::vlc
