// LZSS encoding and decoding speed and ratio on the corpus, beside raw
// deflate at level 1 from zlib and libdeflate (the nearest peers: single
// greedy pass, 32 KB window).  Argument 0 is the whole corpus (each file a
// separate stream), 1..N one file each.  Speeds count uncompressed bytes;
// "ratio" is compressed size / original size.
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

const std::vector<std::pair<std::string, Bytes>>& files() {
    static const auto c = orvdc::bench::corpus();
    return c;
}

struct Sample {
    std::string name;
    std::vector<const Bytes*> parts;
    std::size_t bytes = 0;
};

Sample sample(std::int64_t arg) {
    Sample s;
    s.name = arg == 0 ? "corpus" : files()[static_cast<std::size_t>(arg - 1)].first;
    for (std::size_t k = 0; k < files().size(); ++k) {
        if (arg == 0 || static_cast<std::int64_t>(k) == arg - 1) {
            s.parts.push_back(&files()[k].second);
            s.bytes += files()[k].second.size();
        }
    }
    return s;
}

void corpusArgs(benchmark::internal::Benchmark* b) {
    for (std::int64_t k = 0; k <= static_cast<std::int64_t>(files().size()); ++k) b->Arg(k);
}

void report(benchmark::State& state, const Sample& s, std::size_t compressed) {
    state.SetLabel(s.name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.bytes));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(s.bytes);
}

std::size_t lzssEncode(LZSSState* st, const Bytes& in, Bytes& out) {
    out.resize(in.size() * 9 / 8 + 16);
    orvsEncodeLZSSInit_8u(st);
    const std::uint8_t* src = in.data();
    std::int32_t srcLen = static_cast<std::int32_t>(in.size());
    std::uint8_t* dst = out.data();
    std::int32_t dstLen = static_cast<std::int32_t>(out.size());
    orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st);
    orvsEncodeLZSSFlush_8u(&dst, &dstLen, st);
    return out.size() - static_cast<std::size_t>(dstLen);
}

void BM_LzssEncode(benchmark::State& state) {
    const Sample s = sample(state.range(0));
    if (s.bytes == 0) return state.SkipWithError("corpus absent");
    LZSSState* st = nullptr;
    orvsEncodeLZSSInitAlloc_8u(&st);
    Bytes out;
    std::size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const Bytes* p : s.parts) total += lzssEncode(st, *p, out);
        benchmark::DoNotOptimize(out.data());
    }
    orvsLZSSFree_8u(st);
    report(state, s, total);
}
BENCHMARK(BM_LzssEncode)->Apply(corpusArgs);

void BM_LzssDecode(benchmark::State& state) {
    const Sample s = sample(state.range(0));
    if (s.bytes == 0) return state.SkipWithError("corpus absent");
    LZSSState* st = nullptr;
    orvsEncodeLZSSInitAlloc_8u(&st);
    std::vector<Bytes> streams(s.parts.size());
    std::size_t total = 0;
    for (std::size_t k = 0; k < s.parts.size(); ++k) {
        streams[k].resize(lzssEncode(st, *s.parts[k], streams[k]));
        total += streams[k].size();
    }
    orvsDecodeLZSSInit_8u(st);
    Bytes out;
    for (auto _ : state) {
        for (std::size_t k = 0; k < s.parts.size(); ++k) {
            out.resize(s.parts[k]->size());
            orvsDecodeLZSSInit_8u(st);
            const std::uint8_t* src = streams[k].data();
            std::int32_t srcLen = static_cast<std::int32_t>(streams[k].size());
            std::uint8_t* dst = out.data();
            std::int32_t dstLen = static_cast<std::int32_t>(out.size());
            orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, st);
            benchmark::DoNotOptimize(out.data());
        }
    }
    orvsLZSSFree_8u(st);
    report(state, s, total);
}
BENCHMARK(BM_LzssDecode)->Apply(corpusArgs);

#ifdef ORVDC_HAVE_ZLIB
// Raw deflate (no zlib header or checksum), like the LZSS stream.
std::size_t zlibCompress(z_stream& z, const Bytes& in, Bytes& out) {
    out.resize(deflateBound(&z, in.size()));
    deflateReset(&z);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    return z.total_out;
}

void BM_ZlibDeflate1Encode(benchmark::State& state) {
    const Sample s = sample(state.range(0));
    if (s.bytes == 0) return state.SkipWithError("corpus absent");
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out;
    std::size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const Bytes* p : s.parts) total += zlibCompress(z, *p, out);
        benchmark::DoNotOptimize(out.data());
    }
    deflateEnd(&z);
    report(state, s, total);
}
BENCHMARK(BM_ZlibDeflate1Encode)->Apply(corpusArgs);

void BM_ZlibDeflate1Decode(benchmark::State& state) {
    const Sample s = sample(state.range(0));
    if (s.bytes == 0) return state.SkipWithError("corpus absent");
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<Bytes> streams(s.parts.size());
    std::size_t total = 0;
    for (std::size_t k = 0; k < s.parts.size(); ++k) {
        streams[k].resize(zlibCompress(z, *s.parts[k], streams[k]));
        total += streams[k].size();
    }
    deflateEnd(&z);
    z_stream inf{};
    inflateInit2(&inf, -15);
    Bytes out;
    for (auto _ : state) {
        for (std::size_t k = 0; k < s.parts.size(); ++k) {
            out.resize(s.parts[k]->size());
            inflateReset(&inf);
            inf.next_in = streams[k].data();
            inf.avail_in = static_cast<uInt>(streams[k].size());
            inf.next_out = out.data();
            inf.avail_out = static_cast<uInt>(out.size());
            inflate(&inf, Z_FINISH);
            benchmark::DoNotOptimize(out.data());
        }
    }
    inflateEnd(&inf);
    report(state, s, total);
}
BENCHMARK(BM_ZlibDeflate1Decode)->Apply(corpusArgs);
#endif

#ifdef ORVDC_HAVE_DEFLATE
void BM_LibdeflateLevel1Encode(benchmark::State& state) {
    const Sample s = sample(state.range(0));
    if (s.bytes == 0) return state.SkipWithError("corpus absent");
    libdeflate_compressor* c = libdeflate_alloc_compressor(1);
    Bytes out;
    std::size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const Bytes* p : s.parts) {
            out.resize(libdeflate_deflate_compress_bound(c, p->size()));
            total += libdeflate_deflate_compress(c, p->data(), p->size(), out.data(), out.size());
        }
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_compressor(c);
    report(state, s, total);
}
BENCHMARK(BM_LibdeflateLevel1Encode)->Apply(corpusArgs);

void BM_LibdeflateLevel1Decode(benchmark::State& state) {
    const Sample s = sample(state.range(0));
    if (s.bytes == 0) return state.SkipWithError("corpus absent");
    libdeflate_compressor* c = libdeflate_alloc_compressor(1);
    std::vector<Bytes> streams(s.parts.size());
    std::size_t total = 0;
    for (std::size_t k = 0; k < s.parts.size(); ++k) {
        streams[k].resize(libdeflate_deflate_compress_bound(c, s.parts[k]->size()));
        streams[k].resize(libdeflate_deflate_compress(c, s.parts[k]->data(), s.parts[k]->size(),
                                                      streams[k].data(), streams[k].size()));
        total += streams[k].size();
    }
    libdeflate_free_compressor(c);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    Bytes out;
    for (auto _ : state) {
        for (std::size_t k = 0; k < s.parts.size(); ++k) {
            out.resize(s.parts[k]->size());
            libdeflate_deflate_decompress(d, streams[k].data(), streams[k].size(), out.data(), out.size(), nullptr);
            benchmark::DoNotOptimize(out.data());
        }
    }
    libdeflate_free_decompressor(d);
    report(state, s, total);
}
BENCHMARK(BM_LibdeflateLevel1Decode)->Apply(corpusArgs);
#endif

}  // namespace
