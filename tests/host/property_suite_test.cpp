#include <gtest/gtest.h>

#include "faults.h"
#include "suites/property_store.h"
#include "suites/suites.h"

using namespace ofxhost;

namespace {

class HostPropertySuite : public testing::Test {
protected:
    void SetUp() override
    {
        Faults::instance().reset();
        store.defineInt("Fixed", {1, 2});
        store.defineString("List", {}, true);
        store.defineDouble("D", {0.25});
    }
    const OfxPropertySuiteV1 *suite = propertySuiteTable();
    PropertyStore store{"effect"};
};

}  // namespace

TEST_F(HostPropertySuite, StatusesFollowTheStandard)
{
    int i = 0;
    double d = 0;
    char *text = nullptr;
    EXPECT_EQ(suite->propGetInt(store.handle(), "Fixed", 1, &i), kOfxStatOK);
    EXPECT_EQ(i, 2);
    EXPECT_EQ(suite->propGetInt(store.handle(), "Missing", 0, &i), kOfxStatErrUnknown);
    EXPECT_EQ(suite->propGetInt(store.handle(), "Fixed", 2, &i), kOfxStatErrBadIndex);
    EXPECT_EQ(suite->propGetInt(store.handle(), "Fixed", -1, &i), kOfxStatErrBadIndex);
    EXPECT_EQ(suite->propSetInt(store.handle(), "Fixed", 2, 5), kOfxStatErrBadIndex);
    EXPECT_EQ(suite->propGetDouble(store.handle(), "Fixed", 0, &d), kOfxStatErrValue);
    EXPECT_EQ(suite->propSetString(store.handle(), "Invented", 0, "x"), kOfxStatErrUnknown);
    EXPECT_EQ(suite->propGetString(nullptr, "List", 0, &text), kOfxStatErrBadHandle);
    int bogus = 0;
    EXPECT_EQ(suite->propGetInt(reinterpret_cast<OfxPropertySetHandle>(&bogus), "Fixed", 0, &i),
              kOfxStatErrBadHandle);
}

TEST_F(HostPropertySuite, ListsGrowByWritingAtTheEnd)
{
    int n = -1;
    ASSERT_EQ(suite->propSetString(store.handle(), "List", 0, "a"), kOfxStatOK);
    ASSERT_EQ(suite->propSetString(store.handle(), "List", 1, "b"), kOfxStatOK);
    EXPECT_EQ(suite->propSetString(store.handle(), "List", 3, "d"), kOfxStatErrBadIndex);
    EXPECT_EQ(suite->propGetDimension(store.handle(), "List", &n), kOfxStatOK);
    EXPECT_EQ(n, 2);
    const char *values[] = {"x", "y", "z"};
    ASSERT_EQ(suite->propSetStringN(store.handle(), "List", 3, values), kOfxStatOK);
    char *out[3];
    ASSERT_EQ(suite->propGetStringN(store.handle(), "List", 3, out), kOfxStatOK);
    EXPECT_STREQ(out[2], "z");
    ASSERT_EQ(suite->propReset(store.handle(), "List"), kOfxStatOK);
    EXPECT_EQ(store.dimension("List"), 0);
    int ints[2] = {9, 8};
    ASSERT_EQ(suite->propSetIntN(store.handle(), "Fixed", 2, ints), kOfxStatOK);
    int back[2];
    ASSERT_EQ(suite->propGetIntN(store.handle(), "Fixed", 2, back), kOfxStatOK);
    EXPECT_EQ(back[1], 8);
}

TEST_F(HostPropertySuite, FaultsAnswerWithTheChosenStatus)
{
    Faults::instance().addPropertyFault({"effect", "D", kOfxStatErrMemory, true, false, false});
    double d = 0;
    EXPECT_EQ(suite->propGetDouble(store.handle(), "D", 0, &d), kOfxStatErrMemory);
    EXPECT_EQ(suite->propSetDouble(store.handle(), "D", 0, 2.0), kOfxStatOK);
    Faults::instance().failCall("propGetDimension", kOfxStatErrFatal);
    int n;
    EXPECT_EQ(suite->propGetDimension(store.handle(), "List", &n), kOfxStatErrFatal);
    EXPECT_GE(Faults::instance().count("propGetDouble"), 1);
}
