#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>

#include "faults.h"
#include "ofx/ofx_names.h"
#include "render/host_image.h"
#include "suites/host.h"
#include "suites/host_objects.h"
#include "suites/suites.h"

using namespace ofxhost;

namespace {

struct ThreadRecord {
    std::mutex mutex;
    std::multiset<unsigned> indices;
    std::set<unsigned> counts;
    std::set<std::thread::id> ids;
};

void recordThread(unsigned index, unsigned count, void *arg)
{
    auto *r = static_cast<ThreadRecord *>(arg);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->indices.insert(index);
    r->counts.insert(count);
    r->ids.insert(std::this_thread::get_id());
}

class HostSuites : public testing::Test {
protected:
    void SetUp() override
    {
        Host::instance().reset();
        Faults::instance().reset();
    }
};

}  // namespace

TEST_F(HostSuites, MultiThreadRunsEveryIndexOnRealThreads)
{
    const auto *mt = multiThreadSuiteTable();
    ThreadRecord r;
    ASSERT_EQ(mt->multiThread(recordThread, 5, &r), kOfxStatOK);
    EXPECT_EQ(r.indices, (std::multiset<unsigned>{0, 1, 2, 3, 4}));
    EXPECT_EQ(r.counts, std::set<unsigned>{5});
    EXPECT_EQ(r.ids.size(), 5u);
    EXPECT_EQ(r.ids.count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(mt->multiThreadIsSpawnedThread(), 0);

    unsigned n = 0;
    ASSERT_EQ(mt->multiThreadNumCPUs(&n), kOfxStatOK);
    EXPECT_GE(n, 1u);
    Host::instance().quirks().reportedCpus = 0;
    ASSERT_EQ(mt->multiThreadNumCPUs(&n), kOfxStatOK);
    EXPECT_EQ(n, 0u);
}

TEST_F(HostSuites, AnAwkwardHostRunsFewerThreads)
{
    const auto *mt = multiThreadSuiteTable();
    Host::instance().quirks().maxThreadsRun = 1;
    ThreadRecord once;
    ASSERT_EQ(mt->multiThread(recordThread, 8, &once), kOfxStatOK);
    EXPECT_EQ(once.indices, std::multiset<unsigned>{0});
    EXPECT_EQ(once.counts, std::set<unsigned>{1});
    EXPECT_EQ(once.ids.count(std::this_thread::get_id()), 1u);

    Host::instance().quirks().maxThreadsRun = 3;
    ThreadRecord three;
    ASSERT_EQ(mt->multiThread(recordThread, 8, &three), kOfxStatOK);
    EXPECT_EQ(three.indices, (std::multiset<unsigned>{0, 1, 2}));
    EXPECT_EQ(three.counts, std::set<unsigned>{3});
}

TEST_F(HostSuites, MutexesLockAndTry)
{
    const auto *mt = multiThreadSuiteTable();
    OfxMutexHandle m;
    ASSERT_EQ(mt->mutexCreate(&m, 0), kOfxStatOK);
    EXPECT_EQ(mt->mutexLock(m), kOfxStatOK);
    std::atomic<int> tried{-1};
    std::thread([&] { tried = mt->mutexTryLock(m); }).join();
    EXPECT_EQ(tried.load(), kOfxStatFailed);
    EXPECT_EQ(mt->mutexUnLock(m), kOfxStatOK);
    EXPECT_EQ(mt->mutexDestroy(m), kOfxStatOK);
    EXPECT_EQ(mt->mutexLock(m), kOfxStatErrBadHandle);
}

TEST_F(HostSuites, ParametersInterpolateLinearlyAndWriteByType)
{
    const auto *ps = parameterSuiteTable();
    ParamSetObject set(false);
    auto handle = reinterpret_cast<OfxParamSetHandle>(&set);
    OfxPropertySetHandle props;
    ASSERT_EQ(ps->paramDefine(handle, kOfxParamTypeDouble, "angle", &props), kOfxStatOK);
    ASSERT_EQ(ps->paramDefine(handle, kOfxParamTypeInteger, "count", &props), kOfxStatOK);
    ASSERT_EQ(ps->paramDefine(handle, kOfxParamTypeBoolean, "on", &props), kOfxStatOK);
    ASSERT_EQ(ps->paramDefine(handle, kOfxParamTypeRGBA, "colour", &props), kOfxStatOK);
    EXPECT_EQ(ps->paramDefine(handle, kOfxParamTypeDouble, "angle", &props), kOfxStatErrExists);
    EXPECT_EQ(ps->paramDefine(handle, "OfxParamTypeNonsense", "x", &props), kOfxStatErrUnknown);

    OfxParamHandle angle, count, on, colour;
    ASSERT_EQ(ps->paramGetHandle(handle, "angle", &angle, nullptr), kOfxStatOK);
    ASSERT_EQ(ps->paramGetHandle(handle, "count", &count, nullptr), kOfxStatOK);
    ASSERT_EQ(ps->paramGetHandle(handle, "on", &on, nullptr), kOfxStatOK);
    ASSERT_EQ(ps->paramGetHandle(handle, "colour", &colour, nullptr), kOfxStatOK);
    EXPECT_EQ(ps->paramGetHandle(handle, "missing", &angle, nullptr), kOfxStatErrUnknown);

    ASSERT_EQ(ps->paramSetValueAtTime(angle, 0.0, 10.0), kOfxStatOK);
    ASSERT_EQ(ps->paramSetValueAtTime(angle, 10.0, 30.0), kOfxStatOK);
    double a = 0;
    ASSERT_EQ(ps->paramGetValueAtTime(angle, 5.0, &a), kOfxStatOK);
    EXPECT_DOUBLE_EQ(a, 20.0);
    ASSERT_EQ(ps->paramGetValueAtTime(angle, 20.0, &a), kOfxStatOK);
    EXPECT_DOUBLE_EQ(a, 30.0);
    ASSERT_EQ(ps->paramGetValueAtTime(angle, -3.0, &a), kOfxStatOK);
    EXPECT_DOUBLE_EQ(a, 10.0);
    double integral = 0;
    ASSERT_EQ(ps->paramGetIntegral(angle, 0.0, 10.0, &integral), kOfxStatOK);
    EXPECT_NEAR(integral, 200.0, 1e-9);
    double slope = 0;
    ASSERT_EQ(ps->paramGetDerivative(angle, 5.0, &slope), kOfxStatOK);
    EXPECT_NEAR(slope, 2.0, 1e-6);
    unsigned keys = 0;
    ASSERT_EQ(ps->paramGetNumKeys(angle, &keys), kOfxStatOK);
    EXPECT_EQ(keys, 2u);
    int index = 5;
    EXPECT_EQ(ps->paramGetKeyIndex(angle, 5.0, 1, &index), kOfxStatOK);
    EXPECT_EQ(index, 1);

    ASSERT_EQ(ps->paramSetValueAtTime(count, 0.0, 1), kOfxStatOK);
    ASSERT_EQ(ps->paramSetValueAtTime(count, 4.0, 4), kOfxStatOK);
    int c = 0;
    ASSERT_EQ(ps->paramGetValueAtTime(count, 2.0, &c), kOfxStatOK);
    EXPECT_EQ(c, 3);  // 2.5 rounds half up

    ASSERT_EQ(ps->paramSetValueAtTime(on, 0.0, 1), kOfxStatOK);
    ASSERT_EQ(ps->paramSetValueAtTime(on, 4.0, 0), kOfxStatOK);
    int b = -1;
    ASSERT_EQ(ps->paramGetValueAtTime(on, 3.9, &b), kOfxStatOK);
    EXPECT_EQ(b, 1);

    ASSERT_EQ(ps->paramSetValue(colour, 0.1, 0.2, 0.3, 0.4), kOfxStatOK);
    double r, g, bl, al;
    ASSERT_EQ(ps->paramGetValue(colour, &r, &g, &bl, &al), kOfxStatOK);
    EXPECT_DOUBLE_EQ(al, 0.4);
}

TEST_F(HostSuites, ClipsAnswerFailedWithoutAnImageAndReleaseWhatTheyHandOut)
{
    const auto *fx = imageEffectSuiteTable();
    EffectObject effect(true, kOfxImageEffectContextFilter);
    ClipObject *clip = effect.defineClip("Source");
    auto handle = reinterpret_cast<OfxImageEffectHandle>(&effect);
    OfxImageClipHandle c;
    ASSERT_EQ(fx->clipGetHandle(handle, "Source", &c, nullptr), kOfxStatOK);
    EXPECT_EQ(fx->clipGetHandle(handle, "Nope", &c, nullptr), kOfxStatErrUnknown);
    OfxPropertySetHandle image;
    EXPECT_EQ(fx->clipGetImage(c, 0.0, nullptr, &image), kOfxStatFailed);

    ImageLayout layout;
    layout.depth = Depth::Short;
    layout.bounds = {-3, 5, 7, 9};
    layout.negativeRowBytes = true;
    HostImage pixels(layout);
    clip->connect(&pixels);
    EXPECT_EQ(clip->props.getString(kOfxImageEffectPropPixelDepth), kOfxBitDepthShort);
    ASSERT_EQ(fx->clipGetImage(c, 0.0, nullptr, &image), kOfxStatOK);
    EXPECT_EQ(Host::instance().imagesOut.load(), 1u);
    auto *store = PropertyStore::from(image);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->getInt(kOfxImagePropRowBytes), -80);
    EXPECT_EQ(store->getInt(kOfxImagePropBounds, 0), -3);
    EXPECT_EQ(store->getPointer(kOfxImagePropData), pixels.data());
    EXPECT_EQ(fx->clipReleaseImage(image), kOfxStatOK);
    EXPECT_EQ(Host::instance().imagesOut.load(), 0u);
    EXPECT_EQ(fx->clipReleaseImage(image), kOfxStatErrBadHandle);

    Host::instance().quirks().abortAnswer = true;
    EXPECT_NE(fx->abort(handle), 0);
}

TEST_F(HostSuites, FetchSuiteHonoursSwitchedOffSuites)
{
    OfxHost *h = Host::instance().record();
    EXPECT_NE(h->fetchSuite(h->host, "OfxMultiThreadSuite", 1), nullptr);
    EXPECT_EQ(h->fetchSuite(h->host, "OfxMultiThreadSuite", 2), nullptr);
    EXPECT_NE(h->fetchSuite(h->host, "OfxMessageSuite", 2), nullptr);
    Host::instance().quirks().disabledSuites.insert({"OfxMultiThreadSuite", 1});
    EXPECT_EQ(h->fetchSuite(h->host, "OfxMultiThreadSuite", 1), nullptr);
    EXPECT_EQ(h->fetchSuite(h->host, "OfxVegasProgressSuite", 1), nullptr);
}

TEST(HostImage, AddressesWithOffsetsAndNegativeRowBytes)
{
    ImageLayout layout;
    layout.depth = Depth::Float;
    layout.bounds = {-10, -20, -6, -17};
    layout.negativeRowBytes = true;
    HostImage image(layout);
    EXPECT_EQ(image.rowBytes(), -64);
    EXPECT_EQ(image.pixel(-10, -20), image.data());
    EXPECT_EQ(image.pixel(-10, -19), static_cast<unsigned char *>(image.data()) - 64);
    EXPECT_EQ(image.pixel(-6, -20), nullptr);
    EXPECT_EQ(image.pixel(-10, -17), nullptr);
}

TEST(HostImageDeathTest, GuardPagesCatchStrayWrites)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    ImageLayout layout;
    layout.bounds = {0, 0, 3, 3};
    EXPECT_DEATH(
        {
            HostImage image(layout);
            volatile unsigned char *end = image.pixel(2, 2) + 4;
            *end = 1;
        },
        "");
    layout.guardAtStart = true;
    EXPECT_DEATH(
        {
            HostImage image(layout);
            volatile unsigned char *before = static_cast<unsigned char *>(image.data()) - 1;
            *before = 1;
        },
        "");
}

TEST_F(HostSuites, NoExceptionLeavesASuiteFunction)
{
    using Thrown = Faults::Thrown;
    auto &faults = Faults::instance();
    for (const char *name : {"propSetInt", "memoryAlloc", "paramGetValue", "message", "multiThread", "clipGetImage"})
        faults.throwInCall(name, std::string(name) == "memoryAlloc" ? Thrown::OutOfMemory : Thrown::Error);

    PropertyStore store("test");
    EXPECT_EQ(propertySuiteTable()->propSetInt(store.handle(), "x", 0, 1), kOfxStatFailed);
    void *memory = nullptr;
    EXPECT_EQ(memorySuiteTable()->memoryAlloc(nullptr, 16, &memory), kOfxStatErrMemory);
    ParamSetObject set(false);
    OfxPropertySetHandle props;
    OfxParamHandle param;
    ASSERT_EQ(parameterSuiteTable()->paramDefine(reinterpret_cast<OfxParamSetHandle>(&set), kOfxParamTypeDouble,
                                                 "angle", &props),
              kOfxStatOK);
    ASSERT_EQ(parameterSuiteTable()->paramGetHandle(reinterpret_cast<OfxParamSetHandle>(&set), "angle", &param,
                                                    nullptr),
              kOfxStatOK);
    double value = 0;
    EXPECT_EQ(parameterSuiteTable()->paramGetValue(param, &value), kOfxStatFailed);
    EXPECT_EQ(messageSuiteV2Table()->message(nullptr, kOfxMessageError, nullptr, "%d", 1), kOfxStatFailed);
    ThreadRecord r;
    EXPECT_EQ(multiThreadSuiteTable()->multiThread(recordThread, 2, &r), kOfxStatFailed);
    EffectObject effect(true, kOfxImageEffectContextFilter);
    effect.defineClip("Source");
    OfxImageClipHandle clip;
    ASSERT_EQ(imageEffectSuiteTable()->clipGetHandle(reinterpret_cast<OfxImageEffectHandle>(&effect), "Source", &clip,
                                                     nullptr),
              kOfxStatOK);
    OfxPropertySetHandle image;
    EXPECT_EQ(imageEffectSuiteTable()->clipGetImage(clip, 0.0, nullptr, &image), kOfxStatFailed);
    EXPECT_TRUE(r.indices.empty());
}

TEST_F(HostSuites, MultiThreadFailsBeforeAnyWorkRunsWhenAThreadCannotStart)
{
    const auto *mt = multiThreadSuiteTable();
    ThreadRecord r;
    Faults::instance().failThreadStart(3);
    EXPECT_EQ(mt->multiThread(recordThread, 8, &r), kOfxStatFailed);
    EXPECT_TRUE(r.indices.empty());  // the three started were let go without running

    // An impossible count fails at once instead of exhausting the system.
    EXPECT_EQ(mt->multiThread(recordThread, 1u << 31, &r), kOfxStatFailed);
    EXPECT_EQ(mt->multiThread(recordThread, kMaxSpawnedThreads + 1, &r), kOfxStatFailed);
    EXPECT_TRUE(r.indices.empty());

    Faults::instance().failThreadStart(std::nullopt);
    EXPECT_EQ(mt->multiThread(recordThread, 8, &r), kOfxStatOK);
    EXPECT_EQ(r.indices.size(), 8u);
}
