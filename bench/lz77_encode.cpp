// Deflate compression speed and ratio: the three levels of the staged
// encoder (match finder, selector, fixed or dynamic blocks, zlib trailer)
// beside zlib levels 1, 3, 6, 9 and libdeflate levels 1, 6, 9, on each corpus
// file and on the whole corpus.  Speed counts input bytes; "ratio" is input
// size over compressed size.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/bench_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef ORVDC_HAVE_DEFLATE
#include <libdeflate.h>
#endif

namespace {

using orvdc::bench::Bytes;

// The whole stream with the state's own pair buffer: blocks of at most
// 65536 pairs, each coded as the selector advises (or always with dynamic
// codes).
std::size_t encodeWhole(LZ77EncoderState* st, const Bytes& in, Bytes& out, bool alwaysDynamic) {
    orvsEncodeLZ77Reset_8u(st);
    out[0] = 0x78;
    out[1] = 0x9C;
    std::uint8_t* dst = out.data() + 2;
    auto room = static_cast<std::int32_t>(out.size() - 2);
    const std::uint8_t* src = in.data();
    auto srcLen = static_cast<std::int32_t>(in.size());
    do {
        LZ77Pair* pairs;
        std::int32_t index, length;
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, st);
        orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, st);
        LZ77Pair* pd = pairs;
        orvsEncodeLZ77_8u(&src, &srcLen, &pd, &length, LZ77FlushFinish, st);
        orvsEncodeLZ77SetPairs_8u(pairs, static_cast<std::int32_t>(pd - pairs), length, st);
        orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, st);
        orvsEncodeLZ77GetPairs_8u(&pairs, &index, &length, st);
        LZ77HuffMode mode;
        orvsEncodeLZ77SelectHuffMode_8u(pairs, length, &mode, st);
        if (alwaysDynamic) mode = LZ77HuffDynamic;
        const LZ77Pair* ps = pairs;
        if (mode == LZ77HuffDynamic) {
            orvsEncodeLZ77DynamicHuff_8u(&ps, &length, &dst, &room, LZ77FlushFinish, st);
        } else {
            orvsEncodeLZ77FixedHuff_8u(&ps, &length, &dst, &room, LZ77FlushFinish, st);
        }
    } while (srcLen > 0);
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, st);
    orvsEncodeLZ77Flush_8u(&dst, &room, st);
    return static_cast<std::size_t>(dst - out.data());
}

const std::vector<std::pair<std::string, Bytes>>& inputs() {
    static const auto all = [] {
        auto files = orvdc::bench::corpus();
        Bytes whole;
        for (const auto& f : files) whole.insert(whole.end(), f.second.begin(), f.second.end());
        if (!whole.empty()) files.emplace_back("corpus", whole);
        return files;
    }();
    return all;
}

void report(benchmark::State& state, const Bytes& in, std::size_t outSize) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = outSize ? static_cast<double>(in.size()) / static_cast<double>(outSize) : 0.0;
}

void orvdcLevel(benchmark::State& state, std::size_t file, int level, bool alwaysDynamic) {
    const Bytes& in = inputs()[file].second;
    Bytes out(in.size() + in.size() / 8 + 1024);
    LZ77EncoderState* st = nullptr;
    orvsEncodeLZ77InitAlloc_8u(level, LZ77ChecksumAdler32, &st);
    std::size_t n = 0;
    for (auto _ : state) {
        n = encodeWhole(st, in, out, alwaysDynamic);
        benchmark::DoNotOptimize(out.data());
    }
    orvsLZ77Free_8u(st);
    report(state, in, n);
}

#ifdef ORVDC_HAVE_ZLIB
void zlibLevel(benchmark::State& state, std::size_t file, int level) {
    const Bytes& in = inputs()[file].second;
    Bytes out(compressBound(static_cast<uLong>(in.size())));
    std::size_t n = 0;
    for (auto _ : state) {
        uLongf len = static_cast<uLongf>(out.size());
        compress2(out.data(), &len, in.data(), static_cast<uLong>(in.size()), level);
        n = len;
        benchmark::DoNotOptimize(out.data());
    }
    report(state, in, n);
}
#endif

#ifdef ORVDC_HAVE_DEFLATE
void libdeflateLevel(benchmark::State& state, std::size_t file, int level) {
    const Bytes& in = inputs()[file].second;
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_zlib_compress_bound(c, in.size()));
    std::size_t n = 0;
    for (auto _ : state) {
        n = libdeflate_zlib_compress(c, in.data(), in.size(), out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_compressor(c);
    report(state, in, n);
}
#endif

const bool registered = [] {
    for (std::size_t f = 0; f < inputs().size(); ++f) {
        const std::string& name = inputs()[f].first;
        for (int level = 0; level < 3; ++level) {
            benchmark::RegisterBenchmark(("orvdc/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { orvdcLevel(s, f, level, false); });
            benchmark::RegisterBenchmark(("orvdc-dynamic/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { orvdcLevel(s, f, level, true); });
        }
#ifdef ORVDC_HAVE_ZLIB
        for (int level : {1, 3, 6, 9}) {
            benchmark::RegisterBenchmark(("zlib/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { zlibLevel(s, f, level); });
        }
#endif
#ifdef ORVDC_HAVE_DEFLATE
        for (int level : {1, 6, 9}) {
            benchmark::RegisterBenchmark(("libdeflate/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { libdeflateLevel(s, f, level); });
        }
#endif
    }
    return true;
}();

}  // namespace
