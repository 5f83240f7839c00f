// Deflate decompression speed: the one-pass decoders and the pair path
// against zlib's inflate and libdeflate's decompressor, on each corpus file
// (and the whole corpus) compressed by zlib at level 6 as raw deflate.
// Throughput counts decompressed bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
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

struct Sample {
    std::string name;
    Bytes raw;
    Bytes deflated;  // raw deflate plus 4 trailer bytes
};

#ifdef ORVDC_HAVE_ZLIB
Bytes deflateRaw(const Bytes& data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
#endif

std::vector<Sample>& samples() {
    static std::vector<Sample> all = [] {
        std::vector<Sample> v;
#ifdef ORVDC_HAVE_ZLIB
        auto files = orvdc::bench::corpus();
        if (files.empty()) files.emplace_back("random-256k", orvdc::bench::randomBytes(262144));
        Bytes whole;
        for (auto& [name, data] : files) {
            whole.insert(whole.end(), data.begin(), data.end());
            v.push_back({name, data, deflateRaw(data, 6)});
        }
        // The corpus as a whole: the files decoded one after another.
        v.push_back({"corpus", {}, {}});
        for (auto& s : v) {
            if (s.name != "corpus") s.deflated.insert(s.deflated.end(), 4, 0);
        }
#endif
        return v;
    }();
    return all;
}

// Block loop over one stream with the given path; returns bytes produced.
std::size_t decodeOrv(LZ77DecoderState* st, const Bytes& in, Bytes& out, bool onePass,
                      std::vector<LZ77Pair>& pairs) {
    orvsDecodeLZ77Reset_8u(st);
    const std::uint8_t* src = in.data();
    auto srcLen = static_cast<std::int32_t>(in.size());
    std::uint8_t* dst = out.data();
    auto dstLen = static_cast<std::int32_t>(out.size());
    for (;;) {
        LZ77HuffMode mode;
        if (orvsDecodeLZ77GetBlockType_8u(&src, &srcLen, &mode, st) != orvStsOk) return 0;
        orvStatus s;
        if (mode == LZ77HuffStored) {
            s = orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, st);
            // Ok after the copy leaves the block open: one more call closes it.
            const std::uint8_t* probe = src;
            std::int32_t none = 0;
            if (s == orvStsOk && orvsDecodeLZ77GetBlockType_8u(&probe, &none, &mode, st) == orvStsOk) {
                s = orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, st);
            }
        } else if (onePass) {
            s = mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, st)
                                      : orvsDecodeLZ77DynamicHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, st);
        } else {
            do {
                LZ77Pair* pp = pairs.data();
                auto pl = static_cast<std::int32_t>(pairs.size());
                s = mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuff_8u(&src, &srcLen, &pp, &pl, 0, st)
                                          : orvsDecodeLZ77DynamicHuff_8u(&src, &srcLen, &pp, &pl, 0, st);
                const LZ77Pair* ep = pairs.data();
                auto el = static_cast<std::int32_t>(pp - pairs.data());
                orvsDecodeLZ77_8u(&ep, &el, &dst, &dstLen, 0, st);
            } while (s == orvStsDstFull);
        }
        if (s == orvStsStreamEnd) break;
        if (s != orvStsOk) return 0;
    }
    return static_cast<std::size_t>(dst - out.data());
}

void runOrv(benchmark::State& state, const Sample* sample, bool onePass) {
    LZ77DecoderState* st = nullptr;
    orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumNone, &st);
    std::vector<LZ77Pair> pairs(65536);
    const auto& all = samples();
    std::size_t bytes = 0;
    Bytes out;
    for (auto& s : all) out.resize(std::max(out.size(), s.raw.size() + 64));
    for (auto _ : state) {
        if (sample->name == "corpus") {
            for (const auto& s : all) {
                if (s.name == "corpus") continue;
                const std::size_t n = decodeOrv(st, s.deflated, out, onePass, pairs);
                if (n != s.raw.size()) state.SkipWithError("decode failed");
                bytes += n;
            }
        } else {
            const std::size_t n = decodeOrv(st, sample->deflated, out, onePass, pairs);
            if (n != sample->raw.size()) state.SkipWithError("decode failed");
            bytes += n;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    orvsLZ77Free_8u(st);
}

#ifdef ORVDC_HAVE_ZLIB
std::size_t decodeZlib(const Bytes& in, Bytes& out) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t n = rc == Z_STREAM_END ? z.total_out : 0;
    inflateEnd(&z);
    return n;
}
#endif

#ifdef ORVDC_HAVE_DEFLATE
std::size_t decodeLibdeflate(libdeflate_decompressor* d, const Bytes& in, Bytes& out, std::size_t expected) {
    std::size_t n = 0;
    size_t inUsed = 0;
    if (libdeflate_deflate_decompress_ex(d, in.data(), in.size(), out.data(), expected, &inUsed, &n) !=
        LIBDEFLATE_SUCCESS) {
        return 0;
    }
    return n;
}
#endif

template <class F>
void runPeer(benchmark::State& state, const Sample* sample, F decodeOne) {
    const auto& all = samples();
    Bytes out;
    for (auto& s : all) out.resize(std::max(out.size(), s.raw.size() + 64));
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const auto& s : all) {
            if (s.name == "corpus" || (sample->name != "corpus" && &s != sample)) continue;
            const std::size_t n = decodeOne(s, out);
            if (n != s.raw.size()) state.SkipWithError("decode failed");
            bytes += n;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

[[maybe_unused]] const bool kRegistered = [] {
    for (const Sample& s : samples()) {
        const Sample* p = &s;
        benchmark::RegisterBenchmark(("onepass/" + s.name).c_str(),
                                     [p](benchmark::State& st) { runOrv(st, p, true); });
        benchmark::RegisterBenchmark(("pairs/" + s.name).c_str(),
                                     [p](benchmark::State& st) { runOrv(st, p, false); });
#ifdef ORVDC_HAVE_ZLIB
        benchmark::RegisterBenchmark(("zlib/" + s.name).c_str(), [p](benchmark::State& st) {
            runPeer(st, p, [](const Sample& x, Bytes& out) { return decodeZlib(x.deflated, out); });
        });
#endif
#ifdef ORVDC_HAVE_DEFLATE
        benchmark::RegisterBenchmark(("libdeflate/" + s.name).c_str(), [p](benchmark::State& st) {
            libdeflate_decompressor* d = libdeflate_alloc_decompressor();
            runPeer(st, p, [d](const Sample& x, Bytes& out) {
                return decodeLibdeflate(d, x.deflated, out, x.raw.size());
            });
            libdeflate_free_decompressor(d);
        });
#endif
    }
    return true;
}();

}  // namespace
