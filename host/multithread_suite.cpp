#include <mutex>
#include <thread>
#include <vector>

#include "call_guard.h"
#include "host.h"
#include "live_set.h"
#include "suites.h"

namespace ofxhost {

namespace {

thread_local bool spawnedThread = false;
thread_local unsigned threadIndex = 0;

// Runs the function for every index 0..n-1, each on its own thread (index 0
// on a spawned thread too), and returns when all have returned. A host may
// run fewer threads than asked; it then tells the function the smaller count.
OfxStatus multiThread(OfxThreadFunctionV1 func, unsigned int nThreads, void *customArg)
{
    HOST_CALL("multiThread");
    if (!func)
        return kOfxStatErrBadHandle;
    if (spawnedThread)
        return kOfxStatErrExists;  // not to be called recursively
    unsigned n = nThreads;
    if (auto limit = Host::instance().quirks().maxThreadsRun)
        n = std::min(n, *limit);
    if (n == 1 && Host::instance().quirks().maxThreadsRun) {
        func(0, 1, customArg);  // the awkward host: once, on the calling thread
        return kOfxStatOK;
    }
    std::vector<std::thread> threads;
    threads.reserve(n);
    for (unsigned i = 0; i < n; ++i) {
        threads.emplace_back([=] {
            spawnedThread = true;
            threadIndex = i;
            func(i, n, customArg);
        });
    }
    for (auto &t : threads)
        t.join();
    return kOfxStatOK;
}

OfxStatus multiThreadNumCPUs(unsigned int *nCPUs)
{
    HOST_CALL("multiThreadNumCPUs");
    if (!nCPUs)
        return kOfxStatErrBadHandle;
    auto reported = Host::instance().quirks().reportedCpus;
    unsigned hw = std::thread::hardware_concurrency();
    *nCPUs = reported ? *reported : (hw ? hw : 1);
    return kOfxStatOK;
}

OfxStatus multiThreadIndex(unsigned int *index)
{
    HOST_CALL("multiThreadIndex");
    if (!index)
        return kOfxStatErrBadHandle;
    *index = spawnedThread ? threadIndex : 0;
    return kOfxStatOK;
}

int multiThreadIsSpawnedThread()
{
    return spawnedThread ? 1 : 0;
}

struct Mutex {
    Live<Mutex> live{this};
    std::recursive_mutex m;
};

OfxStatus mutexCreate(OfxMutexHandle *mutex, int lockCount)
{
    HOST_CALL("mutexCreate");
    if (!mutex)
        return kOfxStatErrBadHandle;
    auto *m = new Mutex;
    for (int i = 0; i < lockCount; ++i)
        m->m.lock();
    *mutex = reinterpret_cast<OfxMutexHandle>(m);
    return kOfxStatOK;
}

OfxStatus mutexDestroy(const OfxMutexHandle mutex)
{
    HOST_CALL("mutexDestroy");
    Mutex *m = LiveSet<Mutex>::find(mutex);
    if (!m)
        return kOfxStatErrBadHandle;
    delete m;
    return kOfxStatOK;
}

OfxStatus mutexLock(const OfxMutexHandle mutex)
{
    HOST_CALL("mutexLock");
    Mutex *m = LiveSet<Mutex>::find(mutex);
    if (!m)
        return kOfxStatErrBadHandle;
    m->m.lock();
    return kOfxStatOK;
}

OfxStatus mutexUnLock(const OfxMutexHandle mutex)
{
    HOST_CALL("mutexUnLock");
    Mutex *m = LiveSet<Mutex>::find(mutex);
    if (!m)
        return kOfxStatErrBadHandle;
    m->m.unlock();
    return kOfxStatOK;
}

OfxStatus mutexTryLock(const OfxMutexHandle mutex)
{
    HOST_CALL("mutexTryLock");
    Mutex *m = LiveSet<Mutex>::find(mutex);
    if (!m)
        return kOfxStatErrBadHandle;
    return m->m.try_lock() ? kOfxStatOK : kOfxStatFailed;
}

const OfxMultiThreadSuiteV1 suite = {multiThread, multiThreadNumCPUs, multiThreadIndex,
                                     multiThreadIsSpawnedThread, mutexCreate, mutexDestroy,
                                     mutexLock,   mutexUnLock,        mutexTryLock};

}  // namespace

const OfxMultiThreadSuiteV1 *multiThreadSuiteTable()
{
    return &suite;
}

}  // namespace ofxhost
