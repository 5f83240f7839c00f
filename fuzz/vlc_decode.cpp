// The value decoder built from arbitrary records and level widths, then run
// over arbitrary bits: construction never fails badly, decoding stays inside
// the stream (placed right before an inaccessible page, read no further than
// 5 bytes from the current byte), and a block equals single decodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"
#include "vlc_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vlcfuzz::Reader in{data, size};
    const int count = in.byte() % 48;
    const int levels = in.byte() % 10;
    const std::vector<std::int32_t> widths = vlcfuzz::readWidths(in, levels);
    const std::vector<VLCTableEntry> table = vlcfuzz::readTable(in, count, true, 32, 12);
    const int offset0 = in.byte() % 8;

    std::int32_t objSize = 0;
    const orvStatus st = orvsVLCDecodeGetSize_32s(table.data(), count, widths.data(), levels, &objSize);
    if (st != orvStsOk || objSize > (1 << 22)) return 0;
    // Caller memory of exactly the size, 4 bytes past a 32-byte boundary.
    auto* raw = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(objSize) + 4));
    if (raw == nullptr) return 0;
    auto* vlcSpec = reinterpret_cast<VLCDecodeSpec*>(raw + 4);
    const orvStatus built = orvsVLCDecodeInit_32s(table.data(), count, widths.data(), levels, vlcSpec);
    VLCDecodeSpec* alloc = nullptr;
    const orvStatus built2 = orvsVLCDecodeInitAlloc_32s(table.data(), count, widths.data(), levels, &alloc);
    if (built != built2) std::abort();
    orvsVLCDecodeFree_32s(alloc);

    if (built == orvStsOk && in.n >= 5) {
        // The stream ends right before an inaccessible page.
        static orvdc::fuzz::PageEnd streamMem;
        const std::uint8_t* stream = streamMem.place(in.p, in.n);
        const std::uint8_t* end = stream + in.n;
        const std::uint8_t* p = stream;
        std::int32_t offset = offset0;
        std::vector<std::int16_t> single;
        while (end - p >= 5) {
            std::int16_t v;
            const std::uint8_t* before = p;
            const std::int32_t beforeOffset = offset;
            const orvStatus s = orvsVLCDecodeOne_1u16s(&p, &offset, &v, vlcSpec);
            if (s != orvStsOk) {
                if (s != orvStsBadContext || p != before || offset != beforeOffset) std::abort();
                break;
            }
            const std::ptrdiff_t advanced = (p - before) * 8 + offset - beforeOffset;
            if (advanced < 1 || advanced > 32) std::abort();
            single.push_back(v);
        }
        if (!single.empty()) {
            std::vector<std::int16_t> block(single.size());
            const std::uint8_t* q = stream;
            std::int32_t qOffset = offset0;
            if (orvsVLCDecodeBlock_1u16s(&q, &qOffset, block.data(), static_cast<std::int32_t>(block.size()), vlcSpec) !=
                    orvStsOk ||
                block != single || q != p || qOffset != offset) {
                std::abort();
            }
        }
    }
    orvsVLCDecodeFree_32s(vlcSpec);
    std::free(raw);
    return 0;
}
