// Inputs shared by the benchmark programs: the corpus files when present and
// synthetic buffers of fixed sizes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace orvdc::bench {

using Bytes = std::vector<std::uint8_t>;

// (name, content) of each corpus file, sorted by name; empty without corpus.
inline std::vector<std::pair<std::string, Bytes>> corpus() {
    std::vector<std::pair<std::string, Bytes>> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(ORVDC_CORPUS_DIR, ec)) {
        const auto name = e.path().filename().string();
        if (!e.is_regular_file() || name == "README.md" || name == "SHA256SUMS") continue;
        std::ifstream in(e.path(), std::ios::binary);
        out.emplace_back(name, Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// n pseudo-random bytes (fixed seed).
inline Bytes randomBytes(std::size_t n) {
    Bytes out(n);
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    for (auto& b : out) {
        s ^= s >> 12; s ^= s << 25; s ^= s >> 27;
        b = static_cast<std::uint8_t>((s * 0x2545F4914F6CDD1Dull) >> 56);
    }
    return out;
}

}  // namespace orvdc::bench
