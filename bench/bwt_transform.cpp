// Forward and inverse BWT speed on 900 KB blocks of text and of repetitive
// data (runs of one byte, periods 2, 17 and 1000, a Fibonacci word, a
// Thue-Morse word, random bytes over 2 and 4 values), random bytes, on every
// corpus file (its first 900 KB), and for the small-block variant on 32 KB
// pieces, beside libdivsufsort's divbwt and inverse_bw_transform.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bench_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_DIVSUFSORT
#include <divsufsort.h>
#endif

namespace {

using orvdc::bench::Bytes;

constexpr std::size_t kBlock = 900000;

// The corpus text files one after another, cut to one block.
Bytes corpusText(std::size_t n) {
    Bytes out;
    for (const auto& [name, data] : orvdc::bench::corpus()) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) {
            out.insert(out.end(), data.begin(), data.end());
        }
    }
    if (out.empty()) out = orvdc::bench::randomBytes(n);
    while (out.size() < n) out.insert(out.end(), out.begin(), out.end());
    out.resize(n);
    return out;
}

Bytes periodic(std::size_t n, std::size_t period) {
    const Bytes word = orvdc::bench::randomBytes(period);
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = word[i % period];
    return out;
}

Bytes fibonacci(std::size_t n) {
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

Bytes thueMorse(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>('a' + std::popcount(i) % 2);
    return out;
}

// Random bytes over the first `values` byte values.
Bytes randomOver(std::size_t n, unsigned values) {
    Bytes out = orvdc::bench::randomBytes(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(b % values);
    return out;
}

const std::vector<std::pair<std::string, Bytes>>& inputs() {
    static const std::vector<std::pair<std::string, Bytes>> kInputs = [] {
        std::vector<std::pair<std::string, Bytes>> v;
        v.emplace_back("text", corpusText(kBlock));
        v.emplace_back("one_byte", Bytes(kBlock, 'a'));
        v.emplace_back("period2", periodic(kBlock, 2));
        v.emplace_back("period17", periodic(kBlock, 17));
        v.emplace_back("period1000", periodic(kBlock, 1000));
        v.emplace_back("fibonacci", fibonacci(kBlock));
        v.emplace_back("thue_morse", thueMorse(kBlock));
        v.emplace_back("random_2", randomOver(kBlock, 2));
        v.emplace_back("random_4", randomOver(kBlock, 4));
        v.emplace_back("random", orvdc::bench::randomBytes(kBlock));
        for (auto& [name, data] : orvdc::bench::corpus()) {
            v.emplace_back("corpus/" + name, Bytes(data.begin(), data.begin() + std::min(data.size(), kBlock)));
        }
        return v;
    }();
    return kInputs;
}

void forward(benchmark::State& state, const Bytes* in) {
    const auto n = static_cast<std::int32_t>(in->size());
    std::int32_t size = 0;
    orvsBWTFwdGetSize_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size)), out(in->size());
    std::int32_t index = 0;
    for (auto _ : state) {
        orvsBWTFwd_8u(in->data(), out.data(), n, &index, work.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void inverse(benchmark::State& state, const Bytes* in) {
    const auto n = static_cast<std::int32_t>(in->size());
    std::int32_t size = 0;
    orvsBWTFwdGetSize_8u(n, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size)), last(in->size()), out(in->size());
    std::int32_t index = 0;
    orvsBWTFwd_8u(in->data(), last.data(), n, &index, work.data());
    for (auto _ : state) {
        orvsBWTInv_8u(last.data(), out.data(), n, index, work.data());
        benchmark::DoNotOptimize(out.data());
    }
    if (out != *in) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

// The small-block transforms over the block in 32 KB pieces.
void forwardSmall(benchmark::State& state, const Bytes* in) {
    constexpr std::int32_t kPiece = 32768;
    std::int32_t size = 0;
    orvsBWTGetSize_SmallBlock_8u(kPiece, &size);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size)), out(in->size());
    std::int32_t index = 0;
    const auto n = static_cast<std::int32_t>(in->size());
    for (auto _ : state) {
        for (std::int32_t at = 0; at < n; at += kPiece) {
            const std::int32_t len = std::min(kPiece, n - at);
            orvsBWTFwd_SmallBlock_8u(in->data() + at, out.data() + at, len, &index, work.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void inverseSmall(benchmark::State& state, const Bytes* in) {
    constexpr std::int32_t kPiece = 32768;
    std::int32_t size = 0;
    orvsBWTGetSize_SmallBlock_8u(kPiece, &size);
    const auto n = static_cast<std::int32_t>(in->size());
    std::vector<std::uint8_t> work(static_cast<std::size_t>(size)), last(in->size()), out(in->size());
    std::vector<std::int32_t> index;
    for (std::int32_t at = 0; at < n; at += kPiece) {
        index.push_back(0);
        orvsBWTFwd_SmallBlock_8u(in->data() + at, last.data() + at, std::min(kPiece, n - at), &index.back(),
                                 work.data());
    }
    for (auto _ : state) {
        for (std::int32_t at = 0, k = 0; at < n; at += kPiece, ++k) {
            orvsBWTInv_SmallBlock_8u(last.data() + at, out.data() + at, std::min(kPiece, n - at),
                                     index[static_cast<std::size_t>(k)], work.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    if (out != *in) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

#ifdef ORVDC_HAVE_DIVSUFSORT
void peerForward(benchmark::State& state, const Bytes* in) {
    const auto n = static_cast<saidx_t>(in->size());
    std::vector<saidx_t> work(in->size());
    std::vector<std::uint8_t> out(in->size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(divbwt(in->data(), out.data(), work.data(), n));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void peerInverse(benchmark::State& state, const Bytes* in) {
    const auto n = static_cast<saidx_t>(in->size());
    std::vector<saidx_t> work(in->size());
    std::vector<std::uint8_t> last(in->size()), out(in->size());
    const saidx_t primary = divbwt(in->data(), last.data(), work.data(), n);
    for (auto _ : state) {
        inverse_bw_transform(last.data(), out.data(), work.data(), n, primary);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != *in) state.SkipWithError("peer round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}
#endif

const bool kRegistered = [] {
    for (const auto& [name, data] : inputs()) {
        const Bytes* in = &data;
        benchmark::RegisterBenchmark(("fwd/orvdc/" + name).c_str(), forward, in)->Unit(benchmark::kMillisecond);
#ifdef ORVDC_HAVE_DIVSUFSORT
        benchmark::RegisterBenchmark(("fwd/divbwt/" + name).c_str(), peerForward, in)
            ->Unit(benchmark::kMillisecond);
#endif
        benchmark::RegisterBenchmark(("inv/orvdc/" + name).c_str(), inverse, in)->Unit(benchmark::kMillisecond);
#ifdef ORVDC_HAVE_DIVSUFSORT
        benchmark::RegisterBenchmark(("inv/divsufsort/" + name).c_str(), peerInverse, in)
            ->Unit(benchmark::kMillisecond);
#endif
        if (name == "text" || name == "one_byte" || name == "random") {
            benchmark::RegisterBenchmark(("fwd_small/orvdc/" + name).c_str(), forwardSmall, in)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("inv_small/orvdc/" + name).c_str(), inverseSmall, in)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace
