// The packed code-length table and buffer sizes for a code.
//
// Lengths are written as numbers in 4-bit units (high nibble first).  A
// number is a digit 0..12 added to the current bank (0, 13 or 26); the
// nibbles 13, 14 and 15 select bank 0, 13 or 26 for the digit that follows
// and for later numbers.  After two lengths equal to the one before them a
// repeat count follows, so runs cost two lengths and a count each.
#include <cstring>

#include "core/check.h"
#include "core/export.h"
#include "huffman/huff_state.h"

namespace orvdc::huff {

namespace {

constexpr int kMaxRepeat = 32;

// Collects nibbles and writes whole bytes while the destination has room.
class NibbleWriter {
public:
    NibbleWriter(std::uint8_t* dst, std::int32_t capacity) : dst_(dst), capacity_(capacity) {}

    void put(std::uint32_t nibble) {
        acc_ = (acc_ << 4) | (nibble & 15u);
        if (++pending_ == 2) {
            emit(static_cast<std::uint8_t>(acc_));
            acc_ = 0;
            pending_ = 0;
        }
    }
    // Writes a last half-filled byte, padded with a zero nibble.
    void finish() {
        if (pending_ == 1) emit(static_cast<std::uint8_t>(acc_ << 4));
        pending_ = 0;
    }
    std::int32_t written() const { return written_; }
    bool overflowed() const { return overflow_; }

private:
    void emit(std::uint8_t b) {
        if (written_ < capacity_) {
            dst_[written_++] = b;
        } else {
            overflow_ = true;
        }
    }

    std::uint8_t* dst_;
    std::int32_t capacity_;
    std::int32_t written_ = 0;
    std::uint32_t acc_ = 0;
    int pending_ = 0;
    bool overflow_ = false;
};

void putNumber(NibbleWriter& w, std::int32_t& bank, std::int32_t x) {
    const std::int32_t want = x <= 12 ? 0 : (x <= 25 ? 13 : 26);
    if (want != bank) {
        w.put(static_cast<std::uint32_t>(13 + want / 13));
        bank = want;
    }
    w.put(static_cast<std::uint32_t>(x - want));
}

// Reads nibbles from a byte source; past its end they read as 0.
class NibbleReader {
public:
    NibbleReader(const std::uint8_t* src, std::int32_t size) : src_(src), size_(size) {}

    std::int32_t get() {
        const std::int64_t byte = read_ / 2;
        const std::uint32_t b = byte < size_ ? src_[byte] : 0u;
        const std::int32_t nibble = static_cast<std::int32_t>((read_ & 1) == 0 ? b >> 4 : b & 15u);
        ++read_;
        return nibble;
    }
    std::int64_t nibblesRead() const { return read_; }

private:
    const std::uint8_t* src_;
    std::int32_t size_;
    std::int64_t read_ = 0;
};

std::int32_t getNumber(NibbleReader& r, std::int32_t& bank) {
    std::int32_t n = r.get();
    if (n >= 13) {
        bank = (n - 13) * 13;
        n = r.get();
    }
    return bank + n;
}

}  // namespace

}  // namespace orvdc::huff

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsHuffLenCodeTablePack_8u(const int32_t pCodeLenTable[256], uint8_t* pDst,
                                                                      int32_t* pDstLen) {
    using namespace orvdc::huff;
    if (orvdc::anyNull(pCodeLenTable, pDst, pDstLen)) return orvStsNullPtr;
    if (*pDstLen < 1) return orvStsBadSize;

    NibbleWriter w(pDst, *pDstLen);
    std::int32_t bank = 0;
    std::int32_t prev = 0;
    int repeats = 0;
    bool badLength = false;
    for (int i = 0; i < 256;) {
        const std::int32_t v = pCodeLenTable[i++];
        if (v < 0 || v > kMaxCodeLen) badLength = true;
        putNumber(w, bank, v);
        repeats = v == prev ? repeats + 1 : 0;
        prev = v;
        if (repeats == 2) {
            int c = 0;
            while (c < kMaxRepeat && i + c < 256 && pCodeLenTable[i + c] == v) ++c;
            putNumber(w, bank, c);
            i += c;
            repeats = 0;
        }
    }
    w.finish();
    *pDstLen = w.written();
    if (badLength) return orvStsNoCode;
    return w.overflowed() ? orvStsBadSize : orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsHuffLenCodeTableUnpack_8u(const uint8_t* pSrc, int32_t* pSrcLen,
                                                                        int32_t pCodeLenTable[256]) {
    using namespace orvdc::huff;
    if (orvdc::anyNull(pSrc, pSrcLen, pCodeLenTable)) return orvStsNullPtr;
    if (*pSrcLen < 1) return orvStsBadSize;

    NibbleReader r(pSrc, *pSrcLen);
    std::int32_t bank = 0;
    std::int32_t prev = 0;
    int repeats = 0;
    for (int i = 0; i < 256;) {
        const std::int32_t v = getNumber(r, bank);
        pCodeLenTable[i++] = v;
        repeats = v == prev ? repeats + 1 : 0;
        prev = v;
        if (repeats == 2) {
            const std::int32_t c = getNumber(r, bank);
            for (std::int32_t k = 0; k < c && i < 256; ++k) pCodeLenTable[i++] = v;
            repeats = 0;
        }
    }
    const std::int64_t used = (r.nibblesRead() + 1) / 2;
    if (used > *pSrcLen) return orvStsBadSize;
    *pSrcLen = static_cast<int32_t>(used);
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsHuffGetDstBuffSize_8u(const int32_t pCodeLenTable[256], int32_t n,
                                                                    int32_t* pEncDstBuffSize,
                                                                    int32_t* pDecDstBuffSize) {
    if (orvdc::anyNull(pCodeLenTable)) return orvStsNullPtr;
    if (n < 1) return orvStsBadSize;
    std::int32_t maxL = 0;
    std::int32_t minL = 0;
    bool any = false;
    for (int s = 0; s < 256; ++s) {
        const std::int32_t l = pCodeLenTable[s];
        if (l == 0) continue;
        if (!any || l > maxL) maxL = l;
        if (!any || l < minL) minL = l;
        any = true;
    }
    if (!any) {
        maxL = 1;
        minL = 32;
    }
    if (minL < 0 || maxL > orvdc::huff::kMaxCodeLen) return orvStsNoCode;
    // minL >= 1 here: it is nonzero and not negative.
    const std::int64_t enc = (std::int64_t{n} * maxL + maxL + 7) / 8;
    const std::int64_t dec = (std::int64_t{n} * 64) / minL;
    if ((pEncDstBuffSize != nullptr && enc > INT32_MAX) || (pDecDstBuffSize != nullptr && dec > INT32_MAX)) {
        return orvStsBadSize;
    }
    if (pEncDstBuffSize != nullptr) *pEncDstBuffSize = static_cast<int32_t>(enc);
    if (pDecDstBuffSize != nullptr) *pDecDstBuffSize = static_cast<int32_t>(dec);
    return orvStsOk;
}
