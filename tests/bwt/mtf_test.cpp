// Move-to-front against a list model (find, erase, insert at the front):
// outputs and the state left behind, every split of a stream into calls,
// in-place use, states that are not a permutation, and the argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "bwt/mtf_inputs.h"
#include "common/test_support.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;
using orvdc::test::mtf::clusteredBytes;
using orvdc::test::mtf::sampleInputs;

struct ListModel {
    Bytes list = Bytes(256);
    ListModel() { std::iota(list.begin(), list.end(), 0); }

    Bytes forward(const Bytes& in) {
        Bytes out;
        for (std::uint8_t v : in) {
            auto it = std::find(list.begin(), list.end(), v);
            out.push_back(static_cast<std::uint8_t>(it - list.begin()));
            list.erase(it);
            list.insert(list.begin(), v);
        }
        return out;
    }
    Bytes inverse(const Bytes& in) {
        Bytes out;
        for (std::uint8_t k : in) {
            const std::uint8_t v = list[k];
            out.push_back(v);
            list.erase(list.begin() + k);
            list.insert(list.begin(), v);
        }
        return out;
    }
    Bytes ranks() const {
        Bytes r(256);
        for (int k = 0; k < 256; ++k) r[list[k]] = static_cast<std::uint8_t>(k);
        return r;
    }
};

// The rank rule applied to any 256 bytes, one byte at a time.
Bytes rankModel(const Bytes& in, Bytes& ranks) {
    Bytes out;
    for (std::uint8_t v : in) {
        const std::uint8_t r = ranks[v];
        out.push_back(r);
        for (auto& e : ranks) e = static_cast<std::uint8_t>(e + (e < r ? 1 : 0));
        ranks[v] = 0;
    }
    return out;
}

Bytes freshState() {
    Bytes s(256);
    EXPECT_EQ(orvsMTFInit_8u(reinterpret_cast<MTFState*>(s.data())), orvStsOk);
    return s;
}

MTFState* asState(Bytes& s) { return reinterpret_cast<MTFState*>(s.data()); }

TEST(MoveToFront, MatchesListModelAndLeavesItsState) {
    for (const Bytes& in : sampleInputs()) {
        ListModel fwdModel;
        const Bytes expect = fwdModel.forward(in);
        Bytes st = freshState();
        Bytes out(in.size());
        ASSERT_EQ(orvsMTFFwd_8u(in.data(), out.data(), static_cast<std::int32_t>(in.size()), asState(st)), orvStsOk);
        EXPECT_EQ(out, expect);
        EXPECT_EQ(st, fwdModel.ranks());

        ListModel invModel;
        Bytes inv = freshState();
        Bytes back(in.size());
        ASSERT_EQ(orvsMTFInv_8u(out.data(), back.data(), static_cast<std::int32_t>(in.size()), asState(inv)),
                  orvStsOk);
        EXPECT_EQ(back, in);
        EXPECT_EQ(back, invModel.inverse(out));
        EXPECT_EQ(inv, invModel.list);
    }
}

TEST(MoveToFront, AnySplitIntoCallsGivesTheSameStream) {
    const Bytes in = clusteredBytes(700, 9);
    ListModel model;
    const Bytes expect = model.forward(in);
    const auto n = static_cast<std::int32_t>(in.size());

    // One cut at every position (short and long pieces take different paths).
    for (std::int32_t cut = 1; cut < n; ++cut) {
        Bytes st = freshState(), inv = freshState();
        Bytes out(in.size()), back(in.size());
        ASSERT_EQ(orvsMTFFwd_8u(in.data(), out.data(), cut, asState(st)), orvStsOk);
        ASSERT_EQ(orvsMTFFwd_8u(in.data() + cut, out.data() + cut, n - cut, asState(st)), orvStsOk);
        ASSERT_EQ(out, expect) << "cut " << cut;
        ASSERT_EQ(orvsMTFInv_8u(out.data(), back.data(), cut, asState(inv)), orvStsOk);
        ASSERT_EQ(orvsMTFInv_8u(out.data() + cut, back.data() + cut, n - cut, asState(inv)), orvStsOk);
        ASSERT_EQ(back, in) << "cut " << cut;
    }
    // Long calls (cut into interleaved pieces inside) that start from a list
    // other than the identity, on data where many values first appear late.
    Bytes longIn = orvdc::test::skewedBytes(30000, 200, 10);
    const Bytes tail = clusteredBytes(30000, 11);
    longIn.insert(longIn.end(), tail.begin(), tail.end());
    ListModel longModel;
    const Bytes longExpect = longModel.forward(longIn);
    const auto longN = static_cast<std::int32_t>(longIn.size());
    for (std::int32_t cut : {1, 9000, 31000, longN - 8192}) {
        Bytes st = freshState();
        Bytes out(longIn.size());
        ASSERT_EQ(orvsMTFFwd_8u(longIn.data(), out.data(), cut, asState(st)), orvStsOk);
        ASSERT_EQ(orvsMTFFwd_8u(longIn.data() + cut, out.data() + cut, longN - cut, asState(st)), orvStsOk);
        ASSERT_EQ(out, longExpect) << "cut " << cut;
        EXPECT_EQ(st, longModel.ranks());
    }
    // Many pieces of random sizes.
    orvdc::test::Rng rng(5);
    for (int round = 0; round < 50; ++round) {
        Bytes st = freshState(), inv = freshState();
        Bytes out(in.size()), back(in.size());
        for (std::int32_t pos = 0; pos < n;) {
            const std::int32_t len = std::min<std::int32_t>(n - pos, 1 + static_cast<std::int32_t>(rng.below(70)));
            ASSERT_EQ(orvsMTFFwd_8u(in.data() + pos, out.data() + pos, len, asState(st)), orvStsOk);
            ASSERT_EQ(orvsMTFInv_8u(out.data() + pos, back.data() + pos, len, asState(inv)), orvStsOk);
            pos += len;
        }
        ASSERT_EQ(out, expect);
        ASSERT_EQ(back, in);
    }
}

TEST(MoveToFront, InPlaceAndUnalignedState) {
    const Bytes in = orvdc::test::textLikeBytes(30000, 11);
    ListModel model;
    const Bytes expect = model.forward(in);
    for (std::size_t offset : {1u, 4u, 13u}) {
        orvdc::test::OffsetBuffer buf(in, offset);
        orvdc::test::OffsetBuffer st(freshState(), offset);
        auto* state = reinterpret_cast<MTFState*>(st.data());
        const auto n = static_cast<std::int32_t>(in.size());
        ASSERT_EQ(orvsMTFFwd_8u(buf.data(), buf.data(), n, state), orvStsOk);
        EXPECT_TRUE(std::equal(expect.begin(), expect.end(), buf.data()));
        ASSERT_EQ(orvsMTFInit_8u(state), orvStsOk);
        ASSERT_EQ(orvsMTFInv_8u(buf.data(), buf.data(), n, state), orvStsOk);
        EXPECT_TRUE(std::equal(in.begin(), in.end(), buf.data()));
    }
}

TEST(MoveToFront, StateThatIsNotAPermutationFollowsTheRankRule) {
    const Bytes in = orvdc::test::skewedBytes(400, 30, 12);
    for (std::uint64_t seed : {1u, 2u}) {
        Bytes st = seed == 1 ? Bytes(256, 0) : orvdc::test::randomBytes(256, seed);
        Bytes modelRanks = st;
        const Bytes expect = rankModel(in, modelRanks);
        Bytes out(in.size());
        ASSERT_EQ(orvsMTFFwd_8u(in.data(), out.data(), static_cast<std::int32_t>(in.size()), asState(st)), orvStsOk);
        EXPECT_EQ(out, expect);
        EXPECT_EQ(st, modelRanks);
    }
    // A state used forward holds ranks: given to the inverse it decodes with
    // the wrong list.
    Bytes st = freshState();
    const Bytes in2 = {3, 9, 200, 7};
    Bytes out(4), back(4);
    orvsMTFFwd_8u(in2.data(), out.data(), 4, asState(st));
    Bytes used = st;
    orvsMTFFwd_8u(in2.data(), out.data(), 4, asState(st));
    orvsMTFInv_8u(out.data(), back.data(), 4, asState(used));
    EXPECT_NE(back, in2);
}

TEST(MoveToFront, LifeCycleAndArgumentChecks) {
    std::int32_t size = 0;
    EXPECT_EQ(orvsMTFGetSize_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsMTFGetSize_8u(&size), orvStsOk);
    EXPECT_EQ(size, 256);
    EXPECT_EQ(orvsMTFInit_8u(nullptr), orvStsNullPtr);
    EXPECT_EQ(orvsMTFInitAlloc_8u(nullptr), orvStsNullPtr);

    MTFState* alloc = nullptr;
    ASSERT_EQ(orvsMTFInitAlloc_8u(&alloc), orvStsOk);
    ASSERT_NE(alloc, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(alloc) % 32, 0u);
    const auto* table = reinterpret_cast<const std::uint8_t*>(alloc);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(table[i], i);
    const Bytes in = {5, 5, 6};
    Bytes out(3, 0xAA);
    EXPECT_EQ(orvsMTFFwd_8u(in.data(), out.data(), 3, alloc), orvStsOk);
    EXPECT_EQ(out, (Bytes{5, 0, 6}));
    orvsMTFFree_8u(alloc);
    orvsMTFFree_8u(nullptr);

    Bytes st = freshState();
    const Bytes before = st;
    Bytes dst(3, 0xAA);
    using Fn = orvStatus (*)(const std::uint8_t*, std::uint8_t*, std::int32_t, MTFState*);
    for (Fn fn : {Fn{orvsMTFFwd_8u}, Fn{orvsMTFInv_8u}}) {
        EXPECT_TRUE(orvdc::test::eachNullRefused(fn, in.data(), dst.data(), 3, asState(st)));
        EXPECT_EQ(fn(nullptr, dst.data(), 0, asState(st)), orvStsNullPtr);
        EXPECT_EQ(fn(in.data(), dst.data(), 0, asState(st)), orvStsBadSize);
        EXPECT_EQ(fn(in.data(), dst.data(), -5, asState(st)), orvStsBadSize);
    }
    EXPECT_EQ(st, before);
    EXPECT_EQ(dst, Bytes(3, 0xAA));
}

}  // namespace
