// Inputs and oracle helpers shared by the format layer's tests.  The tests
// link only the public libraries (orvdc, orvdc_formats) and the oracles.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct NamedInput {
    std::string name;
    Bytes data;
};

inline Bytes randomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

// Words from a small vocabulary: compressible like text, with long matches.
inline Bytes textBytes(std::size_t n, std::uint32_t seed) {
    static const char* const words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ",
                                        "dog ", "and ", "runs ", "away\n", "record ", "value "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 13];
        for (const char* p = w; *p && b.size() < n; ++p) b.push_back(static_cast<std::uint8_t>(*p));
    }
    return b;
}

// Text, random bytes and runs in turn.
inline Bytes mixedBytes(std::size_t n, std::uint32_t seed) {
    Bytes b;
    std::mt19937 rng(seed);
    while (b.size() < n) {
        const std::size_t piece = 1000 + rng() % 40000;
        Bytes part;
        switch (rng() % 3) {
            case 0: part = textBytes(piece, rng()); break;
            case 1: part = randomBytes(piece, rng()); break;
            default: part.assign(piece, static_cast<std::uint8_t>(rng())); break;
        }
        b.insert(b.end(), part.begin(), part.end());
    }
    b.resize(n);
    return b;
}

// The first `limit` bytes of a corpus file, empty when it is not there.
inline Bytes corpusBytes(const char* name, std::size_t limit) {
    Bytes b;
    const std::string path = std::string(ORVDC_CORPUS_DIR) + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        b.resize(limit);
        b.resize(std::fread(b.data(), 1, limit, f));
        std::fclose(f);
    }
    return b;
}

// Cuts a buffer into pieces of the sizes given in turn (cycled).
class Pieces {
public:
    explicit Pieces(std::vector<std::size_t> sizes) : sizes_(std::move(sizes)) {}
    std::size_t next() {
        const std::size_t s = sizes_[i_ % sizes_.size()];
        ++i_;
        return s;
    }

private:
    std::vector<std::size_t> sizes_;
    std::size_t i_ = 0;
};
