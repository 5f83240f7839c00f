// Fixed-code blocks, stored blocks and the zlib/gzip trailer.
#include "core/export.h"
#include "core/memory.h"
#include "lz77/encode_block_writer.h"

namespace orvdc::lz77 {
namespace {

// Codes of the fixed Huffman code (RFC 1951, 3.2.6).
// Starting a fixed-code block also drops symbol counts that the selector
// left for it, so that a later dynamic block never uses them.
struct FixedCodes {
    EncoderState& st;

    FixedCodes(EncoderState& state, const LZ77Pair*, std::int32_t) : st(state) {}

    static bool resumeHeader(BitWriter&) { return true; }
    bool startBlock(BitWriter& w, bool last) {
        w.put(last ? 3u : 2u, 3);  // BFINAL, BTYPE 01
        st.freqValid = 0;
        return true;
    }
    static void literal(std::uint16_t sym, std::uint64_t& bits, std::uint32_t& count) {
        const FixedCode c = kFixedLiteral[literalOf(sym)];
        bits |= std::uint64_t{c.bits} << count;
        count += c.count;
    }
    static void length(std::uint32_t index, std::uint64_t& bits, std::uint32_t& count) {
        const FixedCode c = kFixedLength[index];
        bits |= std::uint64_t{c.bits} << count;
        count += c.count;
    }
    // One entry per distance index; d - base gives the extra bits of a
    // longer distance (0 for 1..256), with no branch on the distance.
    static void distance(std::uint32_t d, std::uint64_t& bits, std::uint32_t& count) {
        const std::uint32_t i = distIndexOf(d);
        const FixedCode c = kFixedDist[i];
        bits |= std::uint64_t{c.bits | ((d - kDistIndexBase[i]) << 5)} << count;
        count += c.count;
    }
    static void endOfBlock(std::uint64_t&, std::uint32_t& count) { count += 7; }  // symbol 256: seven 0 bits
};

// Writes one byte of a stored-block header field or of the trailer; like
// every such byte it clears the byte behind it when room remains there.
inline void putFieldByte(BitWriter& w, std::uint8_t value) {
    *w.out++ = value;
    if (--w.room > 0) *w.out = 0;
}

}  // namespace
}  // namespace orvdc::lz77

using namespace orvdc::lz77;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77FixedHuff_8u(const LZ77Pair** ppSrc, int32_t* pSrcLen,
                                                          uint8_t** ppDst, int32_t* pDstLen,
                                                          LZ77FlushMode flush, LZ77EncoderState* pState) {
    return writeHuffmanBlock<FixedCodes>(ppSrc, pSrcLen, ppDst, pDstLen, flush, pState);
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77StoredBlock_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode flush, LZ77EncoderState* pState) {
    if (orvdc::anyNull(ppSrc, ppDst, pSrcLen, pDstLen) || orvdc::anyNull(*ppSrc, *ppDst, pState)) {
        return orvStsNullPtr;
    }
    if (orvdc::anyBelow(0, *pDstLen, *pSrcLen) || *pSrcLen > 65535) return orvStsBadSize;
    if (*pDstLen == 0) return orvStsDstFull;

    EncoderState& st = encoderState(pState);
    BitWriter w(st, *ppDst, *pDstLen);
    const auto done = [&](orvStatus status) {
        w.save(st);
        *ppDst = w.out;
        *pDstLen = w.room;
        return status;
    };

    if (!st.storedHeader) {
        w.put(flush == LZ77FlushFinish ? 1u : 0u, 3);  // BFINAL, BTYPE 00
        w.padToByte();
        st.storedHeader = 1;
        st.freqValid = 0;  // counts the selector made were not for a later block
    }
    if (!st.storedAligned) {
        w.padToByte();
        while (w.count > 0 && w.room > 0) {
            putFieldByte(w, static_cast<std::uint8_t>(w.bits));
            w.bits >>= 8;
            w.count -= 8;
        }
        if (w.count > 0) return done(orvStsDstFull);
        w.bits = 0;
        st.storedAligned = st.storedBody = 1;
    }
    const auto len = static_cast<std::uint32_t>(*pSrcLen);
    const std::uint8_t fields[4] = {static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8),
                                    static_cast<std::uint8_t>(~len), static_cast<std::uint8_t>(~len >> 8)};
    while (st.storedLengthOut < 4 && w.room > 0) putFieldByte(w, fields[st.storedLengthOut++]);
    if (st.storedLengthOut < 4) return done(orvStsDstFull);

    const std::int32_t body = *pSrcLen < w.room ? *pSrcLen : w.room;
    orvdc::copyKernel(w.out, *ppSrc, static_cast<std::size_t>(body));
    w.out += body;
    w.room -= body;
    *ppSrc += body;
    *pSrcLen -= body;
    if (*pSrcLen != 0) return done(orvStsDstFull);
    st.storedHeader = st.storedAligned = st.storedLengthOut = st.storedBody = 0;
    return done(orvStsOk);
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77Flush_8u(uint8_t** ppDst, int32_t* pDstLen, LZ77EncoderState* pState) {
    if (orvdc::anyNull(ppDst, pDstLen, pState) || orvdc::anyNull(*ppDst)) return orvStsNullPtr;
    if (*pDstLen < 0) return orvStsBadSize;
    EncoderState& st = encoderState(pState);
    if (st.common.status != LZ77DeflateTrailer) return orvStsBadStream;
    const LZ77ChecksumKind kind = st.checksumKind;
    if (kind != LZ77ChecksumNone && kind != LZ77ChecksumAdler32 && kind != LZ77ChecksumCRC32) {
        return orvStsBadStream;
    }
    if (*pDstLen == 0) return orvStsDstFull;

    const std::int32_t size = kind == LZ77ChecksumAdler32 ? 4 : 8;
    if (st.blockPhase == kPhaseStreamEnd) {
        const std::uint32_t c = st.checksum;
        if (kind == LZ77ChecksumAdler32) {
            const std::uint8_t t[4] = {static_cast<std::uint8_t>(c >> 24), static_cast<std::uint8_t>(c >> 16),
                                       static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c)};
            std::memcpy(st.trailer, t, 4);
        } else {
            const std::uint32_t n = st.totalIn;
            const std::uint8_t t[8] = {static_cast<std::uint8_t>(c),       static_cast<std::uint8_t>(c >> 8),
                                       static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 24),
                                       static_cast<std::uint8_t>(n),       static_cast<std::uint8_t>(n >> 8),
                                       static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
            std::memcpy(st.trailer, t, 8);
        }
    }
    BitWriter w(st, *ppDst, *pDstLen);
    std::int32_t index = st.trailerIndex < 0 || st.trailerIndex > size ? size : st.trailerIndex;
    while (index < size && w.room > 0) putFieldByte(w, st.trailer[index++]);
    *ppDst = w.out;
    *pDstLen = w.room;
    if (index < size) {
        st.trailerIndex = index;
        st.blockPhase = kPhaseOpen;
        return orvStsDstFull;
    }
    st.trailerIndex = 0;
    st.blockPhase = kPhaseStreamEnd;
    return orvStsOk;
}

}  // extern "C"
