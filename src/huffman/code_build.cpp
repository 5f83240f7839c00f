// Building a Huffman code from symbol frequencies, and the canonical code
// values that encoder and decoder derive from the code lengths.
//
// Which of several equally good codes is built depends on how equal
// frequencies are ordered, so the sort below is a fixed, unstable procedure
// (selection sort for short ranges, median-of-three quicksort otherwise) and
// the merging rule is fixed too; both are part of the coder's behaviour.
#include <cstring>

#include "core/aligned_alloc.h"
#include "core/check.h"
#include "core/export.h"
#include "huffman/huff_state.h"

namespace orvdc::huff {

namespace {

struct Entry {
    std::int32_t freq;
    std::int32_t sym;
};

inline void swapEntries(Entry* e, int a, int b) {
    const Entry t = e[a];
    e[a] = e[b];
    e[b] = t;
}

// Selection sort of e[lo..hi]: the first entry holding the largest frequency
// goes to the end, repeatedly.
void selectionSort(Entry* e, int lo, int hi) {
    while (hi > lo) {
        int best = lo;
        for (int k = lo + 1; k <= hi; ++k) {
            if (e[k].freq > e[best].freq) best = k;
        }
        swapEntries(e, best, hi);
        --hi;
    }
}

// Partitions e[lo..hi] (more than 9 entries) around the median of three and
// returns the two ranges still to sort: lo..*leftHi and *rightLo..hi.
void partition(Entry* e, int lo, int hi, int* leftHi, int* rightLo) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (e[lo].freq > e[mid].freq) swapEntries(e, lo, mid);
    if (e[lo].freq > e[hi].freq) swapEntries(e, lo, hi);
    if (e[mid].freq > e[hi].freq) swapEntries(e, mid, hi);
    const std::int32_t p = e[mid].freq;
    int i = lo + 1;
    int j = hi;
    for (;;) {
        while (e[i].freq <= p) {
            if (++i == j) break;
        }
        if (i != j) {
            while (e[j].freq > p) {
                if (--j == i) break;
            }
        }
        if (i == j) break;
        swapEntries(e, i, j);
    }
    int k = i - 1;
    while (k > lo && e[k].freq == p) --k;
    *leftHi = k;
    *rightLo = i;
}

// Ascending sort by frequency.  The smaller range is sorted first and the
// larger one saved, so 32 pending ranges are always enough.
void sortEntries(Entry* e, int n) {
    struct Range {
        int lo, hi;
    };
    Range stack[32];
    int top = 0;
    int lo = 0;
    int hi = n - 1;
    for (;;) {
        if (hi - lo + 1 <= 9) {
            selectionSort(e, lo, hi);
            if (top == 0) return;
            --top;
            lo = stack[top].lo;
            hi = stack[top].hi;
            continue;
        }
        int leftHi, rightLo;
        partition(e, lo, hi, &leftHi, &rightLo);
        if (leftHi - lo < hi - rightLo) {
            stack[top++] = {rightLo, hi};
            hi = leftHi;
        } else {
            stack[top++] = {lo, leftHi};
            lo = rightLo;
        }
    }
}

}  // namespace

void assignCodes(const std::int32_t* len, std::uint32_t* value, HuffState* st) {
    int count[kMaxCodeLen + 1] = {};
    int longest = 0;
    int shortest = kMaxCodeLen + 1;
    for (int s = 0; s < 256; ++s) {
        const int l = len[s];
        value[s] = 0;
        if (l == 0) continue;
        ++count[l];
        if (l > longest) longest = l;
        if (l < shortest) shortest = l;
    }
    // Symbols of each length in descending order: the order they take values.
    std::uint8_t bySymbolDesc[256];
    int pos[kMaxCodeLen + 1] = {};
    {
        int at = 0;
        for (int l = kMaxCodeLen; l >= 1; --l) {
            pos[l] = at;
            at += count[l];
        }
    }
    for (int s = 255; s >= 0; --s) {
        const int l = len[s];
        if (l != 0) bySymbolDesc[pos[l]++] = static_cast<std::uint8_t>(s);
    }
    if (st != nullptr) {
        std::memset(st->symbols, 0, sizeof st->symbols);
        std::memset(st->firstCode, 0, sizeof st->firstCode);
        std::memset(st->runCount, 0, sizeof st->runCount);
    }
    std::uint32_t c = 0;
    int k = 0;
    for (int l = longest; l >= 1; --l) {
        if (st != nullptr) {
            st->firstCode[l - 1] = c << (longest - l);
            st->runCount[l - 1] = count[l];
        }
        for (int m = 0; m < count[l]; ++m, ++k) {
            const std::uint8_t s = bySymbolDesc[k];
            value[s] = c++;
            if (st != nullptr) st->symbols[k] = s;
        }
        c >>= 1;
    }
    if (st == nullptr) return;
    int running = 0;
    for (int l = shortest; l <= longest; ++l) {
        running += count[l];
        st->runCount[l - 1] = running;
    }
    st->symbolsEnd = kSymbolsOffset + static_cast<std::uint32_t>(k);
    st->firstCodeRef = kFirstCodeOffset;
    st->runCountRef = kRunCountOffset;
    st->longest = longest;
    st->shortest = longest == 0 ? 0 : shortest;
    st->zeroSymbol = longest == 0 ? 0 : st->symbols[0];  // largest symbol of the longest length
}

}  // namespace orvdc::huff

using orvdc::huff::kMaxCodeLen;

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsHuffGetSize_8u(int32_t* pSize) {
    if (orvdc::anyNull(pSize)) return orvStsNullPtr;
    *pSize = static_cast<int32_t>(sizeof(HuffState));
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffInit_8u(const int32_t pFreqTable[256], HuffState* pState) {
    using orvdc::huff::Entry;
    if (orvdc::anyNull(pFreqTable, pState)) return orvStsNullPtr;

    Entry list[256];
    int n = 0;
    std::uint32_t total = 0;
    for (int s = 0; s < 256; ++s) {
        const std::int32_t f = pFreqTable[s];
        if (f == 0) continue;
        total += static_cast<std::uint32_t>(f);
        if (((static_cast<std::uint32_t>(f) | total) & 0x80000000u) != 0) return orvStsBadFreqTable;
        list[n++] = {f, s};
    }
    if (n == 0) return orvStsBadFreqTable;

    orvdc::huff::sortEntries(list, n);

    // Merge the two lightest nodes until one is left.  A node carries the
    // symbol of its lighter child and goes after every node that weighs no
    // more than it does.
    std::uint8_t mergeA[256], mergeB[256];
    for (int t = 1; t < n; ++t) {
        mergeA[t] = static_cast<std::uint8_t>(list[t - 1].sym);
        mergeB[t] = static_cast<std::uint8_t>(list[t].sym);
        const Entry node = {list[t - 1].freq + list[t].freq, list[t - 1].sym};
        int j = t + 1;
        while (j < n && list[j].freq <= node.freq) {
            list[j - 1] = list[j];
            ++j;
        }
        list[j - 1] = node;
    }

    std::memset(pState, 0, sizeof(HuffState));
    std::int32_t* len = pState->codeLen;
    if (n == 1) {
        len[list[0].sym] = 1;
    } else {
        // From the root down: a merge deepens the subtree named by its first
        // symbol, and its second symbol's subtree sits at the same depth.
        for (int t = n - 1; t >= 1; --t) {
            len[mergeA[t]] += 1;
            len[mergeB[t]] = len[mergeA[t]];
        }
    }
    std::int32_t longest = 0;
    for (int s = 0; s < 256; ++s) {
        if (len[s] > longest) longest = len[s];
    }
    pState->longest = longest;
    if (longest > kMaxCodeLen) return orvStsCodeTooLong;

    orvdc::huff::assignCodes(len, pState->codeValue, nullptr);
    pState->bitBuffer = 0;
    pState->bitCount = 0;
    return orvStsOk;
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsEncodeHuffInitAlloc_8u(const int32_t pFreqTable[256],
                                                                     HuffState** ppState) {
    if (orvdc::anyNull(ppState)) return orvStsNullPtr;
    *ppState = static_cast<HuffState*>(orvdc::alignedAlloc(static_cast<std::int32_t>(sizeof(HuffState))));
    return orvsEncodeHuffInit_8u(pFreqTable, *ppState);
}

extern "C" ORVDC_API orvStatus ORVDC_CALL orvsHuffGetLenCodeTable_8u(int32_t pCodeLenTable[256],
                                                                     const HuffState* pState) {
    if (orvdc::anyNull(pCodeLenTable, pState)) return orvStsNullPtr;
    std::memcpy(pCodeLenTable, pState->codeLen, sizeof pState->codeLen);
    return orvStsOk;
}
