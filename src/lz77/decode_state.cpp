// Deflate decoder: the state's life cycle, the history window, the block
// header reader and the stored-block decoder.
#include <cstring>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lz77/decode_state.h"

namespace orvdc::lz77::decoder {

// Distances below a multiple of 4096 that a forward copy keeps clear of
// (about the bytes of the stores a core holds pending).
constexpr std::size_t kAliasZone = 1536;
// A move keeps at most 32768 + 2047 bytes, with room for the mirror after them.
static_assert(kWindowBytes >= kHistoryBytes + 2048 + kMirrorBytes);

// Moves the last `keep` bytes of history to the front of the window.  The
// move runs forwards, and runs many times slower when it reads a little less
// than a multiple of 4096 bytes after where it writes: loads are matched
// against pending stores by their low 12 address bits, so each waits on a
// store it only seems to depend on.  Calls of equal size (zlib's
// Huffman-only blocks, for one) hit that on every move.  So `keep` grows by
// up to 2 KiB: callers leave room for that above it.
void compactWindow(DecoderState& s, std::size_t keep) {
    const auto fill = static_cast<std::size_t>(s.windowFill);
    const std::size_t ahead = (fill - keep) & 4095;
    if (ahead > 4096 - kAliasZone) keep += ahead - 2048;
    std::memmove(s.window, s.window + fill - keep, keep);
    s.windowFill = static_cast<std::int32_t>(keep);
}

void appendHistory(DecoderState& s, const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return;
    if (n >= static_cast<std::size_t>(kHistoryBytes)) {
        copyKernel(s.window, bytes + n - kHistoryBytes, kHistoryBytes);
        s.windowFill = kHistoryBytes;
        return;
    }
    if (static_cast<std::size_t>(s.windowFill) + n > static_cast<std::size_t>(kWindowBytes)) {
        // Keep only the old bytes that stay history after the append, the
        // last 32768 - n (and the move's 2 KiB at most): the move is as short
        // as it can be and leaves room for at least another
        // kWindowBytes - 34816 appended bytes.  Calls of 16 KiB (a block of
        // literals each) then move about 16 KiB every other call rather than
        // 32 KiB every call.
        compactWindow(s, static_cast<std::size_t>(kHistoryBytes) - n);
    }
    copyKernel(s.window + s.windowFill, bytes, n);
    s.windowFill += static_cast<std::int32_t>(n);
}

void mirrorOutputStart(DecoderState& s, const std::uint8_t* outputStart) {
    if (s.windowFill + kMirrorBytes > kWindowBytes) compactWindow(s, kHistoryBytes);
    std::memcpy(s.window + s.windowFill, outputStart, kMirrorBytes);
}

void copyMatchExact(const DecoderState& s, std::uint8_t* out, std::size_t written, std::uint32_t d,
                    std::size_t n) {
    if (d > written) {
        // The match starts in the window, `back` bytes before this call's output.
        const std::size_t back = d - written;
        const std::size_t m = n < back ? n : back;
        std::memcpy(out, s.window + s.windowFill - back, m);
        out += m;
        n -= m;
    }
    if (n == 0) return;
    // The source lies in this call's output and repeats with period d: copy
    // from the same start in growing non-overlapping pieces.
    const std::uint8_t* from = out - d;
    while (n > 0) {
        const std::size_t gap = static_cast<std::size_t>(out - from);
        const std::size_t m = n < gap ? n : gap;
        std::memcpy(out, from, m);
        out += m;
        n -= m;
    }
}

namespace {

void initFields(DecoderState& s) {
    s.bitBuffer = 0;
    s.bitCount = 0;
    s.windowFill = 0;
    s.phase = kPhaseHeader;
    s.runLength = 0;
    s.extraBitCount = 0;
    s.matchDistance = 0;
    s.finalBlock = 0;
    s.streamEnd = 0;
    s.tablesBuilt = 0;
    s.litTable = 0;
    s.distTable = 0;
    s.litRootBits = 0;
    s.distRootBits = 0;
    s.codeLengthCodeCount = 0;
    s.litCodeCount = 0;
    s.distCodeCount = 0;
    s.lengthsRead = 0;
    s.pendingLength = 0;
    s.pendingDistance = 0;
    s.common.pairIndex = 0;
    s.common.pairLength = kOwnPairCapacity;
}

}  // namespace

}  // namespace orvdc::lz77::decoder

using namespace orvdc::lz77::decoder;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetSize_8u(int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = kDecoderStateBytes;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77Init_8u(LZ77ChecksumKind checksum, LZ77DecoderState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    DecoderState& s = decoderState(pState);
    s.checksumKind = checksum;
    s.blockType = LZ77HuffFixed;
    initFields(s);
    s.common.status = 0;
    s.common.pairs.set(s.ownPairs);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumKind checksum,
                                                          LZ77DecoderState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    void* block = orvdc::alignedAlloc(kDecoderStateBytes);
    if (block == nullptr) return orvStsNoMemory;
    auto* state = static_cast<LZ77DecoderState*>(block);
    orvsDecodeLZ77Init_8u(checksum, state);
    *ppState = state;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77Reset_8u(LZ77DecoderState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    DecoderState& s = decoderState(pState);
    initFields(s);
    orvdc::zeroKernel(s.codeLengths, sizeof s.codeLengths);
    orvdc::zeroKernel(s.tableArea, sizeof s.tableArea);
    s.common.status = 0;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77SetStatus_8u(LZ77InflateStatus status,
                                                          LZ77DecoderState* pState) {
    if (orvdc::anyNull(pState)) return orvStsNullPtr;
    decoderState(pState).common.status = status;
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77GetBlockType_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                             LZ77HuffMode* pMode,
                                                             LZ77DecoderState* pState) {
    if (orvdc::anyNull(ppSrc, pSrcLen, pMode, pState) || *ppSrc == nullptr) return orvStsNullPtr;
    if (*pSrcLen < 0) return orvStsBadSize;
    DecoderState& s = decoderState(pState);
    if (s.phase != kPhaseHeader) {
        *pMode = s.blockType;
        return orvStsOk;
    }
    BitReader br;
    br.load(s, *ppSrc, *pSrcLen);
    if (br.count < 3) {
        if (br.in == br.end) return orvStsSrcEnd;
        if (br.end - br.in >= 2 && (reinterpret_cast<std::uintptr_t>(br.in) & 1) == 0) {
            br.addByte();
            br.addByte();
        } else {
            br.addByte();
        }
        // The header may still be incomplete when one byte was added to fewer
        // than 3 buffered bits: impossible, as 0..2 bits + 8 >= 3.
    }
    const unsigned header = br.peek(3);
    LZ77HuffMode mode;
    std::int32_t phase;
    switch (header >> 1) {
        case 0: mode = LZ77HuffStored; phase = kPhaseTableHeader; break;
        case 1: mode = LZ77HuffFixed; phase = kPhaseLiteral; break;
        case 2: mode = LZ77HuffDynamic; phase = kPhaseTableHeader; break;
        default: return orvStsBadStream;  // reserved: nothing consumed or changed
    }
    br.drop(3);
    s.blockType = mode;
    s.phase = phase;
    s.tablesBuilt = 0;
    if (header & 1) s.finalBlock = 1;
    *pMode = mode;
    br.store(s, ppSrc, pSrcLen);
    return orvStsOk;
}

ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZ77StoredBlock_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77DecoderState* pState) {
    if (orvdc::anyNull(ppSrc, ppDst, pSrcLen, pDstLen, pState) || orvdc::anyNull(*ppSrc, *ppDst)) {
        return orvStsNullPtr;
    }
    if (*pDstLen < 1 || *pSrcLen < 0) return orvStsBadSize;
    DecoderState& s = decoderState(pState);
    if (s.phase != kPhaseHeader && (s.blockType != LZ77HuffStored ||
                                    (s.phase != kPhaseTableHeader && s.phase != kPhaseLiteral))) {
        return orvStsBadStream;
    }

    std::uint8_t* const outStart = *ppDst;
    std::uint8_t* out = outStart;
    std::uint8_t* const outEnd = outStart + *pDstLen;
    BitReader br;
    br.load(s, *ppSrc, *pSrcLen);
    orvStatus status = orvStsOk;

    // A match cut short by pair expansion or a one-pass decoder comes first.
    if (s.pendingLength > 0) {
        const std::size_t n = static_cast<std::size_t>(
            s.pendingLength < outEnd - out ? s.pendingLength : outEnd - out);
        copyMatchExact(s, out, 0, static_cast<std::uint32_t>(s.pendingDistance), n);
        out += n;
        s.pendingLength -= static_cast<std::int32_t>(n);
        if (s.pendingLength == 0) s.pendingDistance = 0;
        if (out == outEnd) {
            status = orvStsDstFull;
            goto done;
        }
    }

    if (s.phase == kPhaseHeader) {
        if (!br.need(3)) {
            status = orvStsSrcEnd;
            goto done;
        }
        const unsigned header = br.peek(3);
        if (header > 1) {
            // A Huffman or reserved block: leave the source as it was.
            br.in = br.start;
            br.bits = s.bitBuffer;
            br.count = static_cast<unsigned>(s.bitCount);
            status = orvStsBadStream;
            goto done;
        }
        br.drop(3);
        s.blockType = LZ77HuffStored;
        s.tablesBuilt = 0;
        if (header & 1) s.finalBlock = 1;
        s.phase = kPhaseTableHeader;
    }

    if (s.phase == kPhaseTableHeader) {
        br.drop(br.count & 7);
        if (!br.need(32)) {
            status = orvStsSrcEnd;
            goto done;
        }
        const auto word = static_cast<std::uint32_t>(br.bits);
        br.drop(32);
        if ((word & 0xFFFF) != (~word >> 16)) {
            status = orvStsBadSize;  // LEN/NLEN consumed, phase stays 1
            goto done;
        }
        s.runLength = static_cast<std::int32_t>(word & 0xFFFF);
        if (s.runLength == 0) {
            s.phase = kPhaseHeader;
            status = s.finalBlock ? orvStsStreamEnd : orvStsOk;
            goto done;
        }
        s.phase = kPhaseLiteral;
    }

    // Copy the block's bytes; they follow byte-aligned and the bit buffer is
    // empty here.
    if (br.in == br.end) {
        status = orvStsSrcEnd;
    } else if (out == outEnd) {
        status = orvStsDstFull;
    } else if (s.runLength == 0) {
        s.phase = kPhaseHeader;
        status = s.finalBlock ? orvStsStreamEnd : orvStsOk;
    } else {
        std::size_t n = static_cast<std::size_t>(s.runLength);
        const auto srcLeft = static_cast<std::size_t>(br.end - br.in);
        const auto room = static_cast<std::size_t>(outEnd - out);
        if (n > srcLeft) {
            n = srcLeft;
            status = orvStsSrcEnd;
        }
        if (n > room) {
            n = room;
            status = orvStsDstFull;
        }
        orvdc::copyKernel(out, br.in, n);
        out += n;
        br.in += n;
        s.runLength -= static_cast<std::int32_t>(n);
    }

done:
    appendHistory(s, outStart, static_cast<std::size_t>(out - outStart));
    br.store(s, ppSrc, pSrcLen);
    *pDstLen -= static_cast<std::int32_t>(out - outStart);
    *ppDst = out;
    return status;
}

}  // extern "C"
