// The induced passes of the suffix sorter (bwt_sais.h).
//
// A pass reads SA in order and, for each entry p, reads the symbol before p
// (a random access into the text) and writes p - 1 to the next slot of that
// symbol's bucket.  The text symbols of the entries kAhead slots further on
// are prefetched, and for reduced problems, whose alphabets outgrow the
// first-level cache, so are their bucket counters, kAhead / 2 slots on.
// Entries ahead may not be written yet when they are prefetched (a pass
// fills its own bucket as it goes); that prefetch is merely useless.
//
// Marks: an entry is stored complemented when the pass it belongs to is not
// the current one (see bwt_sais.h).  Position 0 stands as 0 and induces
// nothing, and so does an empty slot.
//
// Three kinds of pass pairs:
//  - kLmsSubstrings (step 1): only the LMS entries survive, complemented;
//  - kSuffixes (step 3): the suffix array;
//  - kLastColumn (step 3 of the first level, for the transform): instead of
//    the suffix array, every slot ends up with the complement of the symbol
//    before its suffix (the last column, cyclically: t[n-1] for suffix 0),
//    and the slot where suffix `start` is placed is returned.  A suffix is
//    placed for good exactly once, when a pass induces it (L-type ones by
//    the L pass, S-type ones, LMS included, by the S pass), so that is
//    where `start` is looked for.  The symbol before a slot's suffix is read
//    by the pass that induces from it anyway; the S pass stores the symbol
//    directly for an induced suffix that induces nothing itself (its
//    predecessor is L-type, or it is 0).  Symbols are stored complemented,
//    so both passes take them for finished entries.
#pragma once

#include <cstdint>

namespace orvdc::bwt {

enum class Pass { kLmsSubstrings, kSuffixes, kLastColumn };

constexpr int kAhead = 32;

// The text position whose symbol entry p reads: p - 1, or 0 for an entry
// that induces nothing (any valid position would do).
inline int inducedFrom(int p) {
    return p > 0 ? p - 1 : 0;
}

template <class Sa, class Sym, class Bk>
inline void prefetchAhead(const Sym* t, const Sa* sa, const Bk* bound, int near, int far) {
    __builtin_prefetch(t + inducedFrom(sa[far]));
    if constexpr (sizeof(Sym) > 1) __builtin_prefetch(bound + t[inducedFrom(sa[near])]);
}

template <class Sa>
inline Sa marked(int j, bool otherPass) {
    return static_cast<Sa>(otherPass ? ~j : j);
}

// L pass from the left; bound[] holds the bucket starts.  Every entry p > 0
// stores p - 1 at the next free slot of its bucket, complemented when p - 2
// is S-type (t[p-2] < t[p-1]).  Scanned slots: for kLmsSubstrings cleared
// when they induced and complemented back otherwise; for kSuffixes all
// complemented; for kLastColumn the symbol t[p-1] (or t[n-1] for p = 0) when
// positive, complemented back when negative.  Returns the slot where
// `start` was induced, or -1.
template <Pass pass, class Sa, class Sym, class Bk>
int induceL(const Sym* t, Sa* sa, int n, Bk* bound, int start = -1) {
    int row = -1;
    {
        const int j = n - 1;
        const int c = t[j];
        row = j == start ? static_cast<int>(bound[c]) : row;
        sa[bound[c]++] = marked<Sa>(j, t[j - 1] < c);
    }
    const auto step = [&](int i) {
        const int p = sa[i];
        if constexpr (pass == Pass::kLmsSubstrings) {
            sa[i] = static_cast<Sa>(p < 0 ? ~p : 0);
        } else if constexpr (pass == Pass::kSuffixes) {
            sa[i] = static_cast<Sa>(~p);
        } else {
            sa[i] = static_cast<Sa>(p < 0 ? ~p : ~static_cast<int>(t[p > 0 ? p - 1 : n - 1]));
        }
        if (p > 0) {
            const int j = p - 1;
            const int c = t[j];
            const int b = bound[c];
            if constexpr (pass == Pass::kLastColumn) row = j == start ? b : row;
            sa[b] = marked<Sa>(j, j > 0 && t[j - 1] < c);
            bound[c] = static_cast<Bk>(b + 1);
        }
    };
    int i = 0;
    for (; i + kAhead < n; ++i) {
        prefetchAhead(t, sa, bound, i + kAhead / 2, i + kAhead);
        step(i);
    }
    for (; i < n; ++i) step(i);
    return row;
}

// S pass from the right; bound[] holds the bucket ends.  Every entry p > 0
// stores p - 1 at the last free slot of its bucket.  kLmsSubstrings: entries
// that were complemented (LMS positions found by the pass) stay, every other
// scanned entry is cleared, and p - 1 is stored complemented when it is LMS
// (t[p-2] > t[p-1]), as 0 when it is 0.  kSuffixes: scanned entries are
// complemented back to their positions, and p - 1 is stored complemented
// when p - 2 is L-type or p - 1 is 0, so that no entry induces twice.
// kLastColumn: a scanned entry p > 0 becomes the complement of t[p-1]; an
// induced p - 1 is stored as the complement of its own preceding symbol when
// it induces nothing.  Returns the slot where `start` was induced, or -1.
template <Pass pass, class Sa, class Sym, class Bk>
int induceS(const Sym* t, Sa* sa, int n, Bk* bound, int start = -1) {
    int row = -1;
    const auto step = [&](int i) {
        const int p = sa[i];
        if (p > 0) {
            const int j = p - 1;
            const int c = t[j];
            const int b = bound[c] - 1;
            bound[c] = static_cast<Bk>(b);
            if constexpr (pass == Pass::kLmsSubstrings) {
                sa[i] = 0;
                sa[b] = static_cast<Sa>(j == 0 ? 0 : (t[j - 1] > c ? ~j : j));
            } else if constexpr (pass == Pass::kSuffixes) {
                sa[b] = marked<Sa>(j, j == 0 || t[j - 1] > c);
            } else {
                sa[i] = static_cast<Sa>(~c);
                row = j == start ? b : row;
                const int before = t[j == 0 ? n - 1 : j - 1];
                sa[b] = static_cast<Sa>(j == 0 || before > c ? ~before : j);
            }
        } else if constexpr (pass == Pass::kSuffixes) {
            sa[i] = static_cast<Sa>(~p);
        }
    };
    int i = n - 1;
    for (; i - kAhead >= 0; --i) {
        prefetchAhead(t, sa, bound, i - kAhead / 2, i - kAhead);
        step(i);
    }
    for (; i >= 0; --i) step(i);
    return row;
}

}  // namespace orvdc::bwt
