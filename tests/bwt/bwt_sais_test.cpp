// The suffix sorter inside the forward transform, with 32-bit and 16-bit
// suffix arrays and only the n/2 free elements a transform guarantees it,
// against a naive suffix sort on small texts and a check of order and
// completeness on large ones (the transform tests compare with
// libdivsufsort); the LMS scan against the definition of the types; and the
// least-rotation search.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>

#include "bwt/bwt_lms_scan.h"
#include "bwt/bwt_rotation.h"
#include "bwt/bwt_sais.h"
#include "bwt_support.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::bwt::fibonacci;
using orvdc::test::bwt::repeated;

// The two places a caller may put the bucket tables: after the free space
// (as the transform does: the sorter then keeps its counts and LMS lengths
// above the suffix array, and high-entropy texts of 64 KiB and more may take
// the radix shortcut), or before the suffix array, so that only the n/2 free
// elements are available.
enum class Layout { kTablesAbove, kTablesBelow };

template <class Sa>
std::vector<std::int32_t> librarySuffixArray(const Bytes& t, Layout layout) {
    const auto n = static_cast<int>(t.size());
    // 512 32-bit bucket entries are 1024 or 2048 elements of Sa.
    constexpr int kTables = 512 * 4 / static_cast<int>(sizeof(Sa));
    // Above: the tables start on a 4-byte boundary, as the transform's do.
    const int above = n / 2 + 1100 + ((n + n / 2 + 1100) & 1);
    const int fs = layout == Layout::kTablesAbove ? above : n / 2;
    std::vector<Sa> memory(static_cast<std::size_t>(n + fs + kTables));
    Sa* const sa = layout == Layout::kTablesAbove ? memory.data() : memory.data() + kTables;
    auto* const tables = reinterpret_cast<std::int32_t*>(layout == Layout::kTablesAbove ? sa + n + fs : memory.data());
    orvdc::bwt::suffixSort<Sa, std::uint8_t, std::int32_t>(t.data(), sa, n, 256, fs, tables, tables + 256);
    return std::vector<std::int32_t>(sa, sa + n);
}

// Whether sa is a permutation of 0..n-1 listing the suffixes in increasing
// order (each neighbouring pair compared up to its first difference).
bool isSuffixArray(const Bytes& t, const std::vector<std::int32_t>& sa) {
    std::vector<char> seen(t.size());
    for (std::int32_t p : sa) {
        if (p < 0 || static_cast<std::size_t>(p) >= t.size() || seen[static_cast<std::size_t>(p)]) return false;
        seen[static_cast<std::size_t>(p)] = 1;
    }
    for (std::size_t i = 1; i < sa.size(); ++i) {
        if (!std::lexicographical_compare(t.begin() + sa[i - 1], t.end(), t.begin() + sa[i], t.end())) return false;
    }
    return true;
}

// Random, skewed, text-like, periodic and Fibonacci texts, and a zigzag text
// in which nearly every other position starts an LMS substring and most of
// them differ: the largest reduced problem, with the most names.
std::vector<Bytes> texts(std::size_t maxLen, std::uint64_t seed) {
    std::vector<Bytes> out;
    orvdc::test::Rng rng(seed);
    for (std::uint64_t round = 0; round < 30; ++round) {
        const std::size_t n = 1 + rng.below(static_cast<std::uint32_t>(maxLen));
        out.push_back(orvdc::test::randomBytes(n, seed + round));
        out.push_back(orvdc::test::skewedBytes(n, 2 + round % 3, seed * 3 + round));
        out.push_back(orvdc::test::textLikeBytes(n, seed * 5 + round));
        out.push_back(repeated(n, 1 + rng.below(20), seed * 7 + round, 3));
        out.push_back(fibonacci(n));
    }
    Bytes zigzag(maxLen);
    for (std::size_t i = 0; i < maxLen; ++i) {
        zigzag[i] = static_cast<std::uint8_t>((i & 1) ? 200 + rng.below(50) : rng.below(50));
    }
    out.push_back(zigzag);
    return out;
}

TEST(BwtSuffixSort, MatchesNaiveSort) {
    for (const Bytes& t : texts(600, 1)) {
        std::vector<std::int32_t> expected(t.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
            return std::lexicographical_compare(t.begin() + a, t.end(), t.begin() + b, t.end());
        });
        for (Layout layout : {Layout::kTablesAbove, Layout::kTablesBelow}) {
            ASSERT_EQ(librarySuffixArray<std::int32_t>(t, layout), expected) << "n=" << t.size();
            ASSERT_EQ(librarySuffixArray<std::int16_t>(t, layout), expected) << "n=" << t.size();
        }
    }
}

// Random bytes mostly, where the LMS suffixes are sorted by their first four
// bytes (texts of 16 KiB and more) or, when that cannot be, by induction:
// random blocks (the shortcut works), with a short word planted more than
// 32 times (a tie group too large), with two long equal stretches (the
// comparisons run out of their budget), with both, with 33 copies of a
// stretch (large groups whose comparisons run out), with a repetitive tail
// (the rightmost suffixes tie), over a smaller alphabet, and text (the
// shortcut is not tried).  The same cases meet the sorting of shared LMS
// names without recursion (insertion for small groups, heapsort for the
// planted word's) on pieces too short for the shortcut; with the tables
// below the suffix array neither shortcut has room.
TEST(BwtSuffixSort, LargeTextsWhateverPathTheyTake) {
    constexpr std::size_t kN = 70000;
    std::vector<std::pair<std::string, Bytes>> cases;
    cases.emplace_back("random", orvdc::test::randomBytes(kN, 1));
    Bytes planted = orvdc::test::randomBytes(kN, 2);
    for (std::size_t at = 100; at + 6 < kN; at += 400) {
        std::copy_n("\x01word!", 6, planted.begin() + static_cast<std::ptrdiff_t>(at));
    }
    cases.emplace_back("planted word", planted);
    Bytes stretches = orvdc::test::randomBytes(kN, 3);
    std::copy_n(stretches.begin() + 20000, 5000, stretches.begin() + 27000);
    cases.emplace_back("equal stretches", stretches);
    Bytes both = planted;
    std::copy_n(both.begin() + 20000, 5000, both.begin() + 27000);
    cases.emplace_back("planted word in equal stretches", both);
    Bytes copies = orvdc::test::randomBytes(kN, 7);
    for (std::size_t at = 3000; at < 3000 + 33 * 2000; at += 2000) {
        std::copy_n(copies.begin() + 1000, 180, copies.begin() + static_cast<std::ptrdiff_t>(at));
    }
    cases.emplace_back("33 copies of a stretch", copies);
    Bytes tail = orvdc::test::randomBytes(kN, 4);
    for (std::size_t i = kN - 60; i < kN; ++i) tail[i] = tail[i - 7];
    cases.emplace_back("repetitive tail", tail);
    Bytes small = orvdc::test::randomBytes(kN, 5);
    for (auto& b : small) b = static_cast<std::uint8_t>(b % 200);
    cases.emplace_back("200 values", small);
    cases.emplace_back("text", orvdc::test::textLikeBytes(kN, 6));
    for (const auto& [what, t] : cases) {
        for (Layout layout : {Layout::kTablesAbove, Layout::kTablesBelow}) {
            EXPECT_TRUE(isSuffixArray(t, librarySuffixArray<std::int32_t>(t, layout)))
                << what << (layout == Layout::kTablesAbove ? " above" : " below");
        }
        // The planted word and the copied stretch reach into the piece.
        const Bytes piece(t.begin() + 20000, t.begin() + 20000 + 16000);
        EXPECT_TRUE(isSuffixArray(piece, librarySuffixArray<std::int32_t>(piece, Layout::kTablesAbove))) << what;
        EXPECT_TRUE(isSuffixArray(piece, librarySuffixArray<std::int16_t>(piece, Layout::kTablesAbove))) << what;
    }
}

// The LMS positions found 64 at a time against the types computed one
// position at a time, for bytes and for the 16-bit and 32-bit names of
// reduced problems, at lengths around the 64-position words.
template <class Sym>
void checkLmsScan(const std::vector<Sym>& t) {
    const auto n = static_cast<int>(t.size());
    std::vector<char> sType(t.size());
    for (int i = n - 2; i >= 0; --i) sType[i] = t[i] < t[i + 1] || (t[i] == t[i + 1] && sType[i + 1]);
    std::vector<int> expected, found;
    for (int i = n - 1; i >= 1; --i) {
        if (sType[i] && !sType[i - 1]) expected.push_back(i);
    }
    orvdc::bwt::forEachLms(t.data(), n, [&](int p) { found.push_back(p); });
    ASSERT_EQ(found, expected) << "n=" << n << " symbol size " << sizeof(Sym);
}

TEST(BwtLmsScan, MatchesTypeDefinition) {
    orvdc::test::Rng rng(9);
    for (int round = 0; round < 3000; ++round) {
        const int n = 2 + static_cast<int>(rng.below(round < 2500 ? 200 : 3000));
        // Small alphabets and long runs make long chains of equal symbols.
        const std::uint32_t alphabet = round % 5 == 0 ? 256 : 1 + rng.below(3);
        const std::uint32_t run = 1 + rng.below(round % 3 == 0 ? 150 : 3);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
        std::vector<std::int16_t> shorts(bytes.size());
        std::vector<std::int32_t> ints(bytes.size());
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i % run == 0) value = rng.below(alphabet);
            bytes[i] = static_cast<std::uint8_t>(alphabet == 256 ? value : 255 - value);
            shorts[i] = static_cast<std::int16_t>(value * 100);
            ints[i] = static_cast<std::int32_t>(value * 1000000);
        }
        checkLmsScan(bytes);
        checkLmsScan(shorts);
        checkLmsScan(ints);
    }
}

TEST(BwtRotation, FindsLeastRotationAndSmallestPeriod) {
    orvdc::test::Rng rng(3);
    for (std::uint64_t round = 0; round < 2200; ++round) {
        // Larger blocks of all byte values put the smallest byte far apart.
        const bool large = round >= 2000;
        const std::size_t n = 1 + rng.below(large ? 400 : 40);
        const Bytes s = repeated(n, 1 + rng.below(static_cast<std::uint32_t>(n)), round, large ? 256 : 1 + round % 3);
        const auto found = orvdc::bwt::leastRotation(s.data(), static_cast<std::int32_t>(n));
        const auto order = orvdc::test::bwt::sortedRotations(s);
        // Its rotation is the least one (row 0 of the sorted rotations).
        const auto least = static_cast<std::size_t>(order[0]), start = static_cast<std::size_t>(found.start);
        for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(s[(start + k) % n], s[(least + k) % n]);
        // The period is the smallest p dividing n with s equal to its
        // rotation by p.
        std::size_t p = 1;
        while (p < n && (n % p != 0 || !std::equal(s.begin() + static_cast<std::ptrdiff_t>(p), s.end(), s.begin()))) ++p;
        ASSERT_EQ(static_cast<std::size_t>(found.period), p) << "round " << round;
    }
}

}  // namespace
