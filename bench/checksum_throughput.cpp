// Checksum throughput: this library's three checksums side by side with
// zlib's crc32/adler32 and libdeflate's, over 1 KiB, 64 KiB, 1 MiB and the
// corpus files.  Each benchmark reports bytes per second; the "vs_zlib"
// counter is its speed divided by zlib's on the same input, measured in the
// same run ("vs_plain_table" for the bzip2 CRC against a one-table loop).
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>

#include "checksum/checksum.h"
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
using Fn = std::function<std::uint32_t(const Bytes&)>;

// Bytes per second of fn over data, measured briefly, for the ratio counters.
double quickRate(const Fn& fn, const Bytes& data) {
    using clock = std::chrono::steady_clock;
    std::size_t reps = 0;
    std::uint32_t sink = 0;
    const auto t0 = clock::now();
    auto t = t0;
    while (t - t0 < std::chrono::milliseconds(100)) {
        sink ^= fn(data);
        ++reps;
        t = clock::now();
    }
    benchmark::DoNotOptimize(sink);
    return static_cast<double>(reps * data.size()) / std::chrono::duration<double>(t - t0).count();
}

void run(benchmark::State& state, const Bytes& data, const Fn& fn, const Fn& peer,
         const char* ratioName = "vs_zlib") {
    for (auto _ : state) benchmark::DoNotOptimize(fn(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
    if (peer) state.counters[ratioName] = quickRate(fn, data) / quickRate(peer, data);
}

std::uint32_t orvCrc(const Bytes& d) {
    std::uint32_t v = 0;
    orvsCRC32_8u(d.data(), static_cast<std::int32_t>(d.size()), &v);
    return v;
}
std::uint32_t orvBz2(const Bytes& d) {
    std::uint32_t v = 0;
    orvsCRC32_BZ2_8u(d.data(), static_cast<std::int32_t>(d.size()), &v);
    return v;
}
std::uint32_t orvAdler(const Bytes& d) {
    std::uint32_t v = 1;
    orvsAdler32_8u(d.data(), static_cast<std::int32_t>(d.size()), &v);
    return v;
}
// The plain one-table loop that the bzip2 CRC is held against.
std::uint32_t plainBz2(const Bytes& d) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int b = 0; b < 8; ++b) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t r = 0xFFFFFFFFu;
    for (std::uint8_t b : d) r = (r << 8) ^ table[(r >> 24) ^ b];
    return ~r;
}

void registerAll() {
    std::vector<std::pair<std::string, Bytes>> inputs = {
        {"1KiB", orvdc::bench::randomBytes(1024)},
        {"64KiB", orvdc::bench::randomBytes(64 * 1024)},
        {"1MiB", orvdc::bench::randomBytes(1024 * 1024)},
    };
    for (auto& f : orvdc::bench::corpus()) inputs.push_back(std::move(f));
    static std::vector<Bytes> keep;
    keep.reserve(inputs.size());
    for (auto& [name, data] : inputs) {
        keep.push_back(std::move(data));
        const Bytes* d = &keep.back();
        Fn zlibCrc, zlibAdler;
#ifdef ORVDC_HAVE_ZLIB
        zlibCrc = [](const Bytes& b) { return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size()))); };
        zlibAdler = [](const Bytes& b) { return static_cast<std::uint32_t>(adler32(1, b.data(), static_cast<uInt>(b.size()))); };
#endif
        benchmark::RegisterBenchmark(("crc32/orvdc/" + name).c_str(), [=](benchmark::State& s) { run(s, *d, orvCrc, zlibCrc); });
        benchmark::RegisterBenchmark(("adler32/orvdc/" + name).c_str(), [=](benchmark::State& s) { run(s, *d, orvAdler, zlibAdler); });
        benchmark::RegisterBenchmark(("crc32_bzip2/orvdc/" + name).c_str(), [=](benchmark::State& s) { run(s, *d, orvBz2, Fn(plainBz2), "vs_plain_table"); });
        benchmark::RegisterBenchmark(("crc32_bzip2/plain_table/" + name).c_str(), [=](benchmark::State& s) { run(s, *d, plainBz2, Fn()); });
#ifdef ORVDC_HAVE_ZLIB
        benchmark::RegisterBenchmark(("crc32/zlib/" + name).c_str(), [=](benchmark::State& s) { run(s, *d, zlibCrc, Fn()); });
        benchmark::RegisterBenchmark(("adler32/zlib/" + name).c_str(), [=](benchmark::State& s) { run(s, *d, zlibAdler, Fn()); });
#endif
#ifdef ORVDC_HAVE_DEFLATE
        benchmark::RegisterBenchmark(("crc32/libdeflate/" + name).c_str(), [=](benchmark::State& s) {
            run(s, *d, [](const Bytes& b) { return libdeflate_crc32(0, b.data(), b.size()); }, zlibCrc);
        });
        benchmark::RegisterBenchmark(("adler32/libdeflate/" + name).c_str(), [=](benchmark::State& s) {
            run(s, *d, [](const Bytes& b) { return libdeflate_adler32(1, b.data(), b.size()); }, zlibAdler);
        });
#endif
    }
}

const int kRegistered = (registerAll(), 0);

}  // namespace
