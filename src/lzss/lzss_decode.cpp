// LZSS decoder.
//
// The stream is read as one sequence of bits: the bits a call could not use
// (a token cut by the end of the source) wait in the state's bit buffer, and
// a match cut by the end of the destination waits as a pending length and
// distance.  One call therefore consumes exactly the source bytes that hold
// the tokens it decoded (plus, when the source runs out, the partial token
// at its end), whatever the split of source and destination.
//
// Bulk of the work happens in a fast loop that refills a 64-bit buffer eight
// bytes at a time and decodes tokens while at least two maximal matches fit
// in the destination; the careful loop that follows loads byte by byte and
// cuts matches at the destination's end.  Both write only bytes they
// produce.
//
// Matches may reach 32768 bytes back (a distance field of 0 counts as 32768,
// the encoder never writes it); bytes behind the call's own output come from
// the state's window, which holds the last 32768 bytes written.
#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "core/memory.h"
#include "lzss/lzss_state.h"

namespace {

using namespace orvdc::lzss;

constexpr std::uint32_t kWindow = kDecoderWindowBytes;

inline std::uint64_t loadBigEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

inline void copy16(std::uint8_t* dst, const std::uint8_t* src) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
}

inline void copy8(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dst, &v, 8);
}

// dst[0..len) = src[0..len) for regions that do not overlap (len >= 1).
inline void copyDisjoint(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t len) {
    if (len >= 16) {
        for (std::uint32_t j = 0; j + 16 < len; j += 16) copy16(dst + j, src + j);
        copy16(dst + len - 16, src + len - 16);
    } else if (len >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + len - 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + len - 8, &b, 8);
    } else if (len >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + len - 4, 4);
        std::memcpy(dst, &a, 4);
        std::memcpy(dst + len - 4, &b, 4);
    } else {
        for (std::uint32_t j = 0; j < len; ++j) dst[j] = src[j];
    }
}

// out[0..len) = the bytes from d behind, copied forward one at a time in
// effect (d < len repeats the last d bytes).  Every byte read was written
// before it is read; nothing past out + len is written.
inline void copyForward(std::uint8_t* out, std::uint32_t d, std::uint32_t len) {
    const std::uint8_t* from = out - d;
    if (d >= len) {
        copyDisjoint(out, from, len);
    } else if (d >= 16) {
        std::uint32_t j = 0;
        for (; j + 16 < len; j += 16) copy16(out + j, from + j);
        copy16(out + len - 16, from + len - 16);
    } else if (d >= 8) {
        std::uint32_t j = 0;
        for (; j + 8 < len; j += 8) copy8(out + j, from + j);
        copy8(out + len - 8, from + len - 8);
    } else if (d == 1) {
        std::memset(out, *from, len);
    } else {
        for (std::uint32_t j = 0; j < len; ++j) out[j] = from[j];
    }
}

// Writes len >= 1 bytes of a match at distance d (1..32768) to out and
// returns the end of what it wrote.  Bytes before `base` (the call's first
// output byte) come from the window.
inline std::uint8_t* copyMatch(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* window,
                               std::uint32_t d, std::uint32_t len) {
    const auto produced = static_cast<std::size_t>(out - base);
    if (d > produced) {
        const auto back = static_cast<std::uint32_t>(d - produced);  // 1..32768
        const std::uint32_t n = std::min(len, back);
        copyDisjoint(out, window + (kWindow - back), n);
        out += n;
        len -= n;
        if (len == 0) return out;
    }
    copyForward(out, d, len);
    return out + len;
}

// The 15-bit distance field as a distance of 1..32768.
inline std::uint32_t distanceOf(std::uint32_t field) { return ((field - 1) & 0x7FFFu) + 1; }

// The left-aligned bit buffer of one call: `count` valid bits from bit 63
// down, zero below them except in the fast loop.
struct Bits {
    std::uint64_t acc;
    std::uint32_t count;
};

}  // namespace

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsDecodeLZSS_8u(const uint8_t** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZSSState* pState) {
    if (orvdc::anyNull(ppSrc, pSrcLen, ppDst, pDstLen, pState) || orvdc::anyNull(*ppSrc, *ppDst)) {
        return orvStsNullPtr;
    }
    if (*pDstLen < 1 || *pSrcLen < 0) return orvStsBadSize;

    Header h = loadHeader(pState);
    std::uint8_t* const window = reinterpret_cast<std::uint8_t*>(pState) + kDecoderWindowOffset;
    const std::uint8_t* const srcStart = *ppSrc;
    const std::uint8_t* const srcEnd = srcStart + *pSrcLen;
    const std::uint8_t* src = srcStart;
    std::uint8_t* const base = *ppDst;
    std::uint8_t* const end = base + *pDstLen;
    std::uint8_t* out = base;
    orvStatus status = orvStsOk;

    std::uint32_t pendingLength = h.pendingLength;
    std::uint32_t pendingDistance = distanceOf(h.pendingDistance);
    Bits b;
    b.count = std::min<std::uint32_t>(h.bitCount, 31);
    b.acc = (static_cast<std::uint64_t>(h.bitsHigh) << 32) & ~(~std::uint64_t{0} >> b.count);

    // A match the previous call's destination cut short comes first.
    if (pendingLength != 0) {
        const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(pendingLength, *pDstLen));
        out = copyMatch(out, base, window, pendingDistance, n);
        pendingLength -= n;
        if (out == end) status = orvStsDstFull;
    }

    if (status == orvStsOk) {
        // Fast loop: at least 8 source bytes to refill from and room for two
        // maximal matches, so no token is cut.  The refill may count a byte
        // more than it fully holds; the bits below `count` are then the true
        // next bits of the stream, so OR-ing them in again is harmless.
        bool refilled = false;
        while (srcEnd - src >= 8 && static_cast<std::size_t>(end - out) >= 2 * kMaxMatch) {
            b.acc |= loadBigEndian64(src) >> b.count;
            src += (63 - b.count) >> 3;
            b.count |= 56;
            refilled = true;
            do {
                const std::uint64_t a = b.acc;
                if (a >> 63) {
                    *out++ = static_cast<std::uint8_t>(a >> 55);
                    b.acc = a << kLiteralBits;
                    b.count -= kLiteralBits;
                } else {
                    const std::uint32_t d = distanceOf(static_cast<std::uint32_t>(a >> 48));
                    const std::uint32_t len = (static_cast<std::uint32_t>(a >> 40) & 0xFFu) + kMinMatch;
                    b.acc = a << kMatchBits;
                    b.count -= kMatchBits;
                    out = copyMatch(out, base, window, d, len);
                }
            } while (b.count >= kMatchBits && static_cast<std::size_t>(end - out) >= kMaxMatch);
        }
        if (refilled) {
            // Give back the whole bytes not yet used and clear the bits that
            // came from them.
            const std::uint32_t back = std::min<std::uint32_t>(b.count >> 3, static_cast<std::uint32_t>(src - srcStart));
            src -= back;
            b.count -= 8 * back;
            b.acc &= ~(~std::uint64_t{0} >> b.count);
        }

        // Careful loop: bytes are loaded one at a time, only as the next
        // token needs them.
        for (;;) {
            if (out == end) {
                status = orvStsDstFull;
                break;
            }
            while (b.count < kLiteralBits && src != srcEnd) {
                b.acc |= static_cast<std::uint64_t>(*src++) << (56 - b.count);
                b.count += 8;
            }
            if (b.count < kLiteralBits) break;
            if (b.acc >> 63) {
                *out++ = static_cast<std::uint8_t>(b.acc >> 55);
                b.acc <<= kLiteralBits;
                b.count -= kLiteralBits;
                continue;
            }
            while (b.count < kMatchBits && src != srcEnd) {
                b.acc |= static_cast<std::uint64_t>(*src++) << (56 - b.count);
                b.count += 8;
            }
            if (b.count < kMatchBits) break;
            const std::uint32_t d = distanceOf(static_cast<std::uint32_t>(b.acc >> 48));
            const std::uint32_t len = (static_cast<std::uint32_t>(b.acc >> 40) & 0xFFu) + kMinMatch;
            b.acc <<= kMatchBits;
            b.count -= kMatchBits;
            const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(len, static_cast<std::size_t>(end - out)));
            out = copyMatch(out, base, window, d, n);
            if (n < len) {
                pendingLength = len - n;
                pendingDistance = d;
            }
        }
    }

    // The window keeps the last 32768 bytes written.
    const auto written = static_cast<std::size_t>(out - base);
    if (written >= kWindow) {
        orvdc::copyKernel(window, out - kWindow, kWindow);
    } else if (written != 0) {
        std::memmove(window, window + written, kWindow - written);
        orvdc::copyKernel(window + (kWindow - written), base, written);
    }

    h.bitCount = b.count;
    h.bitsHigh = static_cast<std::uint32_t>(b.acc >> 32);
    h.pendingLength = pendingLength;
    h.pendingDistance = pendingLength != 0 ? pendingDistance : 0;
    storeHeader(pState, h);

    *ppSrc = src;
    *pSrcLen -= static_cast<std::int32_t>(src - srcStart);
    *ppDst = out;
    *pDstLen -= static_cast<std::int32_t>(written);
    return status;
}
