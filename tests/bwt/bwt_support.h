// Shared by the BWT tests: a naive reference that sorts all rotations, and
// wrappers that run the library with work buffers of exactly the size it may
// use, at a chosen offset (the sanitizer build catches any access past them).
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

namespace orvdc::test::bwt {

// All rotations of s, sorted by comparing n bytes cyclically.
inline std::vector<std::int32_t> sortedRotations(const Bytes& s) {
    const std::size_t n = s.size();
    std::vector<std::int32_t> rot(n);
    std::iota(rot.begin(), rot.end(), 0);
    std::stable_sort(rot.begin(), rot.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < n; ++k) {
            if (s[(a + k) % n] != s[(b + k) % n]) return s[(a + k) % n] < s[(b + k) % n];
        }
        return false;
    });
    return rot;
}

inline Bytes lastColumn(const Bytes& s, const std::vector<std::int32_t>& order) {
    Bytes out(s.size());
    for (std::size_t k = 0; k < s.size(); ++k) out[k] = s[(static_cast<std::size_t>(order[k]) + s.size() - 1) % s.size()];
    return out;
}

// True when the rotation in the given row equals the block itself (periodic
// blocks have several such rows).
inline bool rowIsBlock(const Bytes& s, const std::vector<std::int32_t>& order, std::int32_t row) {
    if (row < 0 || static_cast<std::size_t>(row) >= s.size()) return false;
    const auto start = static_cast<std::size_t>(order[static_cast<std::size_t>(row)]);
    for (std::size_t k = 0; k < s.size(); ++k) {
        if (s[(start + k) % s.size()] != s[k]) return false;
    }
    return true;
}

struct Transformed {
    Bytes last;
    std::int32_t index = -1;
    orvStatus status = orvStsOk;
};

inline Transformed forward(const Bytes& s, bool small, std::size_t offset = 0) {
    const auto n = static_cast<std::int32_t>(s.size());
    std::int32_t size = 0;
    small ? orvsBWTGetSize_SmallBlock_8u(n, &size) : orvsBWTFwdGetSize_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size) + offset);
    Transformed t;
    t.last.resize(s.size());
    t.status = (small ? orvsBWTFwd_SmallBlock_8u : orvsBWTFwd_8u)(s.data(), t.last.data(), n, &t.index,
                                                                  work.data() + offset);
    return t;
}

// The small inverse gets only the 2n + 512 bytes it promises to use.
inline Bytes inverse(const Bytes& last, std::int32_t index, bool small, std::size_t offset = 0) {
    const auto n = static_cast<std::int32_t>(last.size());
    std::int32_t size = 2 * n + 512;
    if (!small) orvsBWTInvGetSize_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size) + offset);
    Bytes out(last.size());
    const orvStatus st = (small ? orvsBWTInv_SmallBlock_8u : orvsBWTInv_8u)(last.data(), out.data(), n, index,
                                                                            work.data() + offset);
    return st == orvStsOk ? out : Bytes{};
}

// A random word of `period` bytes (below `alphabet`) repeated to n bytes.
inline Bytes repeated(std::size_t n, std::size_t period, std::uint64_t seed, unsigned alphabet = 256) {
    Rng rng(seed);
    Bytes word(period), out(n);
    for (auto& b : word) b = static_cast<std::uint8_t>(rng.below(alphabet));
    for (std::size_t i = 0; i < n; ++i) out[i] = word[i % period];
    return out;
}

// Prefix of the Fibonacci word over {a, b}: highly repetitive, aperiodic.
inline Bytes fibonacci(std::size_t n) {
    Bytes a{'a'}, b{'a', 'b'};
    while (b.size() < n) {
        Bytes next = b;
        next.insert(next.end(), a.begin(), a.end());
        a = std::move(b);
        b = std::move(next);
    }
    b.resize(n);
    return b;
}

}  // namespace orvdc::test::bwt
