// Writing Huffman codes: one code at a bit position, runs of symbols through
// the state's 32-bit bit buffer, and the stream's last partial word.
#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "huffman/huff_state.h"

namespace orvdc::huff {

namespace {

inline void storeBigEndian32(std::uint8_t* p, std::uint32_t v) {
    const std::uint32_t be = __builtin_bswap32(v);
    std::memcpy(p, &be, 4);
}

// A stored length outside 0..32 (left behind by an Init that reported an
// over-long code) is treated as 32 so that no shift exceeds its width.
inline std::uint32_t usableLength(std::int32_t len) {
    const auto l = static_cast<std::uint32_t>(len);
    return l > 32 ? 32u : l;
}

}  // namespace

}  // namespace orvdc::huff

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffOne_8u(uint8_t src, uint8_t* pDst, int32_t dstOffsetBits,
                                                               const HuffState* pState) {
    if (orvdc::anyNull(pDst, pState)) return orvStsNullPtr;
    if (dstOffsetBits < 0 || dstOffsetBits > 7) return orvStsBadSize;
    const std::int32_t len = pState->codeLen[src];
    if (len < 1 || len > orvdc::huff::kMaxCodeLen) return orvStsNoCode;

    const auto o = static_cast<unsigned>(dstOffsetBits);
    const auto l = static_cast<unsigned>(len);
    const std::uint64_t code = pState->codeValue[src] & (0xFFFFFFFFu >> (32 - l));
    // The code's bits placed at stream position o of a 64-bit big-endian window.
    const std::uint64_t window = code << (64 - o - l);
    const unsigned bytes = (o + l + 7) / 8;
    const auto first = static_cast<std::uint8_t>(window >> 56);
    pDst[0] = o == 0 ? first : static_cast<std::uint8_t>(pDst[0] | first);
    for (unsigned k = 1; k < bytes; ++k) pDst[k] = static_cast<std::uint8_t>(window >> (56 - 8 * k));
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuff_8u(const uint8_t* pSrc, int32_t srcLen, uint8_t* pDst,
                                                            int32_t* pDstLen, HuffState* pState) {
    using orvdc::huff::storeBigEndian32;
    using orvdc::huff::usableLength;
    if (orvdc::anyNull(pSrc, pDst, pDstLen, pState)) return orvStsNullPtr;
    if (srcLen < 1) return orvStsBadSize;

    const std::int32_t* lens = pState->codeLen;
    const std::uint32_t* values = pState->codeValue;
    // The pending bits sit right-aligned in a 64-bit accumulator; at most 31
    // are pending before a code of up to 32 bits is appended, and every
    // completed 32-bit word is stored at once.
    std::uint32_t count = static_cast<std::uint32_t>(pState->bitCount) & 31u;
    std::uint64_t acc = count == 0 ? 0 : pState->bitBuffer >> (32 - count);
    std::uint8_t* out = pDst;
    const std::uint8_t* p = pSrc;
    const std::uint8_t* const end = pSrc + srcLen;

    // Chunks of 8 symbols: the words they complete go to a local array without
    // a branch per symbol (where a word ends is data-dependent and would be
    // mispredicted) and are copied out after the chunk.
    if (pState->longest >= 0 && pState->longest <= 16) {
        // Two codes of at most 16 bits fit beside 31 pending bits, so the word
        // test runs once per pair.
        for (; end - p >= 8; p += 8) {
            std::uint32_t words[4];
            std::uint32_t k = 0;
            for (int j = 0; j < 8; j += 2) {
                const auto l0 = static_cast<std::uint32_t>(lens[p[j]]);
                const auto l1 = static_cast<std::uint32_t>(lens[p[j + 1]]);
                acc = (acc << l0) | values[p[j]];
                acc = (acc << l1) | values[p[j + 1]];
                count += l0 + l1;
                const std::uint32_t full = count >> 5;
                count -= full << 5;
                words[k] = __builtin_bswap32(static_cast<std::uint32_t>(acc >> count));
                k += full;
            }
            std::memcpy(out, words, 4 * k);
            out += 4 * k;
        }
    }
    for (; end - p >= 8; p += 8) {
        std::uint32_t words[8];
        std::uint32_t k = 0;
        for (int j = 0; j < 8; ++j) {
            const std::uint32_t l = usableLength(lens[p[j]]);
            acc = (acc << l) | values[p[j]];
            count += l;
            const std::uint32_t full = count >> 5;  // count <= 63
            count -= full << 5;
            words[k] = __builtin_bswap32(static_cast<std::uint32_t>(acc >> count));
            k += full;
        }
        std::memcpy(out, words, 4 * k);
        out += 4 * k;
    }
    for (; p != end; ++p) {
        const std::uint32_t l = usableLength(lens[*p]);
        acc = (acc << l) | values[*p];
        count += l;
        if (count >= 32) {
            count -= 32;
            storeBigEndian32(out, static_cast<std::uint32_t>(acc >> count));
            out += 4;
        }
    }
    pState->bitCount = static_cast<std::int32_t>(count);
    pState->bitBuffer = count == 0 ? 0 : static_cast<std::uint32_t>(acc << (32 - count));
    *pDstLen = static_cast<int32_t>(out - pDst);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffFinal_8u(uint8_t* pDst, int32_t* pDstLen,
                                                                 const HuffState* pState) {
    if (orvdc::anyNull(pDst, pDstLen, pState)) return orvStsNullPtr;
    const std::int32_t count = pState->bitCount < 0 ? 0 : (pState->bitCount > 32 ? 32 : pState->bitCount);
    const std::int32_t bytes = (count + 7) / 8;
    for (std::int32_t k = 0; k < bytes; ++k) pDst[k] = static_cast<std::uint8_t>(pState->bitBuffer >> (24 - 8 * k));
    *pDstLen = bytes;
    return orvStsOk;
}
