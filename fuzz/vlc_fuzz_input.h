// Turning fuzz input into VLC code tables and level widths, shared by the VLC
// harnesses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvdc.h"

namespace vlcfuzz {

// Reads bytes from the input; zeros once it is used up.
struct Reader {
    const std::uint8_t* p;
    std::size_t n;
    std::uint8_t byte() { return n ? (--n, *p++) : 0; }
    std::uint32_t word() {
        std::uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = (w << 8) | byte();
        return w;
    }
};

// `levels` level widths (any sign, up to 39), plus one spare slot.
inline std::vector<std::int32_t> readWidths(Reader& in, int levels) {
    std::vector<std::int32_t> widths(static_cast<std::size_t>(levels) + 1);
    for (int i = 0; i < levels; ++i) widths[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(in.byte()) % 40;
    return widths;
}

// `count` records with arbitrary codes and lengths (plus one spare).  A kind
// byte per record may bring the length into 1..longMax or 1..shortMax so that
// buildable tables turn up often; with `shapeValues` it may also narrow the
// value to 16 bits or to a small range.
inline std::vector<VLCTableEntry> readTable(Reader& in, int count, bool shapeValues, int longMax, int shortMax) {
    std::vector<VLCTableEntry> table(static_cast<std::size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        auto& e = table[static_cast<std::size_t>(i)];
        const std::uint8_t kind = in.byte();
        e.value = static_cast<std::int32_t>(in.word());
        if (shapeValues && (kind & 1)) e.value = static_cast<std::int16_t>(e.value);
        if (shapeValues && (kind & 2)) e.value %= 64;
        e.code = in.word();
        e.length = static_cast<std::int8_t>(in.byte());
        if (kind & 4) e.length = 1 + (e.length & 31) % (kind & 8 ? longMax : shortMax);
    }
    return table;
}

}  // namespace vlcfuzz
