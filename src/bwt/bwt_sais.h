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
//     all names differ, the order of step 1 is the order of the LMS suffixes;
//     otherwise sort the string of names, which is at most half as long, by
//     the same method and map its suffix array back to LMS positions.
//  3. Put the sorted LMS suffixes at their bucket ends and induce again: the
//     result is the suffix array.
//
// Both induced passes mark entries by bitwise complement instead of keeping a
// type array: during the L pass an entry is stored complemented when the
// suffix before it is S-type (it will be used by the S pass, not this one),
// and every entry is flipped once scanned, so the S pass sees exactly the
// entries whose predecessor it has to place.  The S pass does the mirror
// image.  0 stands for an empty slot (position 0 never induces anything).
//
// Memory: the suffix array SA[0..n) is followed by `fs` free elements.  The
// reduced problem of step 2 takes its names from SA[m..), its text at the top
// of the free space and its own free space in between, so a level with n
// symbols and m LMS positions hands n + fs - 2m free elements to the next.
// The bucket tables of a reduced level (one or two arrays of as many elements
// as it has distinct names) are taken from the top of that free space.  The
// callers give level 0 at least n/2 free elements; since m <= n/2 the free
// space never shrinks with depth and always holds at least the one bucket
// array that a level needs (names < m <= n/2).
//
// Sa is the element type of the suffix array (int32_t, or int16_t for texts
// of at most 32768 symbols: positions, complements, names and lengths then
// all fit).  Sym is the text's symbol type; Bk the bucket table's.
#pragma once

#include <cstdint>

namespace orvdc::bwt {

template <class Sym, class Bk>
inline void countSymbols(const Sym* t, int n, Bk* count, int k) {
    for (int c = 0; c < k; ++c) count[c] = 0;
    for (int i = 0; i < n; ++i) ++count[t[i]];
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

// Type of position i from its symbol c, the next symbol and the next type:
// S when c < next, or c == next and the next is S (no branch).
inline bool isSType(int c, int next, bool nextIsS) {
    return c - static_cast<int>(nextIsS) < next;
}

// Calls visit(p) for every LMS position p, from right to left.
template <class Sym, class Visit>
inline void forEachLmsFromRight(const Sym* t, int n, Visit visit) {
    bool nextIsS = false;  // n-1 is L-type
    int next = t[n - 1];
    for (int i = n - 2; i >= 0; --i) {
        const int c = t[i];
        const bool isS = isSType(c, next, nextIsS);
        if (!isS && nextIsS) visit(i + 1);
        nextIsS = isS;
        next = c;
    }
}

// Step 1's induced passes: sorts the LMS substrings whose positions stand at
// the ends of their buckets and leaves them, complemented and in order, as
// the only negative entries of SA.
template <class Sa, class Sym, class Bk>
void induceLmsSubstrings(const Sym* t, Sa* sa, int n, Buckets<Sym, Bk>& bk) {
    bk.starts();
    Bk* bound = bk.bound;
    int j = n - 1;
    int cur = t[j];
    int b = bound[cur];
    sa[b++] = static_cast<Sa>((j > 0 && t[j - 1] < cur) ? ~j : j);
    for (int i = 0; i < n; ++i) {
        const int p = sa[i];
        if (p > 0) {
            sa[i] = 0;
            j = p - 1;
            const int c = t[j];
            if (c != cur) {
                bound[cur] = static_cast<Bk>(b);
                cur = c;
                b = bound[cur];
            }
            sa[b++] = static_cast<Sa>((j > 0 && t[j - 1] < cur) ? ~j : j);
        } else if (p < 0) {
            sa[i] = static_cast<Sa>(~p);
        }
    }

    bk.ends();
    cur = 0;
    b = bound[0];
    for (int i = n - 1; i >= 0; --i) {
        const int p = sa[i];
        if (p <= 0) continue;
        sa[i] = 0;
        j = p - 1;
        const int c = t[j];
        if (c != cur) {
            bound[cur] = static_cast<Bk>(b);
            cur = c;
            b = bound[cur];
        }
        // An S-type suffix after an L-type one is LMS: keep it, marked.
        // Position 0 is not LMS and induces nothing: drop it.
        --b;
        if (j == 0)
            sa[b] = 0;
        else
            sa[b] = static_cast<Sa>(t[j - 1] > cur ? ~j : j);
    }
}

// Step 3's induced passes: from the sorted LMS suffixes standing at the ends
// of their buckets to the complete suffix array.
template <class Sa, class Sym, class Bk>
void induceSuffixes(const Sym* t, Sa* sa, int n, Buckets<Sym, Bk>& bk) {
    bk.starts();
    Bk* bound = bk.bound;
    int j = n - 1;
    int cur = t[j];
    int b = bound[cur];
    sa[b++] = static_cast<Sa>((j > 0 && t[j - 1] < cur) ? ~j : j);
    for (int i = 0; i < n; ++i) {
        const int p = sa[i];
        sa[i] = static_cast<Sa>(~p);
        if (p > 0) {
            j = p - 1;
            const int c = t[j];
            if (c != cur) {
                bound[cur] = static_cast<Bk>(b);
                cur = c;
                b = bound[cur];
            }
            sa[b++] = static_cast<Sa>((j > 0 && t[j - 1] < cur) ? ~j : j);
        }
    }

    bk.ends();
    cur = 0;
    b = bound[0];
    for (int i = n - 1; i >= 0; --i) {
        const int p = sa[i];
        if (p > 0) {
            j = p - 1;
            const int c = t[j];
            if (c != cur) {
                bound[cur] = static_cast<Bk>(b);
                cur = c;
                b = bound[cur];
            }
            sa[--b] = static_cast<Sa>((j == 0 || t[j - 1] > cur) ? ~j : j);
        } else {
            sa[i] = static_cast<Sa>(~p);
        }
    }
}

// Sorts the suffixes of t[0..n) (symbols below k) into sa[0..n).  sa[n..n+fs)
// is free working space; `count` and `bound` (equal when only one table
// fits) are the level's bucket tables of k entries, placed by the caller
// outside sa[0..n) (at the top of the free space is fine: they are taken
// again after the free space has served the reduced problem).
template <class Sa, class Sym, class Bk>
void suffixSort(const Sym* t, Sa* sa, int n, int k, int fs, Bk* count, Bk* bound) {
    if (n == 1) {
        sa[0] = 0;
        return;
    }
    Buckets<Sym, Bk> bk{t, n, k, count, bound};

    // Step 1: LMS positions at the bucket ends, then the induced passes.
    if (count != bound) countSymbols(t, n, count, k);
    bk.ends();
    for (int i = 0; i < n; ++i) sa[i] = 0;
    int m = 0;
    int lastLms = 0;
    forEachLmsFromRight(t, n, [&](int p) {
        sa[--bound[t[p]]] = static_cast<Sa>(p);
        lastLms = p;
        ++m;
    });

    if (m > 1) {
        induceLmsSubstrings(t, sa, n, bk);
        // Gather them at the front (a store per slot instead of a branch:
        // sa[found] is at or before the slot just read).
        int found = 0;
        for (int i = 0; i < n; ++i) {
            const int p = sa[i];
            sa[found] = static_cast<Sa>(~p);
            found += p < 0;
        }

        // Step 2: lengths of the LMS substrings, stored at sa[m + p/2]
        // (LMS positions are at least two apart).  The rightmost one runs
        // into the sentinel and is unlike every other: length 0 marks it.
        Sa* const slot = sa + m;
        const int half = n >> 1;
        for (int i = 0; i < half; ++i) slot[i] = 0;
        // Every position rewrites its slot, with the old value unless it is
        // LMS: no branch on the type, which text makes unpredictable.  Slot
        // (n-1)/2 may lie past the cleared ones; n-1 is never LMS.
        {
            bool nextIsS = false;
            int next = t[n - 1];
            int nextLms = -1;
            for (int i = n - 2; i >= 0; --i) {
                const int c = t[i];
                const bool isS = isSType(c, next, nextIsS);
                const bool lms = !isS && nextIsS;
                const int p = i + 1;
                const int len = nextLms < 0 ? 0 : nextLms - p + 1;
                Sa& cell = slot[p >> 1];
                cell = lms ? static_cast<Sa>(len) : cell;
                nextLms = lms ? p : nextLms;
                nextIsS = isS;
                next = c;
            }
        }

        int names = 0;
        int prev = 0;
        int prevLen = 0;
        for (int i = 0; i < m; ++i) {
            const int p = sa[i];
            const int len = slot[p >> 1];
            bool differs = len == 0 || len != prevLen;
            for (int d = 0; !differs && d < len; ++d) differs = t[p + d] != t[prev + d];
            if (differs) {
                ++names;
                prev = p;
                prevLen = len;
            }
            slot[p >> 1] = static_cast<Sa>(names);
        }

        if (names < m) {
            // The string of names in text order, at the top of the free
            // space (written from the top down, never over unread names).
            // Each step stores into the next free place and only advances
            // past a name; that place never lies below the slot being read.
            Sa* const reduced = sa + n + fs - m;
            for (int i = half - 1, r = m - 1; r >= 0; --i) {
                const int v = slot[i];
                reduced[r] = static_cast<Sa>(v - 1);
                r -= v != 0;
            }
            const int freeSpace = n + fs - 2 * m;
            Sa* const subCount = sa + m + freeSpace - names;
            Sa* const subBound = (2 * names <= freeSpace) ? subCount - names : subCount;
            suffixSort<Sa, Sa, Sa>(reduced, sa, m, names, freeSpace, subCount, subBound);

            // Suffix ranks of the reduced string back to LMS positions.
            // LMS positions in text order, into the reduced string's place
            // (stored at every step, kept only at LMS positions).
            {
                bool nextIsS = false;
                int next = t[n - 1];
                for (int i = n - 2, r = m - 1; r >= 0; --i) {
                    const int c = t[i];
                    const bool isS = isSType(c, next, nextIsS);
                    reduced[r] = static_cast<Sa>(i + 1);
                    r -= !isS && nextIsS;
                    nextIsS = isS;
                    next = c;
                }
            }
            for (int i = 0; i < m; ++i) sa[i] = reduced[sa[i]];
        }
    } else if (m == 1) {
        sa[0] = static_cast<Sa>(lastLms);
    }

    // Step 3: sorted LMS suffixes to their bucket ends (from the largest, so
    // no entry is overwritten before it is moved), then induce.  The counts
    // are taken again: the reduced problem may have used their memory.
    if (count != bound) countSymbols(t, n, count, k);
    bk.ends();
    for (int i = m; i < n; ++i) sa[i] = 0;
    for (int i = m - 1; i >= 0; --i) {
        const int p = sa[i];
        sa[i] = 0;
        sa[--bound[t[p]]] = static_cast<Sa>(p);
    }
    induceSuffixes(t, sa, n, bk);
}

}  // namespace orvdc::bwt
