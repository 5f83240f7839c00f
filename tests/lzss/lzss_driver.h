// Drives the library's LZSS calls the way a caller would: the source split
// into calls, each call given a chosen amount of destination room, every
// returned status and count checked against the calling contract.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

namespace lzss_test {

using orvdc::test::Bytes;

constexpr std::int32_t kStateBytes = 327724;

// Caller memory for a state, zero-filled, 4 bytes past a 64-byte boundary
// (the least alignment a caller may give).
class StateMemory {
public:
    StateMemory() : storage_(kStateBytes + 68, 0) {}
    LZSSState* get() {
        const auto a = (reinterpret_cast<std::uintptr_t>(storage_.data()) + 63) & ~std::uintptr_t{63};
        return reinterpret_cast<LZSSState*>(a + 4);
    }
    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(get()); }
    Bytes snapshot() { return Bytes(bytes(), bytes() + kStateBytes); }

private:
    std::vector<std::uint8_t> storage_;
};

// Encodes `data` in calls ending at callEnds (ascending, the last one
// data.size()), giving every Encode and Flush call room() bytes.
template <class Room>
Bytes encode(LZSSState* state, const Bytes& data, const std::vector<std::size_t>& callEnds, Room room) {
    EXPECT_EQ(orvsEncodeLZSSInit_8u(state), orvStsOk);
    Bytes out;
    orvdc::test::CanaryRoom buf;  // the room of one call
    std::size_t pos = 0;
    const std::uint8_t dummy = 0;
    for (std::size_t e : callEnds) {
        const std::uint8_t* src = data.empty() ? &dummy : data.data() + pos;
        auto srcLen = static_cast<std::int32_t>(e - pos);
        do {
            const auto n = static_cast<std::int32_t>(room());
            std::uint8_t* dst = buf.prepare(static_cast<std::size_t>(n));
            std::int32_t dstLen = n;
            const std::int32_t before = srcLen;
            const orvStatus st = orvsEncodeLZSS_8u(&src, &srcLen, &dst, &dstLen, state);
            EXPECT_EQ(dst - buf.data(), n - dstLen);
            EXPECT_TRUE(buf.untouchedFrom(dst));
            EXPECT_EQ(src, data.data() + (e - static_cast<std::size_t>(srcLen)));
            if (st == orvStsOk) {
                EXPECT_EQ(srcLen, 0);
                EXPECT_GT(dstLen, 0);
            } else {
                EXPECT_EQ(st, orvStsDstFull);
                EXPECT_EQ(dstLen, 0);
                if (st != orvStsDstFull) return {};
                if (srcLen == before && dstLen == n) return {};  // no progress
            }
            out.insert(out.end(), buf.data(), dst);
        } while (srcLen > 0);
        pos = e;
    }
    for (;;) {
        const auto n = static_cast<std::int32_t>(room());
        std::uint8_t* dst = buf.prepare(static_cast<std::size_t>(n));
        std::int32_t dstLen = n;
        const orvStatus st = orvsEncodeLZSSFlush_8u(&dst, &dstLen, state);
        EXPECT_EQ(dst - buf.data(), n - dstLen);
        EXPECT_TRUE(buf.untouchedFrom(dst));
        out.insert(out.end(), buf.data(), dst);
        if (st == orvStsOk) break;
        EXPECT_EQ(st, orvStsDstFull);
        EXPECT_EQ(dstLen, 0);
        if (st != orvStsDstFull) return {};
    }
    return out;
}

// Decodes `stream` fed in pieces of srcPiece() bytes, each Decode call given
// room() bytes, until the stream is used up and no match is left pending.
template <class SrcPiece, class Room>
Bytes decode(LZSSState* state, const Bytes& stream, SrcPiece srcPiece, Room room) {
    EXPECT_EQ(orvsDecodeLZSSInit_8u(state), orvStsOk);
    Bytes out;
    orvdc::test::CanaryRoom buf;  // the room of one call
    std::size_t pos = 0;
    const std::uint8_t dummy = 0;
    bool more = true;
    while (more) {
        const std::size_t piece = std::min<std::size_t>(srcPiece(), stream.size() - pos);
        const std::uint8_t* src = stream.empty() ? &dummy : stream.data() + pos;
        auto srcLen = static_cast<std::int32_t>(piece);
        more = pos + piece < stream.size();
        orvStatus st;
        do {
            const auto n = static_cast<std::int32_t>(room());
            std::uint8_t* dst = buf.prepare(static_cast<std::size_t>(n));
            std::int32_t dstLen = n;
            st = orvsDecodeLZSS_8u(&src, &srcLen, &dst, &dstLen, state);
            EXPECT_EQ(dst - buf.data(), n - dstLen);
            EXPECT_TRUE(buf.untouchedFrom(dst));
            if (st == orvStsOk) {
                EXPECT_EQ(srcLen, 0);
            } else {
                EXPECT_EQ(st, orvStsDstFull);
                EXPECT_EQ(dstLen, 0);
                if (st != orvStsDstFull) return {};
            }
            out.insert(out.end(), buf.data(), dst);
        } while (st == orvStsDstFull);
        pos += piece;
    }
    return out;
}

// Room or piece sizes drawn from a list in turn.
class Cycle {
public:
    explicit Cycle(std::vector<std::size_t> sizes) : sizes_(std::move(sizes)) {}
    std::size_t operator()() { return sizes_[i_++ % sizes_.size()]; }

private:
    std::vector<std::size_t> sizes_;
    std::size_t i_ = 0;
};

inline auto fixed(std::size_t n) {
    return [n] { return n; };
}

}  // namespace lzss_test
