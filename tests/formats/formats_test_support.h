// Inputs shared by the format layer's tests (besides the common test data).
// The tests link only the public libraries (orvdc, orvdc_formats), the
// oracles and the common test support, which calls no library function.
#pragma once

#include <string>
#include <vector>

#include "common/test_support.h"

using orvdc::test::Bytes;
using orvdc::test::randomBytes;

struct NamedInput {
    std::string name;
    Bytes data;
};

inline Bytes textBytes(std::size_t n, std::uint64_t seed) { return orvdc::test::textLikeBytes(n, seed); }

// Text, random bytes and runs in turn.
inline Bytes mixedBytes(std::size_t n, std::uint64_t seed) {
    Bytes b;
    orvdc::test::Rng rng(seed);
    while (b.size() < n) {
        const std::size_t piece = 1000 + rng.below(40000);
        Bytes part;
        switch (rng.below(3)) {
            case 0: part = textBytes(piece, rng.next()); break;
            case 1: part = randomBytes(piece, rng.next()); break;
            default: part.assign(piece, static_cast<std::uint8_t>(rng.next())); break;
        }
        b.insert(b.end(), part.begin(), part.end());
    }
    b.resize(n);
    return b;
}

// The first `limit` bytes of a corpus file, empty when it is not there.
inline Bytes corpusBytes(const char* name, std::size_t limit) {
    Bytes b = orvdc::test::corpusFile(name);
    if (b.size() > limit) b.resize(limit);
    return b;
}

// Cuts a buffer into pieces of the sizes given in turn (cycled).
class Pieces {
public:
    explicit Pieces(std::vector<std::size_t> sizes) : sizes_(std::move(sizes)) {}
    std::size_t next() { return sizes_[i_++ % sizes_.size()]; }

private:
    std::vector<std::size_t> sizes_;
    std::size_t i_ = 0;
};
