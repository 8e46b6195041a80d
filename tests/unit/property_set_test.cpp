#include <gtest/gtest.h>

#include <new>

#include "entry/host_suites.h"
#include "faults.h"
#include "property/exceptions.h"
#include "property/property_set.h"
#include "property/raise_status.h"
#include "suites/property_store.h"
#include "suites/suites.h"

using OFX::PropertySet;
namespace Ex = OFX::Exception;

namespace {

class PropertySetTest : public testing::Test {
protected:
    void SetUp() override
    {
        ofxhost::Faults::instance().reset();
        OFX::hostSuites().propertySuite = ofxhost::propertySuiteTable();
        store.defineInt("Count", {7, 8});
        store.defineDouble("Scale", {0.5});
        store.definePointer("Data", {nullptr});
        store.defineString("Label", {"x"});
        store.defineString("List", {}, true);
    }
    void TearDown() override
    {
        OFX::hostSuites().propertySuite = nullptr;
        ofxhost::Faults::instance().reset();
    }
    void fault(const char *name, OfxStatus status, bool nullText = false)
    {
        ofxhost::Faults::instance().addPropertyFault({"*", name, status, true, true, nullText});
    }

    ofxhost::PropertyStore store{"effect"};
    PropertySet props{store.handle()};
};

}  // namespace

TEST_F(PropertySetTest, ReadsAndWritesTypedIndexedValues)
{
    EXPECT_EQ(props.getInt("Count", 1, true), 8);
    EXPECT_EQ(props.getDimension("Count", true), 2);
    props.setDouble("Scale", 2.25, 0, true);
    EXPECT_EQ(props.getDouble("Scale", 0, true), 2.25);
    int local = 0;
    props.setPointer("Data", &local, 0, true);
    EXPECT_EQ(props.getPointer("Data", 0, true), &local);
    props.setString("List", "a", 0, true);
    props.setString("List", "b", props.getDimension("List", true), true);
    EXPECT_EQ(props.getString("List", 1, true), "b");
    PropertySet copy = props;
    EXPECT_EQ(copy.handle(), props.handle());
}

TEST_F(PropertySetTest, UnknownPropertyRaisesOnlyWhenAsked)
{
    testing::internal::CaptureStdout();
    try {
        props.getInt("Nope", 0, true);
        FAIL() << "no exception";
    } catch (const Ex::PropertyUnknownToHost &e) {
        EXPECT_STREQ(e.what(), "Nope");
    }
    EXPECT_EQ(props.getInt("Nope", 0, false), 0);
    EXPECT_EQ(props.getString("Nope", 0, false), "");
    EXPECT_EQ(props.getPointer("Nope", 0, false), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    fault("Label", kOfxStatErrUnsupported);
    EXPECT_THROW(props.getString("Label", 0, true), Ex::PropertyUnknownToHost);
}

TEST_F(PropertySetTest, IllegalValueAndBadHandle)
{
    fault("Count", kOfxStatErrValue);
    EXPECT_THROW(props.setInt("Count", 1, 0, true), Ex::PropertyValueIllegalToHost);

    fault("Scale", kOfxStatErrBadHandle);
    testing::internal::CaptureStdout();
    try {
        props.setDouble("Scale", 1.0, 0, true);
        FAIL() << "no exception";
    } catch (const Ex::Suite &e) {
        EXPECT_EQ(e.status(), kOfxStatErrBadHandle);
        EXPECT_STREQ(e.what(), "kOfxStatErrBadHandle");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Threw suite exception!\n");
}

TEST_F(PropertySetTest, MemoryFailureIsBadAllocWithoutMessage)
{
    fault("Count", kOfxStatErrMemory);
    testing::internal::CaptureStdout();
    EXPECT_THROW(props.getInt("Count", 0, true), std::bad_alloc);
    EXPECT_THROW(OFX::raiseStatus(kOfxStatErrMemory), std::bad_alloc);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(PropertySetTest, ReplyCodesPass)
{
    for (OfxStatus s : {kOfxStatReplyYes, kOfxStatReplyNo, kOfxStatReplyDefault}) {
        EXPECT_NO_THROW(OFX::raiseStatus(s));
        EXPECT_NO_THROW(OFX::raisePropertyStatus(s, "p"));
    }
}

TEST_F(PropertySetTest, OtherFailuresBecomeSuiteErrors)
{
    testing::internal::CaptureStdout();
    for (OfxStatus s : {1, 2, 4, 6, 7, 9, 10, 1000, -3, 77}) {
        try {
            OFX::raisePropertyStatus(s, "p");
            ADD_FAILURE() << s;
        } catch (const Ex::Suite &e) {
            EXPECT_EQ(e.status(), s);
        }
    }
    testing::internal::GetCapturedStdout();
}

TEST_F(PropertySetTest, BadIndexAndWrongTypeAreReported)
{
    testing::internal::CaptureStdout();
    try {
        props.getInt("Count", 5, true);
        FAIL();
    } catch (const Ex::Suite &e) {
        EXPECT_EQ(e.status(), kOfxStatErrBadIndex);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_THROW(props.getDouble("Count", 0, true), Ex::PropertyValueIllegalToHost);
}

TEST_F(PropertySetTest, NullTextFromTheHostReadsAsEmpty)
{
    fault("Label", kOfxStatOK, true);
    EXPECT_EQ(props.getString("Label", 0, true), "");
}

TEST_F(PropertySetTest, NoSuiteBoundIsABadHandleNotACrash)
{
    OFX::hostSuites().propertySuite = nullptr;
    EXPECT_EQ(props.getInt("Count", 0, false), 0);
    testing::internal::CaptureStdout();
    EXPECT_THROW(props.getInt("Count", 0, true), Ex::Suite);
    testing::internal::GetCapturedStdout();
}

TEST(Exceptions, CarryCopiesOfTheirMessages)
{
    std::string text = "OfxMultiThreadSuite";
    Ex::HostInadequate e(text.c_str());
    text.assign("changed");
    EXPECT_STREQ(e.what(), "OfxMultiThreadSuite");
    Ex::TypeRequest copy = Ex::TypeRequest("Parameter exists but is of the wrong type");
    EXPECT_STREQ(copy.what(), "Parameter exists but is of the wrong type");
    EXPECT_STREQ(Ex::Suite(5).what(), "kOfxStatErrUnsupported");
}
