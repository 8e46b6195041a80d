#pragma once

// Every function this host hands a plug-in is called from C: no exception
// may leave it, whatever fails inside (an allocation, a thread that cannot
// be started, a fault a test injected). Suite tables list guarded<fn>
// instead of fn; variadic functions, which no template can forward, wrap
// their work in guardedCall.

#include <new>
#include <utility>

#include "ofx/ofx_core.h"

namespace ofxhost {

// The status that stands for the exception being handled.
inline OfxStatus statusOfCurrentException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return kOfxStatErrMemory;
    } catch (...) {
        return kOfxStatFailed;
    }
}

template <typename Work>
OfxStatus guardedCall(Work &&work) noexcept
{
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        return statusOfCurrentException();
    }
}

template <auto Function>
struct Guarded;

template <typename... Args, OfxStatus (*Function)(Args...)>
struct Guarded<Function> {
    static OfxStatus call(Args... args) noexcept
    {
        return guardedCall([&] { return Function(args...); });
    }
};

template <auto Function>
constexpr auto guarded = &Guarded<Function>::call;

}  // namespace ofxhost
