// Throughput of the VLC encoder and decoders on a few representative code
// tables: values (codes) per second and MB/s of bit stream.
//   huff300: 300 codes from a Huffman code of Zipf-distributed values,
//            lengths 1..16, two lookup levels (8, 8)
//   short16: 16 codes of lengths 1..8, one level
//   long32:  2000 codes of lengths up to 32, four levels of 8
//   tuple2x4: 256 tuple codes (2 elements of 4 bits) from a Huffman code,
//            levels (6, 6, 6), with sign bits
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <queue>
#include <vector>

#include "orvdc.h"

namespace {

struct Rng {
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    std::uint32_t next() {
        s ^= s >> 12; s ^= s << 25; s ^= s >> 27;
        return static_cast<std::uint32_t>((s * 0x2545F4914F6CDD1Dull) >> 32);
    }
};

// Canonical codes for the given lengths (which must satisfy Kraft).
std::vector<VLCTableEntry> canonical(const std::vector<int>& lengths) {
    std::vector<std::size_t> order(lengths.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return lengths[a] < lengths[b]; });
    std::vector<VLCTableEntry> t(lengths.size());
    std::uint64_t code = 0;
    int prev = lengths[order[0]];
    for (std::size_t i : order) {
        code <<= (lengths[i] - prev);
        prev = lengths[i];
        t[i] = {static_cast<std::int32_t>(i), static_cast<std::uint32_t>(code), lengths[i]};
        ++code;
    }
    return t;
}

// Huffman code lengths for the weights (no length limit needed for these).
std::vector<int> huffmanLengths(const std::vector<double>& w) {
    using Node = std::pair<double, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<>> q;
    std::vector<int> parent(2 * w.size(), -1);
    for (std::size_t i = 0; i < w.size(); ++i) q.push({w[i], static_cast<int>(i)});
    int next = static_cast<int>(w.size());
    while (q.size() > 1) {
        const Node a = q.top(); q.pop();
        const Node b = q.top(); q.pop();
        parent[static_cast<std::size_t>(a.second)] = parent[static_cast<std::size_t>(b.second)] = next;
        q.push({a.first + b.first, next++});
    }
    std::vector<int> lengths(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
        int d = 0;
        for (int p = parent[i]; p != -1; p = parent[static_cast<std::size_t>(p)]) ++d;
        lengths[i] = d;
    }
    return lengths;
}

std::vector<double> zipf(std::size_t n) {
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) w[i] = 1.0 / std::pow(static_cast<double>(i + 1), 1.1);
    return w;
}

// `count` indexes drawn with probabilities proportional to the weights.
std::vector<std::size_t> sample(const std::vector<double>& w, std::size_t count) {
    std::vector<double> cum(w.size());
    double total = 0;
    for (std::size_t i = 0; i < w.size(); ++i) cum[i] = total += w[i];
    Rng rng;
    std::vector<std::size_t> out(count);
    for (auto& k : out) {
        const double u = rng.next() / 4294967296.0 * total;
        k = static_cast<std::size_t>(std::lower_bound(cum.begin(), cum.end(), u) - cum.begin());
        k = std::min(k, w.size() - 1);
    }
    return out;
}

struct Workload {
    std::vector<VLCTableEntry> table;
    std::vector<std::int32_t> widths;
    std::vector<std::int16_t> values;
    std::vector<std::uint8_t> stream;  // the values encoded, plus 4 bytes
    std::int64_t streamBytes = 0;
};

constexpr std::size_t kValues = 1 << 16;

Workload makeWorkload(const std::vector<VLCTableEntry>& table, const std::vector<std::int32_t>& widths,
                      const std::vector<std::size_t>& picks) {
    Workload w{table, widths, {}, {}, 0};
    for (std::size_t k : picks) w.values.push_back(static_cast<std::int16_t>(table[k].value));
    VLCEncodeSpec* enc = nullptr;
    orvsVLCEncodeInitAlloc_32s(table.data(), static_cast<std::int32_t>(table.size()), &enc);
    w.stream.assign(w.values.size() * 4 + 8, 0);
    std::uint8_t* p = w.stream.data();
    std::int32_t offset = 0;
    orvsVLCEncodeBlock_16s1u(w.values.data(), static_cast<std::int32_t>(w.values.size()), &p, &offset, enc);
    w.streamBytes = (p - w.stream.data()) + (offset ? 1 : 0);
    orvsVLCEncodeFree_32s(enc);
    return w;
}

const Workload& workload(int which) {
    static const Workload loads[] = {
        [] {
            const auto w = zipf(300);
            return makeWorkload(canonical(huffmanLengths(w)), {8, 8}, sample(w, kValues));
        }(),
        [] {
            // 16 codes: split the two 8-bit codes' room into more 8-bit codes.
            const std::vector<int> lengths = {2, 2, 3, 4, 5, 6, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8};
            std::vector<double> weights(lengths.size());
            for (std::size_t i = 0; i < lengths.size(); ++i) weights[i] = std::ldexp(1.0, -lengths[i]);
            return makeWorkload(canonical(lengths), {8}, sample(weights, kValues));
        }(),
        [] {
            // Lengths 4..32: 90 codes of each length from 11 up.
            std::vector<int> lengths;
            for (int l = 4; l <= 10; ++l) lengths.push_back(l);
            for (int l = 11; l <= 32 && lengths.size() < 2000; ++l) {
                for (int k = 0; k < 90 && lengths.size() < 2000; ++k) lengths.push_back(l);
            }
            std::vector<double> weights(lengths.size(), 1.0);
            return makeWorkload(canonical(lengths), {8, 8, 8, 8}, sample(weights, kValues));
        }(),
    };
    return loads[which];
}

const char* const kNames[] = {"huff300", "short16", "long32"};

void setCounters(benchmark::State& state, const Workload& w) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(w.values.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * w.streamBytes);
    state.SetLabel(kNames[state.range(0)]);
}

void BM_VlcEncodeBlock(benchmark::State& state) {
    const Workload& w = workload(static_cast<int>(state.range(0)));
    VLCEncodeSpec* enc = nullptr;
    orvsVLCEncodeInitAlloc_32s(w.table.data(), static_cast<std::int32_t>(w.table.size()), &enc);
    std::vector<std::uint8_t> out(w.stream.size());
    for (auto _ : state) {
        std::uint8_t* p = out.data();
        std::int32_t offset = 0;
        orvsVLCEncodeBlock_16s1u(w.values.data(), static_cast<std::int32_t>(w.values.size()), &p, &offset, enc);
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    setCounters(state, w);
    orvsVLCEncodeFree_32s(enc);
}

void BM_VlcCountBits(benchmark::State& state) {
    const Workload& w = workload(static_cast<int>(state.range(0)));
    VLCEncodeSpec* enc = nullptr;
    orvsVLCEncodeInitAlloc_32s(w.table.data(), static_cast<std::int32_t>(w.table.size()), &enc);
    for (auto _ : state) {
        std::int32_t bits = 0;
        orvsVLCCountBits_16s32s(w.values.data(), static_cast<std::int32_t>(w.values.size()), &bits, enc);
        benchmark::DoNotOptimize(bits);
    }
    setCounters(state, w);
    orvsVLCEncodeFree_32s(enc);
}

void BM_VlcDecodeBlock(benchmark::State& state) {
    const Workload& w = workload(static_cast<int>(state.range(0)));
    VLCDecodeSpec* dec = nullptr;
    orvsVLCDecodeInitAlloc_32s(w.table.data(), static_cast<std::int32_t>(w.table.size()), w.widths.data(),
                               static_cast<std::int32_t>(w.widths.size()), &dec);
    std::vector<std::int16_t> out(w.values.size());
    for (auto _ : state) {
        const std::uint8_t* p = w.stream.data();
        std::int32_t offset = 0;
        orvsVLCDecodeBlock_1u16s(&p, &offset, out.data(), static_cast<std::int32_t>(out.size()), dec);
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    if (out != w.values) state.SkipWithError("decoded values differ");
    setCounters(state, w);
    orvsVLCDecodeFree_32s(dec);
}

void BM_VlcDecodeOne(benchmark::State& state) {
    const Workload& w = workload(static_cast<int>(state.range(0)));
    VLCDecodeSpec* dec = nullptr;
    orvsVLCDecodeInitAlloc_32s(w.table.data(), static_cast<std::int32_t>(w.table.size()), w.widths.data(),
                               static_cast<std::int32_t>(w.widths.size()), &dec);
    std::vector<std::int16_t> out(w.values.size());
    for (auto _ : state) {
        const std::uint8_t* p = w.stream.data();
        std::int32_t offset = 0;
        for (auto& v : out) orvsVLCDecodeOne_1u16s(&p, &offset, &v, dec);
        benchmark::ClobberMemory();
    }
    if (out != w.values) state.SkipWithError("decoded values differ");
    setCounters(state, w);
    orvsVLCDecodeFree_32s(dec);
}

// Tuples of two 4-bit magnitudes with Huffman codes, signs appended.
void BM_VlcDecodeUTupleBlock(benchmark::State& state) {
    const auto weights = zipf(256);
    auto table = canonical(huffmanLengths(weights));
    for (auto& e : table) e.value = ((e.value & 15) << 4) | (e.value >> 4);
    const auto picks = sample(weights, kValues / 2);
    // Build the stream with the codes and random sign bits.
    std::vector<std::uint8_t> stream(kValues * 4 + 8, 0);
    std::size_t bit = 0;
    auto put = [&](std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i, ++bit) {
            if ((code >> i) & 1u) stream[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
        }
    };
    Rng rng;
    for (std::size_t k : picks) {
        put(table[k].code, table[k].length);
        if (table[k].value >> 4) put(rng.next() & 1u, 1);
        if (table[k].value & 15) put(rng.next() & 1u, 1);
    }
    const std::int32_t widths[] = {6, 6, 6};
    VLCDecodeUTupleSpec* dec = nullptr;
    if (orvsVLCDecodeUTupleInitAlloc_32s(table.data(), static_cast<std::int32_t>(table.size()), widths, 3, 2, 4, &dec) != orvStsOk) state.SkipWithError("table refused");
    std::vector<std::int16_t> out(kValues);
    for (auto _ : state) {
        const std::uint8_t* p = stream.data();
        std::int32_t offset = 0;
        orvsVLCDecodeUTupleBlock_1u16s(&p, &offset, out.data(), static_cast<std::int32_t>(out.size()), dec);
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(picks.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>((bit + 7) / 8));
    state.SetLabel("tuple2x4");
    orvsVLCDecodeUTupleFree_32s(dec);
}

}  // namespace

BENCHMARK(BM_VlcEncodeBlock)->DenseRange(0, 2);
BENCHMARK(BM_VlcCountBits)->DenseRange(0, 2);
BENCHMARK(BM_VlcDecodeBlock)->DenseRange(0, 2);
BENCHMARK(BM_VlcDecodeOne)->DenseRange(0, 2);
BENCHMARK(BM_VlcDecodeUTupleBlock);
