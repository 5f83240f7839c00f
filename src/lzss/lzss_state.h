// Layout of the LZSS state shared by the encoder and the decoder.
//
// The state is an 11-word header of 32-bit fields followed, for the encoder,
// by the chain table, the head table and the window; the decoder uses only
// the header and a 32 KB window right behind it.  The header records where
// each part lies as a byte offset from the state's start, so the layout and
// size are the same in 32-bit and 64-bit builds.  The caller's memory may be
// only 4-byte aligned: the header is copied in and out with memcpy, and the
// tables are arrays of 32-bit entries at 4-byte aligned offsets.
#pragma once

#include <cstdint>
#include <cstring>

#include "orvdc.h"

namespace orvdc::lzss {

inline constexpr std::uint32_t kHeaderBytes = 44;
inline constexpr std::uint32_t kTableEntries = 32768;  // chain and head tables each
inline constexpr std::uint32_t kChainOffset = kHeaderBytes;
inline constexpr std::uint32_t kHeadOffset = kChainOffset + kTableEntries * 4;
inline constexpr std::uint32_t kEncoderWindowOffset = kHeadOffset + kTableEntries * 4;
inline constexpr std::uint32_t kEncoderWindowBytes = 65536;
inline constexpr std::uint32_t kDecoderWindowOffset = kHeaderBytes;
inline constexpr std::uint32_t kDecoderWindowBytes = 32768;
inline constexpr std::int32_t kStateBytes = kEncoderWindowOffset + kEncoderWindowBytes;
static_assert(kStateBytes == 327724);

// Token format.
inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint32_t kMaxMatch = 258;
inline constexpr std::uint32_t kMaxDistance = 32767;
inline constexpr std::uint32_t kLiteralBits = 9;
inline constexpr std::uint32_t kMatchBits = 24;

// Encoder: a match may start this many bytes before a call's first byte and
// run on into it, so each call copies its first kMaxMatch bytes into the
// window; the window index of the next position never exceeds this limit, so
// that copy always fits.
inline constexpr std::uint32_t kWindowIndexLimit = kEncoderWindowBytes - kMaxMatch;

// The empty entry of the chain and head tables: 32768 bytes before position 0,
// never within matching distance.
inline constexpr std::int32_t kEmptyPosition = -32768;

// Value of the hash-table word in an encoder state: the encoder always uses
// the library's constant table (lz77/hash_table.h); the word only marks that.
inline constexpr std::uint32_t kConstantHashTable = 1;

struct Header {
    std::uint32_t hashTable;        // encoder: kConstantHashTable; decoder: 0
    std::uint32_t chainOffset;      // encoder: kChainOffset; decoder: 0
    std::uint32_t headOffset;       // encoder: kHeadOffset; decoder: 0
    std::uint32_t windowOffset;     // kEncoderWindowOffset or kDecoderWindowOffset
    std::uint32_t windowOrigin;     // encoder: window index = position - origin
    std::uint32_t position;         // encoder: stream position of the next byte (wraps)
    std::uint32_t bitCount;         // valid bits in the bit buffer
    std::uint32_t bitsHigh;         // bit buffer, left-aligned (next bit is bit 31)
    std::uint32_t bitsLow;          // encoder: the buffer's low 32 bits
    std::uint32_t pendingDistance;  // decoder: distance of an interrupted match
    std::uint32_t pendingLength;    // decoder: bytes of that match still to write
};
static_assert(sizeof(Header) == kHeaderBytes);

inline Header loadHeader(const void* state) {
    Header h;
    std::memcpy(&h, state, sizeof h);
    return h;
}

inline void storeHeader(void* state, const Header& h) { std::memcpy(state, &h, sizeof h); }

}  // namespace orvdc::lzss
