// Deflate decompression speed: the one-pass decoders (with the whole
// destination at once, and with 64 KiB of room per call as a streaming
// caller gives) and the pair path against zlib's inflate and libdeflate's
// decompressor, on each corpus file (and the whole corpus) compressed by
// zlib at level 6 as raw deflate, on the whole corpus compressed with
// zlib's Huffman-only strategy (literals only: the literal path alone), and
// on generated text whose streams are nearly all short matches.
// Throughput counts decompressed bytes.
// The counters vs_libdeflate and vs_zlib are speed ratios measured by
// alternating the two decoders for about a second each and comparing their
// best runs, which keeps them steady on a shared machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
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

struct Sample {
    std::string name;
    Bytes raw;
    Bytes deflated;  // raw deflate plus 4 trailer bytes
    bool inCorpus = true;  // one of the files the "corpus" sample decodes
};

#ifdef ORVDC_HAVE_ZLIB
Bytes deflateRaw(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
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

// n bytes of words drawn from a vocabulary of 300 random words of 4 to 13
// lowercase letters (fixed seed): at level 6 nearly every word is one match
// of a few bytes, close to the matches before it.
Bytes shortMatchText(std::size_t n) {
    const Bytes random = orvdc::bench::randomBytes(n + 4096);
    std::size_t next = 0;
    std::vector<Bytes> words(300);
    for (auto& w : words) {
        w.resize(4 + random[next++] % 10);
        for (auto& c : w) c = static_cast<std::uint8_t>('a' + random[next++] % 26);
    }
    Bytes out;
    while (out.size() < n) {
        const Bytes& w = words[(random[next] | random[next + 1] << 8) % words.size()];
        next += 2;
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(n);
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
        v.push_back({"corpus", {}, {}, false});
        v.push_back({"corpus-huffman-only", whole, deflateRaw(whole, 6, Z_HUFFMAN_ONLY), false});
        const Bytes words = shortMatchText(524288);
        v.push_back({"short-matches", words, deflateRaw(words, 6), false});
        for (auto& s : v) {
            if (s.name != "corpus") s.deflated.insert(s.deflated.end(), 4, 0);
        }
#endif
        return v;
    }();
    return all;
}

enum class Path { OnePass, OnePass64k, Pairs };

// Block loop over one stream with the given path; returns bytes produced.
// With 64 KiB calls the room is renewed whenever a call fills it.
std::size_t decodeOrv(LZ77DecoderState* st, const Bytes& in, Bytes& out, std::size_t capacity, Path path,
                      std::vector<LZ77Pair>& pairs) {
    orvsDecodeLZ77Init_8u(LZ77ChecksumNone, st);
    const std::uint8_t* src = in.data();
    auto srcLen = static_cast<std::int32_t>(in.size());
    std::uint8_t* dst = out.data();
    const auto total = static_cast<std::int32_t>(std::min(out.size(), capacity));
    const std::int32_t room = path == Path::OnePass64k ? 65536 : total;
    std::int32_t dstLen = room;
    const auto renew = [&] {
        const auto used = static_cast<std::int32_t>(dst - out.data());
        dstLen = std::min(room, total - used);
    };
    const bool onePass = path != Path::Pairs;
    for (;;) {
        LZ77HuffMode mode;
        if (orvsDecodeLZ77GetBlockType_8u(&src, &srcLen, &mode, st) != orvStsOk) return 0;
        orvStatus s;
        if (mode == LZ77HuffStored) {
            for (;;) {
                s = orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, st);
                if (s != orvStsDstFull || dst == out.data() + total) break;
                renew();
            }
            // Ok after the copy leaves the block open: one more call closes it.
            const std::uint8_t* probe = src;
            std::int32_t none = 0;
            if (s == orvStsOk && orvsDecodeLZ77GetBlockType_8u(&probe, &none, &mode, st) == orvStsOk) {
                s = orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, st);
            }
            renew();
        } else if (onePass) {
            for (;;) {
                s = mode == LZ77HuffFixed ? orvsDecodeLZ77FixedHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, st)
                                          : orvsDecodeLZ77DynamicHuffFull_8u(&src, &srcLen, &dst, &dstLen, 0, st);
                if (s != orvStsDstFull || dst == out.data() + total) break;
                renew();
            }
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
            renew();
        }
        if (s == orvStsStreamEnd) break;
        if (s != orvStsOk) return 0;
    }
    return static_cast<std::size_t>(dst - out.data());
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

// Decodes the sample (every file, for the whole corpus) once; returns the
// bytes produced, or 0 when any file decodes wrongly.
using Decoder = std::function<std::size_t(const Sample&, Bytes&)>;
std::size_t decodeSample(const Sample& sample, const Decoder& decode, Bytes& out) {
    std::size_t bytes = 0;
    for (const auto& s : samples()) {
        const bool wanted = sample.name == "corpus" ? s.inCorpus : &s == &sample;
        if (!wanted) continue;
        const std::size_t n = decode(s, out);
        if (n != s.raw.size()) return 0;
        bytes += n;
    }
    return bytes;
}

// Speed of `a` over that of `b` on the sample, from alternating runs.
double speedRatio(const Sample& sample, const Decoder& a, const Decoder& b, Bytes& out) {
    return orvdc::bench::alternatingSpeedRatio([&] { decodeSample(sample, a, out); },
                                               [&] { decodeSample(sample, b, out); });
}

struct Peers {
    Decoder zlib, libdeflate;
};

void run(benchmark::State& state, const Sample* sample, const Decoder& decode, const Peers& peers) {
    Bytes out;
    for (const auto& s : samples()) out.resize(std::max(out.size(), s.raw.size() + 64));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::size_t n = decodeSample(*sample, decode, out);
        if (n == 0) state.SkipWithError("decode failed");
        bytes += n;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    if (peers.libdeflate) state.counters["vs_libdeflate"] = speedRatio(*sample, decode, peers.libdeflate, out);
    if (peers.zlib) state.counters["vs_zlib"] = speedRatio(*sample, decode, peers.zlib, out);
}

// One decoder state and pair buffer for the orvdc paths (the state holds no
// allocation of its own; it lives as long as the program).
Decoder orvDecoder(Path path) {
    struct Resources {
        std::vector<std::uint8_t> state;
        std::vector<LZ77Pair> pairs;
    };
    static Resources r = [] {
        std::int32_t size = 0;
        orvsDecodeLZ77GetSize_8u(&size);
        return Resources{std::vector<std::uint8_t>(static_cast<std::size_t>(size)), std::vector<LZ77Pair>(65536)};
    }();
    return [path](const Sample& s, Bytes& out) {
        auto* st = reinterpret_cast<LZ77DecoderState*>(r.state.data());
        // A little room past the end: the end of a block is seen only with
        // room left.
        return decodeOrv(st, s.deflated, out, s.raw.size() + 64, path, r.pairs);
    };
}

[[maybe_unused]] const bool kRegistered = [] {
    Peers peers;
#ifdef ORVDC_HAVE_ZLIB
    peers.zlib = [](const Sample& x, Bytes& out) { return decodeZlib(x.deflated, out); };
#endif
#ifdef ORVDC_HAVE_DEFLATE
    static libdeflate_decompressor* const d = libdeflate_alloc_decompressor();
    peers.libdeflate = [](const Sample& x, Bytes& out) { return decodeLibdeflate(d, x.deflated, out, x.raw.size()); };
#endif
    for (const Sample& s : samples()) {
        const Sample* p = &s;
        const struct {
            const char* name;
            Path path;
        } paths[] = {{"onepass/", Path::OnePass}, {"onepass64k/", Path::OnePass64k}, {"pairs/", Path::Pairs}};
        for (const auto& v : paths) {
            const Decoder decode = orvDecoder(v.path);
            Peers compare;
            if (v.path == Path::Pairs) {
                compare.zlib = peers.zlib;
            } else {
                compare.libdeflate = peers.libdeflate;
            }
            benchmark::RegisterBenchmark((v.name + s.name).c_str(),
                                         [p, decode, compare](benchmark::State& st) { run(st, p, decode, compare); });
        }
        if (peers.zlib) {
            benchmark::RegisterBenchmark(("zlib/" + s.name).c_str(),
                                         [p, peers](benchmark::State& st) { run(st, p, peers.zlib, {}); });
        }
        if (peers.libdeflate) {
            benchmark::RegisterBenchmark(("libdeflate/" + s.name).c_str(),
                                         [p, peers](benchmark::State& st) { run(st, p, peers.libdeflate, {}); });
        }
    }
    return true;
}();

}  // namespace
