// Calls into the library's GIT coder for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

namespace orvdc::test::git {

// All strategies with a distinct behaviour, plus 0 (same as 1) and two
// "other" values (priming without reordering).
inline const std::vector<int> kStrategies = {0, 1, 2, 3, 4, -7};

// Encodes with a fresh allocated state sized for the source; empty on error.
inline Bytes libraryEncode(const Bytes& src, int strategy, orvStatus* status = nullptr) {
    const auto n = static_cast<std::int32_t>(src.size());
    const std::int32_t maxDst = 4 * n + 4096;
    GITState* st = nullptr;
    const orvStatus init = orvsEncodeGITInitAlloc_8u(n < 1 ? 1 : n, maxDst, &st);
    EXPECT_TRUE(init == orvStsOk || init == orvStsDstFull);
    CanaryRoom room;
    std::uint8_t* dst = room.prepare(static_cast<std::size_t>(maxDst < 8192 ? 8192 : maxDst));
    std::int32_t len = -1;
    const std::uint8_t dummy = 0;
    const orvStatus s = orvsEncodeGIT_8u(src.empty() ? &dummy : src.data(), n, dst, &len, strategy, st);
    orvsGITFree_8u(st);
    if (status) *status = s;
    if (s != orvStsOk) return {};
    EXPECT_TRUE(room.untouchedFrom(static_cast<std::size_t>(len)));
    return Bytes(dst, dst + len);
}

struct LibDecoded {
    orvStatus status;
    Bytes bytes;
};

inline LibDecoded libraryDecode(const Bytes& block, int strategy, std::int32_t maxDst) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsDecodeGITGetSize_8u(1, &size), orvStsOk);
    // Placed 4 bytes past an 8-byte boundary: the state needs 4-byte alignment only.
    std::vector<std::uint64_t> memory(static_cast<std::size_t>(size) / 8 + 2);
    auto* st = reinterpret_cast<GITState*>(reinterpret_cast<std::uint8_t*>(memory.data()) + 4);
    EXPECT_EQ(orvsDecodeGITInit_8u(maxDst, st), orvStsOk);
    CanaryRoom room;
    std::uint8_t* dst = room.prepare(static_cast<std::size_t>(maxDst));
    LibDecoded d{orvStsOk, {}};
    std::int32_t len = -1;
    d.status = orvsDecodeGIT_8u(block.data(), static_cast<std::int32_t>(block.size()), dst, &len, strategy, st);
    if (d.status == orvStsOk) {
        EXPECT_TRUE(room.untouchedFrom(static_cast<std::size_t>(len)));
        d.bytes.assign(dst, dst + len);
    }
    return d;
}

}  // namespace orvdc::test::git
