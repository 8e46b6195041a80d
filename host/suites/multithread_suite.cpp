#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "load/c_boundary.h"
#include "load/call_guard.h"
#include "load/live_set.h"
#include "render/render_scope.h"
#include "suites/host.h"
#include "suites/suites.h"

namespace ofxhost {

namespace {

thread_local bool spawnedThread = false;
thread_local unsigned threadIndex = 0;

// Runs the function for every index 0..n-1, each on its own thread (index 0
// on a spawned thread too), and returns when all have returned. A host may
// run fewer threads than asked; it then tells the function the smaller count.
//
// The threads wait at a gate until every one of them exists: when one cannot
// be started, none runs the function, those started are joined, and the
// call fails. A render never runs part of its work.
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
    if (n > kMaxSpawnedThreads)
        return kOfxStatFailed;

    std::mutex gate;
    std::condition_variable opened;
    enum { Waiting, Run, Cancel } decision = Waiting;
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    const RenderScope *scope = RenderScope::inherited();  // the workers fetch the render's images
    auto decide = [&](auto what) {
        {
            std::lock_guard<std::mutex> lock(gate);
            decision = what;
        }
        opened.notify_all();
        for (auto &t : threads)
            t.join();
    };
    try {
        threads.reserve(n);
        for (unsigned i = 0; i < n; ++i) {
            if (Faults::instance().threadStartFails(i))
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            threads.emplace_back([&, i] {
                {
                    std::unique_lock<std::mutex> lock(gate);
                    opened.wait(lock, [&] { return decision != Waiting; });
                    if (decision == Cancel)
                        return;
                }
                spawnedThread = true;
                threadIndex = i;
                RenderScope::Adopt adopt(scope);
                try {
                    func(i, n, customArg);
                } catch (...) {
                    failed = true;  // a plug-in's exception is not to unwind through here
                }
            });
        }
    } catch (...) {
        decide(Cancel);
        return kOfxStatFailed;
    }
    decide(Run);
    return failed ? kOfxStatFailed : kOfxStatOK;
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

const OfxMultiThreadSuiteV1 suite = {
    guarded<multiThread>, guarded<multiThreadNumCPUs>, guarded<multiThreadIndex>, multiThreadIsSpawnedThread,
    guarded<mutexCreate>, guarded<mutexDestroy>, guarded<mutexLock>, guarded<mutexUnLock>, guarded<mutexTryLock>};

}  // namespace

const OfxMultiThreadSuiteV1 *multiThreadSuiteTable()
{
    return &suite;
}

}  // namespace ofxhost
