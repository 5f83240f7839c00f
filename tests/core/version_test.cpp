// The version record: one constant record with every field filled.
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

}  // namespace
