// Every status has its own text, and unknown values say so.
#include <gtest/gtest.h>
#include <orvdc_formats.h>

#include <set>
#include <string>

TEST(StatusText, EveryStatusHasItsOwnText) {
    const orvStatus all[] = {orvStsOk, orvStsError, orvStsBadStream, orvStsBadArg, orvStsBadSize, orvStsNullPtr,
                             orvStsNoMemory, orvStsBadContext, orvStsBadCodeLength, orvStsBadFreqTable, orvStsNoCode,
                             orvStsCodeTooLong, orvStsSrcEnd, orvStsDstFull, orvStsStreamEnd, orvfStsBadMagic,
                             orvfStsBadHeader, orvfStsBadChecksum, orvfStsBadLength, orvfStsTruncated,
                             orvfStsTrailingData, orvfStsBadData};
    std::set<std::string> seen;
    const std::string unknown = orvfStatusText(12345);
    for (orvStatus st : all) {
        const std::string text = orvfStatusText(st);
        EXPECT_NE(text, unknown) << st;
        EXPECT_TRUE(seen.insert(text).second) << "shared text: " << text;
    }
    EXPECT_EQ(std::string(orvfStatusText(-7)), unknown);
}
