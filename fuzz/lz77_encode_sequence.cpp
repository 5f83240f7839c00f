// Any sequence of encoder calls with any arguments the C interface lets a
// caller pass (random pairs, out-of-order stages, odd status words, tiny and
// empty buffers) must stay inside the given buffers and the state block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    bool more() const { return i_ < n_; }
    std::uint32_t byte() { return i_ < n_ ? d_[i_++] : 0; }
    std::uint32_t word() { return byte() | byte() << 8; }

private:
    const std::uint8_t* d_;
    std::size_t n_;
    std::size_t i_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    static std::vector<std::uint8_t> stateMem(599620);  // kept across runs; Init prepares it
    auto* st = reinterpret_cast<LZ77EncoderState*>(stateMem.data());
    // Source, pairs and every destination end right before an inaccessible
    // page; destination bytes after what a call reports keep their canary.
    static orvdc::fuzz::PageEnd sourceMem, pairMem, dstMem, outMem;
    orvsEncodeLZ77Init_8u(static_cast<LZ77ComprLevel>(in.byte() % 4), static_cast<LZ77ChecksumKind>(in.byte() % 4), st);

    // Source bytes and pairs from a generator seeded by the input, so that
    // the input bytes go to the call sequence.
    std::uint32_t seed = in.word() * 2654435761u + 1;
    const auto next = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    const std::uint32_t alphabet = 1 + in.byte();
    struct Span {
        std::uint8_t* p;
        std::size_t n;
        std::uint8_t* data() const { return p; }
        std::size_t size() const { return n; }
    } source{sourceMem.end(4096), 4096};
    for (std::size_t k = 0; k < source.n; ++k) source.p[k] = static_cast<std::uint8_t>(next() % alphabet);
    struct PairSpan {
        LZ77Pair* p;
        std::size_t n;
        LZ77Pair* data() const { return p; }
        std::size_t size() const { return n; }
    } pairs{reinterpret_cast<LZ77Pair*>(pairMem.end(512 * sizeof(LZ77Pair))), 512};
    const std::uint32_t spread = in.byte();
    for (std::size_t k = 0; k < pairs.n; ++k) {
        LZ77Pair& p = pairs.p[k];
        const std::uint32_t r = next();
        // mostly well-formed pairs, some with fields out of every range
        if (r % 256 < spread) {
            p = {static_cast<std::uint16_t>(r >> 8), static_cast<std::uint16_t>(next() & (r & 1 ? 0xFFFF : 0))};
        } else if (r & 1) {
            p = {static_cast<std::uint16_t>(3 + (r >> 8) % 256), static_cast<std::uint16_t>(1 + (r >> 16) % 32768)};
        } else {
            p = {static_cast<std::uint16_t>((r >> 8) % 256), 0};
        }
    }

    for (int ops = 0; in.more() && ops < 200; ++ops) {
        const std::uint32_t op = in.byte() % 9;
        const auto flush = static_cast<LZ77FlushMode>(in.byte() % 4);
        const std::size_t dstSize = in.byte() % 40;
        const Span dst{dstMem.end(dstSize), dstSize};
        orvdc::fuzz::fillCanary(dst.p, dstSize);
        std::uint8_t sink = 0;
        std::uint8_t* d = dstSize == 0 ? &sink : dst.data();
        auto room = static_cast<std::int32_t>(dstSize);
        const std::uint32_t from = in.word() % source.size();
        auto n = static_cast<std::int32_t>(std::min<std::size_t>(in.word() % 3000, source.size() - from));
        switch (op) {
            case 0: {
                const std::uint8_t* s = source.data() + from;
                const std::size_t outCount = in.byte() % 300;
                LZ77Pair spare{};
                LZ77Pair* o = outCount == 0 ? &spare : reinterpret_cast<LZ77Pair*>(outMem.end(outCount * sizeof(LZ77Pair)));
                auto orm = static_cast<std::int32_t>(outCount);
                orvsEncodeLZ77_8u(&s, &n, &o, &orm, flush, st);
                break;
            }
            case 1:
            case 2: {
                const std::uint32_t first = in.word() % pairs.size();
                const LZ77Pair* p = pairs.data() + first;
                auto np = static_cast<std::int32_t>(std::min<std::uint32_t>(in.word() % 600, static_cast<std::uint32_t>(pairs.size() - first)));
                if (op == 1) orvsEncodeLZ77FixedHuff_8u(&p, &np, &d, &room, flush, st);
                else orvsEncodeLZ77DynamicHuff_8u(&p, &np, &d, &room, flush, st);
                break;
            }
            case 3: {
                const std::uint8_t* s = source.data() + from;
                orvsEncodeLZ77StoredBlock_8u(&s, &n, &d, &room, flush, st);
                break;
            }
            case 4: {
                LZ77HuffMode mode;
                const std::uint32_t first = in.word() % pairs.size();
                orvsEncodeLZ77SelectHuffMode_8u(pairs.data() + first, static_cast<std::int32_t>(pairs.size() - first), &mode, st);
                break;
            }
            case 5: orvsEncodeLZ77SetStatus_8u(static_cast<LZ77DeflateStatus>(in.byte() % 5), st); break;
            case 6: orvsEncodeLZ77Flush_8u(&d, &room, st); break;
            case 7: orvsEncodeLZ77Reset_8u(st); break;
            default: {
                LZ77Pair* own;
                std::int32_t index, length;
                orvsEncodeLZ77GetPairs_8u(&own, &index, &length, st);
                break;
            }
        }
        if (room < 0 || (dstSize != 0 && d > dst.data() + dst.size())) std::abort();
        // Stored blocks and the trailer may clear the byte behind their output.
        if (dstSize != 0 && d >= dst.data()) {
            const auto written = static_cast<std::size_t>(d - dst.p);
            if (op == 3 || op == 6) orvdc::fuzz::requireCanaryPastClearedByte(dst.p, written, dstSize);
            else orvdc::fuzz::requireCanary(dst.p, written, dstSize);
        }
    }
    return 0;
}
