#pragma once

// Test fixture: the support layer bound to our host's real suites, as after
// a successful load action.

#include <gtest/gtest.h>

#include "entry/host_binding.h"
#include "entry/host_suites.h"
#include "faults.h"
#include "suites/host.h"

class BoundHost : public testing::Test {
protected:
    void SetUp() override
    {
        ofxhost::Host::instance().reset();
        ofxhost::Faults::instance().reset();
        OFX::hostSuites().hostPointer = ofxhost::Host::instance().record();
        if (bindOnSetUp)
            OFX::loadAction();
    }
    void TearDown() override
    {
        while (OFX::loadCount() > 0)
            OFX::unloadAction();
        ofxhost::Faults::instance().reset();
    }
    static ofxhost::Faults &faults() { return ofxhost::Faults::instance(); }
    static ofxhost::Quirks &quirks() { return ofxhost::Host::instance().quirks(); }

    bool bindOnSetUp = true;
};

// Swallows the console lines a test provokes on purpose, and returns them.
class StdoutCapture {
public:
    StdoutCapture() { testing::internal::CaptureStdout(); }
    ~StdoutCapture()
    {
        if (!taken_)
            testing::internal::GetCapturedStdout();
    }
    std::string take()
    {
        taken_ = true;
        return testing::internal::GetCapturedStdout();
    }

private:
    bool taken_ = false;
};
