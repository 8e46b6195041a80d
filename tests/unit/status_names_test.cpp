#include <gtest/gtest.h>

#include "entry/console.h"
#include "entry/status_names.h"

TEST(StatusNames, KnownCodesHaveTheirNames)
{
    EXPECT_STREQ(OFX::statusName(0), "kOfxStatOK");
    EXPECT_STREQ(OFX::statusName(9), "kOfxStatErrBadHandle");
    EXPECT_STREQ(OFX::statusName(14), "kOfxStatReplyDefault");
    EXPECT_STREQ(OFX::statusName(1000), "kOfxStatErrImageFormat");
}

TEST(StatusNames, EverythingElseIsUnknown)
{
    for (int code : {15, 999, 1001, 1002, -1, -1000})
        EXPECT_STREQ(OFX::statusName(code), "UNKNOWN STATUS CODE") << code;
}

TEST(Console, WritesOneFlushedLine)
{
    testing::internal::CaptureStdout();
    OFX::consoleMessage("Caught OFX::Exception::Suite");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Caught OFX::Exception::Suite\n");
}
