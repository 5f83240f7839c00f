// Throughput of the move-to-front, run-length, dictionary and zero-run stages
// on the corpus (all files joined, cut into 900 kB blocks), and of the whole
// bzip2-format stage chain beside libbz2.  The stages after the block sort
// run on real block-sorted data: libdivsufsort's divbwt sorts the blocks when
// it is available (the raw corpus stands in otherwise).  MB/s count input
// bytes of each stage; the pipeline rows count raw bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "common/bench_support.h"
#include "orvdc.h"

#ifdef ORVDC_HAVE_BZ2
#include <bzlib.h>
#endif
#ifdef ORVDC_HAVE_DIVSUFSORT
#include <divsufsort.h>
#endif

namespace {

using orvdc::bench::Bytes;
using Symbols = std::vector<std::uint16_t>;

constexpr std::size_t kBlock = 900000;

struct Block {
    Bytes raw;           // raw input
    Bytes rle;           // after the run-length stage
    std::array<std::uint8_t, 256> inUse;
    std::int32_t dictSize;
    std::int32_t primary;
    Bytes sorted;        // block-sorted run-length output
    Bytes reduced;       // after dictionary reduction
    Bytes mtf;           // after move-to-front
    Symbols symbols;     // after zero-run coding
};

void blockSort(const Bytes& in, Bytes& out, std::int32_t& primary) {
    out.resize(in.size());
#ifdef ORVDC_HAVE_DIVSUFSORT
    // divbwt sorts suffixes; the rotation order differs only where a suffix is
    // a prefix of another rotation, which does not matter for speed figures.
    std::vector<saidx_t> work(in.size());
    primary = divbwt(in.data(), out.data(), work.data(), static_cast<saidx_t>(in.size()));
#else
    std::copy(in.begin(), in.end(), out.begin());
    primary = 0;
#endif
}

Bytes rleEncodeBlock(const Bytes& raw, std::array<std::uint8_t, 256>& inUse) {
    RLEState* st = nullptr;
    orvsEncodeRLEInitAlloc_BZ2_8u(&st);
    Bytes out(raw.size() + raw.size() / 4 + 8);
    const std::uint8_t* src = raw.data();
    auto srcLen = static_cast<std::int32_t>(raw.size());
    auto len = static_cast<std::int32_t>(out.size());
    orvsEncodeRLE_BZ2_8u(&src, &srcLen, out.data(), &len, st);
    std::int32_t tail = 1;
    orvsEncodeRLEFlush_BZ2_8u(out.data() + len, &tail, st);
    out.resize(static_cast<std::size_t>(len + tail));
    orvsRLEGetInUseTable_8u(inUse.data(), st);
    orvsRLEFree_BZ2_8u(st);
    return out;
}

const std::vector<Block>& blocks() {
    static const std::vector<Block> all = [] {
        Bytes joined;
        for (const auto& [name, data] : orvdc::bench::corpus()) joined.insert(joined.end(), data.begin(), data.end());
        if (joined.empty()) joined = orvdc::bench::randomBytes(kBlock);
        std::vector<Block> out;
        for (std::size_t pos = 0; pos < joined.size(); pos += kBlock) {
            Block b{};
            b.raw.assign(joined.begin() + static_cast<std::ptrdiff_t>(pos),
                         joined.begin() + static_cast<std::ptrdiff_t>(std::min(joined.size(), pos + kBlock)));
            b.rle = rleEncodeBlock(b.raw, b.inUse);
            blockSort(b.rle, b.sorted, b.primary);
            b.reduced = b.sorted;
            const auto n = static_cast<std::int32_t>(b.reduced.size());
            orvsReduceDictionary_8u_I(b.inUse.data(), b.reduced.data(), n, &b.dictSize);
            b.mtf.resize(b.reduced.size());
            MTFState* mtf = nullptr;
            orvsMTFInitAlloc_8u(&mtf);
            orvsMTFFwd_8u(b.reduced.data(), b.mtf.data(), n, mtf);
            orvsMTFFree_8u(mtf);
            b.symbols.resize(b.mtf.size());
            std::vector<std::uint32_t> freq(258, 0);
            const std::uint8_t* src = b.mtf.data();
            std::int32_t srcLen = n, symLen = n;
            orvsEncodeZ1Z2_BZ2_8u16u(&src, &srcLen, b.symbols.data(), &symLen, freq.data());
            b.symbols.resize(static_cast<std::size_t>(symLen));
            out.push_back(std::move(b));
        }
        return out;
    }();
    return all;
}

template <class F>
void runStage(benchmark::State& state, const Bytes Block::*input, F&& stage) {
    std::size_t bytes = 0;
    for (const Block& b : blocks()) bytes += (b.*input).size();
    for (auto _ : state) {
        for (const Block& b : blocks()) stage(b);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// Move-to-front in one direction over one field of the block, from a fresh state.
using MtfFn = orvStatus(ORVDC_CALL*)(const std::uint8_t*, std::uint8_t*, std::int32_t, MTFState*);
void runMtf(benchmark::State& state, const Bytes Block::*field, MtfFn fn) {
    Bytes out(kBlock);
    runStage(state, field, [&](const Block& b) {
        alignas(4) std::uint8_t st[256];
        orvsMTFInit_8u(reinterpret_cast<MTFState*>(st));
        const Bytes& in = b.*field;
        fn(in.data(), out.data(), static_cast<std::int32_t>(in.size()), reinterpret_cast<MTFState*>(st));
        benchmark::DoNotOptimize(out.data());
    });
}

void BM_MtfForward(benchmark::State& state) { runMtf(state, &Block::reduced, orvsMTFFwd_8u); }
void BM_MtfInverse(benchmark::State& state) { runMtf(state, &Block::mtf, orvsMTFInv_8u); }
void BM_MtfForwardRaw(benchmark::State& state) { runMtf(state, &Block::raw, orvsMTFFwd_8u); }

void BM_ByteRleEncode(benchmark::State& state) {
    Bytes out(kBlock * 2);
    runStage(state, &Block::raw, [&](const Block& b) {
        const std::uint8_t* src = b.raw.data();
        auto srcLen = static_cast<std::int32_t>(b.raw.size());
        auto len = static_cast<std::int32_t>(out.size());
        orvsEncodeRLE_8u(&src, &srcLen, out.data(), &len);
        benchmark::DoNotOptimize(out.data());
    });
}

void BM_ByteRleDecode(benchmark::State& state) {
    static const std::vector<Bytes> encoded = [] {
        std::vector<Bytes> v;
        for (const Block& b : blocks()) {
            Bytes out(b.raw.size() * 2);
            const std::uint8_t* src = b.raw.data();
            auto srcLen = static_cast<std::int32_t>(b.raw.size());
            auto len = static_cast<std::int32_t>(out.size());
            orvsEncodeRLE_8u(&src, &srcLen, out.data(), &len);
            out.resize(static_cast<std::size_t>(len));
            v.push_back(out);
        }
        return v;
    }();
    Bytes out(kBlock);
    std::size_t bytes = 0;
    for (const Block& b : blocks()) bytes += b.raw.size();
    for (auto _ : state) {
        for (const Bytes& e : encoded) {
            const std::uint8_t* src = e.data();
            auto srcLen = static_cast<std::int32_t>(e.size());
            auto len = static_cast<std::int32_t>(out.size());
            orvsDecodeRLE_8u(&src, &srcLen, out.data(), &len);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel("MB/s of decoded bytes");
}

void BM_Bzip2RleEncode(benchmark::State& state) {
    Bytes out(kBlock * 2);
    runStage(state, &Block::raw, [&](const Block& b) {
        alignas(4) std::uint8_t st[264];
        auto* s = reinterpret_cast<RLEState*>(st);
        orvsEncodeRLEInit_BZ2_8u(s);
        const std::uint8_t* src = b.raw.data();
        auto srcLen = static_cast<std::int32_t>(b.raw.size());
        auto len = static_cast<std::int32_t>(out.size());
        orvsEncodeRLE_BZ2_8u(&src, &srcLen, out.data(), &len, s);
        std::int32_t tail = 1;
        orvsEncodeRLEFlush_BZ2_8u(out.data() + len, &tail, s);
        benchmark::DoNotOptimize(out.data());
    });
}

void BM_Bzip2RleDecode(benchmark::State& state) {
    Bytes out(kBlock);
    std::size_t bytes = 0;
    for (const Block& b : blocks()) bytes += b.raw.size();
    for (auto _ : state) {
        for (const Block& b : blocks()) {
            const std::uint8_t* src = b.rle.data();
            auto srcLen = static_cast<std::int32_t>(b.rle.size());
            auto len = static_cast<std::int32_t>(out.size());
            orvsDecodeRLE_BZ2_8u(&src, &srcLen, out.data(), &len);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel("MB/s of decoded bytes");
}

void BM_ReduceDictionary(benchmark::State& state) {
    Bytes buf(kBlock);
    runStage(state, &Block::sorted, [&](const Block& b) {
        std::memcpy(buf.data(), b.sorted.data(), b.sorted.size());
        std::int32_t n = 0;
        orvsReduceDictionary_8u_I(b.inUse.data(), buf.data(), static_cast<std::int32_t>(b.sorted.size()), &n);
        benchmark::DoNotOptimize(buf.data());
    });
    state.SetLabel("includes a memcpy per block");
}

void BM_ExpandDictionary(benchmark::State& state) {
    Bytes buf(kBlock);
    runStage(state, &Block::reduced, [&](const Block& b) {
        std::memcpy(buf.data(), b.reduced.data(), b.reduced.size());
        orvsExpandDictionary_8u_I(b.inUse.data(), buf.data(), static_cast<std::int32_t>(b.reduced.size()), b.dictSize);
        benchmark::DoNotOptimize(buf.data());
    });
    state.SetLabel("includes a memcpy per block");
}

void BM_ZeroRunEncode(benchmark::State& state) {
    Symbols out(kBlock);
    std::vector<std::uint32_t> freq(258, 0);
    runStage(state, &Block::mtf, [&](const Block& b) {
        const std::uint8_t* src = b.mtf.data();
        auto srcLen = static_cast<std::int32_t>(b.mtf.size());
        auto len = static_cast<std::int32_t>(out.size());
        orvsEncodeZ1Z2_BZ2_8u16u(&src, &srcLen, out.data(), &len, freq.data());
        benchmark::DoNotOptimize(out.data());
    });
}

void BM_ZeroRunDecode(benchmark::State& state) {
    Bytes out(kBlock * 2);
    runStage(state, &Block::mtf, [&](const Block& b) {
        const std::uint16_t* src = b.symbols.data();
        auto srcLen = static_cast<std::int32_t>(b.symbols.size());
        auto len = static_cast<std::int32_t>(out.size());
        orvsDecodeZ1Z2_BZ2_16u8u(&src, &srcLen, out.data(), &len);
        benchmark::DoNotOptimize(out.data());
    });
    state.SetLabel("MB/s of decoded bytes");
}

// The forward stages of a block except the block sort (run-length stage,
// reduction, move-to-front, zero-run coding), MB/s of raw input.
void BM_StagesForwardNoSort(benchmark::State& state) {
    Bytes rle(kBlock * 2), work(kBlock * 2);
    Symbols sym(kBlock * 2);
    std::vector<std::uint32_t> freq(258, 0);
    runStage(state, &Block::raw, [&](const Block& b) {
        alignas(4) std::uint8_t st[264];
        auto* s = reinterpret_cast<RLEState*>(st);
        orvsEncodeRLEInit_BZ2_8u(s);
        const std::uint8_t* src = b.raw.data();
        auto srcLen = static_cast<std::int32_t>(b.raw.size());
        auto len = static_cast<std::int32_t>(rle.size());
        orvsEncodeRLE_BZ2_8u(&src, &srcLen, rle.data(), &len, s);
        std::int32_t tail = 1;
        orvsEncodeRLEFlush_BZ2_8u(rle.data() + len, &tail, s);
        std::array<std::uint8_t, 256> inUse;
        orvsRLEGetInUseTable_8u(inUse.data(), s);
        // The block sort would go here; its output is taken precomputed.
        const auto n = static_cast<std::int32_t>(b.sorted.size());
        std::memcpy(work.data(), b.sorted.data(), b.sorted.size());
        std::int32_t dict = 0;
        orvsReduceDictionary_8u_I(inUse.data(), work.data(), n, &dict);
        alignas(4) std::uint8_t mst[256];
        orvsMTFInit_8u(reinterpret_cast<MTFState*>(mst));
        orvsMTFFwd_8u(work.data(), work.data(), n, reinterpret_cast<MTFState*>(mst));
        const std::uint8_t* msrc = work.data();
        std::int32_t msrcLen = n, symLen = static_cast<std::int32_t>(sym.size());
        orvsEncodeZ1Z2_BZ2_8u16u(&msrc, &msrcLen, sym.data(), &symLen, freq.data());
        benchmark::DoNotOptimize(sym.data());
    });
}

// The inverse stages except the inverse sort, MB/s of raw output.
void BM_StagesInverseNoSort(benchmark::State& state) {
    Bytes work(kBlock * 2), raw(kBlock);
    runStage(state, &Block::raw, [&](const Block& b) {
        const std::uint16_t* src = b.symbols.data();
        auto srcLen = static_cast<std::int32_t>(b.symbols.size());
        auto len = static_cast<std::int32_t>(work.size());
        orvsDecodeZ1Z2_BZ2_16u8u(&src, &srcLen, work.data(), &len);
        alignas(4) std::uint8_t mst[256];
        orvsMTFInit_8u(reinterpret_cast<MTFState*>(mst));
        orvsMTFInv_8u(work.data(), work.data(), len, reinterpret_cast<MTFState*>(mst));
        orvsExpandDictionary_8u_I(b.inUse.data(), work.data(), len, b.dictSize);
        // The inverse sort would go here; its output is taken precomputed.
        const std::uint8_t* rsrc = b.rle.data();
        auto rsrcLen = static_cast<std::int32_t>(b.rle.size());
        auto rawLen = static_cast<std::int32_t>(raw.size());
        orvsDecodeRLE_BZ2_8u(&rsrc, &rsrcLen, raw.data(), &rawLen);
        benchmark::DoNotOptimize(raw.data());
    });
}

#ifdef ORVDC_HAVE_DIVSUFSORT
// The forward chain with divbwt as the block sort: the work of a bzip2
// compressor short of its Huffman coding.
void BM_StagesForwardWithDivbwt(benchmark::State& state) {
    Bytes rle(kBlock * 2), sorted(kBlock * 2);
    Symbols sym(kBlock * 2);
    std::vector<saidx_t> work(kBlock * 2);
    std::vector<std::uint32_t> freq(258, 0);
    runStage(state, &Block::raw, [&](const Block& b) {
        alignas(4) std::uint8_t st[264];
        auto* s = reinterpret_cast<RLEState*>(st);
        orvsEncodeRLEInit_BZ2_8u(s);
        const std::uint8_t* src = b.raw.data();
        auto srcLen = static_cast<std::int32_t>(b.raw.size());
        auto len = static_cast<std::int32_t>(rle.size());
        orvsEncodeRLE_BZ2_8u(&src, &srcLen, rle.data(), &len, s);
        std::int32_t tail = 1;
        orvsEncodeRLEFlush_BZ2_8u(rle.data() + len, &tail, s);
        len += tail;
        std::array<std::uint8_t, 256> inUse;
        orvsRLEGetInUseTable_8u(inUse.data(), s);
        divbwt(rle.data(), sorted.data(), work.data(), len);
        std::int32_t dict = 0;
        orvsReduceDictionary_8u_I(inUse.data(), sorted.data(), len, &dict);
        alignas(4) std::uint8_t mst[256];
        orvsMTFInit_8u(reinterpret_cast<MTFState*>(mst));
        orvsMTFFwd_8u(sorted.data(), sorted.data(), len, reinterpret_cast<MTFState*>(mst));
        const std::uint8_t* msrc = sorted.data();
        std::int32_t msrcLen = len, symLen = static_cast<std::int32_t>(sym.size());
        orvsEncodeZ1Z2_BZ2_8u16u(&msrc, &msrcLen, sym.data(), &symLen, freq.data());
        benchmark::DoNotOptimize(sym.data());
    });
}
BENCHMARK(BM_StagesForwardWithDivbwt)->Unit(benchmark::kMillisecond);
#endif

#ifdef ORVDC_HAVE_BZ2
void BM_Libbz2Compress(benchmark::State& state) {
    std::vector<char> out(kBlock * 2);
    runStage(state, &Block::raw, [&](const Block& b) {
        auto outLen = static_cast<unsigned>(out.size());
        BZ2_bzBuffToBuffCompress(out.data(), &outLen, const_cast<char*>(reinterpret_cast<const char*>(b.raw.data())),
                                 static_cast<unsigned>(b.raw.size()), 9, 0, 0);
        benchmark::DoNotOptimize(out.data());
    });
}

void BM_Libbz2Decompress(benchmark::State& state) {
    static const std::vector<std::vector<char>> packed = [] {
        std::vector<std::vector<char>> v;
        for (const Block& b : blocks()) {
            std::vector<char> out(kBlock * 2);
            auto outLen = static_cast<unsigned>(out.size());
            BZ2_bzBuffToBuffCompress(out.data(), &outLen, const_cast<char*>(reinterpret_cast<const char*>(b.raw.data())),
                                     static_cast<unsigned>(b.raw.size()), 9, 0, 0);
            out.resize(outLen);
            v.push_back(out);
        }
        return v;
    }();
    std::vector<char> raw(kBlock);
    std::size_t bytes = 0;
    for (const Block& b : blocks()) bytes += b.raw.size();
    for (auto _ : state) {
        for (const auto& p : packed) {
            auto len = static_cast<unsigned>(raw.size());
            BZ2_bzBuffToBuffDecompress(raw.data(), &len, const_cast<char*>(p.data()), static_cast<unsigned>(p.size()), 0, 0);
            benchmark::DoNotOptimize(raw.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Libbz2Compress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libbz2Decompress)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_MtfForward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MtfInverse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MtfForwardRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteRleEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteRleDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bzip2RleEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bzip2RleDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceDictionary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandDictionary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZeroRunEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZeroRunDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StagesForwardNoSort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StagesInverseNoSort)->Unit(benchmark::kMillisecond);

}  // namespace
