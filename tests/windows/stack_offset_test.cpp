// The DLL called the way 32-bit Windows callers may call it: with the stack
// pointer 4, 8 or 12 bytes past a 16-byte boundary at the call.  One job per
// family runs with direct calls and then with its library calls made through
// a trampoline at each offset; the outputs must agree and round-trip.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

extern "C" std::uint32_t orvdc_call_at_stack_offset(const void* fn, const std::uint32_t* args,
                                                    std::uint32_t count, std::uint32_t offset);
extern "C" std::uint32_t orvdc_stack_at_call(void);

namespace {

using orvdc::test::Bytes;

constexpr std::uint32_t kDirect = 0xFFFFFFFFu;

template <class T>
std::uint32_t stackWord(T value) {
    if constexpr (std::is_pointer_v<T>)
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
    else
        return static_cast<std::uint32_t>(value);  // widened as a cdecl caller does
}

// Makes library calls directly or through the trampoline at one offset.
struct Caller {
    std::uint32_t offset;

    template <class R, class... P>
    R operator()(R (*fn)(P...), std::type_identity_t<P>... args) const {
        if (offset == kDirect) return fn(args...);
        const std::uint32_t words[] = {stackWord<P>(args)..., 0};
        const std::uint32_t r =
            orvdc_call_at_stack_offset(reinterpret_cast<const void*>(fn), words, sizeof...(P), offset);
        if constexpr (std::is_pointer_v<R>)
            return reinterpret_cast<R>(static_cast<std::uintptr_t>(r));
        else
            return static_cast<R>(r);
    }
};

// Appends the bytes of a value to a result record.
template <class T>
void put(Bytes& out, const T& value) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), p, p + sizeof value);
}

template <class Job>
void expectSameAtEveryOffset(Job job) {
    const Bytes expected = job(Caller{kDirect});
    ASSERT_FALSE(expected.empty());
    for (std::uint32_t offset : {0u, 4u, 8u, 12u}) EXPECT_EQ(job(Caller{offset}), expected) << "offset " << offset;
}

// Text-like data starting 1 byte past an aligned address.
const Bytes kText = orvdc::test::textLikeBytes(20000, 7);

TEST(StackOffset, TrampolineLeavesTheStackPointerAtTheOffset) {
    for (std::uint32_t offset = 0; offset < 16; offset += 4)
        EXPECT_EQ(Caller{offset}(orvdc_stack_at_call) % 16, offset);
}

TEST(StackOffset, FrameAndChecksums) {
    expectSameAtEveryOffset([](Caller call) {
        orvdc::test::OffsetBuffer src(kText, 1);
        const auto n = static_cast<std::int32_t>(src.size());
        std::uint32_t crc = 0, bzcrc = 0, adler = 1;
        Bytes out;
        put(out, call(orvsCRC32_8u, src.data(), n, &crc));
        put(out, call(orvsCRC32_BZ2_8u, src.data(), n, &bzcrc));
        put(out, call(orvsAdler32_8u, src.data(), n, &adler));
        put(out, crc);
        put(out, bzcrc);
        put(out, adler);
        put(out, call(orvdcGetLibVersion));
        return out;
    });
}

TEST(StackOffset, BlockSortingMoveToFrontAndRuns) {
    expectSameAtEveryOffset([](Caller call) {
        const auto n = static_cast<std::int32_t>(kText.size());
        std::int32_t size = 0, index = -1;
        Bytes out;
        put(out, call(orvsBWTFwdGetSize_8u, n, &size));
        Bytes buffer(static_cast<std::size_t>(size) + 1), sorted(kText.size()), restored(kText.size());
        put(out, call(orvsBWTFwd_8u, kText.data(), sorted.data(), n, &index, buffer.data()));
        put(out, call(orvsBWTInvGetSize_8u, n, &size));
        buffer.resize(static_cast<std::size_t>(size) + 1);
        put(out, call(orvsBWTInv_8u, sorted.data(), restored.data(), n, index, buffer.data()));
        EXPECT_EQ(restored, kText);

        put(out, call(orvsMTFGetSize_8u, &size));
        Bytes state(static_cast<std::size_t>(size)), ranks(kText.size());
        auto* mtf = reinterpret_cast<MTFState*>(state.data());
        put(out, call(orvsMTFInit_8u, mtf));
        put(out, call(orvsMTFFwd_8u, sorted.data(), ranks.data(), n, mtf));

        Bytes runs(2 * kText.size() + 16);
        const std::uint8_t* src = ranks.data();
        std::int32_t srcLen = n, runsLen = static_cast<std::int32_t>(runs.size());
        put(out, call(orvsEncodeRLE_8u, &src, &srcLen, runs.data(), &runsLen));
        runs.resize(static_cast<std::size_t>(runsLen));
        out.insert(out.end(), sorted.begin(), sorted.end());
        out.insert(out.end(), ranks.begin(), ranks.end());
        out.insert(out.end(), runs.begin(), runs.end());
        return out;
    });
}

TEST(StackOffset, Bzip2Stages) {
    expectSameAtEveryOffset([](Caller call) {
        std::int32_t size = 0;
        Bytes out;
        put(out, call(orvsRLEGetSize_BZ2_8u, &size));
        Bytes state(static_cast<std::size_t>(size));
        auto* rle = reinterpret_cast<RLEState*>(state.data());
        put(out, call(orvsEncodeRLEInit_BZ2_8u, rle));
        Bytes coded(2 * kText.size() + 64);
        const std::uint8_t* src = kText.data();
        std::int32_t srcLen = static_cast<std::int32_t>(kText.size()), codedLen = static_cast<std::int32_t>(coded.size());
        put(out, call(orvsEncodeRLE_BZ2_8u, &src, &srcLen, coded.data(), &codedLen, rle));
        std::int32_t tailLen = static_cast<std::int32_t>(coded.size()) - codedLen;
        put(out, call(orvsEncodeRLEFlush_BZ2_8u, coded.data() + codedLen, &tailLen, rle));
        coded.resize(static_cast<std::size_t>(codedLen + tailLen));

        std::vector<std::uint16_t> symbols(coded.size() + 2);
        std::uint32_t freq[258] = {};
        src = coded.data();
        srcLen = static_cast<std::int32_t>(coded.size());
        std::int32_t symbolCount = static_cast<std::int32_t>(symbols.size());
        put(out, call(orvsEncodeZ1Z2_BZ2_8u16u, &src, &srcLen, symbols.data(), &symbolCount, freq));
        Bytes back(coded.size());
        const std::uint16_t* symbolSrc = symbols.data();
        std::int32_t backLen = static_cast<std::int32_t>(back.size());
        put(out, call(orvsDecodeZ1Z2_BZ2_16u8u, &symbolSrc, &symbolCount, back.data(), &backLen));
        EXPECT_EQ(back, coded);
        out.insert(out.end(), coded.begin(), coded.end());
        put(out, freq);
        return out;
    });
}

TEST(StackOffset, HuffmanCodec) {
    expectSameAtEveryOffset([](Caller call) {
        std::int32_t freq[256] = {}, lengths[256] = {}, size = 0;
        for (std::uint8_t b : kText) ++freq[b];
        Bytes out;
        put(out, call(orvsHuffGetSize_8u, &size));
        Bytes enc(static_cast<std::size_t>(size)), dec(static_cast<std::size_t>(size));
        auto* encState = reinterpret_cast<HuffState*>(enc.data());
        auto* decState = reinterpret_cast<HuffState*>(dec.data());
        put(out, call(orvsEncodeHuffInit_8u, freq, encState));
        Bytes stream(kText.size() + 64);
        std::int32_t len = static_cast<std::int32_t>(stream.size());
        put(out, call(orvsEncodeHuff_8u, kText.data(), static_cast<std::int32_t>(kText.size()), stream.data(), &len,
                      encState));
        std::int32_t tail = static_cast<std::int32_t>(stream.size()) - len;
        put(out, call(orvsEncodeHuffFinal_8u, stream.data() + len, &tail, encState));
        stream.resize(static_cast<std::size_t>(len + tail));
        put(out, call(orvsHuffGetLenCodeTable_8u, lengths, encState));
        put(out, call(orvsDecodeHuffInit_8u, lengths, decState));
        Bytes back(kText.size());
        std::int32_t backLen = static_cast<std::int32_t>(back.size());
        put(out, call(orvsDecodeHuff_8u, stream.data(), static_cast<std::int32_t>(stream.size()), back.data(),
                      &backLen, decState));
        EXPECT_EQ(back, kText);
        out.insert(out.end(), stream.begin(), stream.end());
        return out;
    });
}

TEST(StackOffset, DeflateMatchFinderAndPairExpansion) {
    expectSameAtEveryOffset([](Caller call) {
        Bytes out;
        LZ77EncoderState* enc = nullptr;
        LZ77DecoderState* dec = nullptr;
        put(out, call(orvsEncodeLZ77InitAlloc_8u, LZ77LevelBest, LZ77ChecksumNone, &enc));
        put(out, call(orvsDecodeLZ77InitAlloc_8u, LZ77ChecksumNone, &dec));
        std::vector<LZ77Pair> pairs(kText.size());
        const std::uint8_t* src = kText.data();
        std::int32_t srcLen = static_cast<std::int32_t>(kText.size());
        LZ77Pair* pairEnd = pairs.data();
        std::int32_t room = static_cast<std::int32_t>(pairs.size());
        put(out, call(orvsEncodeLZ77_8u, &src, &srcLen, &pairEnd, &room, LZ77FlushFinish, enc));
        pairs.resize(static_cast<std::size_t>(pairEnd - pairs.data()));

        Bytes back(kText.size());
        const LZ77Pair* pairSrc = pairs.data();
        std::int32_t pairCount = static_cast<std::int32_t>(pairs.size());
        std::uint8_t* dst = back.data();
        std::int32_t dstLen = static_cast<std::int32_t>(back.size());
        put(out, call(orvsDecodeLZ77_8u, &pairSrc, &pairCount, &dst, &dstLen, LZ77FlushNone, dec));
        EXPECT_EQ(back, kText);
        call(orvsLZ77Free_8u, enc);
        call(orvsLZ77Free_8u, dec);
        for (const LZ77Pair& p : pairs) put(out, p);
        return out;
    });
}

TEST(StackOffset, LzssCodec) {
    expectSameAtEveryOffset([](Caller call) {
        Bytes out;
        LZSSState* enc = nullptr;
        LZSSState* dec = nullptr;
        put(out, call(orvsEncodeLZSSInitAlloc_8u, &enc));
        put(out, call(orvsDecodeLZSSInitAlloc_8u, &dec));
        Bytes stream(2 * kText.size() + 64);
        const std::uint8_t* src = kText.data();
        std::int32_t srcLen = static_cast<std::int32_t>(kText.size());
        std::uint8_t* dst = stream.data();
        std::int32_t dstLen = static_cast<std::int32_t>(stream.size());
        put(out, call(orvsEncodeLZSS_8u, &src, &srcLen, &dst, &dstLen, enc));
        put(out, call(orvsEncodeLZSSFlush_8u, &dst, &dstLen, enc));
        stream.resize(static_cast<std::size_t>(dst - stream.data()));

        Bytes back(kText.size());
        const std::uint8_t* streamSrc = stream.data();
        std::int32_t streamLen = static_cast<std::int32_t>(stream.size());
        std::uint8_t* backDst = back.data();
        std::int32_t backLen = static_cast<std::int32_t>(back.size());
        put(out, call(orvsDecodeLZSS_8u, &streamSrc, &streamLen, &backDst, &backLen, dec));
        EXPECT_EQ(back, kText);
        call(orvsLZSSFree_8u, enc);
        call(orvsLZSSFree_8u, dec);
        out.insert(out.end(), stream.begin(), stream.end());
        return out;
    });
}

TEST(StackOffset, GitCodec) {
    expectSameAtEveryOffset([](Caller call) {
        const auto n = static_cast<std::int32_t>(kText.size());
        const std::int32_t maxDst = 4 * n + 4096;
        Bytes out;
        GITState* enc = nullptr;
        GITState* dec = nullptr;
        put(out, call(orvsEncodeGITInitAlloc_8u, n, maxDst, &enc));
        put(out, call(orvsDecodeGITInitAlloc_8u, maxDst, n, &dec));
        Bytes block(static_cast<std::size_t>(maxDst));
        std::int32_t len = -1;
        put(out, call(orvsEncodeGIT_8u, kText.data(), n, block.data(), &len, 2, enc));
        block.resize(static_cast<std::size_t>(len));
        Bytes back(kText.size());
        std::int32_t backLen = -1;
        put(out, call(orvsDecodeGIT_8u, block.data(), len, back.data(), &backLen, 2, dec));
        EXPECT_EQ(back, kText);
        call(orvsGITFree_8u, enc);
        call(orvsGITFree_8u, dec);
        out.insert(out.end(), block.begin(), block.end());
        return out;
    });
}

TEST(StackOffset, VariableLengthCodes) {
    expectSameAtEveryOffset([](Caller call) {
        const VLCTableEntry table[] = {{-1, 0b0, 1}, {0, 0b10, 2}, {1, 0b110, 3}, {2, 0b1110, 4}, {3, 0b1111, 4}};
        const std::int32_t widths[] = {2, 2};
        std::vector<std::int16_t> values(3000);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::int16_t>(kText[i] % 5 - 1);
        Bytes out;
        VLCEncodeSpec* enc = nullptr;
        VLCDecodeSpec* dec = nullptr;
        put(out, call(orvsVLCEncodeInitAlloc_32s, table, 5, &enc));
        put(out, call(orvsVLCDecodeInitAlloc_32s, table, 5, widths, 2, &dec));
        Bytes bits(values.size() + 8);
        std::uint8_t* dst = bits.data();
        std::int32_t bitOffset = 0;
        const auto count = static_cast<std::int32_t>(values.size());
        put(out, call(orvsVLCEncodeBlock_16s1u, values.data(), count, &dst, &bitOffset, enc));
        std::vector<std::int16_t> back(values.size());
        const std::uint8_t* src = bits.data();
        std::int32_t srcBit = 0;
        put(out, call(orvsVLCDecodeBlock_1u16s, &src, &srcBit, back.data(), count, dec));
        EXPECT_EQ(back, values);
        call(orvsVLCEncodeFree_32s, enc);
        call(orvsVLCDecodeFree_32s, dec);
        out.insert(out.end(), bits.begin(), bits.end());
        return out;
    });
}

}  // namespace
