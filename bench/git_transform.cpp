// GIT block coding speed and block size on every corpus file and strategy.
// Counters: "ratio" is block size / input size; "zlib6" is the size zlib's
// level 6 reaches on the same file, for context (there is no peer for the
// transform itself).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/bench_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using orvdc::bench::Bytes;

double zlibRatio(const Bytes& data) {
#ifdef ORVDC_HAVE_ZLIB
    uLongf len = compressBound(static_cast<uLong>(data.size()));
    Bytes out(len);
    if (compress2(out.data(), &len, data.data(), static_cast<uLong>(data.size()), 6) != Z_OK) return 0;
    return static_cast<double>(len) / static_cast<double>(data.size());
#else
    (void)data;
    return 0;
#endif
}

struct Encoder {
    GITState* state = nullptr;
    Bytes block;
    explicit Encoder(const Bytes& data) {
        const auto n = static_cast<std::int32_t>(data.size());
        const std::int32_t maxDst = 2 * n + 8192;
        orvsEncodeGITInitAlloc_8u(n, maxDst, &state);
        block.resize(static_cast<std::size_t>(maxDst));
    }
    ~Encoder() { orvsGITFree_8u(state); }
    std::int32_t encode(const Bytes& data, int strategy) {
        std::int32_t len = 0;
        if (orvsEncodeGIT_8u(data.data(), static_cast<std::int32_t>(data.size()), block.data(), &len, strategy,
                             state) != orvStsOk) {
            return -1;
        }
        return len;
    }
};

void encodeBench(benchmark::State& state, const Bytes& data, int strategy) {
    Encoder enc(data);
    std::int32_t len = 0;
    for (auto _ : state) {
        len = enc.encode(data, strategy);
        benchmark::DoNotOptimize(enc.block.data());
    }
    if (len < 0) state.SkipWithError("encoding failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
    state.counters["ratio"] = static_cast<double>(len) / static_cast<double>(data.size());
    state.counters["zlib6"] = zlibRatio(data);
}

void decodeBench(benchmark::State& state, const Bytes& data, int strategy) {
    Encoder enc(data);
    const std::int32_t len = enc.encode(data, strategy);
    const auto n = static_cast<std::int32_t>(data.size());
    GITState* dec = nullptr;
    orvsDecodeGITInitAlloc_8u(len > 0 ? len : 1, n, &dec);
    Bytes out(data.size());
    std::int32_t outLen = 0;
    orvStatus s = orvStsOk;
    for (auto _ : state) {
        s = orvsDecodeGIT_8u(enc.block.data(), len, out.data(), &outLen, strategy, dec);
        benchmark::DoNotOptimize(out.data());
    }
    orvsGITFree_8u(dec);
    if (len < 0 || s != orvStsOk || out != data) state.SkipWithError("round trip failed");
    // Speed in decoded (original) bytes.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

// Registered before main runs; only the benchmark program does this.
const bool registered = [] {
    static const auto files = orvdc::bench::corpus();
    for (const auto& [name, data] : files) {
        for (int strategy : {1, 2, 3}) {
            const std::string tag = name + "/s" + std::to_string(strategy);
            benchmark::RegisterBenchmark(("GitEncode/" + tag).c_str(), encodeBench, data, strategy)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("GitDecode/" + tag).c_str(), decodeBench, data, strategy)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace
