// The bzip2 run-length stage against a model of the run format: the encoder
// over every split of the input into calls and every destination size
// (output, in-use table, owed count bytes), the decoder for every destination
// size on encoder output and on arbitrary bytes, the worked examples, the
// life cycle and the argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using Table = std::array<std::uint8_t, 256>;

Bytes modelEncode(const Bytes& in) {
    Bytes out;
    for (std::size_t i = 0; i < in.size();) {
        std::size_t k = 1;
        while (i + k < in.size() && in[i + k] == in[i]) ++k;
        const std::uint8_t b = in[i];
        i += k;
        while (k >= 4) {
            const std::size_t m = std::min<std::size_t>(k, 259);
            out.insert(out.end(), 4, b);
            out.push_back(static_cast<std::uint8_t>(m - 4));
            k -= m;
        }
        out.insert(out.end(), k, b);
    }
    return out;
}

Table inUseOf(const Bytes& coded) {
    Table t{};
    for (std::uint8_t b : coded) t[b] = 1;
    return t;
}

// Decoding units of any byte sequence: a literal (one byte in, one out) or a
// count byte (one in, that many copies out).  The decoder takes units while
// they fit.
struct Unit {
    std::uint8_t byte;
    std::size_t copies;
};

std::vector<Unit> decodeUnits(const Bytes& in) {
    std::vector<Unit> units;
    int run = 0;
    int last = -1;
    for (std::uint8_t b : in) {
        if (run == 4) {
            units.push_back({static_cast<std::uint8_t>(last), b});
            run = 0;
            continue;
        }
        run = (b == last) ? run + 1 : 1;
        last = b;
        units.push_back({b, 1});
    }
    return units;
}

struct Decoded {
    orvStatus status;
    std::size_t consumed;
    Bytes out;
    bool operator==(const Decoded&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Decoded& d) {
    return os << "{status " << d.status << ", consumed " << d.consumed << ", wrote " << d.out.size() << "}";
}

Decoded modelDecode(const Bytes& in, std::size_t room) {
    Decoded d{orvStsOk, 0, {}};
    for (const Unit& u : decodeUnits(in)) {
        if (u.copies > room - d.out.size()) {
            d.status = orvStsDstFull;
            break;
        }
        d.out.insert(d.out.end(), u.copies, u.byte);
        ++d.consumed;
    }
    return d;
}

Decoded decode(const Bytes& in, std::size_t room) {
    orvdc::test::CanaryRoom canary;
    std::uint8_t* dst = canary.prepare(room);
    const std::uint8_t* src = in.data();
    auto srcLen = static_cast<std::int32_t>(in.size());
    auto dstLen = static_cast<std::int32_t>(room);
    Decoded d{orvsDecodeRLE_BZ2_8u(&src, &srcLen, dst, &dstLen), static_cast<std::size_t>(src - in.data()), {}};
    EXPECT_EQ(srcLen, static_cast<std::int32_t>(in.size() - d.consumed));
    EXPECT_TRUE(canary.untouchedFrom(static_cast<std::size_t>(dstLen)));
    d.out.assign(dst, dst + dstLen);
    return d;
}

class Encoder {
public:
    Encoder() : mem_(Bytes(264 + 4), 4) { EXPECT_EQ(orvsEncodeRLEInit_BZ2_8u(state()), orvStsOk); }
    RLEState* state() { return reinterpret_cast<RLEState*>(mem_.data()); }

    // One Encode call; appends its output, returns the bytes consumed.
    std::size_t encode(const std::uint8_t* p, std::size_t n, std::size_t room, orvStatus* status = nullptr) {
        std::uint8_t* dst = room_.prepare(room);
        const std::uint8_t* src = p;
        auto srcLen = static_cast<std::int32_t>(n);
        auto dstLen = static_cast<std::int32_t>(room);
        const orvStatus s = orvsEncodeRLE_BZ2_8u(&src, &srcLen, dst, &dstLen, state());
        EXPECT_TRUE(room_.untouchedFrom(static_cast<std::size_t>(dstLen)));
        const auto consumed = static_cast<std::size_t>(src - p);
        EXPECT_EQ(s, srcLen != 0 ? orvStsDstFull : orvStsOk);
        EXPECT_EQ(static_cast<std::size_t>(srcLen), n - consumed);
        // The encoder stops early only on a full destination.
        if (consumed < n) {
            EXPECT_EQ(static_cast<std::size_t>(dstLen), room);
        }
        out.insert(out.end(), dst, dst + dstLen);
        if (status != nullptr) *status = s;
        return consumed;
    }
    void flush() {
        std::uint8_t b = 0xEE;
        std::int32_t len = 1;
        ASSERT_EQ(orvsEncodeRLEFlush_BZ2_8u(&b, &len, state()), orvStsOk);
        ASSERT_TRUE(len == 0 || len == 1);
        if (len == 1) out.push_back(b);
    }
    Table inUse() {
        Table t{};
        EXPECT_EQ(orvsRLEGetInUseTable_8u(t.data(), state()), orvStsOk);
        return t;
    }

    Bytes out;

private:
    orvdc::test::OffsetBuffer mem_;  // 4-byte aligned only
    orvdc::test::CanaryRoom room_;
};

Bytes encodeWhole(const Bytes& in) {
    Encoder e;
    e.encode(in.data(), in.size(), in.size() * 2 + 8);
    e.flush();
    return e.out;
}

Bytes runsBytes(std::size_t n, std::uint64_t seed) { return orvdc::test::runsBytes(n, 3, 700, seed); }
std::vector<Bytes> sampleInputs() { return orvdc::test::runLengthInputs(4000, 40000); }

TEST(Bzip2RunLength, WorkedExamples) {
    const std::uint8_t x = 'x';
    {
        Encoder e;
        const Bytes four(4, x);
        orvStatus s;
        EXPECT_EQ(e.encode(four.data(), 4, 100, &s), 4u);
        EXPECT_EQ(s, orvStsOk);
        EXPECT_EQ(e.out, Bytes(4, x));  // the count byte is owed
        e.flush();
        EXPECT_EQ(e.out, (Bytes{x, x, x, x, 0}));
    }
    Bytes long260(260, x);
    EXPECT_EQ(encodeWhole(long260), (Bytes{x, x, x, x, 255, x}));
    {
        Encoder e;  // Flush with nothing owed
        std::uint8_t b = 0xEE;
        std::int32_t len = 7;
        EXPECT_EQ(orvsEncodeRLEFlush_BZ2_8u(&b, &len, e.state()), orvStsOk);
        EXPECT_EQ(len, 0);
        EXPECT_EQ(b, 0xEE);
        // A run of 1..3 stays open over a Flush and keeps growing.
        const Bytes three(3, x);
        e.encode(three.data(), 3, 10);
        e.flush();
        e.encode(three.data(), 3, 10);
        e.flush();
        EXPECT_EQ(e.out, (Bytes{x, x, x, x, 2}));
    }

    const Bytes counted = {5, 5, 5, 5, 9, 6};
    EXPECT_EQ(decode(counted, 12), (Decoded{orvStsDstFull, 4, {5, 5, 5, 5}}));
}

TEST(Bzip2RunLength, EncoderMatchesTheModelOverAnySplitAndRoom) {
    orvdc::test::Rng rng(77);
    for (const Bytes& in : sampleInputs()) {
        const Bytes expect = modelEncode(in);
        const Table expectInUse = inUseOf(expect);
        // Whole, then pieces of random sizes into destinations of random sizes.
        for (int round = 0; round < 12; ++round) {
            const std::uint32_t maxPiece = round < 4 ? 3u : (round < 8 ? 40u : 3000u);
            const std::uint32_t maxRoom = round % 4 == 0 ? 1u : (round % 4 == 1 ? 5u : 600u);
            Encoder e;
            std::size_t pos = 0;
            while (pos < in.size()) {
                const std::size_t piece = std::min<std::size_t>(in.size() - pos, 1 + rng.below(maxPiece));
                std::size_t done = 0;
                while (done < piece) done += e.encode(in.data() + pos + done, piece - done, 1 + rng.below(maxRoom));
                pos += piece;
            }
            e.flush();
            ASSERT_EQ(e.out, expect) << "round " << round;
            ASSERT_EQ(e.inUse(), expectInUse);
        }
    }
}

TEST(Bzip2RunLength, EveryCutAndEveryRoomOnRuns) {
    const Bytes in = runsBytes(900, 5);
    const Bytes expect = modelEncode(in);
    for (std::size_t cut = 1; cut < in.size(); ++cut) {
        Encoder e;
        e.encode(in.data(), cut, 4000);
        e.encode(in.data() + cut, in.size() - cut, 4000);
        e.flush();
        ASSERT_EQ(e.out, expect) << "cut " << cut;
    }
    for (std::size_t room = 1; room <= 40; ++room) {
        Encoder e;
        for (std::size_t pos = 0; pos < in.size();) pos += e.encode(in.data() + pos, in.size() - pos, room);
        e.flush();
        ASSERT_EQ(e.out, expect) << "room " << room;
    }
}

TEST(Bzip2RunLength, DecoderTakesWholeUnitsForEveryRoom) {
    for (const Bytes& in : sampleInputs()) {
        const Bytes enc = encodeWhole(in);
        const Decoded whole = decode(enc, in.size());
        EXPECT_EQ(whole, (Decoded{orvStsOk, enc.size(), in}));
        // Arbitrary bytes decode as the units say.
        EXPECT_EQ(decode(in, in.size() * 64 + 1), modelDecode(in, in.size() * 64 + 1));
    }
    const Bytes in = runsBytes(3000, 6);
    const Bytes enc = encodeWhole(in);
    for (std::size_t room = 1; room <= in.size(); room += (room < 600 ? 1 : 37)) {
        ASSERT_EQ(decode(enc, room), modelDecode(enc, room)) << "room " << room;
    }
}

TEST(Bzip2RunLength, LifeCycleAndArgumentChecks) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsRLEGetSize_BZ2_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsRLEGetSize_BZ2_8u(&size), orvStsOk);
    EXPECT_EQ(size, 264);
    EXPECT_EQ(orvsEncodeRLEInit_BZ2_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeRLEInitAlloc_BZ2_8u(nullptr), orvStsNullPtr);

    RLEState* st = nullptr;
    ASSERT_EQ(orvsEncodeRLEInitAlloc_BZ2_8u(&st), orvStsOk);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(st) % 32, 0u);
    const Bytes in = {1, 1, 1, 1, 1, 2};
    const std::uint8_t* src = in.data();
    std::int32_t srcLen = 6, dstLen = 10;
    Bytes dst(10);
    EXPECT_EQ(orvsEncodeRLE_BZ2_8u(&src, &srcLen, dst.data(), &dstLen, st), orvStsOk);
    EXPECT_EQ(dstLen, 6);
    // Init starts a new block: the in-use table is cleared.
    Table t{};
    ASSERT_EQ(orvsEncodeRLEInit_BZ2_8u(st), orvStsOk);
    t.fill(9);
    ASSERT_EQ(orvsRLEGetInUseTable_8u(t.data(), st), orvStsOk);
    EXPECT_EQ(t, Table{});
    orvsRLEFree_BZ2_8u(st);
    orvsRLEFree_BZ2_8u(nullptr);

    Encoder e;
    const Bytes stateBefore(reinterpret_cast<std::uint8_t*>(e.state()), reinterpret_cast<std::uint8_t*>(e.state()) + 264);
    const std::uint8_t* nullSrc = nullptr;
    src = in.data();
    srcLen = 6;
    dstLen = 10;
    std::int32_t zero = 0, negative = -1;
    dst.assign(10, 0xEE);
    using orvdc::test::eachNullRefused;
    EXPECT_TRUE(eachNullRefused(orvsEncodeRLE_BZ2_8u, &src, &srcLen, dst.data(), &dstLen, e.state()));
    EXPECT_EQ(orvsEncodeRLE_BZ2_8u(&src, &zero, dst.data(), &dstLen, e.state()), orvStsBadSize);
    EXPECT_EQ(orvsEncodeRLE_BZ2_8u(&src, &srcLen, dst.data(), &zero, e.state()), orvStsBadSize);
    EXPECT_TRUE(eachNullRefused(orvsEncodeRLEFlush_BZ2_8u, dst.data(), &dstLen, e.state()));
    EXPECT_EQ(orvsEncodeRLEFlush_BZ2_8u(dst.data(), &zero, e.state()), orvStsBadSize);
    EXPECT_TRUE(eachNullRefused(orvsRLEGetInUseTable_8u, dst.data(), e.state()));
    EXPECT_TRUE(eachNullRefused(orvsDecodeRLE_BZ2_8u, &src, &srcLen, dst.data(), &dstLen));
    EXPECT_EQ(orvsDecodeRLE_BZ2_8u(&nullSrc, &zero, dst.data(), &dstLen), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeRLE_BZ2_8u(&src, &srcLen, dst.data(), &zero), orvStsBadSize);
    EXPECT_EQ(orvsDecodeRLE_BZ2_8u(&src, &negative, dst.data(), &zero), orvStsBadSize);
    EXPECT_EQ(orvsDecodeRLE_BZ2_8u(&src, &negative, dst.data(), &dstLen), orvStsBadSize);
    EXPECT_EQ(src, in.data());
    EXPECT_EQ(srcLen, 6);
    EXPECT_EQ(dstLen, 10);
    EXPECT_EQ(dst, Bytes(10, 0xEE));
    EXPECT_TRUE(std::equal(stateBefore.begin(), stateBefore.end(), reinterpret_cast<std::uint8_t*>(e.state())));

    // An empty source decodes to nothing.
    EXPECT_EQ(orvsDecodeRLE_BZ2_8u(&src, &zero, dst.data(), &dstLen), orvStsOk);
    EXPECT_EQ(dstLen, 0);
    EXPECT_EQ(src, in.data());
}

// The encoder's output and in-use table do not depend on what its memory held
// before Init.
TEST(RunLength, NothingReadFromStateMemoryBeforeItIsWritten) {
    const Bytes in = runsBytes(20000, 9);
    Bytes out[2];
    Table used[2];
    for (int k = 0; k < 2; ++k) {
        orvdc::test::FilledMemory mem(264, k == 0 ? 0x00 : 0xFF);
        auto* st = mem.as<RLEState>();
        ASSERT_EQ(orvsEncodeRLEInit_BZ2_8u(st), orvStsOk);
        out[k].resize(2 * in.size() + 8);
        const std::uint8_t* src = in.data();
        auto srcLen = static_cast<std::int32_t>(in.size());
        auto dstLen = static_cast<std::int32_t>(out[k].size());
        ASSERT_EQ(orvsEncodeRLE_BZ2_8u(&src, &srcLen, out[k].data(), &dstLen, st), orvStsOk);
        out[k].resize(static_cast<std::size_t>(dstLen));
        ASSERT_EQ(orvsRLEGetInUseTable_8u(used[k].data(), st), orvStsOk);
    }
    EXPECT_EQ(out[0], out[1]);
    EXPECT_EQ(used[0], used[1]);
}

}  // namespace
