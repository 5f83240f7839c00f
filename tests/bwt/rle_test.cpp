// Byte run-length coding against token models: the encoding of whole runs,
// what one call consumes and writes for every destination size (the encoder
// writes a prefix of the full encoding; the decoder takes whole units and
// never splits a pair from its count), round trips, the worked examples and
// the argument checks.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;

// One output byte of the encoder and the source bytes it accounts for.
struct EncUnit {
    std::uint8_t byte;
    std::size_t consumed;
};

// The full encoding: each maximal run of k equal bytes becomes pairs with
// counts of up to 255 more copies, and a single byte when one is left.
std::vector<EncUnit> encodeUnits(const std::uint8_t* p, std::size_t n) {
    std::vector<EncUnit> out;
    for (std::size_t i = 0; i < n;) {
        std::size_t k = 1;
        while (i + k < n && p[i + k] == p[i]) ++k;
        const std::uint8_t b = p[i];
        i += k;
        while (k >= 2) {
            const std::size_t m = std::min<std::size_t>(k, 257);
            out.push_back({b, 1});
            out.push_back({b, 1});
            out.push_back({static_cast<std::uint8_t>(m - 2), m - 2});
            k -= m;
        }
        if (k == 1) out.push_back({b, 1});
    }
    return out;
}

Bytes modelEncode(const Bytes& in) {
    Bytes out;
    for (const auto& u : encodeUnits(in.data(), in.size())) out.push_back(u.byte);
    return out;
}

// A decoding unit: source bytes taken, bytes produced; pairs with a count are
// one unit of three source bytes.
struct DecUnit {
    std::size_t srcLen;
    Bytes out;
};

std::vector<DecUnit> decodeUnits(const std::uint8_t* p, std::size_t n) {
    std::vector<DecUnit> units;
    std::size_t i = 0;
    while (i < n) {
        units.push_back({1, {p[i]}});  // a literal
        ++i;
        while (i < n) {
            const std::uint8_t x = p[i];
            if (x == p[i - 1] && i + 1 < n) {
                // The previous unit was the pair's first byte: merge.
                DecUnit& first = units.back();
                first.srcLen = 3;
                first.out.assign(2 + p[i + 1], x);
                i += 2;
                break;
            }
            units.push_back({1, {x}});
            ++i;
        }
    }
    return units;
}

Bytes modelDecode(const Bytes& in) {
    Bytes out;
    for (const auto& u : decodeUnits(in.data(), in.size())) out.insert(out.end(), u.out.begin(), u.out.end());
    return out;
}

struct CallResult {
    orvStatus status;
    std::size_t consumed;
    Bytes out;
    bool operator==(const CallResult&) const = default;
};

std::ostream& operator<<(std::ostream& os, const CallResult& r) {
    return os << "{status " << r.status << ", consumed " << r.consumed << ", wrote " << r.out.size() << "}";
}

// The models look only at as much source as a call with this room can reach.
std::size_t window(std::size_t n, std::size_t room, std::size_t perByte) {
    return std::min(n, (room + 2) * perByte);
}

CallResult expectEncodeCall(const std::uint8_t* p, std::size_t n, std::size_t room) {
    CallResult r{orvStsOk, 0, {}};
    for (const auto& u : encodeUnits(p, window(n, room, 258))) {
        if (r.out.size() == room) break;
        r.out.push_back(u.byte);
        r.consumed += u.consumed;
    }
    r.status = r.consumed < n ? orvStsDstFull : orvStsOk;
    return r;
}

CallResult expectDecodeCall(const std::uint8_t* p, std::size_t n, std::size_t room) {
    CallResult r{orvStsOk, 0, {}};
    for (const auto& u : decodeUnits(p, window(n, room, 3))) {
        const std::size_t left = room - r.out.size();
        if (u.out.size() <= left) {
            r.out.insert(r.out.end(), u.out.begin(), u.out.end());
            r.consumed += u.srcLen;
            continue;
        }
        if (left == 1) {  // room for the pair's first byte only: it goes alone
            r.out.push_back(u.out[0]);
            r.consumed += 1;
        }
        break;
    }
    r.status = r.consumed < n ? orvStsDstFull : orvStsOk;
    return r;
}

using Coder = orvStatus (*)(const std::uint8_t**, std::int32_t*, std::uint8_t*, std::int32_t*);

CallResult call(Coder fn, const std::uint8_t* p, std::size_t n, std::size_t room) {
    orvdc::test::CanaryRoom canary;
    std::uint8_t* dst = canary.prepare(room);
    const std::uint8_t* src = p;
    auto srcLen = static_cast<std::int32_t>(n);
    auto dstLen = static_cast<std::int32_t>(room);
    CallResult r{fn(&src, &srcLen, dst, &dstLen), static_cast<std::size_t>(src - p), {}};
    EXPECT_EQ(srcLen, static_cast<std::int32_t>(n - r.consumed));
    EXPECT_TRUE(canary.untouchedFrom(static_cast<std::size_t>(dstLen)));
    r.out.assign(dst, dst + dstLen);
    return r;
}

Bytes runsBytes(std::size_t n, std::uint64_t seed) { return orvdc::test::runsBytes(n, 3, 600, seed); }
std::vector<Bytes> sampleInputs() { return orvdc::test::runLengthInputs(3000, 30000); }

Bytes encodeAll(const Bytes& in) {
    return call(orvsEncodeRLE_8u, in.data(), in.size(), 2 * in.size() + 2).out;
}

TEST(ByteRle, WorkedExamples) {
    EXPECT_EQ(encodeAll(Bytes(257, 7)), (Bytes{7, 7, 255}));
    EXPECT_EQ(encodeAll(Bytes(258, 7)), (Bytes{7, 7, 255, 7}));
    EXPECT_EQ(encodeAll(Bytes(300, 7)), (Bytes{7, 7, 255, 7, 7, 41}));
    const Bytes trailing = {3, 4, 4};
    EXPECT_EQ(call(orvsDecodeRLE_8u, trailing.data(), 3, 100).out, (Bytes{3, 4, 4}));
    const Bytes noFit = {9, 9, 10};
    EXPECT_EQ(call(orvsDecodeRLE_8u, noFit.data(), 3, 5), (CallResult{orvStsDstFull, 0, {}}));
    const Bytes zero = {4, 4, 0};
    EXPECT_EQ(call(orvsDecodeRLE_8u, zero.data(), 3, 2), (CallResult{orvStsOk, 3, {4, 4}}));
    // Filled on the pair's second byte with a count above 0: the pair stays.
    const Bytes more = {1, 4, 4, 2, 8};
    EXPECT_EQ(call(orvsDecodeRLE_8u, more.data(), 5, 3), (CallResult{orvStsDstFull, 1, {1}}));
    EXPECT_EQ(call(orvsDecodeRLE_8u, more.data(), 5, 5), (CallResult{orvStsDstFull, 4, {1, 4, 4, 4, 4}}));
}

TEST(ByteRle, RoundTripsAndMatchesTheModel) {
    for (const Bytes& in : sampleInputs()) {
        const Bytes enc = encodeAll(in);
        EXPECT_EQ(enc, modelEncode(in));
        const auto dec = call(orvsDecodeRLE_8u, enc.data(), enc.size(), in.size());
        EXPECT_EQ(dec.status, orvStsOk);
        EXPECT_EQ(dec.out, in);
        // Arbitrary bytes decode as the model says (and re-encode to themselves
        // only when they are canonical, so no round trip is asked here).
        EXPECT_EQ(call(orvsDecodeRLE_8u, in.data(), in.size(), 300 * in.size()).out, modelDecode(in));
    }
}

TEST(ByteRle, EveryDestinationSizeForOneCall) {
    for (const Bytes& in : {runsBytes(700, 7), orvdc::test::skewedBytes(500, 2, 8), orvdc::test::textLikeBytes(400, 9)}) {
        const Bytes enc = modelEncode(in);
        for (std::size_t room = 1; room <= enc.size() + 1; ++room) {
            ASSERT_EQ(call(orvsEncodeRLE_8u, in.data(), in.size(), room), expectEncodeCall(in.data(), in.size(), room))
                << "encoder room " << room;
        }
        for (std::size_t room = 1; room <= in.size() + 1; room += (room < 300 ? 1 : 7)) {
            ASSERT_EQ(call(orvsDecodeRLE_8u, enc.data(), enc.size(), room),
                      expectDecodeCall(enc.data(), enc.size(), room))
                << "decoder room " << room;
        }
    }
}

TEST(ByteRle, ContinuingAfterAFullDestination) {
    // Encoder: the outputs of successive calls decode one by one to the input.
    // Decoder: successive calls on the model's input follow the model.
    for (Bytes in : sampleInputs()) {
        in.resize(std::min<std::size_t>(in.size(), 4000));
        for (std::size_t room : {1u, 2u, 3u, 5u, 17u, 64u, 1000u}) {
            Bytes restored;
            std::size_t pos = 0;
            while (pos < in.size()) {
                const auto r = call(orvsEncodeRLE_8u, in.data() + pos, in.size() - pos, room);
                ASSERT_EQ(r, expectEncodeCall(in.data() + pos, in.size() - pos, room));
                const Bytes part = call(orvsDecodeRLE_8u, r.out.data(), r.out.size(), room * 300).out;
                restored.insert(restored.end(), part.begin(), part.end());
                pos += r.consumed;
            }
            ASSERT_EQ(restored, in) << "room " << room;

            const Bytes enc = modelEncode(in);
            pos = 0;
            for (int calls = 0; pos < enc.size() && calls < 100000; ++calls) {
                const auto r = call(orvsDecodeRLE_8u, enc.data() + pos, enc.size() - pos, room + 256);
                ASSERT_EQ(r, expectDecodeCall(enc.data() + pos, enc.size() - pos, room + 256));
                pos += r.consumed;
            }
            EXPECT_EQ(pos, enc.size());
        }
    }
}

TEST(ByteRle, ArgumentChecks) {
    const Bytes in = {1, 1, 1};
    for (Coder fn : {Coder{orvsEncodeRLE_8u}, Coder{orvsDecodeRLE_8u}}) {
        const std::uint8_t* src = in.data();
        const std::uint8_t* nullSrc = nullptr;
        std::int32_t srcLen = 3, dstLen = 4;
        Bytes dst(4, 0xEE);
        EXPECT_TRUE(orvdc::test::eachNullRefused(fn, &src, &srcLen, dst.data(), &dstLen));
        std::int32_t zero = 0;
        EXPECT_EQ(fn(&nullSrc, &zero, dst.data(), &dstLen), orvStsNullPtr);
        EXPECT_EQ(fn(&src, &zero, dst.data(), &dstLen), orvStsBadSize);
        EXPECT_EQ(fn(&src, &srcLen, dst.data(), &zero), orvStsBadSize);
        std::int32_t negative = -1;
        EXPECT_EQ(fn(&src, &srcLen, dst.data(), &negative), orvStsBadSize);
        EXPECT_EQ(src, in.data());
        EXPECT_EQ(srcLen, 3);
        EXPECT_EQ(dstLen, 4);
        EXPECT_EQ(zero, 0);
        EXPECT_EQ(dst, Bytes(4, 0xEE));
    }
}

}  // namespace
