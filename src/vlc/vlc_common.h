// What the VLC encoder and decoders share: object placement, the identifier
// words, the object headers and big-endian stream access.
#pragma once

#include <cstddef>
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

inline std::uint64_t loadBE64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return __builtin_bswap64(w);
}

// Decodes `count` codes from (*pp, *pOffset).  `one(bits, i)` decodes code i
// from the stream left-aligned in `bits` (at least 32 bits valid) and returns
// the number of bits it consumed, or -1 for bits that are no code; the
// position is stored back only when all codes were found.
//
// While 64 or more codes remain, the stream goes through a 64-bit buffer
// refilled a word at a time: its loaded end is then at most 63 bits ahead of
// the current code, and the remaining codes need at least one bit each, so no
// load reaches further than 4 bytes past the last byte the block needs.  The
// last codes peek 5 bytes from their own byte each, which keeps that bound
// exactly.
template <class One>
inline orvStatus decodeCodes(const std::uint8_t** pp, std::int32_t* pOffset, std::int32_t count, One&& one) {
    const std::uint8_t* start = *pp;
    std::uint64_t pos = static_cast<std::uint64_t>(*pOffset);  // bits from start (may pass 2^32)
    std::int32_t i = 0;
    if (count >= 64 + 24) {
        const std::uint8_t* next = start + 8;
        std::uint64_t bits = loadBE64(start) << pos;
        int avail = 64 - static_cast<int>(pos);
        for (; count - i >= 64; ++i) {
            if (avail < 32) {
                bits |= static_cast<std::uint64_t>(loadBE32(next)) << (32 - avail);
                next += 4;
                avail += 32;
            }
            const int length = one(bits, i);
            if (length < 0) return orvStsBadContext;
            bits <<= length;
            avail -= length;
        }
        pos = static_cast<std::uint64_t>(next - start) * 8 - static_cast<std::uint64_t>(avail);
    }
    for (; i < count; ++i) {
        const int length = one(peek33(start + static_cast<std::size_t>(pos >> 3), static_cast<unsigned>(pos & 7)), i);
        if (length < 0) return orvStsBadContext;
        pos += static_cast<std::uint64_t>(length);
    }
    *pp = start + static_cast<std::size_t>(pos >> 3);
    *pOffset = static_cast<std::int32_t>(pos & 7);
    return orvStsOk;
}

}  // namespace orvdc::vlc
