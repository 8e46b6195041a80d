#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "bound_host.h"
#include "instance/image_effect.h"
#include "null_effect.h"
#include "ofx/ofx_names.h"
#include "processing/image_processor.h"
#include "render/host_image.h"
#include "suites/host_objects.h"

using namespace ofxhost;

namespace {

// Records the strips it is given and the threads they ran on.
class RecordingProcessor : public OFX::ImageProcessor {
public:
    using OFX::ImageProcessor::ImageProcessor;
    void processStrip(const OfxRectI &strip) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        strips.push_back(strip);
        threads.insert(std::this_thread::get_id());
    }
    std::mutex mutex;
    std::vector<OfxRectI> strips;
    std::set<std::thread::id> threads;
};

std::vector<unsigned> heights(unsigned h, unsigned n)
{
    std::vector<unsigned> out;
    for (unsigned i = 0; i < n; ++i) {
        unsigned first = 0, end = 0;
        OFX::stripRows(h, i, n, first, end);
        out.push_back(end - first);
    }
    return out;
}

class Processor : public BoundHost {
protected:
    void SetUp() override
    {
        BoundHost::SetUp();
        ImageLayout layout;
        layout.bounds = {0, 0, 4, 4};
        image = std::make_unique<HostImage>(layout);
        effect.defineClip("Output")->connect(image.get());
        instance = std::make_unique<NullEffect>(reinterpret_cast<OfxImageEffectHandle>(&effect));
        dst.reset(instance->getClip("Output")->getImage(0.0));
    }
    void TearDown() override
    {
        dst.reset();
        instance.reset();
        BoundHost::TearDown();
    }

    EffectObject effect{true, kOfxImageEffectContextFilter};
    std::unique_ptr<HostImage> image;
    std::unique_ptr<NullEffect> instance;
    std::unique_ptr<OFX::Image> dst;
};

}  // namespace

TEST(StripRows, WholeRowsInOrderWithoutOverlap)
{
    EXPECT_EQ(heights(1080, 8), std::vector<unsigned>(8, 135));
    EXPECT_EQ(heights(10, 4), (std::vector<unsigned>{2, 3, 2, 3}));
    EXPECT_EQ(heights(3, 8), (std::vector<unsigned>{0, 0, 1, 0, 0, 1, 0, 1}));
    for (unsigned h : {0u, 1u, 7u, 1000u, 4095u})
        for (unsigned n : {1u, 2u, 3u, 16u}) {
            unsigned expectFirst = 0;
            for (unsigned i = 0; i < n; ++i) {
                unsigned first = 0, end = 0;
                OFX::stripRows(h, i, n, first, end);
                ASSERT_EQ(first, expectFirst);
                ASSERT_LE(first, end);
                expectFirst = end;
            }
            ASSERT_EQ(expectFirst, h);
        }
}

TEST_F(Processor, OneCpuRunsOnceOnTheCallingThread)
{
    quirks().reportedCpus = 1;
    RecordingProcessor p(*instance);
    p.dstImage = dst.get();
    p.renderWindow = {0, 2, 4, 12};
    p.run();
    ASSERT_EQ(p.strips.size(), 1u);
    EXPECT_EQ(p.strips[0].y1, 2);
    EXPECT_EQ(p.strips[0].y2, 12);
    EXPECT_EQ(p.threads.count(std::this_thread::get_id()), 1u);
    EXPECT_EQ(faults().count("multiThread"), 0);
}

TEST_F(Processor, StripsOnTheHostsThreads)
{
    quirks().reportedCpus = 4;
    RecordingProcessor p(*instance);
    p.dstImage = dst.get();
    p.renderWindow = {-3, 0, 5, 10};
    p.run();
    ASSERT_EQ(p.strips.size(), 4u);
    EXPECT_EQ(faults().count("multiThread"), 1);
    std::multiset<int> rows;
    for (const auto &s : p.strips) {
        EXPECT_EQ(s.x1, -3);
        EXPECT_EQ(s.x2, 5);
        rows.insert(s.y2 - s.y1);
    }
    EXPECT_EQ(rows, (std::multiset<int>{2, 2, 3, 3}));
}

TEST_F(Processor, EmptyWindowsAndNoDestination)
{
    quirks().reportedCpus = 3;
    RecordingProcessor zeroHeight(*instance);
    zeroHeight.dstImage = dst.get();
    zeroHeight.renderWindow = {0, 5, 4, 5};
    zeroHeight.run();
    EXPECT_EQ(faults().count("multiThread"), 1);  // started, every strip empty
    for (const auto &s : zeroHeight.strips)
        EXPECT_EQ(s.y1, s.y2);

    RecordingProcessor zeroWidth(*instance);
    zeroWidth.dstImage = dst.get();
    zeroWidth.renderWindow = {2, 0, 2, 4};
    zeroWidth.run();
    EXPECT_TRUE(zeroWidth.strips.empty());

    RecordingProcessor inverted(*instance);
    inverted.dstImage = dst.get();
    inverted.renderWindow = {0, 9, 4, 2};
    inverted.run();
    for (const auto &s : inverted.strips)
        EXPECT_EQ(s.y1, s.y2);

    RecordingProcessor nothing(*instance);
    nothing.renderWindow = {0, 0, 4, 4};
    nothing.run();
    EXPECT_TRUE(nothing.strips.empty());
    EXPECT_EQ(faults().count("multiThread"), 2);
}

TEST_F(Processor, AFailingCpuQueryRunsHere)
{
    faults().failCall("multiThreadNumCPUs", kOfxStatErrUnsupported);
    RecordingProcessor p(*instance);
    p.dstImage = dst.get();
    p.renderWindow = {0, 0, 4, 4};
    p.run();
    EXPECT_EQ(p.strips.size(), 1u);
    EXPECT_EQ(faults().count("multiThread"), 0);
}
