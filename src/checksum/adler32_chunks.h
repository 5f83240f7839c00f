// The frame every Adler-32 kernel shares: the input is cut into chunks short
// enough that neither 32-bit sum can overflow, a kernel adds each chunk to the
// unreduced sums, and both sums are reduced modulo 65521 after each chunk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvdc::adler {

inline constexpr std::uint32_t kBase = 65521;
// Largest n for which 255 n (n + 1) / 2 + (n + 1)(65535) < 2^32: a chunk this
// long cannot overflow either sum, even from the largest incoming halves.
inline constexpr std::size_t kMaxChunk = 5552;

// Adds n bytes to s1 and s2, n no more than the kernel's chunk limit; the
// sums may be left unreduced.
using AddChunk = void (*)(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p, std::size_t n);

inline void addBytes(std::uint32_t& s1, std::uint32_t& s2, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        s1 += p[i];
        s2 += s1;
    }
}

// Chunks are a multiple of `step` bytes (the kernel's widest step) until the
// last, so only the very end of the input can leave a partial step.  Kernels
// that reduce in wider arithmetic may take chunks longer than kMaxChunk.
template <std::size_t kStep, AddChunk kAdd, std::size_t kChunkLimit = kMaxChunk>
inline std::uint32_t update(std::uint32_t adler, const std::uint8_t* p, std::size_t n) {
    constexpr std::size_t kChunk = kChunkLimit / kStep * kStep;
    std::uint32_t s1 = adler & 0xFFFF;
    std::uint32_t s2 = adler >> 16;
    while (n > 0) {
        const std::size_t m = n < kChunk ? n : kChunk;
        kAdd(s1, s2, p, m);
        s1 %= kBase;
        s2 %= kBase;
        p += m;
        n -= m;
    }
    return (s2 << 16) | s1;
}

// Weights m, m-1, ..., 1 of the bytes of an m-byte step in s2, for the
// multiply-add instructions: a step of m bytes reads the 64 entries from
// 64 - m on, the weights followed by zeros.
alignas(64) inline constexpr std::int8_t kWeights[128] = {
    64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49,
    48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33,
    32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17,
    16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};

}  // namespace orvdc::adler
