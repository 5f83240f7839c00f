// The BWT round-trip checks (bwt_roundtrip_check.h) on blocks made for the
// suffix sorter's high-entropy shortcut: the input after its first byte (up
// to 1 KB of it) is planted every 2 KB into 17 KB of pseudo-random bytes,
// just above the 16 KiB the shortcut needs, so that its ties and give-ups
// come from the input.  Bit 0 of the first byte chooses in-place forward
// transforms.  A block that makes the shortcut give up is sorted again by
// induction at this size, so runs here are slow by nature.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "bwt_roundtrip_check.h"

namespace {

using orvdc::fuzz::bwt::Bytes;

// Up to 1024 bytes of the input copied every 2048 bytes into 17408
// pseudo-random bytes (xorshift, seeded by the input's length).
Bytes planted(const std::uint8_t* input, std::size_t size) {
    Bytes out(17408);
    std::uint32_t x = 2463534242u ^ static_cast<std::uint32_t>(size);
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    const std::size_t len = std::min<std::size_t>(size, 1024);
    for (std::size_t at = 0; at + len <= out.size(); at += 2048) {
        std::copy_n(input, len, out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size - 1 > 1024) return 0;
    orvdc::fuzz::bwt::checkRoundTrip(planted(data + 1, size - 1), data[0] & 1);
    return 0;
}
