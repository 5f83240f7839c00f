// The deflate encoder state and the pieces its stages share: the layout of
// LZ77EncoderState, the block phases and the output bit buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lz77/lz77_common.h"
#include "orvdc.h"

namespace orvdc::lz77 {

// Where the block writers stand.
enum BlockPhase : std::int32_t {
    kPhaseNone = 0,        // nothing written since Init
    kPhaseHeaderDue = 2,   // SetStatus(CodePairs): the next writer call starts a block
    kPhaseOpen = 3,        // a block is open or output is pending
    kPhaseClosed = 4,      // end of block (and any sync marker) written
    kPhaseStreamEnd = 5,   // the final block is closed and the output byte-aligned
};

inline constexpr std::int32_t kWindowSize = 65536;
inline constexpr std::int32_t kHashSize = 32768;
inline constexpr std::int32_t kHashMask = kHashSize - 1;
inline constexpr std::int32_t kEmptyEntry = -32768;
inline constexpr std::int32_t kMaxMatch = 258;
inline constexpr std::int32_t kMaxDistance = 32767;
inline constexpr std::int32_t kHeaderBufferSize = 332;
inline constexpr std::int32_t kEncoderStateSize = 599620;
inline constexpr std::uint32_t kDistCodeEntries = 256;  // where EncoderState::distanceCodes holds codes by number

// {bits, bit count} of one code, bit-reversed, extra bits merged above it.
struct CodeEntry {
    std::uint32_t bits;
    std::uint32_t count;
};

// {symbol, count} record of the dynamic-code construction.
struct FreqRecord {
    std::uint32_t symbol;
    std::uint32_t count;
};

// The whole state is one block of kEncoderStateSize bytes that needs only
// 4-byte alignment: every member is a 4-byte word or an array of them (or of
// bytes and pairs), and the buffers sit at fixed places inside the block, so
// no internal pointer is stored.  Pending output bits are kept in 64 bits
// (two words), enough for a whole dynamic-code pair after a full destination.
struct EncoderState {
    CommonPart common;            // status, pairIndex, pairLength, pairs: offset 0
    std::int32_t srcRemaining;    // source left by the last match-finder call
    std::uint32_t checksum;       // running Adler-32 or CRC-32
    std::int32_t checksumKind;
    std::int32_t level;           // 0, 1 or 2
    std::int32_t position;        // absolute position of the next source byte
    std::int32_t windowBase;      // position of window[0]
    std::uint32_t totalIn;        // every source byte consumed, modulo 2^32 (trailer length)
    std::uint32_t bitLow;         // pending output bits, least significant first
    std::uint32_t bitHigh;
    std::int32_t bitCount;        // number of pending bits
    std::int32_t blockPhase;      // BlockPhase
    std::int32_t lastFlush;       // flush mode of the previous match-finder call
    std::int32_t markerLeft;      // bytes of 00 00 FF FF still to write
    std::int32_t trailerIndex;    // next trailer byte to write
    std::int32_t selectedMode;    // LZ77HuffMode last chosen by the selector
    std::int32_t freqValid;       // 1: litLenFreq/distFreq hold the next block's counts
    std::int32_t headerLength;    // bytes of headerBuffer in use
    std::int32_t headerWritten;   // bytes of headerBuffer already written
    std::int32_t storedHeader;    // stored block: header bits appended
    std::int32_t storedAligned;   // stored block: pending bits written to a byte boundary
    std::int32_t storedLengthOut; // stored block: length-field bytes written (0..4)
    std::int32_t storedBody;      // stored block: body being copied
    std::uint8_t reserved[196];   // keeps the buffers where the block layout puts them

    std::int32_t chain[kHashSize];      // previous position with the same hash
    std::int32_t head[kHashSize];       // latest position for each hash value
    std::uint8_t window[kWindowSize];   // history of consumed source bytes
    LZ77Pair ownPairs[kOwnPairCapacity];
    std::uint8_t trailer[8];
    CodeEntry lengthCodes[256];   // by match length - 3: length code + extra bits
    CodeEntry litLenCodes[286];   // literal/length code
    // By distance - 1 for distances 1..256 (distance code + extra bits),
    // then by distance code from kDistCodeEntries on.
    CodeEntry distanceCodes[256 + 30];
    FreqRecord litLenFreq[286];
    FreqRecord distFreq[30];
    std::uint8_t headerBuffer[kHeaderBufferSize];
};

static_assert(sizeof(EncoderState) == kEncoderStateSize, "the state block has a fixed size");
static_assert(alignof(EncoderState) == 4, "callers may place the state on a 4-byte boundary");
static_assert(offsetof(EncoderState, common) == 0, "the shared part leads the state");

inline EncoderState& encoderState(LZ77EncoderState* s) { return *reinterpret_cast<EncoderState*>(s); }

// Sets the values that Reset and Init share (everything but the hash chains,
// level, checksum kind, buffer pointer, status word and block phase).
void resetStreamFields(EncoderState& st);

// The pending output bits of a block writer while it runs: loaded from the
// state, written back before the writer returns.  Bits at positions of 64
// and above are always zero, so appending zero bits may take the count past
// 64 (padding after a long pending run) without losing anything.
struct BitWriter {
    std::uint64_t bits;
    std::int32_t count;
    std::uint8_t* out;
    std::int32_t room;

    BitWriter(const EncoderState& st, std::uint8_t* dst, std::int32_t dstLen)
        : bits(st.bitLow | (std::uint64_t{st.bitHigh} << 32)), count(st.bitCount), out(dst), room(dstLen) {}

    void save(EncoderState& st) const {
        st.bitLow = static_cast<std::uint32_t>(bits);
        st.bitHigh = static_cast<std::uint32_t>(bits >> 32);
        st.bitCount = count;
    }

    void put(std::uint32_t value, std::uint32_t n) {
        if (count < 64) bits |= std::uint64_t{value} << count;
        count += static_cast<std::int32_t>(n);
    }

    void padToByte() { count = (count + 7) & ~7; }

    // Moves whole pending bytes out while room remains.
    void drain() {
        while (count >= 8 && room > 0) {
            *out++ = static_cast<std::uint8_t>(bits);
            bits >>= 8;
            count -= 8;
            --room;
        }
    }
};

}  // namespace orvdc::lz77
