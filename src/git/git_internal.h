// What the GIT encoder and decoder share: the state layouts, the sizes, the
// adaptive parameter of the value code.
//
// Both states hold only 32-bit and smaller fields, so they may sit at any
// 4-byte aligned address, and their layout is the same in 32- and 64-bit
// builds.  References into a state's own memory are offsets.
#pragma once

#include <bit>
#include <cstdint>

#include "orvdc.h"

namespace orvdc::git {

constexpr int kValues = 256;
constexpr int kLeaves = 256;           // one leaf per rank
constexpr int kNodes = 2 * kLeaves - 1;  // heap-ordered tree, leaves 255..510
constexpr std::uint32_t kInitialK = 10;
constexpr std::uint32_t kHalvingPeriod = 8;
constexpr std::uint32_t kEscapeQuotient = 8;  // quotients of 8 and more escape
constexpr std::int32_t kSmallSrcLen = 4096;   // smaller maxSrcLen is raised to this...
constexpr std::int32_t kSmallDstLen = 8192;   // ...and maxDstLen then becomes this
constexpr std::int64_t kEncoderFixedBytes = 25720;
constexpr std::int64_t kDecoderFixedBytes = 26776;

inline std::uint32_t floor8(std::int32_t n) {
    return static_cast<std::uint32_t>(n) & ~7u;
}

// Statistics of one stream's value code: sum and number of the values since
// the last halvings, values since the last halving, Rice parameter.
struct StreamStats {
    std::uint32_t sum;
    std::uint32_t num;
    std::uint32_t since;
    std::uint32_t k;

    void reset() {
        sum = num = since = 0;
        k = kInitialK;
    }

    // Before a value is coded with k (not for escapes): halve the history
    // every eight values.  Without branches: streams take turns at random.
    void beforeValue() {
        const std::uint32_t halve = since >= kHalvingPeriod ? 1 : 0;
        sum >>= halve;
        num >>= halve;
        since = halve ? 0 : since;
    }

    // After a value coded with k: k becomes the smallest m >= 1 with
    // num * 2^m >= sum.
    void afterValue(std::uint32_t v) {
        since += 1;
        sum += v;
        num += 1;
        k = riceParameter(sum, num);
    }

    // For n >= 1.  n * 2^m >= s holds for m = width(s) - width(n) + 1 and
    // fails for m = width(s) - width(n) - 1, so one candidate is tested.
    static std::uint32_t riceParameter(std::uint32_t s, std::uint32_t n) {
        const int d = std::bit_width(s) - std::bit_width(n);
        const auto m = static_cast<std::uint32_t>(d < 1 ? 1 : d);
        return m + ((static_cast<std::uint64_t>(n) << m) < s ? 1 : 0);
    }
};

// A stream writer: bytes completed and bits used in the current byte.  Each
// stream's fields sit together, as one value touches all of them.
struct EncoderStream {
    std::uint32_t byteIndex;
    std::uint32_t bitPos;
    StreamStats stats;
};

// A stream reader: start offset in the block, length, bytes used, bits used
// in the current byte.
struct DecoderStream {
    std::uint32_t start;
    std::uint32_t length;
    std::uint32_t byteIndex;
    std::uint32_t bitPos;
    StreamStats stats;
};

// Encoder state.  Followed in memory by the 256 stream areas (areaStride
// bytes each, from areaOffset) and the unused room for one output block that
// the size formula reserves.
struct EncoderState {
    std::uint32_t maxSrcLen;   // effective sizes fixed at Init
    std::uint32_t maxDstLen;
    std::uint32_t areaOffset;  // from the state's start to stream 0's area
    std::uint32_t areaStride;  // floor8(maxSrcLen) + 8
    EncoderStream streams[kValues];
    // Tree over the ranks: count of every node (heap order) and, per leaf,
    // the right count at the last occurrence there (index leaf - 255).
    std::uint32_t count[kNodes + 1];
    std::uint32_t lastRight[kLeaves];
    // Rank slots: the value in the slot and its count; value -> leaf.
    std::uint32_t slotCount[kLeaves];
    std::uint8_t slotValue[kLeaves];
    std::uint16_t leafOf[kValues];
};

// Decoder state.  The block is read where the caller keeps it; the state
// keeps offsets into it.
struct DecoderState {
    std::uint32_t maxDstLen;
    std::uint32_t rank255Left;  // events still due at rank 255
    DecoderStream streams[kValues];
    std::uint32_t slotCount[kLeaves];
    std::uint8_t slotValue[kLeaves];
    // Tournament tree over the ranks (1-based heap, leaf of rank r at 256 + r)
    // that finds the next event: see decode.cpp.
    std::uint32_t treeMin[2 * kLeaves][2];  // 64-bit values, kept as two words
    std::uint32_t treeOcc[2 * kLeaves];
    std::uint8_t treeArg[2 * kLeaves];
};

constexpr std::uint32_t encoderAreaOffset() {
    return (sizeof(EncoderState) + 31u) & ~31u;
}

// The fixed parts must fit what the size formulas grant besides the stream
// areas and the output room.
static_assert(encoderAreaOffset() <= kEncoderFixedBytes + 256 * 24);
static_assert(sizeof(DecoderState) <= kDecoderFixedBytes + 256 * 8);
static_assert(alignof(EncoderState) <= 4 && alignof(DecoderState) <= 4);

}  // namespace orvdc::git
