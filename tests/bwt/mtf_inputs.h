// Inputs of the move-to-front tests: random, skewed, text-like and clustered
// data, edge cases, and the start of every corpus file.
#pragma once

#include <algorithm>
#include <vector>

#include "common/test_support.h"

namespace orvdc::test::mtf {

// Block-sorted-like data: long stretches of few symbols.
inline Bytes clusteredBytes(std::size_t n, std::uint64_t seed) {
    orvdc::test::Rng rng(seed);
    Bytes out;
    while (out.size() < n) {
        const std::uint8_t v = static_cast<std::uint8_t>(rng.below(4) == 0 ? rng.below(256) : rng.below(8));
        out.insert(out.end(), 1 + rng.below(12), v);
    }
    out.resize(n);
    return out;
}

inline std::vector<Bytes> sampleInputs() {
    std::vector<Bytes> inputs = {
        orvdc::test::randomBytes(5000, 1), orvdc::test::skewedBytes(5000, 40, 2),
        orvdc::test::textLikeBytes(5000, 3), clusteredBytes(5000, 4), Bytes(300, 255), {0, 255, 0, 255, 128}};
    for (const auto& path : orvdc::test::corpusFiles()) {
        Bytes file = orvdc::test::readFile(path);
        file.resize(std::min<std::size_t>(file.size(), 20000));
        inputs.push_back(file);
    }
    return inputs;
}

}  // namespace orvdc::test::mtf
