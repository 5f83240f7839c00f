// A shortcut for the first level of the suffix sorter (bwt_sais.h) on byte
// texts of high entropy (random or compressed data).
//
// Induced sorting orders the LMS suffixes through the LMS substrings, two
// induced passes over the whole text, naming and a reduced problem.  When
// the bytes are spread evenly, LMS suffixes almost never share their first
// four bytes, so a radix sort on those four bytes orders them almost
// completely; the few that share them are put in order by comparing the
// suffixes directly.  What this reads is bounded: the groups of equal keys
// may hold kLargestGroup suffixes each, and the comparisons may read m
// bytes in all.  Past that the text is repetitive after all and the
// shortcut gives up, having cost a linear amount of work; the caller then
// sorts by induction.  So the time stays linear either way.
//
// Memory: the LMS positions and a copy for the radix passes take sa[0..n),
// the 3 x 2048 counters of the digits the free space above sa[n).
#pragma once

#include <cstdint>

#include "bwt/bwt_induce.h"
#include "bwt/bwt_lms_scan.h"

namespace orvdc::bwt {

// Whether the byte counts of a text of n bytes are even enough for the
// shortcut to be likely to succeed: no byte value occurs more than four
// times as often as it would in uniformly random bytes.
template <class Bk>
inline bool spreadEvenly(const Bk* count, int n) {
    int largest = 0;
    for (int c = 0; c < 256; ++c) largest = count[c] > largest ? static_cast<int>(count[c]) : largest;
    return largest <= n / 64;
}

// The first four bytes of suffix p, big-endian; bytes past the end count as
// 0 (suffixes near the end then tie with others and are compared in full).
inline std::uint32_t prefixKey(const std::uint8_t* t, int n, int p) {
    if (p + 4 <= n) {
        return std::uint32_t{t[p]} << 24 | std::uint32_t{t[p + 1]} << 16 | std::uint32_t{t[p + 2]} << 8 | t[p + 3];
    }
    std::uint32_t key = 0;
    for (int d = 0; d < 4; ++d) key = key << 8 | (p + d < n ? t[p + d] : 0u);
    return key;
}

// The key is sorted by three digits of 11, 11 and 10 bits, least
// significant first; the counts of all three are taken in one scan.
constexpr int kDigitBits = 11;
constexpr int kDigitValues = 1 << kDigitBits;
constexpr int kDigits = 3;
constexpr int kCounters = kDigits * kDigitValues;

inline int digit(std::uint32_t key, int d) {
    return static_cast<int>(key >> (kDigitBits * d)) & (kDigitValues - 1);
}

// One stable pass of from[0..m) into to[0..m) by digit d; counter[] holds
// that digit's counts and is turned into its running bucket starts.
template <class Sa>
void radixPass(const std::uint8_t* t, int n, const Sa* from, Sa* to, int m, int d, Sa* counter) {
    int sum = 0;
    for (int v = 0; v < kDigitValues; ++v) {
        const int size = counter[v];
        counter[v] = static_cast<Sa>(sum);
        sum += size;
    }
    for (int i = 0; i < m; ++i) {
        if (i + kAhead < m) __builtin_prefetch(t + from[i + kAhead]);
        const int p = from[i];
        to[counter[digit(prefixKey(t, n, p), d)]++] = static_cast<Sa>(p);
    }
}

constexpr int kLargestGroup = 32;

// Shorter texts are sorted quickly enough by induction.
constexpr int kShortcutMin = 16384;

// Sorts the LMS suffixes of t[0..n) into sa[0..m) and returns m, or returns
// -1 when the text is too repetitive (see above).  Needs n + kCounters free
// elements from sa on, all of them scratch.
template <class Sa>
int sortLmsByPrefix(const std::uint8_t* t, Sa* sa, int n) {
    // LMS positions, in text order, at the top of sa[0..n), with the counts
    // of their digits; then sorted by each digit in turn, to sa[0..m), back
    // to the top and to sa[0..m) again (m <= n/2: the two never overlap).
    Sa* const counter = sa + n;
    for (int v = 0; v < kDigits * kDigitValues; ++v) counter[v] = 0;
    int m = 0;
    forEachLms(t, n, [&](int p) {
        sa[n - 1 - m++] = static_cast<Sa>(p);
        const std::uint32_t key = prefixKey(t, n, p);
        for (int d = 0; d < kDigits; ++d) ++counter[d * kDigitValues + digit(key, d)];
    });
    if (m < 2) return -1;
    radixPass(t, n, sa + n - m, sa, m, 0, counter);
    radixPass(t, n, sa, sa + n - m, m, 1, counter + kDigitValues);
    radixPass(t, n, sa + n - m, sa, m, 2, counter + 2 * kDigitValues);

    // Groups of equal keys, by insertion with direct comparisons.
    int budget = m;
    bool failed = false;
    const auto less = [&](int a, int b) {
        int d = 0;
        while (a + d < n && b + d < n && t[a + d] == t[b + d]) {
            if (++d > budget) {
                failed = true;
                return false;
            }
        }
        budget -= d;
        if (a + d == n) return true;
        if (b + d == n) return false;
        return t[a + d] < t[b + d];
    };
    std::uint32_t nextKey = prefixKey(t, n, sa[0]);
    for (int first = 0; first < m;) {
        const std::uint32_t key = nextKey;
        int end = first + 1;
        for (; end < m; ++end) {
            if (end + kAhead < m) __builtin_prefetch(t + sa[end + kAhead]);
            nextKey = prefixKey(t, n, sa[end]);
            if (nextKey != key) break;
        }
        if (end - first > kLargestGroup) return -1;
        for (int i = first + 1; i < end; ++i) {
            const int x = sa[i];
            int j = i;
            while (j > first && !failed && less(x, sa[j - 1])) {
                sa[j] = sa[j - 1];
                --j;
            }
            sa[j] = static_cast<Sa>(x);
        }
        if (failed) return -1;
        first = end;
    }
    return m;
}

}  // namespace orvdc::bwt
