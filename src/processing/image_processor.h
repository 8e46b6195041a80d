#pragma once

// Cuts a render window into strips of whole rows, one per host thread, and
// has a derived processor write each strip. Lives for one render.

#include "instance/image.h"
#include "ofx/ofx_core.h"
#include "processing/multi_thread_processor.h"

namespace OFX {

class ImageEffect;

class ImageProcessor : public MultiThread::Processor {
public:
    explicit ImageProcessor(ImageEffect &effect) : effect(&effect) {}

    // Rows [y1 + h*i/n, y1 + min(h*(i+1)/n, h)) of the window for thread i of n.
    void runThread(unsigned threadIndex, unsigned threadCount) override;
    virtual void beforeRun() {}
    // Writes the pixels of the strip in dstImage and nothing outside it; runs
    // concurrently with other strips and must not throw.
    virtual void processStrip(const OfxRectI &strip) = 0;
    virtual void afterRun() {}
    // Nothing without a destination or for a zero-width window of some height.
    virtual void run();

    ImageEffect *effect;
    Image *dstImage = nullptr;
    OfxRectI renderWindow{0, 0, 0, 0};
};

// The strip of thread i of n over a window of h rows, relative to its first row.
void stripRows(unsigned h, unsigned i, unsigned n, unsigned &first, unsigned &end);

}  // namespace OFX
