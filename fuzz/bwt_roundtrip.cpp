// Forward then inverse gives the block back, for both block sizes; the two
// forward transforms agree; short blocks match a naive rotation sort (see
// bwt_roundtrip_check.h).  Bit 0 of the first byte chooses in-place forward
// transforms; the rest of the input, at most 1 KB, is the block.  Blocks
// large enough for the suffix sorter's high-entropy shortcut cost a hundred
// times more and have their own harness (bwt_shortcut.cpp).
#include <cstddef>
#include <cstdint>

#include "bwt_roundtrip_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size - 1 > 1024) return 0;
    orvdc::fuzz::bwt::checkRoundTrip(orvdc::fuzz::bwt::Bytes(data + 1, data + size), data[0] & 1);
    return 0;
}
