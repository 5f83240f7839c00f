// The tuple decoder built from arbitrary records, level widths and tuple
// shapes, then run over arbitrary bits: construction never fails badly,
// decoding stays inside the stream (right before an inaccessible page, read no
// further than 5 bytes from the current byte), the bits consumed are the code
// plus one per non-zero element, and a block equals single decodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"
#include "vlc_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vlcfuzz::Reader in{data, size};
    const int count = in.byte() % 48;
    const int levels = in.byte() % 10;
    const std::int32_t elementCount = static_cast<std::int8_t>(in.byte()) % 20;
    const std::int32_t elementBits = static_cast<std::int8_t>(in.byte()) % 36;
    const std::vector<std::int32_t> widths = vlcfuzz::readWidths(in, levels);
    const std::vector<VLCTableEntry> table = vlcfuzz::readTable(in, count, false, 24, 10);
    const int offset0 = in.byte() % 8;

    std::int32_t objSize = 0;
    const orvStatus st = orvsVLCDecodeUTupleGetSize_32s(table.data(), count, widths.data(), levels, elementCount,
                                                        elementBits, &objSize);
    if (st != orvStsOk || objSize > (1 << 22)) return 0;
    if (elementCount < 1 || elementBits < 1) std::abort();
    auto* raw = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(objSize) + 4));
    if (raw == nullptr) return 0;
    auto* vlcSpec = reinterpret_cast<VLCDecodeUTupleSpec*>(raw + 4);
    const orvStatus built =
        orvsVLCDecodeUTupleInit_32s(table.data(), count, widths.data(), levels, elementCount, elementBits, vlcSpec);
    VLCDecodeUTupleSpec* alloc = nullptr;
    const orvStatus built2 = orvsVLCDecodeUTupleInitAlloc_32s(table.data(), count, widths.data(), levels,
                                                              elementCount, elementBits, &alloc);
    if (built != built2) std::abort();
    orvsVLCDecodeUTupleFree_32s(alloc);

    if (built == orvStsOk && in.n >= 5) {
        // The stream ends right before an inaccessible page.
        static orvdc::fuzz::PageEnd streamMem;
        const std::uint8_t* stream = streamMem.place(in.p, in.n);
        const std::uint8_t* end = stream + in.n;
        const std::uint8_t* p = stream;
        std::int32_t offset = offset0;
        const auto ec = static_cast<std::size_t>(elementCount);
        std::vector<std::int16_t> single;
        while (end - p >= 5) {
            std::vector<std::int16_t> tuple(ec);
            const std::uint8_t* before = p;
            const std::int32_t beforeOffset = offset;
            const orvStatus s = orvsVLCDecodeUTupleOne_1u16s(&p, &offset, tuple.data(), vlcSpec);
            if (s != orvStsOk) {
                if (s != orvStsBadContext || p != before || offset != beforeOffset) std::abort();
                break;
            }
            int nonZero = 0;
            for (auto v : tuple) nonZero += v != 0;
            const std::ptrdiff_t advanced = (p - before) * 8 + offset - beforeOffset;
            if (advanced < 1 + nonZero || advanced > 32) std::abort();
            single.insert(single.end(), tuple.begin(), tuple.end());
        }
        if (!single.empty()) {
            std::vector<std::int16_t> block(single.size() + ec - 1, 0x5555);
            const std::uint8_t* q = stream;
            std::int32_t qOffset = offset0;
            if (orvsVLCDecodeUTupleBlock_1u16s(&q, &qOffset, block.data(), static_cast<std::int32_t>(block.size()),
                                               vlcSpec) != orvStsOk ||
                !std::equal(single.begin(), single.end(), block.begin()) || q != p || qOffset != offset) {
                std::abort();
            }
            for (std::size_t i = single.size(); i < block.size(); ++i) {
                if (block[i] != 0x5555) std::abort();
            }
        }
    }
    orvsVLCDecodeUTupleFree_32s(vlcSpec);
    std::free(raw);
    return 0;
}
