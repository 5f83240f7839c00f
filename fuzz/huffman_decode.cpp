// Huffman decoding of arbitrary bits with arbitrary length tables (complete
// codes built from frequencies, sparse tables, over-full ones, lengths out of
// range).  The run decoder is called on pieces with varying capacities, with
// the table-driven path and the plain loop in step: both must write the same
// symbols and leave the same state.  Every symbol written must have a code,
// and single-symbol decoding must stay inside an exactly sized window.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "huffman/huff_state.h"
#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

struct Input {
    const std::uint8_t* p;
    std::size_t n;
    std::uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    const std::uint8_t mode = in.byte();
    std::int32_t len[256] = {};
    switch (mode % 3) {
        case 0: {  // a code built from frequencies: complete, any depth
            std::int32_t freq[256] = {};
            const int count = 1 + in.byte();
            for (int k = 0; k < count; ++k) {
                const std::uint8_t s = in.byte();
                freq[s] = (in.byte() + 1) << (in.byte() % 23);
            }
            HuffState enc;
            if (orvsEncodeHuffInit_8u(freq, &enc) != orvStsOk) return 0;
            orvsHuffGetLenCodeTable_8u(len, &enc);
            break;
        }
        case 1: {  // a few symbols with any length, 33 and above included
            const int count = 1 + in.byte() % 40;
            for (int k = 0; k < count; ++k) {
                const std::uint8_t s = in.byte();
                len[s] = in.byte() % 35;
            }
            break;
        }
        default:
            for (int s = 0; s < 256; ++s) len[s] = in.byte() % 34;
            break;
    }
    HuffState fast, plain;
    const orvStatus init = orvsDecodeHuffInit_8u(len, &fast);
    bool inRange = true;
    for (int s = 0; s < 256; ++s) inRange = inRange && len[s] >= 0 && len[s] <= 32;
    if (init != (inRange ? orvStsOk : orvStsNoCode)) std::abort();
    if (init != orvStsOk) return 0;
    plain = fast;

    const std::size_t pieces = 1 + in.byte() % 4;
    std::vector<std::uint8_t> outFast, outPlain;
    for (std::size_t k = 0; k < pieces && in.n > 0; ++k) {
        const std::size_t want = k + 1 == pieces ? in.n : 1 + (static_cast<std::size_t>(in.byte()) * 37) % (in.n + 1);
        const std::size_t take = want < in.n ? want : in.n;
        if (take == 0) break;
        // The piece and the destinations end right before an inaccessible
        // page, so that any access past them faults; the table-driven path's
        // destination keeps its canary after the symbols it reports.
        static orvdc::fuzz::PageEnd srcMem, aMem, bMem, windowMem;
        const struct {
            const std::uint8_t* p;
            const std::uint8_t* data() const { return p; }
        } src{srcMem.place(in.p, take)};
        in.p += take;
        in.n -= take;
        const std::int32_t cap = 1 + static_cast<std::int32_t>((take * 9 + 300) % 70000);
        std::uint8_t* a = aMem.end(static_cast<std::size_t>(cap));
        std::uint8_t* b = bMem.end(static_cast<std::size_t>(cap));
        const std::size_t checked = std::min<std::size_t>(static_cast<std::size_t>(cap), take * 8 + 64);
        orvdc::fuzz::fillCanary(a, checked);
        std::int32_t capA = cap, capB = cap;
        const orvStatus sa = orvdc::huff::decodeRun(src.data(), static_cast<std::int32_t>(take), a, &capA, &fast, true);
        const orvStatus sb = orvdc::huff::decodeRun(src.data(), static_cast<std::int32_t>(take), b, &capB, &plain, false);
        if (sa == orvStsOk && capA >= 0 && static_cast<std::size_t>(capA) <= checked) {
            orvdc::fuzz::requireCanary(a, static_cast<std::size_t>(capA), checked);
        }
        if (sa != sb || capA != capB) std::abort();
        if (sa != orvStsOk) {
            // Only a table without any code is refused.
            if (sa != orvStsBadSize || fast.longest != 0) std::abort();
            return 0;
        }
        if (std::memcmp(a, b, static_cast<std::size_t>(capA)) != 0) std::abort();
        if (fast.bitBuffer != plain.bitBuffer || fast.bitCount != plain.bitCount ||
            fast.pendingZeros != plain.pendingZeros) {
            std::abort();
        }
        for (std::int32_t i = 0; i < capA; ++i) {
            if (len[a[static_cast<std::size_t>(i)]] == 0) std::abort();
        }

        // Single symbols at every offset of the piece's first bytes.
        if (fast.longest > 0) {
            for (int o = 0; o < 8; ++o) {
                const std::size_t need = static_cast<std::size_t>(o + fast.longest + 7) / 8;
                std::uint8_t* window = windowMem.end(need);
                std::memset(window, 0, need);
                std::memcpy(window, src.data(), need < take ? need : take);
                std::uint8_t sym = 0;
                const orvStatus one = orvsDecodeHuffOne_8u(window, o, &sym, &fast);
                if (one == orvStsOk && len[sym] == 0) std::abort();
                if (one != orvStsOk && one != orvStsNoCode) std::abort();
            }
        }
    }
    return 0;
}
