// Suffix sorting by induced sorting (SA-IS; Nong, Zhang and Chan, "Two
// efficient algorithms for linear time suffix array construction", 2011),
// run entirely inside caller memory.
//
// Terms, for a text T[0..n) followed by a virtual sentinel smaller than every
// symbol: suffix i is S-type when T[i..) < T[i+1..) (T[i] < T[i+1], or equal
// symbols and i+1 is S-type) and L-type otherwise; n-1 is L-type.  Position i
// is LMS (leftmost S) when it is S-type and i-1 is L-type.
//
// One level of the sort:
//  1. Put the LMS positions at the ends of their symbol buckets and induce
//     (an L pass from the left, an S pass from the right).  That sorts the LMS
//     substrings (from one LMS position to the next, both included).
//  2. Name the LMS substrings by rank; equal substrings get equal names.  If
//     all names differ, the order of step 1 is the order of the LMS suffixes.
//     If few are shared, the groups of equal names are put in order by
//     comparing the names that follow (sortTiedGroups).  Otherwise, or when
//     that reads too much, sort the string of names, which is at most half
//     as long, by the same method and map its suffix array back to LMS
//     positions.
//  3. Put the sorted LMS suffixes at their bucket ends and induce again: the
//     result is the suffix array, or, for the transform's first level, the
//     last column of the rotation matrix (bwt_induce.h).
// On high-entropy byte texts the first level may replace steps 1 and 2 by a
// radix sort of the LMS suffixes on their first four bytes
// (bwt_lms_prefix.h).  Every shortcut gives up after a linear amount of
// work, so the whole stays linear whatever the text.
//
// Both induced passes mark entries by bitwise complement instead of keeping a
// type array: during the L pass an entry is stored complemented when the
// suffix before it is S-type (it will be used by the S pass, not this one),
// and every entry is flipped once scanned, so the S pass sees exactly the
// entries whose predecessor it has to place.  The S pass does the mirror
// image.  0 stands for an empty slot (position 0 never induces anything).
//
// Memory: the suffix array SA[0..n) is followed by `fs` free elements.  The
// lengths, then names, of the LMS substrings stand at slot[p/2] for LMS
// position p (LMS positions are at least two apart), where slot is SA + n
// when the bucket tables lie above SA + n + n/2, and SA + m otherwise.  The
// reduced problem of step 2 takes its text at the top of the free space
// (below the bucket tables when they lie in it above the slots, which keeps
// the counts) and its own free space in between, so a level with n symbols
// and m LMS positions hands n + fs - 2m free elements to the next (less the
// tables kept).  The bucket tables of a reduced level (one or two arrays of
// as many elements as it has distinct names) are taken from the top of that
// free space.  The callers give level 0 at least n/2 free elements; since
// m <= n/2 the free space never shrinks below n/2 with depth and always
// holds at least the one bucket array that a level needs (names < m <= n/2).
//
// Sa is the element type of the suffix array (int32_t, or int16_t for texts
// of at most 32768 symbols: positions, complements, names and lengths then
// all fit).  Sym is the text's symbol type; Bk the bucket table's.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "bwt/bwt_induce.h"
#include "bwt/bwt_lms_prefix.h"
#include "bwt/bwt_lms_scan.h"

namespace orvdc::bwt {

template <class Sym, class Bk>
inline void countSymbols(const Sym* t, int n, Bk* count, int k) {
    for (int c = 0; c < k; ++c) count[c] = 0;
    for (int i = 0; i < n; ++i) ++count[t[i]];
}

// Byte counts through four partial tables in `scratch` (1024 elements), so
// that a byte repeated at short distance does not wait for its own count.
template <class Bk>
inline void countBytes(const std::uint8_t* t, int n, Bk* count, std::int32_t* scratch) {
    for (int c = 0; c < 1024; ++c) scratch[c] = 0;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        ++scratch[t[i]];
        ++scratch[256 + t[i + 1]];
        ++scratch[512 + t[i + 2]];
        ++scratch[768 + t[i + 3]];
    }
    for (; i < n; ++i) ++scratch[t[i]];
    for (int c = 0; c < 256; ++c) {
        count[c] = static_cast<Bk>(scratch[c] + scratch[256 + c] + scratch[512 + c] + scratch[768 + c]);
    }
}

// The bucket tables of one level: `count` holds the symbol counts and `bound`
// the running bucket starts or ends.  When only one array fits, both name
// the same array and the counts are taken again before each use.
template <class Sym, class Bk>
struct Buckets {
    const Sym* t;
    int n;
    int k;
    Bk* count;
    Bk* bound;

    void starts() {
        if (count == bound) countSymbols(t, n, count, k);
        int sum = 0;
        for (int c = 0; c < k; ++c) {
            const int size = count[c];
            bound[c] = static_cast<Bk>(sum);
            sum += size;
        }
    }
    void ends() {
        if (count == bound) countSymbols(t, n, count, k);
        int sum = 0;
        for (int c = 0; c < k; ++c) {
            sum += count[c];
            bound[c] = static_cast<Bk>(sum);
        }
    }
};

// Step 1's induced passes: sorts the LMS substrings whose positions stand at
// the ends of their buckets and leaves them, complemented and in order, as
// the only negative entries of SA.
template <class Sa, class Sym, class Bk>
void induceLmsSubstrings(const Sym* t, Sa* sa, int n, Buckets<Sym, Bk>& bk) {
    bk.starts();
    induceL<Pass::kLmsSubstrings>(t, sa, n, bk.bound);
    bk.ends();
    induceS<Pass::kLmsSubstrings>(t, sa, n, bk.bound);
}

// Step 3's induced passes: from the sorted LMS suffixes standing at the ends
// of their buckets to the complete suffix array, or to the last column
// (bwt_induce.h); returns the slot of suffix `start` in the latter case.
template <Pass pass, class Sa, class Sym, class Bk>
int induceSuffixes(const Sym* t, Sa* sa, int n, Buckets<Sym, Bk>& bk, int start) {
    bk.starts();
    const int rowL = induceL<pass>(t, sa, n, bk.bound, start);
    bk.ends();
    const int rowS = induceS<pass>(t, sa, n, bk.bound, start);
    return rowS >= 0 ? rowS : rowL;
}

// Step 2 when few names are shared (random data, even with some frequent
// words): sa[0..m) already holds the LMS positions in the order of their
// substrings, so only each group of equal names needs ordering, by the names
// of the substrings that follow.  name[p/2] and length[p/2] are those of the
// LMS substring at p, which ends where the next one starts.  Two LMS
// suffixes differ before the rightmost substring, whose name occurs once, so
// every comparison ends.  Groups of up to kLargestTiedGroup entries are
// sorted by insertion, larger ones by heapsort.  A comparison costs one
// step per name pair it reads, and 8m steps in all are allowed; past that
// the data is repetitive, false is returned, leaving the groups in some
// order, and the caller sorts the reduced string after all.  So the time
// stays linear.
constexpr int kLargestTiedGroup = 32;

template <class Sa>
bool sortTiedGroups(Sa* sa, int m, const Sa* name, const Sa* length) {
    std::int64_t budget = 8 * static_cast<std::int64_t>(m);
    bool failed = false;
    const auto less = [&](int a, int b) {
        for (;;) {
            if (--budget < 0) {
                failed = true;
                return false;
            }
            const int len = length[a >> 1];  // equal names: equal lengths
            a += len - 1;
            b += len - 1;
            const int x = name[a >> 1], y = name[b >> 1];
            if (x != y) return x < y;
        }
    };
    const auto insertion = [&](Sa* g, int size) {
        for (int i = 1; i < size && !failed; ++i) {
            const int x = g[i];
            int j = i;
            while (j > 0 && less(x, g[j - 1])) {
                g[j] = g[j - 1];
                --j;
            }
            g[j] = static_cast<Sa>(x);
        }
    };
    const auto siftDown = [&](Sa* g, int root, int size) {
        while (!failed) {
            int child = 2 * root + 1;
            if (child >= size) break;
            if (child + 1 < size && less(g[child], g[child + 1])) ++child;
            if (!less(g[root], g[child])) break;
            const Sa top = g[root];
            g[root] = g[child];
            g[child] = top;
            root = child;
        }
    };
    const auto heapsort = [&](Sa* g, int size) {
        for (int i = size / 2 - 1; i >= 0 && !failed; --i) siftDown(g, i, size);
        for (int end = size - 1; end > 0 && !failed; --end) {
            const Sa top = g[0];
            g[0] = g[end];
            g[end] = top;
            siftDown(g, 0, end);
        }
    };
    for (int first = 0; first < m;) {
        const int group = name[sa[first] >> 1];
        int end = first + 1;
        while (end < m && name[sa[end] >> 1] == group) ++end;
        if (end - first <= kLargestTiedGroup) {
            insertion(sa + first, end - first);
        } else {
            heapsort(sa + first, end - first);
        }
        if (failed) return false;
        first = end;
    }
    return true;
}

// Whether t[a..a+len) equals t[b..b+len).  Bytes are compared eight at a
// time where eight can be read; text has many equal LMS substrings, each
// compared in full.
template <class Sym>
inline bool equalSymbols(const Sym* t, int n, int a, int b, int len) {
    int d = 0;
    if constexpr (sizeof(Sym) == 1 && std::endian::native == std::endian::little) {
        const int reach = (a > b ? a : b) + len;
        for (; d + 8 <= len || (d < len && reach - len + d + 8 <= n); d += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, t + a + d, 8);
            std::memcpy(&y, t + b + d, 8);
            const int left = len - d;
            const std::uint64_t mask = left >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * left)) - 1;
            if (((x ^ y) & mask) != 0) return false;
        }
    }
    for (; d < len; ++d) {
        if (t[a + d] != t[b + d]) return false;
    }
    return true;
}

// Sorts the suffixes of t[0..n) (symbols below k) into sa[0..n).  sa[n..n+fs)
// is free working space; `count` and `bound` (equal when only one table
// fits) are the level's bucket tables of k entries, placed by the caller
// outside sa[0..n) (at the top of the free space is fine: the reduced
// problem then stays below them, or they are taken again after it).
template <Pass pass, class Sa, class Sym, class Bk>
int sortLevel(const Sym* t, Sa* sa, int n, int k, int fs, Bk* count, Bk* bound, int start) {
    if (n == 1) {
        sa[0] = static_cast<Sa>(pass == Pass::kLastColumn ? ~static_cast<int>(t[0]) : 0);
        return 0;
    }
    Buckets<Sym, Bk> bk{t, n, k, count, bound};

    // Step 1: LMS positions at the bucket ends, then the induced passes.
    // Step 2 needs the length of every LMS substring, stored at slot[p/2]
    // (LMS positions are at least two apart) and 0 elsewhere.  When the
    // free space above SA holds those n/2 slots clear of the bucket tables
    // (always so for the first level), the lengths are stored there in the
    // same scan; otherwise at sa + m, by a scan of their own after step 1.
    const int half = n >> 1;
    const auto above = reinterpret_cast<std::uintptr_t>(sa + n + half);
    const bool slotsAbove = reinterpret_cast<std::uintptr_t>(count) >= above &&
                            reinterpret_cast<std::uintptr_t>(bound) >= above && fs >= half;
    Sa* slot = sa + n;
    if constexpr (sizeof(Sym) == 1 && sizeof(Sa) == 4) {
        // sa[0..n) is free yet.
        if (count != bound && n >= 1024) {
            countBytes(t, n, count, sa);
        } else if (count != bound) {
            countSymbols(t, n, count, k);
        }
    } else if (count != bound) {
        countSymbols(t, n, count, k);
    }
    int m = 0;
    int lastLms = 0;
    bool countsLost = false;  // to the reduced problem, which may use their memory
    // High-entropy bytes: steps 1 and 2 by a radix sort when that works
    // (bwt_lms_prefix.h).
    bool lmsSorted = false;
    if constexpr (sizeof(Sym) == 1) {
        const auto needed = reinterpret_cast<std::uintptr_t>(sa + n + kCounters);
        const bool room = fs >= kCounters && count != bound && reinterpret_cast<std::uintptr_t>(count) >= needed &&
                          reinterpret_cast<std::uintptr_t>(bound) >= needed;
        if (n >= kShortcutMin && room && spreadEvenly(count, n)) {
            m = sortLmsByPrefix(t, sa, n);
            lmsSorted = m >= 0;
            m = lmsSorted ? m : 0;
        }
    }
    if (!lmsSorted) {
        bk.ends();
        for (int i = 0; i < n; ++i) sa[i] = 0;
        if (slotsAbove) {
            for (int i = 0; i < half; ++i) slot[i] = 0;
        }
        // The rightmost LMS substring runs into the sentinel and is unlike
        // every other: length 0 marks it.  n-1 is never LMS.
        forEachLms(t, n, [&](int p) {
            const int b = bound[t[p]] - 1;
            bound[t[p]] = static_cast<Bk>(b);
            sa[b] = static_cast<Sa>(p);
            if (slotsAbove) slot[p >> 1] = static_cast<Sa>(m == 0 ? 0 : lastLms - p + 1);
            ++m;
            lastLms = p;
        });
    }

    if (m > 1 && !lmsSorted) {
        induceLmsSubstrings(t, sa, n, bk);
        // Gather them at the front (a store per slot instead of a branch:
        // sa[found] is at or before the slot just read).
        int found = 0;
        for (int i = 0; i < n; ++i) {
            const int p = sa[i];
            sa[found] = static_cast<Sa>(~p);
            found += p < 0;
        }

        if (!slotsAbove) {
            slot = sa + m;
            for (int i = 0; i < half; ++i) slot[i] = 0;
            int nextLms = -1;
            forEachLms(t, n, [&](int p) {
                slot[p >> 1] = static_cast<Sa>(nextLms < 0 ? 0 : nextLms - p + 1);
                nextLms = p;
            });
        }

        // Names, and the size of the largest group of equal substrings.
        // With the slots above SA, sa[m..n) is free and keeps the lengths
        // (at sa[m + p/2]) for sortTiedGroups.
        Sa* const length = sa + m;
        int names = 0;
        int prev = 0;
        int prevLen = 0;
        int group = 0;
        int largestGroup = 0;
        for (int i = 0; i < m; ++i) {
            if (i + kAhead < m) {
                const int ahead = sa[i + kAhead];
                __builtin_prefetch(slot + (ahead >> 1));
                __builtin_prefetch(t + ahead);
            }
            const int p = sa[i];
            const int len = slot[p >> 1];
            const bool differs = len == 0 || len != prevLen || !equalSymbols(t, n, p, prev, len);
            if (differs) {
                ++names;
                prev = p;
                prevLen = len;
                group = 0;
            }
            ++group;
            largestGroup = group > largestGroup ? group : largestGroup;
            if (slotsAbove) length[p >> 1] = static_cast<Sa>(len);
            slot[p >> 1] = static_cast<Sa>(names);
        }

        // Worth trying when every group is small or few entries share names.
        const bool fewShared = largestGroup <= kLargestTiedGroup || m - names <= m / 8;
        if (names < m && !(slotsAbove && fewShared && sortTiedGroups(sa, m, slot, length))) {
            // The string of names in text order, at the top of the free
            // space (written from the top down, never over unread names).
            // Each step stores into the next free place and only advances
            // past a name; that place never lies below the slot being read.
            // With the bucket tables above the slots, the reduced problem
            // stays below them and they survive it.
            int fsBelow = fs;
            if (slotsAbove && count != bound) {
                const auto low = reinterpret_cast<std::uintptr_t>(count < bound ? count : bound);
                const auto free = (low - reinterpret_cast<std::uintptr_t>(sa + n)) / sizeof(Sa);
                fsBelow = free < static_cast<std::uintptr_t>(fs) ? static_cast<int>(free) : fs;
            }
            countsLost = fsBelow == fs;
            Sa* const reduced = sa + n + fsBelow - m;
            for (int i = half - 1, r = m - 1; r >= 0; --i) {
                const int v = slot[i];
                reduced[r] = static_cast<Sa>(v - 1);
                r -= v != 0;
            }
            const int freeSpace = n + fsBelow - 2 * m;
            Sa* const subCount = sa + m + freeSpace - names;
            Sa* const subBound = (2 * names <= freeSpace) ? subCount - names : subCount;
            sortLevel<Pass::kSuffixes, Sa, Sa, Sa>(reduced, sa, m, names, freeSpace, subCount, subBound, -1);

            // Suffix ranks of the reduced string back to LMS positions:
            // the LMS positions in text order, into the reduced string's
            // place, then looked up.
            {
                int r = m;
                forEachLms(t, n, [&](int p) { reduced[--r] = static_cast<Sa>(p); });
            }
            for (int i = 0; i < m; ++i) {
                if (i + kAhead < m) __builtin_prefetch(reduced + sa[i + kAhead]);
                sa[i] = reduced[sa[i]];
            }
        }
    } else if (m == 1) {
        sa[0] = static_cast<Sa>(lastLms);
    }

    // Step 3: sorted LMS suffixes to their bucket ends (from the largest, so
    // no entry is overwritten before it is moved), then induce.  The counts
    // are taken again if the reduced problem may have used their memory.
    if (count != bound && countsLost) countSymbols(t, n, count, k);
    bk.ends();
    for (int i = m; i < n; ++i) sa[i] = 0;
    for (int i = m - 1; i >= 0; --i) {
        if (i >= kAhead) __builtin_prefetch(t + sa[i - kAhead]);
        const int p = sa[i];
        sa[i] = 0;
        sa[--bound[t[p]]] = static_cast<Sa>(p);
    }
    const int row = induceSuffixes<pass>(t, sa, n, bk, start);
    return row;
}

template <class Sa, class Sym, class Bk>
void suffixSort(const Sym* t, Sa* sa, int n, int k, int fs, Bk* count, Bk* bound) {
    sortLevel<Pass::kSuffixes>(t, sa, n, k, fs, count, bound, -1);
}

// The last column of the rotations of the necklace t[0..n) (n >= 2, see
// bwt_rotation.h) into sa[0..n), each symbol complemented, with the memory
// of suffixSort; returns the row of rotation `start`.
template <class Sa, class Bk>
int lastColumnSort(const std::uint8_t* t, Sa* sa, int n, int fs, Bk* count, Bk* bound, int start) {
    return sortLevel<Pass::kLastColumn>(t, sa, n, 256, fs, count, bound, start);
}

}  // namespace orvdc::bwt
