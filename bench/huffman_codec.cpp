// Huffman encoding and decoding speed per corpus file, with the code built
// from the file's own byte frequencies.  MB/s counts source bytes (encode)
// and decoded bytes (decode).  The ratio counter is coded size / input size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/bench_support.h"
#include "orvdc.h"

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
    }
    return 0;
}

const int registered = registerAll();

}  // namespace
