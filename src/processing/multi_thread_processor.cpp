#include "processing/multi_thread_processor.h"

#include "entry/host_suites.h"
#include "property/raise_status.h"

namespace OFX {
namespace MultiThread {

void threadEntry(unsigned threadIndex, unsigned threadCount, void *processor)
{
    static_cast<Processor *>(processor)->runThread(threadIndex, threadCount);
}

void Processor::runOnThreads(unsigned threadCount)
{
    const OfxMultiThreadSuiteV1 &suite = boundSuite(hostSuites().multiThreadSuite);
    unsigned n = threadCount;
    if (n == 0) {
        unsigned count = 1;
        n = suite.multiThreadNumCPUs(&count) == kOfxStatOK ? count : 1;
        // A host that reports no CPUs would otherwise run nothing at all and
        // the render would succeed with nothing written.
        if (n == 0)
            n = 1;
    }
    if (n == 1) {
        runThread(0, 1);
        return;
    }
    raiseStatus(suite.multiThread(threadEntry, n, this));
}

}  // namespace MultiThread
}  // namespace OFX
