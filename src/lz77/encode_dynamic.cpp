// Dynamic-code blocks: symbol counting, the block-kind selector, code-length
// construction with a length limit, the coded block description, and the
// dynamic-code writer.
#include <algorithm>
#include <array>

#include "core/export.h"
#include "lz77/encode_block_writer.h"

namespace orvdc::lz77 {
namespace {

constexpr int kLitLenSymbols = 286;
constexpr int kDistSymbols = 30;
constexpr int kCodeLengthSymbols = 19;
constexpr std::uint32_t kEndOfBlock = 256;

// Symbols in order of first appearance, for the selector.
struct FirstSeen {
    std::uint16_t order[kLitLenSymbols];
    int listed;
};

// The literal/length symbol of a pair by 256 * (offset != 0) + the low byte
// of its length: a literal, or the code of a match length.
constexpr auto kPairSymbol = [] {
    std::array<std::uint16_t, 512> t{};
    for (std::uint32_t x = 0; x < 256; ++x) {
        t[x] = static_cast<std::uint16_t>(x);
        t[256 + x] = static_cast<std::uint16_t>(257 + kLengthCode[(x - 3) & 0xFFu]);
    }
    return t;
}();
static_assert(distCodeOf(0) == kDistSymbols - 1, "a literal counts as distance code 29");

// Resets the counts (end of block counted once) and adds the pairs; with
// kListSeen, also lists the literal/length symbols in `seen` in order of
// first appearance.
template <bool kListSeen>
void countPairs(EncoderState& st, const LZ77Pair* pairs, std::int32_t n, FirstSeen* seen) {
    // Two sets of counts, for pairs at even and odd indexes: a few symbols
    // (a frequent literal, the shortest length, distance code 29 of every
    // literal) make up much of a block, and each increment of one counter
    // waits for the one before it.
    std::uint32_t lit[2][kLitLenSymbols] = {};
    std::uint32_t dist[2][kDistSymbols] = {};
    std::uint16_t rank[kListSeen ? kLitLenSymbols : 1] = {};  // nonzero once seen
    lit[0][kEndOfBlock] = 1;
    int listed = 0;
    // Literals and matches mix unpredictably, so no branch tells them apart:
    // the symbol comes from one table by kind and low length byte, and every
    // pair counts a distance code, a literal's (offset 0) being code 29,
    // taken back below.
    const auto add = [&](std::uint32_t set, LZ77Pair pr) {
        const std::uint32_t sym = kPairSymbol[(pr.offset != 0 ? 256u : 0u) | literalOf(pr.length)];
        ++lit[set][sym];
        ++dist[set][distCodeOf(pr.offset)];
        if constexpr (kListSeen) {
            if (rank[sym] == 0) {
                seen->order[listed] = static_cast<std::uint16_t>(sym);
                rank[sym] = static_cast<std::uint16_t>(++listed);
            }
        }
    };
    std::int32_t i = 0;
    for (; i + 2 <= n; i += 2) {
        add(0, pairs[i]);
        add(1, pairs[i + 1]);
    }
    if (i < n) add(0, pairs[i]);
    if constexpr (kListSeen) seen->listed = listed;
    std::uint32_t literals = 0;
    for (std::uint32_t s = 0; s < 256; ++s) literals += lit[0][s] + lit[1][s];
    for (std::uint32_t s = 0; s < kLitLenSymbols; ++s) st.litLenFreq[s] = {s, lit[0][s] + lit[1][s]};
    for (std::uint32_t s = 0; s < kDistSymbols; ++s) st.distFreq[s] = {s, dist[0][s] + dist[1][s]};
    st.distFreq[kDistSymbols - 1].count -= literals;
}

// Code lengths for the records' counts, no longer than `limit`, into
// lengths[symbol] (n symbols).  Returns the largest coded symbol plus 1.
// The records are reordered.
int buildCodeLengths(FreqRecord* rec, int n, int limit, std::uint8_t* lengths) {
    std::fill(lengths, lengths + n, std::uint8_t{0});
    // Records with a count go to the front, exchanged from both ends.
    int i = 0;
    int j = n - 1;
    for (;;) {
        while (i < n && rec[i].count != 0) ++i;
        while (j >= 0 && rec[j].count == 0) --j;
        if (i >= j) break;
        std::swap(rec[i], rec[j]);
    }
    int used = i;
    // Every code gets at least two symbols.
    if (used <= 1) {
        rec[0].count = 1;
        used = 2;
    }
    std::sort(rec, rec + used, [](const FreqRecord& a, const FreqRecord& b) {
        return a.count != b.count ? a.count < b.count : a.symbol < b.symbol;
    });
    std::uint32_t largest = 0;
    for (int k = 0; k < used; ++k) largest = std::max(largest, rec[k].symbol);
    if (used < 3) {
        for (int k = 0; k < used; ++k) lengths[rec[k].symbol] = 1;
        return static_cast<int>(largest) + 1;
    }

    // Huffman tree: leaves in ascending order, merged nodes queued behind
    // them in creation order (their weights never decrease); of equal
    // weights the leaf goes first, as when a merged node is inserted after
    // every node whose weight does not exceed it.
    std::uint64_t weight[2 * kLitLenSymbols];
    int parent[2 * kLitLenSymbols];
    int depth[2 * kLitLenSymbols];
    for (int k = 0; k < used; ++k) weight[k] = rec[k].count;
    int leaf = 0;
    int merged = used;
    int next = used;
    const auto lightest = [&] {
        if (leaf < used && (merged >= next || weight[leaf] <= weight[merged])) return leaf++;
        return merged++;
    };
    for (int m = 0; m < used - 1; ++m) {
        const int a = lightest();
        const int b = lightest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    depth[next - 1] = 0;
    for (int k = next - 2; k >= 0; --k) depth[k] = depth[parent[k]] + 1;

    int deepest = 0;
    int count[2 * kLitLenSymbols] = {};
    for (int k = 0; k < used; ++k) {
        ++count[depth[k]];
        deepest = std::max(deepest, depth[k]);
    }
    if (deepest > limit) {
        // Repair the number of codes per length: two codes at d become one
        // at d - 1, and a code at the longest length below the limit splits.
        int shortest = limit;
        for (int d = deepest; d > limit; --d) {
            while (count[d] >= 2) {
                count[d] -= 2;
                ++count[d - 1];
                int s = limit - 1;
                while (s > 0 && count[s] == 0) --s;
                if (s == 0) break;
                --count[s];
                count[s + 1] += 2;
                shortest = std::min(shortest, s);
            }
        }
        // The least frequent symbols take the longest lengths again, from
        // the limit down to the shortest length touched.
        int len = limit;
        int left = count[len];
        for (int k = 0; k < used; ++k) {
            if (depth[k] < shortest) continue;
            while (left == 0 && len > 1) left = count[--len];
            depth[k] = len;
            --left;
        }
    }
    for (int k = 0; k < used; ++k) lengths[rec[k].symbol] = static_cast<std::uint8_t>(depth[k]);
    return static_cast<int>(largest) + 1;
}

// Canonical codes (RFC 1951, 3.2.2) for n lengths, bit-reversed.
void assignCodes(const std::uint8_t* lengths, int n, CodeEntry* codes) {
    std::uint32_t perLength[16] = {};
    for (int s = 0; s < n; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    std::uint32_t nextCode[16] = {};
    std::uint32_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        nextCode[bits] = code;
    }
    for (int s = 0; s < n; ++s) {
        const std::uint32_t len = lengths[s];
        codes[s] = len != 0 ? CodeEntry{reverseBits(nextCode[len]++, len), len} : CodeEntry{0, 0};
    }
}

struct CodeLengthSymbol {
    std::uint8_t symbol;  // 0..18
    std::uint8_t extra;   // value of its extra bits
};

// Run-length codes one sequence of code lengths.
int runLengthCode(const std::uint8_t* lengths, int n, CodeLengthSymbol* out, std::uint32_t* freq) {
    int produced = 0;
    const auto emit = [&](int symbol, int extra) {
        out[produced++] = {static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(extra)};
        ++freq[symbol];
    };
    int previous = -1;
    int k = 0;
    while (k < n) {
        const int v = lengths[k];
        int r = 0;
        if (v == 0) {
            while (k + r < n && lengths[k + r] == 0 && r < 138) ++r;
            if (r < 3) {
                for (int t = 0; t < r; ++t) emit(0, 0);
            } else if (r <= 10) {
                emit(17, r - 3);
            } else {
                emit(18, r - 11);
            }
            previous = 0;
        } else if (v != previous) {
            emit(v, 0);
            previous = v;
            r = 1;
        } else {
            while (k + r < n && lengths[k + r] == v && r < 6) ++r;
            if (r < 3) {
                for (int t = 0; t < r; ++t) emit(v, 0);
            } else {
                emit(16, r - 3);
            }
        }
        k += r;
    }
    return produced;
}

// Collects bits into the header buffer.
struct HeaderBits {
    std::uint8_t* buf;
    int length;
    std::uint64_t bits;
    int count;

    void put(std::uint32_t value, int n) {
        bits |= std::uint64_t{value} << count;
        count += n;
        while (count >= 8) {
            buf[length++] = static_cast<std::uint8_t>(bits);
            bits >>= 8;
            count -= 8;
        }
    }
};

constexpr std::uint8_t kCodeLengthExtra[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

// Builds the block's codes and its coded description.  The pending output
// bits, the 3 header bits and the description go to the header buffer as
// whole bytes; the last partial byte stays pending in w.
void buildBlock(EncoderState& st, BitWriter& w, bool last, const LZ77Pair* pairs, std::int32_t n) {
    if (st.freqValid != 1) countPairs<false>(st, pairs, n, nullptr);
    st.freqValid = 0;

    FreqRecord lit[kLitLenSymbols];
    FreqRecord dist[kDistSymbols];
    std::copy(st.litLenFreq, st.litLenFreq + kLitLenSymbols, lit);
    std::copy(st.distFreq, st.distFreq + kDistSymbols, dist);
    std::uint8_t lengths[kLitLenSymbols + kDistSymbols];
    const int hlit = std::max(buildCodeLengths(lit, kLitLenSymbols, 15, lengths), 257);
    const int hdist = buildCodeLengths(dist, kDistSymbols, 15, lengths + kLitLenSymbols);
    assignCodes(lengths, kLitLenSymbols, st.litLenCodes);
    CodeEntry* const distCodes = st.distanceCodes + kDistCodeEntries;
    assignCodes(lengths + kLitLenSymbols, kDistSymbols, distCodes);

    for (std::uint32_t index = 0; index < 256; ++index) {
        const std::uint32_t code = kLengthCode[index];
        const CodeEntry e = st.litLenCodes[257 + code];
        st.lengthCodes[index] = {e.bits | ((index + 3 - kLengthBase[code]) << e.count), e.count + kLengthExtra[code]};
    }
    for (std::uint32_t d = 1; d <= 256; ++d) {
        const std::uint32_t code = kDistCode[d - 1];
        const CodeEntry e = distCodes[code];
        st.distanceCodes[d - 1] = {e.bits | ((d - kDistBase[code]) << e.count), e.count + kDistExtra[code]};
    }

    CodeLengthSymbol symbols[kLitLenSymbols + kDistSymbols];
    std::uint32_t clFreq[kCodeLengthSymbols] = {};
    int produced = runLengthCode(lengths, hlit, symbols, clFreq);
    produced += runLengthCode(lengths + kLitLenSymbols, hdist, symbols + produced, clFreq);

    FreqRecord cl[kCodeLengthSymbols];
    for (std::uint32_t s = 0; s < kCodeLengthSymbols; ++s) cl[s] = {s, clFreq[s]};
    std::uint8_t clLengths[kCodeLengthSymbols];
    buildCodeLengths(cl, kCodeLengthSymbols, 7, clLengths);
    CodeEntry clCodes[kCodeLengthSymbols];
    assignCodes(clLengths, kCodeLengthSymbols, clCodes);
    int hclen = kCodeLengthSymbols;
    while (hclen > 4 && clLengths[kCodeLengthOrder[hclen - 1]] == 0) --hclen;

    HeaderBits h{st.headerBuffer, 0, 0, 0};
    while (w.count >= 8) {
        st.headerBuffer[h.length++] = static_cast<std::uint8_t>(w.bits);
        w.bits >>= 8;
        w.count -= 8;
    }
    h.bits = w.bits;
    h.count = w.count;
    h.put(last ? 5u : 4u, 3);  // BFINAL, BTYPE 10
    h.put(static_cast<std::uint32_t>(hlit - 257), 5);
    h.put(static_cast<std::uint32_t>(hdist - 1), 5);
    h.put(static_cast<std::uint32_t>(hclen - 4), 4);
    for (int k = 0; k < hclen; ++k) h.put(clLengths[kCodeLengthOrder[k]], 3);
    for (int k = 0; k < produced; ++k) {
        const CodeEntry e = clCodes[symbols[k].symbol];
        h.put(e.bits, static_cast<int>(e.count));
        if (kCodeLengthExtra[symbols[k].symbol] != 0) h.put(symbols[k].extra, kCodeLengthExtra[symbols[k].symbol]);
    }
    w.bits = h.bits;
    w.count = h.count;
    st.headerLength = h.length;
    st.headerWritten = 0;
}

// By distIndexOf(d): the entry of EncoderState::distanceCodes that codes d
// (its own for 1..256, else its code's).
constexpr auto kDistanceEntry = [] {
    std::array<std::uint16_t, 768> t{};
    for (std::uint32_t i = 0; i < 768; ++i) {
        t[i] = static_cast<std::uint16_t>(i < 256 ? i : kDistCodeEntries + kDistCode[i]);
    }
    return t;
}();

struct DynamicCodes {
    EncoderState& st;
    const LZ77Pair* pairs;
    std::int32_t n;

    DynamicCodes(EncoderState& state, const LZ77Pair* p, std::int32_t count) : st(state), pairs(p), n(count) {}

    // Writes what is left of the header buffer.
    bool resumeHeader(BitWriter& w) {
        if (st.headerLength == 0) return true;
        if (st.headerWritten < 0 || st.headerWritten > st.headerLength || st.headerLength > kHeaderBufferSize) {
            st.headerLength = st.headerWritten = 0;
            return true;
        }
        const std::int32_t left = st.headerLength - st.headerWritten;
        const std::int32_t k = left < w.room ? left : w.room;
        std::memcpy(w.out, st.headerBuffer + st.headerWritten, static_cast<std::size_t>(k));
        w.out += k;
        w.room -= k;
        st.headerWritten += k;
        if (st.headerWritten < st.headerLength) return false;
        st.headerLength = st.headerWritten = 0;
        return true;
    }
    bool startBlock(BitWriter& w, bool last) {
        buildBlock(st, w, last, pairs, n);
        return resumeHeader(w);
    }
    void literal(std::uint16_t sym, std::uint64_t& bits, std::uint32_t& count) const {
        const CodeEntry e = st.litLenCodes[literalOf(sym)];
        bits |= std::uint64_t{e.bits} << count;
        count += e.count;
    }
    void length(std::uint32_t index, std::uint64_t& bits, std::uint32_t& count) const {
        const CodeEntry e = st.lengthCodes[index];
        bits |= std::uint64_t{e.bits} << count;
        count += e.count;
    }
    // Distances 1..256 have an entry each, extra bits included; a longer one
    // takes its code's entry with d - base above it.  One table gives the
    // entry of either kind, so near and far distances, which mix
    // unpredictably, take the same steps.
    void distance(std::uint32_t d, std::uint64_t& bits, std::uint32_t& count) const {
        const std::uint32_t i = distIndexOf(d);
        const CodeEntry e = st.distanceCodes[kDistanceEntry[i]];
        bits |= std::uint64_t{e.bits | ((d - kDistIndexBase[i]) << e.count)} << count;
        count += e.count + kDistIndexExtra[i];
    }
    void endOfBlock(std::uint64_t& bits, std::uint32_t& count) const {
        const CodeEntry e = st.litLenCodes[kEndOfBlock];
        bits |= std::uint64_t{e.bits} << count;
        count += e.count;
    }
};

// Dynamic codes pay off when the most frequent literal/length symbol stands
// out from the symbol at the count-weighted mean rank of first appearance by
// at least a quarter of the pairs.
LZ77HuffMode chooseMode(const EncoderState& st, const FirstSeen& seen, std::int32_t n) {
    if (n == 0) return LZ77HuffFixed;
    const std::uint16_t* const order = seen.order;
    const int listed = seen.listed;
    std::uint64_t most = 0;
    std::uint64_t weighted = 0;
    for (int k = 0; k < listed; ++k) {
        const std::uint64_t c = st.litLenFreq[order[k]].count;
        most = std::max(most, c);
        weighted += static_cast<std::uint64_t>(k + 1) * c;
    }
    const std::uint64_t q = weighted / static_cast<std::uint64_t>(n);
    const std::uint64_t atMean = st.litLenFreq[order[q - 1]].count;
    return most - atMean >= static_cast<std::uint64_t>(n / 4) ? LZ77HuffDynamic : LZ77HuffFixed;
}

}  // namespace
}  // namespace orvdc::lz77

using namespace orvdc::lz77;

extern "C" {

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77DynamicHuff_8u(const LZ77Pair** ppSrc, int32_t* pSrcLen,
                                                            uint8_t** ppDst, int32_t* pDstLen,
                                                            LZ77FlushMode flush, LZ77EncoderState* pState) {
    return writeHuffmanBlock<DynamicCodes>(ppSrc, pSrcLen, ppDst, pDstLen, flush, pState);
}

ORVDC_API orvStatus ORVDC_CALL orvsEncodeLZ77SelectHuffMode_8u(const LZ77Pair* pSrc, int32_t srcLen,
                                                               LZ77HuffMode* pHuffMode, LZ77EncoderState* pState) {
    if (orvdc::anyNull(pSrc, pHuffMode, pState)) return orvStsNullPtr;
    if (srcLen < 0) return orvStsBadSize;
    EncoderState& st = encoderState(pState);
    if (st.blockPhase != kPhaseHeaderDue) {
        *pHuffMode = st.selectedMode;
        return orvStsOk;
    }
    FirstSeen seen;
    countPairs<true>(st, pSrc, srcLen, &seen);
    const LZ77HuffMode mode = chooseMode(st, seen, srcLen);
    st.selectedMode = mode;
    st.freqValid = 1;
    *pHuffMode = mode;
    return orvStsOk;
}

}  // extern "C"
