// Shared by the BWT tests: a naive reference that sorts all rotations, and
// wrappers that run the library with work buffers of exactly the reported
// size (so any access past them is caught by the sanitizer build).
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

namespace orvdc::test::bwt {

struct Transformed {
    Bytes last;
    std::int32_t index = -1;
    orvStatus status = orvStsOk;
};

// All rotations, sorted by comparing n bytes cyclically; equal rotations
// keep their start order.
inline std::vector<std::int32_t> sortedRotations(const Bytes& s) {
    const auto n = static_cast<std::int32_t>(s.size());
    std::vector<std::int32_t> rot(s.size());
    std::iota(rot.begin(), rot.end(), 0);
    std::stable_sort(rot.begin(), rot.end(), [&](std::int32_t a, std::int32_t b) {
        for (std::int32_t k = 0; k < n; ++k) {
            const std::uint8_t x = s[static_cast<std::size_t>((a + k) % n)];
            const std::uint8_t y = s[static_cast<std::size_t>((b + k) % n)];
            if (x != y) return x < y;
        }
        return false;
    });
    return rot;
}

// Last column of the sorted rotation matrix.
inline Bytes lastColumn(const Bytes& s, const std::vector<std::int32_t>& order) {
    const std::size_t n = s.size();
    Bytes out(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = s[(static_cast<std::size_t>(order[k]) + n - 1) % n];
    return out;
}

// True when the rotation in the given row equals the block itself.
inline bool rowIsBlock(const Bytes& s, const std::vector<std::int32_t>& order, std::int32_t row) {
    if (row < 0 || static_cast<std::size_t>(row) >= s.size()) return false;
    const std::size_t n = s.size();
    const auto start = static_cast<std::size_t>(order[static_cast<std::size_t>(row)]);
    for (std::size_t k = 0; k < n; ++k) {
        if (s[(start + k) % n] != s[k]) return false;
    }
    return true;
}

inline Transformed forwardLarge(const Bytes& s, std::size_t offset = 0) {
    const auto n = static_cast<std::int32_t>(s.size());
    std::int32_t size = 0;
    orvsBWTFwdGetSize_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size) + offset);
    Transformed t;
    t.last.resize(s.size());
    t.status = orvsBWTFwd_8u(s.data(), t.last.data(), n, &t.index, work.data() + offset);
    return t;
}

inline Transformed forwardSmall(const Bytes& s, std::size_t offset = 0) {
    const auto n = static_cast<std::int32_t>(s.size());
    std::int32_t size = 0;
    orvsBWTGetSize_SmallBlock_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size) + offset);
    Transformed t;
    t.last.resize(s.size());
    t.status = orvsBWTFwd_SmallBlock_8u(s.data(), t.last.data(), n, &t.index, work.data() + offset);
    return t;
}

inline Bytes inverseLarge(const Bytes& last, std::int32_t index, std::size_t offset = 0) {
    const auto n = static_cast<std::int32_t>(last.size());
    std::int32_t size = 0;
    orvsBWTInvGetSize_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size) + offset);
    Bytes out(last.size());
    if (orvsBWTInv_8u(last.data(), out.data(), n, index, work.data() + offset) != orvStsOk) return {};
    return out;
}

// The small inverse is given only the 2n + 512 bytes it promises to use.
inline Bytes inverseSmall(const Bytes& last, std::int32_t index, std::size_t offset = 0) {
    const auto n = static_cast<std::int32_t>(last.size());
    std::vector<std::uint8_t> work(2 * last.size() + 512 + offset);
    Bytes out(last.size());
    if (orvsBWTInv_SmallBlock_8u(last.data(), out.data(), n, index, work.data() + offset) != orvStsOk)
        return {};
    return out;
}

// Blocks with structure: a random word of length `period` repeated to n
// bytes (a periodic block when period divides n).
inline Bytes repeated(std::size_t n, std::size_t period, std::uint64_t seed, unsigned alphabet = 256) {
    Rng rng(seed);
    Bytes word(period);
    for (auto& b : word) b = static_cast<std::uint8_t>(rng.below(alphabet));
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = word[i % period];
    return out;
}

// Prefix of the Fibonacci word over {a, b}: highly repetitive, no period.
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
