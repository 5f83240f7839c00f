// Prefix codes (complete or not) built from the input, checked against a
// plain search decoder: every code of arbitrary bits decodes to the value the
// search finds (or is refused where the search finds none), for the value
// and the tuple decoder, and the encoder writes back exactly the bits read.
// Input bytes past the first 1 KiB of the stream are ignored.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"
#include "vlc_fuzz_input.h"

namespace {

unsigned bitAt(const std::uint8_t* s, std::size_t i) {
    return (s[i / 8] >> (7 - i % 8)) & 1u;
}

// Index of the entry whose code starts at bit `pos`, or -1.
int search(const std::vector<VLCTableEntry>& t, const std::uint8_t* s, std::size_t pos) {
    for (std::size_t k = 0; k < t.size(); ++k) {
        std::uint32_t bits = 0;
        for (int i = 0; i < t[k].length; ++i) bits = (bits << 1) | bitAt(s, pos + static_cast<std::size_t>(i));
        if (bits == t[k].code) return static_cast<int>(k);
    }
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vlcfuzz::Reader in{data, size};
    const int wanted = 1 + in.byte() % 80;
    const int maxLength = 1 + in.byte() % 32;
    std::vector<int> lengths(static_cast<std::size_t>(wanted));
    for (auto& l : lengths) l = 1 + in.byte() % maxLength;
    std::sort(lengths.begin(), lengths.end());
    // Canonical codes in length order, as long as the lengths leave room.
    std::vector<VLCTableEntry> t;
    std::uint64_t code = 0;
    int prev = lengths[0];
    const auto stride = static_cast<std::int32_t>(in.byte() | 1);
    const auto base = static_cast<std::int32_t>(in.byte()) - 128;
    for (int l : lengths) {
        code <<= (l - prev);
        prev = l;
        if ((code >> l) != 0) break;
        const auto index = static_cast<std::int32_t>(t.size());
        t.push_back({static_cast<std::int16_t>(base + index * stride), static_cast<std::uint32_t>(code), l});
        ++code;
    }
    // Entries in an input-chosen order (a prefix code has no conflicts).
    for (std::size_t i = t.size(); i > 1; --i) std::swap(t[i - 1], t[in.byte() % i]);
    int longest = 0;
    for (const auto& e : t) longest = std::max(longest, e.length);
    std::vector<std::int32_t> widths;
    for (int sum = 0, levels = in.byte() % 6; sum < longest; --levels) {
        widths.push_back(levels > 0 ? 1 + in.byte() % 12 : 8);
        sum += widths.back();
    }
    const int offset0 = in.byte() % 8;
    const std::int32_t elementCount = 1 + in.byte() % 4;
    const std::int32_t elementBits = 1 + in.byte() % 6;
    if (in.n < 5) return 0;
    // The stream is at most 1 KiB of the rest: room for far more codes than
    // the block decoder's word-buffered stretch needs, while each run stays
    // short.  It and the encoder's output end right before an inaccessible
    // page.
    const std::size_t streamLen = std::min<std::size_t>(in.n, 1024);
    static orvdc::fuzz::PageEnd streamMem, outMem;
    const std::uint8_t* stream = streamMem.place(in.p, streamLen);
    const std::uint8_t* end = stream + streamLen;
    const auto n = static_cast<std::int32_t>(t.size());
    const auto levelCount = static_cast<std::int32_t>(widths.size());

    // Value decoder against the search, and the encoder back.
    VLCDecodeSpec* dec = nullptr;
    if (orvsVLCDecodeInitAlloc_32s(t.data(), n, widths.data(), levelCount, &dec) != orvStsOk) std::abort();
    VLCEncodeSpec* enc = nullptr;
    if (orvsVLCEncodeInitAlloc_32s(t.data(), n, &enc) != orvStsOk) std::abort();
    const std::uint8_t* p = stream;
    std::int32_t offset = offset0;
    std::vector<std::int16_t> values;
    while (end - p >= 5) {
        const std::size_t pos = static_cast<std::size_t>(p - stream) * 8 + static_cast<std::size_t>(offset);
        const int k = search(t, stream, pos);
        std::int16_t v = 0;
        const orvStatus s = orvsVLCDecodeOne_1u16s(&p, &offset, &v, dec);
        if (k < 0) {
            if (s != orvStsBadContext) std::abort();
            break;
        }
        const std::size_t next = static_cast<std::size_t>(p - stream) * 8 + static_cast<std::size_t>(offset);
        if (s != orvStsOk || v != t[static_cast<std::size_t>(k)].value ||
            next != pos + static_cast<std::size_t>(t[static_cast<std::size_t>(k)].length)) {
            std::abort();
        }
        values.push_back(v);
    }
    if (!values.empty()) {
        // The block decoder agrees, through its word buffer for long blocks.
        std::vector<std::int16_t> block(values.size());
        const std::uint8_t* q = stream;
        std::int32_t qOffset = offset0;
        if (orvsVLCDecodeBlock_1u16s(&q, &qOffset, block.data(), static_cast<std::int32_t>(block.size()), dec) !=
                orvStsOk ||
            block != values || q != p || qOffset != offset) {
            std::abort();
        }
        // The encoder gets exactly the bytes its bits touch.
        const std::size_t used = static_cast<std::size_t>(p - stream) + (offset != 0 ? 1 : 0);
        std::uint8_t* const out = outMem.end(std::max<std::size_t>(used, 1));
        std::memset(out, 0, std::max<std::size_t>(used, 1));
        out[0] = stream[0];
        std::uint8_t* w = out;
        std::int32_t wOffset = offset0;
        if (orvsVLCEncodeBlock_16s1u(values.data(), static_cast<std::int32_t>(values.size()), &w, &wOffset, enc) !=
                orvStsOk ||
            w - out != p - stream || wOffset != offset) {
            std::abort();
        }
        const std::size_t bits = static_cast<std::size_t>(p - stream) * 8 + static_cast<std::size_t>(offset);
        for (std::size_t i = 0; i < bits; ++i) {
            if (bitAt(out, i) != bitAt(stream, i)) std::abort();
        }
    }
    orvsVLCEncodeFree_32s(enc);
    orvsVLCDecodeFree_32s(dec);

    // Tuple decoder: the same codes stand for packed magnitudes.
    const std::uint32_t tupleMask = (1u << (elementCount * elementBits)) - 1u;
    for (auto& e : t) e.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(e.value) & tupleMask);
    VLCDecodeUTupleSpec* tup = nullptr;
    const orvStatus ts =
        orvsVLCDecodeUTupleInitAlloc_32s(t.data(), n, widths.data(), levelCount, elementCount, elementBits, &tup);
    if (ts == orvStsOk) {
        p = stream;
        offset = offset0;
        while (end - p >= 5) {
            std::size_t pos = static_cast<std::size_t>(p - stream) * 8 + static_cast<std::size_t>(offset);
            const int k = search(t, stream, pos);
            std::int16_t got[4];
            const orvStatus s = orvsVLCDecodeUTupleOne_1u16s(&p, &offset, got, tup);
            if (k < 0) {
                if (s != orvStsBadContext) std::abort();
                break;
            }
            if (s != orvStsOk) std::abort();
            const auto& e = t[static_cast<std::size_t>(k)];
            pos += static_cast<std::size_t>(e.length);
            for (int j = 0; j < elementCount; ++j) {
                const int m = (e.value >> ((elementCount - 1 - j) * elementBits)) & ((1 << elementBits) - 1);
                int expect = m;
                if (m != 0 && bitAt(stream, pos++)) expect = -m;
                if (got[j] != expect) std::abort();
            }
            if (static_cast<std::size_t>(p - stream) * 8 + static_cast<std::size_t>(offset) != pos) std::abort();
        }
    } else if (ts != orvStsBadArg || longest + elementCount <= 32) {
        std::abort();
    }
    orvsVLCDecodeUTupleFree_32s(tup);
    return 0;
}
