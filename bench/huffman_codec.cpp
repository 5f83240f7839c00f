// Huffman encoding and decoding speed per corpus file, with the code built
// from the file's own byte frequencies.  MB/s counts source bytes (encode)
// and decoded bytes (decode).  The ratio counter is coded size / input size.
// Peer: zlib's Huffman-only deflate (Z_HUFFMAN_ONLY) and inflate of the same
// file, the nearest standard byte-wise Huffman coder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/bench_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using orvdc::bench::Bytes;

struct Prepared {
    Bytes data;
    std::vector<std::uint8_t> encState;
    std::vector<std::uint8_t> decState;
    Bytes stream;
};

bool prepare(const Bytes& data, Prepared& p) {
    p.data = data;
    std::int32_t size = 0;
    orvsHuffGetSize_8u(&size);
    p.encState.assign(static_cast<std::size_t>(size), 0);
    p.decState.assign(static_cast<std::size_t>(size), 0);
    auto* enc = reinterpret_cast<HuffState*>(p.encState.data());
    auto* dec = reinterpret_cast<HuffState*>(p.decState.data());
    std::int32_t freq[256] = {};
    for (auto b : data) ++freq[b];
    if (orvsEncodeHuffInit_8u(freq, enc) != orvStsOk) return false;
    std::int32_t len[256];
    orvsHuffGetLenCodeTable_8u(len, enc);
    if (orvsDecodeHuffInit_8u(len, dec) != orvStsOk) return false;
    std::int32_t encSize = 0;
    orvsHuffGetDstBuffSize_8u(len, static_cast<std::int32_t>(data.size()), &encSize, nullptr);
    p.stream.assign(static_cast<std::size_t>(encSize) + 8, 0);
    std::int32_t n = 0, tail = 0;
    orvsEncodeHuff_8u(data.data(), static_cast<std::int32_t>(data.size()), p.stream.data(), &n, enc);
    orvsEncodeHuffFinal_8u(p.stream.data() + n, &tail, enc);
    p.stream.resize(static_cast<std::size_t>(n + tail));
    return true;
}

void encode(benchmark::State& state, const Prepared* p) {
    Bytes dst(p->stream.size() + 8);
    std::vector<std::uint8_t> st = p->encState;
    auto* enc = reinterpret_cast<HuffState*>(st.data());
    for (auto _ : state) {
        std::memcpy(st.data(), p->encState.data(), st.size());  // a fresh bit buffer
        std::int32_t n = 0, tail = 0;
        orvsEncodeHuff_8u(p->data.data(), static_cast<std::int32_t>(p->data.size()), dst.data(), &n, enc);
        orvsEncodeHuffFinal_8u(dst.data() + n, &tail, enc);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(p->data.size()));
    state.counters["ratio"] = static_cast<double>(p->stream.size()) / static_cast<double>(p->data.size());
}

void decode(benchmark::State& state, const Prepared* p) {
    Bytes out(p->data.size());
    std::vector<std::uint8_t> st = p->decState;
    auto* dec = reinterpret_cast<HuffState*>(st.data());
    std::int32_t cap = 0;
    for (auto _ : state) {
        std::memcpy(st.data(), p->decState.data(), st.size());  // a fresh bit buffer
        cap = static_cast<std::int32_t>(out.size());
        orvsDecodeHuff_8u(p->stream.data(), static_cast<std::int32_t>(p->stream.size()), out.data(), &cap, dec);
        benchmark::DoNotOptimize(out.data());
    }
    if (cap != static_cast<std::int32_t>(out.size()) || out != p->data) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(p->data.size()));
}

#ifdef ORVDC_HAVE_ZLIB
Bytes zlibHuffmanOnly(const Bytes& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_HUFFMAN_ONLY);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void zlibEncode(benchmark::State& state, const Prepared* p) {
    Bytes packed;
    for (auto _ : state) {
        packed = zlibHuffmanOnly(p->data);
        benchmark::DoNotOptimize(packed.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(p->data.size()));
    state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(p->data.size());
}

void zlibDecode(benchmark::State& state, const Prepared* p) {
    const Bytes packed = zlibHuffmanOnly(p->data);
    Bytes out(p->data.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(packed.data());
        z.avail_in = static_cast<uInt>(packed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        inflate(&z, Z_FINISH);
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != p->data) state.SkipWithError("zlib round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(p->data.size()));
}
#endif

// Registers one encode and one decode benchmark per corpus file (or a
// synthetic text-like buffer without a corpus).
int registerAll() {
    static std::vector<Prepared> prepared;
    auto files = orvdc::bench::corpus();
    if (files.empty()) files.emplace_back("random-1MiB", orvdc::bench::randomBytes(1 << 20));
    prepared.reserve(files.size());
    for (auto& [name, data] : files) {
        Prepared p;
        if (data.empty() || !prepare(data, p)) continue;
        prepared.push_back(std::move(p));
        const Prepared* ptr = &prepared.back();
        benchmark::RegisterBenchmark(("HuffEncode/" + name).c_str(), encode, ptr);
        benchmark::RegisterBenchmark(("HuffDecode/" + name).c_str(), decode, ptr);
#ifdef ORVDC_HAVE_ZLIB
        benchmark::RegisterBenchmark(("ZlibHuffOnlyEncode/" + name).c_str(), zlibEncode, ptr);
        benchmark::RegisterBenchmark(("ZlibHuffOnlyDecode/" + name).c_str(), zlibDecode, ptr);
#endif
    }
    return 0;
}

const int registered = registerAll();

}  // namespace
