// Many threads at once: first calls made at the same moment (the processor
// feature check runs under contention), every family on distinct states at
// the same time, and the objects the library lets threads share (VLC encoder
// and decoder tables, a Huffman state for single-symbol coding and its
// length table) used by all threads together.  Each thread checks its own results;
// the ThreadSanitizer build reports any data race.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "common/test_support.h"
#include "git/git_helpers.h"
#include "lz77/decode_test_support.h"
#include "lz77/encode_test_support.h"
#include "lzss/lzss_driver.h"
#include "orvdc.h"

namespace {

using orvdc::test::Bytes;

constexpr int kThreads = 12;

// Runs body(t) on kThreads threads released together.
void together(const std::function<void(int)>& body) {
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0) std::this_thread::yield();
            body(t);
        });
    }
    for (auto& th : threads) th.join();
}

// Must run first in the program: no library call has been made before.
TEST(Concurrency, FirstCallsAtTheSameMoment) {
    const Bytes data = orvdc::test::randomBytes(1 << 16, 1);
    const auto n = static_cast<std::int32_t>(data.size());
    // CRC-32, Adler-32, bzip2 CRC and the move-to-front output's checksum.
    auto sums = [&](int first) {
        std::vector<std::uint32_t> r(4, 0);
        r[1] = 1;
        // Different kernels first on different threads.
        for (int k = 0; k < 3; ++k) {
            const int which = (first + k) % 3;
            if (which == 0) orvsCRC32_8u(data.data(), n, &r[0]);
            if (which == 1) orvsAdler32_8u(data.data(), n, &r[1]);
            if (which == 2) orvsCRC32_BZ2_8u(data.data(), n, &r[2]);
        }
        Bytes mtf(data.size());
        MTFState* state = nullptr;
        orvsMTFInitAlloc_8u(&state);
        orvsMTFFwd_8u(data.data(), mtf.data(), n, state);
        orvsMTFFree_8u(state);
        orvsCRC32_8u(mtf.data(), n, &r[3]);
        return r;
    };
    std::vector<std::vector<std::uint32_t>> results(kThreads);
    together([&](int t) { results[static_cast<std::size_t>(t)] = sums(t); });
    const auto expected = sums(0);
    for (const auto& r : results) EXPECT_EQ(r, expected);
}

// One round trip of a family on states of the thread's own.
using RoundTrip = bool (*)(const Bytes&);

bool lzssRoundTrip(const Bytes& data) {
    lzss_test::StateMemory enc, dec;
    const Bytes stream = lzss_test::encode(enc.get(), data, {data.size() / 2, data.size()}, lzss_test::fixed(5000));
    return lzss_test::decode(dec.get(), stream, lzss_test::fixed(777), lzss_test::fixed(3000)) == data;
}

bool deflateRoundTrip(const Bytes& data) {
    orvdc::test::StreamPlan plan;
    plan.piece = 3000;
    const Bytes stream = orvdc::test::encodeStream(data, plan);
    orvdc::test::decodetest::DriveOptions opt;
    opt.path = orvdc::test::decodetest::Path::Mixed;
    opt.dstChunk = 4000;
    return orvdc::test::decodetest::drive(stream, opt).out == data;
}

bool gitRoundTrip(const Bytes& data) {
    const Bytes block = orvdc::test::git::libraryEncode(data, 2);
    return orvdc::test::git::libraryDecode(block, 2, static_cast<std::int32_t>(data.size())).bytes == data;
}

bool huffmanRoundTrip(const Bytes& data) {
    std::int32_t freq[256] = {};
    for (auto b : data) ++freq[b];
    HuffState* enc = nullptr;
    HuffState* dec = nullptr;
    std::int32_t lens[256];
    if (orvsEncodeHuffInitAlloc_8u(freq, &enc) != orvStsOk) return false;
    orvsHuffGetLenCodeTable_8u(lens, enc);
    orvsDecodeHuffInitAlloc_8u(lens, &dec);
    Bytes stream(data.size() * 4 + 8), back(data.size());
    std::int32_t body = 0, tail = 0;
    orvsEncodeHuff_8u(data.data(), static_cast<std::int32_t>(data.size()), stream.data(), &body, enc);
    orvsEncodeHuffFinal_8u(stream.data() + body, &tail, enc);
    auto n = static_cast<std::int32_t>(back.size());
    orvsDecodeHuff_8u(stream.data(), body + tail, back.data(), &n, dec);
    orvsHuffFree_8u(enc);
    orvsHuffFree_8u(dec);
    return back == data;
}

bool bwtMtfRleRoundTrip(const Bytes& data) {
    const auto n = static_cast<std::int32_t>(data.size());
    std::int32_t size = 0, index = 0;
    orvsBWTFwdGetSize_8u(n, &size);
    Bytes work(static_cast<std::size_t>(std::max(size, 4 * n + 1024))), last(data.size()), ranks(data.size());
    orvsBWTFwd_8u(data.data(), last.data(), n, &index, work.data());
    MTFState* mtf = nullptr;
    orvsMTFInitAlloc_8u(&mtf);
    orvsMTFFwd_8u(last.data(), ranks.data(), n, mtf);
    Bytes runs(2 * data.size() + 8), z(data.size());
    const std::uint8_t* s = ranks.data();
    std::int32_t sLen = n, rLen = static_cast<std::int32_t>(runs.size());
    orvsEncodeRLE_8u(&s, &sLen, runs.data(), &rLen);
    s = runs.data();
    sLen = rLen;
    std::int32_t zLen = n;
    orvsDecodeRLE_8u(&s, &sLen, z.data(), &zLen);
    orvsMTFInit_8u(mtf);
    orvsMTFInv_8u(z.data(), last.data(), n, mtf);
    orvsMTFFree_8u(mtf);
    Bytes back(data.size());
    orvsBWTInv_8u(last.data(), back.data(), n, index, work.data());
    return back == data;
}

bool bzip2StagesRoundTrip(const Bytes& data) {
    RLEState* rle = nullptr;
    orvsEncodeRLEInitAlloc_BZ2_8u(&rle);
    Bytes runs(2 * data.size() + 8), back(data.size());
    const std::uint8_t* s = data.data();
    auto sLen = static_cast<std::int32_t>(data.size());
    auto rLen = static_cast<std::int32_t>(runs.size());
    orvsEncodeRLE_BZ2_8u(&s, &sLen, runs.data(), &rLen, rle);
    std::uint8_t last = 0;
    std::int32_t lastLen = 1;
    orvsEncodeRLEFlush_BZ2_8u(&last, &lastLen, rle);
    runs.resize(static_cast<std::size_t>(rLen));
    if (lastLen == 1) runs.push_back(last);
    orvsRLEFree_BZ2_8u(rle);
    std::vector<std::uint16_t> symbols(2 * runs.size() + 8);
    std::vector<std::uint32_t> freq(258, 0);
    s = runs.data();
    sLen = static_cast<std::int32_t>(runs.size());
    auto symLen = static_cast<std::int32_t>(symbols.size());
    orvsEncodeZ1Z2_BZ2_8u16u(&s, &sLen, symbols.data(), &symLen, freq.data());
    Bytes runsBack(runs.size());
    const std::uint16_t* z = symbols.data();
    auto bLen = static_cast<std::int32_t>(runsBack.size());
    orvsDecodeZ1Z2_BZ2_16u8u(&z, &symLen, runsBack.data(), &bLen);
    s = runsBack.data();
    sLen = bLen;
    auto dLen = static_cast<std::int32_t>(back.size());
    orvsDecodeRLE_BZ2_8u(&s, &sLen, back.data(), &dLen);
    return back == data;
}

TEST(Concurrency, EveryFamilyAtOnceOnDistinctStates) {
    const RoundTrip kinds[] = {lzssRoundTrip, deflateRoundTrip, gitRoundTrip, huffmanRoundTrip, bwtMtfRleRoundTrip,
                               bzip2StagesRoundTrip};
    std::atomic<int> failures{0};
    together([&](int t) {
        for (int k = 0; k < 6; ++k) {
            const int which = (t + k) % 6;
            const Bytes data = which == 0 || which == 1 ? orvdc::test::textLikeBytes(20000 + 977 * t, t)
                                                        : orvdc::test::skewedBytes(6000 + 311 * t, 30, t);
            if (!kinds[which](data)) failures.fetch_add(1);
        }
    });
    EXPECT_EQ(failures.load(), 0);
}

TEST(Concurrency, SharedReadOnlyObjects) {
    // A VLC code of 40 values and its encoder and decoder tables.
    std::vector<VLCTableEntry> table;
    for (int v = 0; v < 40; ++v) {
        const int len = v < 8 ? 4 : v < 24 ? 6 : 7;
        const std::uint32_t code = v < 8 ? static_cast<std::uint32_t>(v)
                                         : v < 24 ? static_cast<std::uint32_t>(32 + v - 8)
                                                  : static_cast<std::uint32_t>(96 + v - 24);
        table.push_back({v, code, len});
    }
    const auto ts = static_cast<std::int32_t>(table.size());
    const std::int32_t widths[] = {5, 2};
    VLCEncodeSpec* enc = nullptr;
    VLCDecodeSpec* dec = nullptr;
    ASSERT_EQ(orvsVLCEncodeInitAlloc_32s(table.data(), ts, &enc), orvStsOk);
    ASSERT_EQ(orvsVLCDecodeInitAlloc_32s(table.data(), ts, widths, 2, &dec), orvStsOk);

    // One Huffman encoder state shared for single symbols and its table.
    const Bytes sample = orvdc::test::skewedBytes(5000, 100, 7);
    std::int32_t freq[256] = {};
    for (auto b : sample) ++freq[b];
    HuffState* huff = nullptr;
    ASSERT_EQ(orvsEncodeHuffInitAlloc_8u(freq, &huff), orvStsOk);
    std::int32_t lens[256];
    orvsHuffGetLenCodeTable_8u(lens, huff);
    HuffState* huffDec = nullptr;
    ASSERT_EQ(orvsDecodeHuffInitAlloc_8u(lens, &huffDec), orvStsOk);

    std::atomic<int> failures{0};
    together([&](int t) {
        orvdc::test::Rng rng(static_cast<std::uint64_t>(t) + 1);
        for (int round = 0; round < 20; ++round) {
            std::vector<std::int16_t> values(300), back(300);
            for (auto& v : values) v = static_cast<std::int16_t>(rng.below(40));
            Bytes bits(300 * 2 + 8);
            std::uint8_t* w = bits.data();
            std::int32_t wOff = 0;
            if (orvsVLCEncodeBlock_16s1u(values.data(), 300, &w, &wOff, enc) != orvStsOk) failures.fetch_add(1);
            const std::uint8_t* r = bits.data();
            std::int32_t rOff = 0;
            if (orvsVLCDecodeBlock_1u16s(&r, &rOff, back.data(), 300, dec) != orvStsOk || back != values) {
                failures.fetch_add(1);
            }
            std::int32_t mine[256];
            orvsHuffGetLenCodeTable_8u(mine, huff);
            if (!std::equal(mine, mine + 256, lens)) failures.fetch_add(1);
            for (int k = 0; k < 50; ++k) {
                const std::uint8_t sym = sample[rng.below(static_cast<std::uint32_t>(sample.size()))];
                std::uint8_t code[8] = {};
                const auto offset = static_cast<std::int32_t>(rng.below(8));
                std::uint8_t got = 0;
                if (orvsEncodeHuffOne_8u(sym, code, offset, huff) != orvStsOk ||
                    orvsDecodeHuffOne_8u(code, offset, &got, huffDec) != orvStsOk || got != sym) {
                    failures.fetch_add(1);
                }
            }
        }
    });
    EXPECT_EQ(failures.load(), 0);
    orvsVLCEncodeFree_32s(enc);
    orvsVLCDecodeFree_32s(dec);
    orvsHuffFree_8u(huff);
    orvsHuffFree_8u(huffDec);
}

}  // namespace
