// Huffman codes of bzip2 blocks.
#include "formats/bzip2_huffman.h"

#include <cstring>

namespace orvf::bz {

// The tree is built by merging the two lightest nodes from two queues: the
// leaves sorted by weight and the merged nodes, which come out in
// nondecreasing weight.  When the deepest leaf is too deep the weights are
// halved (kept at least 1), which flattens the tree, and the build repeats.
void huffmanLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* len) {
    std::uint32_t weight[kMaxAlpha];
    std::uint32_t nodeWeight[2 * kMaxAlpha];
    std::int16_t parent[2 * kMaxAlpha];
    std::uint8_t depth[2 * kMaxAlpha];
    std::int16_t order[kMaxAlpha];
    if (n < 2) {
        if (n == 1) len[0] = 1;
        return;
    }
    for (int i = 0; i < n; ++i) weight[i] = freq[i] > 0 ? freq[i] : 1;
    for (;;) {
        // Insertion sort by weight: n is at most 258.
        for (int i = 0; i < n; ++i) {
            int j = i;
            while (j > 0 && weight[order[j - 1]] > weight[i]) {
                order[j] = order[j - 1];
                --j;
            }
            order[j] = static_cast<std::int16_t>(i);
        }
        for (int i = 0; i < n; ++i) nodeWeight[i] = weight[order[i]];
        // Nodes 0..n-1 are the sorted leaves, n..2n-2 the merged nodes.
        int leaf = 0, merged = n, next = n, deepest = 0;
        while (next < 2 * n - 1) {
            int pick[2];
            for (int& k : pick) {
                if (leaf < n && (merged >= next || nodeWeight[leaf] <= nodeWeight[merged])) {
                    k = leaf++;
                } else {
                    k = merged++;
                }
            }
            nodeWeight[next] = nodeWeight[pick[0]] + nodeWeight[pick[1]];
            parent[pick[0]] = parent[pick[1]] = static_cast<std::int16_t>(next);
            ++next;
        }
        depth[2 * n - 2] = 0;
        for (int i = 2 * n - 3; i >= 0; --i) {
            depth[i] = static_cast<std::uint8_t>(depth[parent[i]] + 1);
            if (i < n && depth[i] > deepest) deepest = depth[i];
        }
        if (deepest <= maxLen) {
            for (int i = 0; i < n; ++i) len[order[i]] = depth[i];
            return;
        }
        for (int i = 0; i < n; ++i) weight[i] = (weight[i] >> 1) + 1;
    }
}

void assignCodes(const std::uint8_t* len, int n, std::uint32_t* code) {
    std::uint32_t next = 0;
    for (int length = 1; length <= kMaxCodeLen; ++length) {
        for (int i = 0; i < n; ++i) {
            if (len[i] == length) code[i] = next++;
        }
        next <<= 1;
    }
}

bool buildDecoder(const std::uint8_t* len, int n, DecodeTable* t) {
    std::uint32_t code[kMaxAlpha];
    std::uint32_t next = 0;
    int k = 0;
    std::memset(t, 0, sizeof *t);
    for (int i = 0; i < n; ++i) {
        if (len[i] < 1 || len[i] > kMaxCodeLen) return false;
        t->count[len[i]]++;
    }
    for (int length = 1; length <= kMaxCodeLen; ++length) {
        t->first[length] = next;
        t->offset[length] = static_cast<std::uint16_t>(k);
        if (t->count[length] > (1u << length) - next) return false;
        for (int i = 0; i < n; ++i) {
            if (len[i] == length) t->symbols[k++] = static_cast<std::uint16_t>(i);
        }
        next = (next + t->count[length]) << 1;
    }
    assignCodes(len, n, code);
    for (int i = 0; i < n; ++i) {
        if (len[i] <= kFastBits) {
            const int shift = kFastBits - len[i];
            const std::uint32_t base = code[i] << shift;
            for (std::uint32_t j = 0; j < (1u << shift); ++j) {
                t->fast[base + j] = static_cast<std::uint16_t>((i << 5) | len[i]);
            }
        }
    }
    return true;
}

}  // namespace orvf::bz
