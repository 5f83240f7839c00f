// Zero-run coding against a model of whole runs: encoder output and
// frequencies, what one call takes for every capacity (runs cut to the
// longest run the room can code on the encoder side, kept whole on the
// decoder side), continuation over many calls, the worked examples and the
// argument checks.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using Symbols = std::vector<std::uint16_t>;

void runDigits(std::uint64_t z, Symbols& out) {
    while (z > 0) {
        --z;
        out.push_back(static_cast<std::uint16_t>(z & 1));
        z >>= 1;
    }
}

// Encoding of whole runs as groups: the digits of a zero run, or one symbol.
struct Group {
    std::size_t srcLen;
    Symbols symbols;
};

std::vector<Group> encodeGroups(const std::uint8_t* p, std::size_t n) {
    std::vector<Group> groups;
    for (std::size_t i = 0; i < n;) {
        if (p[i] != 0) {
            groups.push_back({1, {static_cast<std::uint16_t>(p[i] + 1)}});
            ++i;
            continue;
        }
        std::size_t z = 0;
        while (i + z < n && p[i + z] == 0) ++z;
        Group g{z, {}};
        runDigits(z, g.symbols);
        groups.push_back(g);
        i += z;
    }
    return groups;
}

struct EncCall {
    orvStatus status;
    std::size_t consumed;
    Symbols out;
    bool operator==(const EncCall&) const = default;
};

std::ostream& operator<<(std::ostream& os, const EncCall& c) {
    return os << "{status " << c.status << ", consumed " << c.consumed << ", wrote " << c.out.size() << "}";
}

EncCall modelEncode(const std::uint8_t* p, std::size_t n, std::size_t room) {
    EncCall c{orvStsOk, 0, {}};
    for (const Group& g : encodeGroups(p, n)) {
        const std::size_t left = room - c.out.size();
        if (g.symbols.size() <= left) {
            c.out.insert(c.out.end(), g.symbols.begin(), g.symbols.end());
            c.consumed += g.srcLen;
            continue;
        }
        if (p[c.consumed] == 0) {  // cut the run to what `left` digits can code
            const std::uint64_t most = (std::uint64_t{2} << left) - 2;
            runDigits(most, c.out);
            c.consumed += most;
        }
        break;
    }
    c.status = c.consumed < n ? orvStsDstFull : orvStsOk;
    return c;
}

EncCall encode(const std::uint8_t* p, std::size_t n, std::size_t room, std::vector<std::uint32_t>& freq) {
    orvdc::test::CanaryRoom canary;
    auto* dst = reinterpret_cast<std::uint16_t*>(canary.prepare(2 * room));
    const std::uint8_t* src = p;
    auto srcLen = static_cast<std::int32_t>(n);
    auto dstLen = static_cast<std::int32_t>(room);
    EncCall c{orvsEncodeZ1Z2_BZ2_8u16u(&src, &srcLen, dst, &dstLen, freq.data()), static_cast<std::size_t>(src - p),
              {}};
    EXPECT_EQ(static_cast<std::size_t>(srcLen), n - c.consumed);
    EXPECT_TRUE(canary.untouchedFrom(2 * static_cast<std::size_t>(dstLen)));
    c.out.assign(dst, dst + dstLen);
    return c;
}

struct DecCall {
    orvStatus status;
    std::size_t consumed;
    Bytes out;
    bool operator==(const DecCall&) const = default;
};

std::ostream& operator<<(std::ostream& os, const DecCall& c) {
    return os << "{status " << c.status << ", consumed " << c.consumed << ", wrote " << c.out.size() << "}";
}

// Any symbol sequence: maximal digit runs are one unit each, every other
// symbol s gives the byte s - 1.
DecCall modelDecode(const Symbols& in, std::size_t room) {
    DecCall c{orvStsOk, 0, {}};
    for (std::size_t i = 0; i < in.size();) {
        std::size_t j = i;
        std::uint64_t z = 0;
        while (j < in.size() && in[j] < 2) {
            z += (in[j] + std::uint64_t{1}) << std::min<std::size_t>(j - i, 40);
            ++j;
        }
        if (j == i) {
            j = i + 1;
            z = 1;
        }
        if (z > room - c.out.size()) {
            c.status = orvStsDstFull;
            break;
        }
        if (in[i] < 2) {
            c.out.insert(c.out.end(), z, 0);
        } else {
            c.out.push_back(static_cast<std::uint8_t>(in[i] - 1));
        }
        c.consumed = j;
        i = j;
    }
    return c;
}

DecCall decode(const Symbols& in, std::size_t room) {
    orvdc::test::CanaryRoom canary;
    std::uint8_t* dst = canary.prepare(room);
    const std::uint16_t* src = in.data();
    auto srcLen = static_cast<std::int32_t>(in.size());
    auto dstLen = static_cast<std::int32_t>(room);
    DecCall c{orvsDecodeZ1Z2_BZ2_16u8u(&src, &srcLen, dst, &dstLen), static_cast<std::size_t>(src - in.data()), {}};
    EXPECT_EQ(static_cast<std::size_t>(srcLen), in.size() - c.consumed);
    EXPECT_TRUE(canary.untouchedFrom(static_cast<std::size_t>(dstLen)));
    c.out.assign(dst, dst + dstLen);
    return c;
}

// Move-to-front-like bytes: mostly zeros in runs of every length, small values.
Bytes mtfLikeBytes(std::size_t n, std::uint64_t seed) {
    orvdc::test::Rng rng(seed);
    Bytes out;
    while (out.size() < n) {
        const std::uint32_t kind = rng.below(10);
        if (kind < 5) {
            out.insert(out.end(), kind == 0 ? rng.below(3000) + 1 : rng.below(8) + 1, 0);
        } else {
            out.push_back(static_cast<std::uint8_t>(kind == 9 ? rng.below(256) : rng.below(6) + 1));
        }
    }
    out.resize(n);
    return out;
}

TEST(Bzip2ZeroRun, WorkedExamples) {
    std::vector<std::uint32_t> freq(257, 0);
    const Bytes a = {0, 0, 0, 5, 0};
    EXPECT_EQ(encode(a.data(), 5, 10, freq), (EncCall{orvStsOk, 5, {0, 0, 6, 0}}));
    EXPECT_EQ(freq[0], 3u);
    EXPECT_EQ(freq[6], 1u);
    EXPECT_EQ(freq[1], 0u);

    for (std::uint32_t z = 1; z <= 7; ++z) {
        const Bytes zeros(z, 0);
        const Symbols expect[] = {{0}, {1}, {0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 0, 0}};
        EXPECT_EQ(encode(zeros.data(), z, 20, freq).out, expect[z - 1]);
    }
    const Bytes million(1000000, 0);
    EXPECT_EQ(encode(million.data(), million.size(), million.size(), freq).out.size(), 19u);
    EXPECT_EQ(decode(Symbols{1, 0, 3}, 10), (DecCall{orvStsOk, 3, {0, 0, 0, 0, 2}}));

    // Symbols above 256 keep their low 8 bits.
    EXPECT_EQ(decode(Symbols{257, 300}, 4).out, (Bytes{0, 43}));
}

TEST(Bzip2ZeroRun, MatchesTheModelAndRoundTrips) {
    std::vector<Bytes> inputs = {mtfLikeBytes(20000, 1), orvdc::test::skewedBytes(5000, 4, 2), Bytes(70000, 0),
                                 orvdc::test::randomBytes(3000, 3)};
    for (const Bytes& in : inputs) {
        std::vector<std::uint32_t> freq(258, 7);
        const EncCall whole = encode(in.data(), in.size(), in.size(), freq);
        ASSERT_EQ(whole, modelEncode(in.data(), in.size(), in.size()));
        std::vector<std::uint32_t> expectFreq(258, 7);
        for (std::uint16_t s : whole.out) ++expectFreq[s];
        EXPECT_EQ(freq, expectFreq);  // entry 257 untouched
        EXPECT_EQ(decode(whole.out, in.size()), (DecCall{orvStsOk, whole.out.size(), in}));
    }
}

TEST(Bzip2ZeroRun, EveryCapacityForOneCall) {
    const Bytes in = mtfLikeBytes(1500, 4);
    std::vector<std::uint32_t> freq(257, 0);
    const Symbols sym = encode(in.data(), in.size(), in.size(), freq).out;
    for (std::size_t room = 1; room <= sym.size(); ++room) {
        ASSERT_EQ(encode(in.data(), in.size(), room, freq), modelEncode(in.data(), in.size(), room)) << room;
    }
    for (std::size_t room = 1; room <= in.size(); ++room) {
        ASSERT_EQ(decode(sym, room), modelDecode(sym, room)) << room;
    }
    // Arbitrary symbols, long digit runs among them.
    orvdc::test::Rng rng(8);
    Symbols junk(4000);
    for (auto& s : junk) s = static_cast<std::uint16_t>(rng.below(4) != 0 ? rng.below(2) : rng.below(65536));
    for (std::size_t room : {1u, 2u, 100u, 70000u, 1u << 24}) {
        ASSERT_EQ(decode(junk, room), modelDecode(junk, room)) << room;
    }
}

TEST(Bzip2ZeroRun, ContinuingCallsRestoreTheSource) {
    // Encoder: each call's output decodes on its own to what it consumed.
    // Decoder: a stream decoded call after call into small destinations.
    const Bytes in = mtfLikeBytes(30000, 5);
    std::vector<std::uint32_t> scratch(257, 0);
    const Symbols whole = encode(in.data(), in.size(), in.size(), scratch).out;
    for (std::size_t room : {1u, 2u, 3u, 7u, 20u, 21u, 100u}) {
        std::vector<std::uint32_t> freq(257, 0);
        std::uint64_t written = 0;
        Bytes restored;
        for (std::size_t pos = 0; pos < in.size();) {
            const EncCall c = encode(in.data() + pos, in.size() - pos, room, freq);
            // The model looks at a window that a call of this room cannot pass.
            const EncCall m = modelEncode(in.data() + pos, std::min(in.size() - pos, room * 40000), room);
            ASSERT_EQ(c.out, m.out);
            ASSERT_EQ(c.consumed, m.consumed);
            const DecCall d = decode(c.out, c.consumed);
            ASSERT_EQ(d.status, orvStsOk);
            restored.insert(restored.end(), d.out.begin(), d.out.end());
            written += c.out.size();
            pos += c.consumed;
        }
        ASSERT_EQ(restored, in) << room;
        std::uint64_t total = 0;
        for (std::uint32_t f : freq) total += f;
        EXPECT_EQ(total, written);

        Bytes joined;
        for (std::size_t pos = 0; pos < whole.size();) {
            const Symbols rest(whole.begin() + static_cast<std::ptrdiff_t>(pos), whole.end());
            DecCall d = decode(rest, room);
            ASSERT_EQ(d, modelDecode(rest, room));
            if (d.consumed == 0) d = decode(rest, in.size());  // a run longer than the room
            joined.insert(joined.end(), d.out.begin(), d.out.end());
            pos += d.consumed;
        }
        ASSERT_EQ(joined, in);
    }
}

TEST(Bzip2ZeroRun, ArgumentChecks) {
    const Bytes in = {0, 1};
    const Symbols sym = {0, 2};
    std::vector<std::uint32_t> freq(257, 0);
    Symbols out(4, 0xEEEE);
    Bytes bytes(4, 0xEE);
    const std::uint8_t* src = in.data();
    const std::uint8_t* nullSrc = nullptr;
    const std::uint16_t* ssrc = sym.data();
    const std::uint16_t* nullSym = nullptr;
    std::int32_t srcLen = 2, dstLen = 4, zero = 0;
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsEncodeZ1Z2_BZ2_8u16u, &src, &srcLen, out.data(), &dstLen, freq.data()));
    EXPECT_EQ(orvsEncodeZ1Z2_BZ2_8u16u(&nullSrc, &zero, out.data(), &dstLen, freq.data()), orvStsNullPtr);
    EXPECT_EQ(orvsEncodeZ1Z2_BZ2_8u16u(&src, &zero, out.data(), &dstLen, freq.data()), orvStsBadSize);
    EXPECT_EQ(orvsEncodeZ1Z2_BZ2_8u16u(&src, &srcLen, out.data(), &zero, freq.data()), orvStsBadSize);
    EXPECT_TRUE(orvdc::test::eachNullRefused(orvsDecodeZ1Z2_BZ2_16u8u, &ssrc, &srcLen, bytes.data(), &dstLen));
    EXPECT_EQ(orvsDecodeZ1Z2_BZ2_16u8u(&nullSym, &zero, bytes.data(), &dstLen), orvStsNullPtr);
    EXPECT_EQ(orvsDecodeZ1Z2_BZ2_16u8u(&ssrc, &zero, bytes.data(), &dstLen), orvStsBadSize);
    EXPECT_EQ(orvsDecodeZ1Z2_BZ2_16u8u(&ssrc, &srcLen, bytes.data(), &zero), orvStsBadSize);
    EXPECT_EQ(src, in.data());
    EXPECT_EQ(ssrc, sym.data());
    EXPECT_EQ(srcLen, 2);
    EXPECT_EQ(dstLen, 4);
    EXPECT_EQ(out, Symbols(4, 0xEEEE));
    EXPECT_EQ(bytes, Bytes(4, 0xEE));
    EXPECT_EQ(freq, std::vector<std::uint32_t>(257, 0));
}

}  // namespace
