#pragma once

// Spreading work over the host's threads through its multi-thread suite.

namespace OFX {
namespace MultiThread {

class Processor {
public:
    virtual ~Processor() = default;
    // Called once per thread index, possibly on several threads at once.
    virtual void runThread(unsigned threadIndex, unsigned threadCount) = 0;
    // Runs runThread on n host threads (0 asks the host how many CPUs it has)
    // and returns when all have returned. With one thread it runs here.
    virtual void runOnThreads(unsigned threadCount);
};

// The thread function handed to the host; the argument is the Processor.
void threadEntry(unsigned threadIndex, unsigned threadCount, void *processor);

}  // namespace MultiThread
}  // namespace OFX
