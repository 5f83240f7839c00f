// Checksum throughput: this library's three checksums side by side with
// zlib's and libdeflate's crc32 and adler32 over 64 B, 256 B, 4 KiB, 64 KiB
// and 1 MiB of random data.  Each benchmark reports bytes per second; the
// counters "vs_libdeflate" and "vs_zlib" are its speed divided by the peer's
// on the same input, measured in the same run ("vs_plain_table" for the
// bzip2 CRC, which neither peer has, against a one-table loop).
#include <benchmark/benchmark.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
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
using Fn = std::uint32_t (*)(const Bytes&);

using orvdc::bench::threadSeconds;

// Bytes per second of fn over data, timed over batches of calls so that
// reading the clock does not weigh on short inputs.
double quickRate(Fn fn, const Bytes& data) {
    const std::size_t batch = 1 + (1 << 18) / data.size();
    std::size_t calls = 0;
    std::uint32_t sink = 0;
    const double t0 = threadSeconds();
    double t = t0;
    while (t - t0 < 0.05) {
        for (std::size_t i = 0; i < batch; ++i) sink ^= fn(data);
        calls += batch;
        t = threadSeconds();
    }
    benchmark::DoNotOptimize(sink);
    return static_cast<double>(calls * data.size()) / (t - t0);
}

struct Peer {
    const char* counter;
    Fn fn;
};

void run(benchmark::State& state, const Bytes& data, Fn fn, const std::vector<Peer>& peers) {
    for (auto _ : state) benchmark::DoNotOptimize(fn(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
    for (const Peer& peer : peers) {
        // Alternate the two so that a change in machine load hits both.
        double mine = 0, theirs = 0;
        for (int round = 0; round < 2; ++round) {
            mine += quickRate(fn, data);
            theirs += quickRate(peer.fn, data);
        }
        state.counters[peer.counter] = mine / theirs;
    }
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
constexpr std::array<std::uint32_t, 256> kBz2Table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int b = 0; b < 8; ++b) r = (r << 1) ^ ((r & 0x80000000u) ? 0x04C11DB7u : 0u);
        t[i] = r;
    }
    return t;
}();
std::uint32_t plainBz2(const Bytes& d) {
    std::uint32_t r = 0xFFFFFFFFu;
    for (std::uint8_t b : d) r = (r << 8) ^ kBz2Table[(r >> 24) ^ b];
    return ~r;
}

#ifdef ORVDC_HAVE_ZLIB
std::uint32_t zlibCrc(const Bytes& b) {
    return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}
std::uint32_t zlibAdler(const Bytes& b) {
    return static_cast<std::uint32_t>(adler32(1, b.data(), static_cast<uInt>(b.size())));
}
#endif
#ifdef ORVDC_HAVE_DEFLATE
std::uint32_t deflateCrc(const Bytes& b) { return libdeflate_crc32(0, b.data(), b.size()); }
std::uint32_t deflateAdler(const Bytes& b) { return libdeflate_adler32(1, b.data(), b.size()); }
#endif

void registerAll() {
    static std::vector<std::pair<std::string, Bytes>> inputs;
    for (std::size_t size : {64u, 256u, 4096u, 65536u, 1u << 20}) {
        const std::string name = size < 1024 ? std::to_string(size) + "B"
                                 : size < (1u << 20) ? std::to_string(size >> 10) + "KiB"
                                                     : std::to_string(size >> 20) + "MiB";
        inputs.emplace_back(name, orvdc::bench::randomBytes(size));
    }
    for (const auto& [name, data] : inputs) {
        const Bytes* d = &data;
        std::vector<Peer> crcPeers, adlerPeers;
#ifdef ORVDC_HAVE_DEFLATE
        crcPeers.push_back({"vs_libdeflate", deflateCrc});
        adlerPeers.push_back({"vs_libdeflate", deflateAdler});
#endif
#ifdef ORVDC_HAVE_ZLIB
        crcPeers.push_back({"vs_zlib", zlibCrc});
        adlerPeers.push_back({"vs_zlib", zlibAdler});
#endif
        auto add = [&](const std::string& label, Fn fn, std::vector<Peer> peers) {
            benchmark::RegisterBenchmark((label + "/" + name).c_str(),
                                         [d, fn, peers](benchmark::State& s) { run(s, *d, fn, peers); });
        };
        add("crc32/orvdc", orvCrc, crcPeers);
        add("adler32/orvdc", orvAdler, adlerPeers);
        add("crc32_bzip2/orvdc", orvBz2, {{"vs_plain_table", plainBz2}});
        add("crc32_bzip2/plain_table", plainBz2, {});
#ifdef ORVDC_HAVE_DEFLATE
        add("crc32/libdeflate", deflateCrc, {});
        add("adler32/libdeflate", deflateAdler, {});
#endif
#ifdef ORVDC_HAVE_ZLIB
        add("crc32/zlib", zlibCrc, {});
        add("adler32/zlib", zlibAdler, {});
#endif
    }
}

const int kRegistered = (registerAll(), 0);

}  // namespace
