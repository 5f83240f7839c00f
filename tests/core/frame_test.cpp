// The library frame through its exports: the version record and the shared
// Free.
#include <gtest/gtest.h>

#include <cstring>

#include "orvdc.h"

namespace {

TEST(Version, RecordIsConstantAndComplete) {
    const VersionRecord* v = orvdcGetLibVersion();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v, orvdcGetLibVersion());
    EXPECT_EQ(v->versionMajor, 5);
    EXPECT_EQ(v->versionMinor, 1);
    EXPECT_EQ(v->buildNumber, 133);
    EXPECT_EQ(v->revision, 181);
    EXPECT_EQ(std::memcmp(v->cpuTarget, "t7\0\0", 4), 0);
    EXPECT_STREQ(v->fileName, "orvdct7-5.1.dll");
    EXPECT_STREQ(v->versionText, "5.1.1");
    EXPECT_STREQ(v->buildDate, "Jun 16 2006");
}

// Every Free name is the same function: any of them releases a state made by
// the InitAlloc of any stateful family, and all ignore null.
TEST(SharedFree, AllSixNamesReleaseAnyStateAndIgnoreNull) {
    void (*const frees[])(void*) = {orvsGITFree_8u, orvsHuffFree_8u, orvsLZ77Free_8u,
                                    orvsLZSSFree_8u, orvsMTFFree_8u, orvsRLEFree_BZ2_8u};
    std::int32_t freq[256] = {};
    freq['a'] = freq['b'] = 1;
    for (int shift = 0; shift < 6; ++shift) {
        void* states[6] = {};
        ASSERT_EQ(orvsDecodeGITInitAlloc_8u(2000, 100, reinterpret_cast<GITState**>(&states[0])), orvStsOk);
        ASSERT_EQ(orvsEncodeHuffInitAlloc_8u(freq, reinterpret_cast<HuffState**>(&states[1])), orvStsOk);
        ASSERT_EQ(orvsDecodeLZ77InitAlloc_8u(LZ77ChecksumNone, reinterpret_cast<LZ77DecoderState**>(&states[2])),
                  orvStsOk);
        ASSERT_EQ(orvsEncodeLZSSInitAlloc_8u(reinterpret_cast<LZSSState**>(&states[3])), orvStsOk);
        ASSERT_EQ(orvsMTFInitAlloc_8u(reinterpret_cast<MTFState**>(&states[4])), orvStsOk);
        ASSERT_EQ(orvsEncodeRLEInitAlloc_BZ2_8u(reinterpret_cast<RLEState**>(&states[5])), orvStsOk);
        for (int i = 0; i < 6; ++i) {
            ASSERT_NE(states[i], nullptr);
            frees[(i + shift) % 6](states[i]);
        }
        frees[shift](nullptr);
    }
}

}  // namespace
