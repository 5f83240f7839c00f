// Random data, levels, checksum kinds, block kinds, flush points, pair-buffer
// and destination sizes through the staged deflate encoder; the stream must
// inflate to the input and carry the right trailer.  The inflater here is a
// small independent one (the harness links only the library).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void fail() { std::abort(); }

// A plain RFC 1951 inflater: bit-by-bit canonical decoding, enough as an
// oracle for short inputs.  Aborts on any malformed stream.
class Inflater {
public:
    explicit Inflater(const Bytes& in) : in_(in) {}

    Bytes run() {
        Bytes out;
        bool last = false;
        while (!last) {
            last = bits(1) != 0;
            const unsigned type = bits(2);
            if (type == 0) {
                pos_ = (pos_ + 7) & ~std::size_t{7};
                const unsigned len = bits(16);
                if ((bits(16) ^ 0xFFFFu) != len) fail();
                for (unsigned i = 0; i < len; ++i) out.push_back(static_cast<std::uint8_t>(bits(8)));
            } else if (type == 1) {
                int lit[288], dist[30];
                for (int s = 0; s < 288; ++s) lit[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
                for (int& d : dist) d = 5;
                block(out, lit, 288, dist, 30);
            } else if (type == 2) {
                const int hlit = static_cast<int>(bits(5)) + 257, hdist = static_cast<int>(bits(5)) + 1;
                const int hclen = static_cast<int>(bits(4)) + 4;
                static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
                int cl[19] = {};
                for (int k = 0; k < hclen; ++k) cl[order[k]] = static_cast<int>(bits(3));
                int lengths[316] = {};
                const Code clCode(cl, 19);
                for (int k = 0; k < hlit + hdist;) {
                    const int s = symbol(clCode);
                    int rep = 0, value = 0;
                    if (s < 16) {
                        lengths[k++] = s;
                        continue;
                    }
                    if (s == 16) {
                        if (k == 0) fail();
                        value = lengths[k - 1];
                        rep = 3 + static_cast<int>(bits(2));
                    } else if (s == 17) {
                        rep = 3 + static_cast<int>(bits(3));
                    } else {
                        rep = 11 + static_cast<int>(bits(7));
                    }
                    if (k + rep > hlit + hdist) fail();
                    while (rep-- > 0) lengths[k++] = value;
                }
                block(out, lengths, hlit, lengths + hlit, hdist);
            } else {
                fail();
            }
        }
        pos_ = (pos_ + 7) & ~std::size_t{7};
        return out;
    }
    std::size_t bytesRead() const { return pos_ / 8; }

private:
    unsigned bits(int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i, ++pos_) {
            if (pos_ / 8 >= in_.size()) fail();
            v |= ((in_[pos_ / 8] >> (pos_ % 8)) & 1u) << i;
        }
        return v;
    }
    // A canonical code: how many symbols have each length, and the symbols
    // in code order.
    struct Code {
        int count[16] = {};
        int symbols[316] = {};
        Code(const int* lengths, int n) {
            int offset[16] = {};
            for (int s = 0; s < n; ++s) ++count[lengths[s]];
            for (int len = 1; len < 15; ++len) offset[len + 1] = offset[len] + count[len];
            for (int s = 0; s < n; ++s) {
                if (lengths[s] != 0) symbols[offset[lengths[s]]++] = s;
            }
        }
    };
    int symbol(const Code& c) {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= 15; ++len) {
            code |= static_cast<int>(bits(1));
            const int count = c.count[len];
            if (code - first < count) return c.symbols[index + code - first];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        fail();
    }
    void block(Bytes& out, const int* lit, int nlit, const int* dist, int ndist) {
        static constexpr int lbase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr int lextra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static constexpr int dbase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                          193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097,
                                          6145, 8193, 12289, 16385, 24577};
        const Code litCode(lit, nlit), distCode(dist, ndist);
        for (;;) {
            const int s = symbol(litCode);
            if (s < 256) {
                out.push_back(static_cast<std::uint8_t>(s));
            } else if (s == 256) {
                return;
            } else {
                if (s > 285) fail();
                const int len = lbase[s - 257] + static_cast<int>(bits(lextra[s - 257]));
                const int d = symbol(distCode);
                if (d > 29) fail();
                const int distance = dbase[d] + static_cast<int>(bits(d < 4 ? 0 : d / 2 - 1));
                if (distance > static_cast<int>(out.size())) fail();
                for (int i = 0; i < len; ++i) out.push_back(out[out.size() - static_cast<std::size_t>(distance)]);
            }
        }
    }

    const Bytes& in_;
    std::size_t pos_ = 0;
};

struct Plan {
    int level, kind, blocks;
    std::int32_t piece, pairRoom, dstRoom;
    std::uint32_t seed;
};

std::uint32_t nextRandom(std::uint32_t& s) {
    s = s * 1103515245u + 12345u;
    return s >> 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    Plan plan{};
    plan.level = data[0] % 4;  // 3: an unknown level, taken as 1
    plan.kind = (data[0] >> 2) % 3;
    plan.blocks = (data[0] >> 4) % 4;  // fixed, dynamic, selector, stored mix
    plan.piece = 1 + (data[1] | data[2] << 8);
    plan.pairRoom = 1 + data[3] * (data[3] > 200 ? 300 : 1);
    plan.dstRoom = 1 + data[4] * (data[4] > 200 ? 100 : 1);
    plan.seed = data[5];
    // The source, the pair records and every destination room end right
    // before an inaccessible page; the state memory is kept across runs.
    static orvdc::fuzz::PageEnd srcMem, pairMem, dstMem;
    const struct {
        const std::uint8_t* p;
        std::size_t n;
        const std::uint8_t* data() const { return p; }
        std::size_t size() const { return n; }
        bool empty() const { return n == 0; }
    } in{srcMem.place(data + 6, size - 6), size - 6};

    static std::unique_ptr<std::uint8_t[]> stateMem(new std::uint8_t[599620 + 4]);
    auto* st = reinterpret_cast<LZ77EncoderState*>(stateMem.get() + 4);
    if (orvsEncodeLZ77Init_8u(plan.level, plan.kind, st) != orvStsOk) fail();
    Bytes out;
    const auto dstRoom = static_cast<std::size_t>(plan.dstRoom);
    const struct {
        std::uint8_t* p;
        std::uint8_t* data() const { return p; }
    } dst{dstMem.end(dstRoom)};
    orvdc::fuzz::fillCanary(dst.data(), dstRoom);
    // Appends a call's output and checks that the room after it is untouched.
    // Stored blocks and the trailer may clear the byte behind their output.
    const auto collect = [&](std::uint8_t* d, bool mayClear = false) {
        const auto written = static_cast<std::size_t>(d - dst.data());
        if (written > dstRoom) fail();
        const std::size_t touched = mayClear ? orvdc::fuzz::requireCanaryPastClearedByte(dst.data(), written, dstRoom)
                                             : (orvdc::fuzz::requireCanary(dst.data(), written, dstRoom), written);
        out.insert(out.end(), dst.data(), d);
        orvdc::fuzz::fillCanary(dst.data(), touched);
    };
    // Small pieces and pair rooms make a block of a few pairs each, every
    // one with its own code tables: they hold for the first kSmallRounds
    // pair-collecting calls, and later pieces and pair rooms are large, so
    // that a long input does not cost thousands of blocks.
    constexpr int kSmallRounds = 32;
    constexpr std::int32_t kLargeRoom = 4096;
    int rounds = 0;
    std::uint32_t rnd = plan.seed;

    const auto writePairs = [&](bool dynamic, const LZ77Pair* p, std::int32_t n, LZ77FlushMode flush) {
        for (;;) {
            std::uint8_t* d = dst.data();
            std::int32_t room = plan.dstRoom;
            const orvStatus s = dynamic ? orvsEncodeLZ77DynamicHuff_8u(&p, &n, &d, &room, flush, st)
                                        : orvsEncodeLZ77FixedHuff_8u(&p, &n, &d, &room, flush, st);
            collect(d);
            if (s != orvStsDstFull) {
                if (n != 0 || s < 0) fail();
                return s;
            }
        }
    };
    const auto writeStored = [&](const std::uint8_t* s, std::int32_t n, LZ77FlushMode flush) {
        for (;;) {
            std::uint8_t* d = dst.data();
            std::int32_t room = plan.dstRoom;
            const orvStatus r = orvsEncodeLZ77StoredBlock_8u(&s, &n, &d, &room, flush, st);
            collect(d, true);
            if (r == orvStsOk) return;
            if (r != orvStsDstFull) fail();
        }
    };
    static const LZ77Pair noPair{};
    static const std::uint8_t noByte = 0;

    if (in.empty()) {
        writeStored(&noByte, 0, LZ77FlushFinish);
        if (writePairs(false, &noPair, 0, LZ77FlushFinish) != orvStsStreamEnd) fail();
    }
    std::size_t pos = 0;
    while (pos < in.size()) {
        const std::int32_t piece = rounds < kSmallRounds ? plan.piece : std::max(plan.piece, kLargeRoom);
        const std::size_t len = std::min<std::size_t>(static_cast<std::size_t>(piece), in.size() - pos);
        const bool last = pos + len == in.size();
        const std::uint32_t r = nextRandom(rnd);
        const LZ77FlushMode flush = last ? LZ77FlushFinish : static_cast<LZ77FlushMode>(r % 3);
        const bool stored = plan.blocks == 3 && (r >> 4) % 3 == 0;
        const std::uint8_t* src = in.data() + pos;
        auto srcLen = static_cast<std::int32_t>(len);
        do {
            std::int32_t room = rounds++ < kSmallRounds ? plan.pairRoom : std::max(plan.pairRoom, kLargeRoom);
            const struct {
                LZ77Pair* p;
                LZ77Pair* data() const { return p; }
            } pairs{reinterpret_cast<LZ77Pair*>(pairMem.end(sizeof(LZ77Pair) * static_cast<std::size_t>(room)))};
            LZ77Pair* pd = pairs.data();
            const std::uint8_t* before = src;
            orvsEncodeLZ77SetStatus_8u(LZ77DeflateCollectPairs, st);
            const orvStatus found = orvsEncodeLZ77_8u(&src, &srcLen, &pd, &room, flush, st);
            if (found != (srcLen == 0 ? orvStsOk : orvStsDstFull)) fail();
            const auto count = static_cast<std::int32_t>(pd - pairs.data());
            orvsEncodeLZ77SetStatus_8u(LZ77DeflateCodePairs, st);
            const bool ends = flush == LZ77FlushFinish && srcLen == 0;
            if (stored) {
                writeStored(before, static_cast<std::int32_t>(src - before), ends ? LZ77FlushFinish : LZ77FlushNone);
                if (ends && writePairs(false, &noPair, 0, LZ77FlushFinish) != orvStsStreamEnd) fail();
                continue;
            }
            bool dynamic = plan.blocks == 1;
            if (plan.blocks >= 2) {
                LZ77HuffMode mode = -1;
                if (orvsEncodeLZ77SelectHuffMode_8u(pairs.data(), count, &mode, st) != orvStsOk) fail();
                dynamic = mode == LZ77HuffDynamic;
            }
            if (writePairs(dynamic, pairs.data(), count, flush) != (ends ? orvStsStreamEnd : orvStsOk)) fail();
        } while (srcLen > 0);
        pos += len;
    }
    orvsEncodeLZ77SetStatus_8u(LZ77DeflateTrailer, st);
    for (;;) {
        std::uint8_t* d = dst.data();
        std::int32_t room = plan.dstRoom;
        const orvStatus s = orvsEncodeLZ77Flush_8u(&d, &room, st);
        collect(d, true);
        if (s == orvStsOk) break;
        if (s != orvStsDstFull) fail();
    }

    Inflater inflater(out);
    const Bytes back = inflater.run();
    if (back.size() != in.size() || (!in.empty() && std::memcmp(back.data(), in.data(), in.size()) != 0)) fail();
    const std::size_t trailer = out.size() - inflater.bytesRead();
    std::uint32_t sum = plan.kind == LZ77ChecksumAdler32 ? 1 : 0;
    if (!in.empty() && plan.kind == LZ77ChecksumAdler32) orvsAdler32_8u(in.data(), static_cast<std::int32_t>(in.size()), &sum);
    if (!in.empty() && plan.kind == LZ77ChecksumCRC32) orvsCRC32_8u(in.data(), static_cast<std::int32_t>(in.size()), &sum);
    const std::uint8_t* t = out.data() + inflater.bytesRead();
    if (plan.kind == LZ77ChecksumAdler32) {
        if (trailer != 4) fail();
        if ((std::uint32_t{t[0]} << 24 | t[1] << 16 | t[2] << 8 | t[3]) != sum) fail();
    } else {
        if (trailer != 8) fail();
        if ((t[0] | t[1] << 8 | t[2] << 16 | std::uint32_t{t[3]} << 24) != sum) fail();
        if ((t[4] | t[5] << 8 | t[6] << 16 | std::uint32_t{t[7]} << 24) != static_cast<std::uint32_t>(in.size())) fail();
    }
    return 0;
}
