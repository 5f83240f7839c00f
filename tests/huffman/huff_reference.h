// Small, slow models of the Huffman coder for the tests: the code
// construction with an explicit tree, canonical values from a sorted symbol
// list, and bit-at-a-time writing.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace orvdc::test::huffref {

using Lengths = std::array<std::int32_t, 256>;
using Values = std::array<std::uint32_t, 256>;

struct Item {
    std::int32_t freq;
    int node;  // index into the tree
};

// The tie-deciding sort, written recursively from its description.
inline void sortItems(std::vector<Item>& e, int lo, int hi) {
    auto f = [&](int k) { return e[k].freq; };
    if (hi - lo + 1 <= 9) {
        while (hi > lo) {
            int m = lo;
            for (int k = lo + 1; k <= hi; ++k) {
                if (f(k) > f(m)) m = k;
            }
            std::swap(e[m], e[hi]);
            --hi;
        }
        return;
    }
    const int mid = lo + (hi - lo + 1) / 2;
    if (f(lo) > f(mid)) std::swap(e[lo], e[mid]);
    if (f(lo) > f(hi)) std::swap(e[lo], e[hi]);
    if (f(mid) > f(hi)) std::swap(e[mid], e[hi]);
    const std::int32_t p = f(mid);
    int i = lo + 1, j = hi;
    while (true) {
        bool met = false;
        while (f(i) <= p) {
            ++i;
            if (i == j) { met = true; break; }
        }
        while (!met && f(j) > p) {
            --j;
            if (j == i) { met = true; break; }
        }
        if (i == j) break;
        std::swap(e[i], e[j]);
    }
    int k = i - 1;
    while (k > lo && f(k) == p) --k;
    sortItems(e, lo, k);
    sortItems(e, i, hi);
}

// Code lengths as depths of an explicit tree.  Returns false for a frequency
// table from which no code can be built.
inline bool buildLengths(const std::int32_t* freq, Lengths& len) {
    struct Node {
        int left = -1, right = -1, sym = -1;
    };
    std::vector<Node> tree;
    std::vector<Item> items;
    std::int64_t total = 0;
    for (int s = 0; s < 256; ++s) {
        if (freq[s] == 0) continue;
        if (freq[s] < 0) return false;
        total += freq[s];
        if (total >= (std::int64_t{1} << 31)) return false;
        tree.push_back({-1, -1, s});
        items.push_back({freq[s], static_cast<int>(tree.size()) - 1});
    }
    if (items.empty()) return false;
    sortItems(items, 0, static_cast<int>(items.size()) - 1);
    // Merge the two lightest; the parent goes after all items not heavier.
    while (items.size() > 1) {
        const Item a = items[0], b = items[1];
        items.erase(items.begin(), items.begin() + 2);
        tree.push_back({a.node, b.node, -1});
        const Item parent{a.freq + b.freq, static_cast<int>(tree.size()) - 1};
        auto at = std::find_if(items.begin(), items.end(), [&](const Item& x) { return x.freq > parent.freq; });
        items.insert(at, parent);
    }
    len.fill(0);
    std::vector<std::pair<int, int>> todo{{items[0].node, 0}};
    while (!todo.empty()) {
        auto [n, d] = todo.back();
        todo.pop_back();
        if (tree[n].sym >= 0) {
            len[tree[n].sym] = std::max(d, 1);
        } else {
            todo.push_back({tree[n].left, d + 1});
            todo.push_back({tree[n].right, d + 1});
        }
    }
    return true;
}

// Canonical values: symbols ordered by length (longest first), then by
// descending symbol, numbered with a counter that drops one bit per length.
inline Values canonicalValues(const Lengths& len) {
    std::vector<std::pair<int, int>> order;
    for (int s = 0; s < 256; ++s) {
        if (len[s] > 0) order.push_back({len[s], s});
    }
    std::sort(order.begin(), order.end(), [](auto x, auto y) { return x > y; });
    Values v{};
    std::uint64_t c = 0;
    int cur = order.empty() ? 0 : order[0].first;
    for (auto [l, s] : order) {
        c >>= (cur - l);
        cur = l;
        v[s] = static_cast<std::uint32_t>(c++);
    }
    return v;
}

// Appends codes to a bit vector, most significant bit first.
inline void putCode(std::vector<bool>& bits, std::uint32_t value, int len) {
    for (int k = len - 1; k >= 0; --k) bits.push_back(((value >> k) & 1u) != 0);
}

inline std::vector<std::uint8_t> packBits(const std::vector<bool>& bits) {
    std::vector<std::uint8_t> out((bits.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i]) out[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
    }
    return out;
}

}  // namespace orvdc::test::huffref
