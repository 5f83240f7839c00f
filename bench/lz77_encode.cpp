// Deflate compression speed and ratio: the three levels of the staged
// encoder (match finder, selector, fixed or dynamic blocks, zlib trailer)
// beside zlib levels 1, 6, 9 and libdeflate levels 1, 6, 9, on each corpus
// file and on the whole corpus.  Speed counts input bytes; "ratio" is input
// size over compressed size.  Each level also reports its speed over that of
// its peer (level 0: libdeflate 1; level 1: zlib 1; level 2: zlib 6) from
// their best runs, the two alternating for about a second each, timed on
// the monotonic clock.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
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
// 65536 pairs, each coded as the selector advises.
std::size_t encodeWhole(LZ77EncoderState* st, const Bytes& in, Bytes& out) {
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

using Encoder = std::function<std::size_t(const Bytes&, Bytes&)>;

// Speed of `a` over that of `b`, from alternating runs.
double speedRatio(const Bytes& in, const Encoder& a, const Encoder& b, Bytes& out) {
    return orvdc::bench::alternatingSpeedRatio([&] { a(in, out); }, [&] { b(in, out); });
}

void run(benchmark::State& state, std::size_t file, const Encoder& encode, const Encoder& peer,
         const char* peerName) {
    const Bytes& in = inputs()[file].second;
    Bytes out(in.size() + in.size() / 8 + 1024);
    std::size_t n = 0;
    for (auto _ : state) {
        n = encode(in, out);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, in, n);
    if (peer) state.counters[peerName] = speedRatio(in, encode, peer, out);
}

Encoder orvdcEncoder(int level) {
    return [level](const Bytes& in, Bytes& out) {
        static LZ77EncoderState* states[3] = {};
        if (states[level] == nullptr) orvsEncodeLZ77InitAlloc_8u(level, LZ77ChecksumAdler32, &states[level]);
        return encodeWhole(states[level], in, out);
    };
}

#ifdef ORVDC_HAVE_ZLIB
Encoder zlibEncoder(int level) {
    return [level](const Bytes& in, Bytes& out) {
        uLongf len = static_cast<uLongf>(out.size());
        compress2(out.data(), &len, in.data(), static_cast<uLong>(in.size()), level);
        return static_cast<std::size_t>(len);
    };
}
#endif

#ifdef ORVDC_HAVE_DEFLATE
Encoder libdeflateEncoder(int level) {
    return [level](const Bytes& in, Bytes& out) {
        static libdeflate_compressor* compressors[13] = {};
        if (compressors[level] == nullptr) compressors[level] = libdeflate_alloc_compressor(level);
        return libdeflate_zlib_compress(compressors[level], in.data(), in.size(), out.data(), out.size());
    };
}
#endif

const bool registered = [] {
    for (std::size_t f = 0; f < inputs().size(); ++f) {
        const std::string& name = inputs()[f].first;
        for (int level = 0; level < 3; ++level) {
            Encoder peer;
            const char* peerName = "";
#ifdef ORVDC_HAVE_DEFLATE
            if (level == 0) peer = libdeflateEncoder(1), peerName = "vs_libdeflate1";
#endif
#ifdef ORVDC_HAVE_ZLIB
            if (level == 1) peer = zlibEncoder(1), peerName = "vs_zlib1";
            if (level == 2) peer = zlibEncoder(6), peerName = "vs_zlib6";
#endif
            const Encoder encode = orvdcEncoder(level);
            benchmark::RegisterBenchmark(("orvdc/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { run(s, f, encode, peer, peerName); });
        }
#ifdef ORVDC_HAVE_ZLIB
        for (int level : {1, 6, 9}) {
            const Encoder encode = zlibEncoder(level);
            benchmark::RegisterBenchmark(("zlib/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { run(s, f, encode, {}, ""); });
        }
#endif
#ifdef ORVDC_HAVE_DEFLATE
        for (int level : {1, 6, 9}) {
            const Encoder encode = libdeflateEncoder(level);
            benchmark::RegisterBenchmark(("libdeflate/" + std::to_string(level) + "/" + name).c_str(),
                                         [=](benchmark::State& s) { run(s, f, encode, {}, ""); });
        }
#endif
    }
    return true;
}();

}  // namespace
