#include "faults.h"

#include <new>
#include <stdexcept>

namespace ofxhost {

Faults &Faults::instance()
{
    static Faults faults;
    return faults;
}

void Faults::reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    propertyFaults_.clear();
    callFaults_.clear();
    counts_.clear();
    log_.clear();
    logging_ = false;
    failingThread_.reset();
    throwingCalls_.clear();
}

void Faults::failThreadStart(std::optional<unsigned> index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failingThread_ = index;
}

bool Faults::threadStartFails(unsigned index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failingThread_ && *failingThread_ == index;
}

void Faults::addPropertyFault(PropertyFault fault)
{
    std::lock_guard<std::mutex> lock(mutex_);
    propertyFaults_.push_back(std::move(fault));
}

std::optional<PropertyFault> Faults::propertyFault(const std::string &kind, const char *name, bool isSet) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!name)
        return std::nullopt;
    for (const auto &f : propertyFaults_) {
        if ((f.kind == "*" || f.kind == kind) && f.name == name && (isSet ? f.onSet : f.onGet))
            return f;
    }
    return std::nullopt;
}

void Faults::failCall(const std::string &function, OfxStatus status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    callFaults_[function] = status;
}

std::optional<OfxStatus> Faults::callFault(const std::string &function) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = callFaults_.find(function);
    if (it == callFaults_.end())
        return std::nullopt;
    return it->second;
}

void Faults::record(const std::string &function, const std::string &detail)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[function];
    if (logging_)
        log_.push_back(detail.empty() ? function : function + " " + detail);
    auto thrown = throwingCalls_.find(function);
    if (thrown == throwingCalls_.end())
        return;
    if (thrown->second == Thrown::OutOfMemory)
        throw std::bad_alloc();
    throw std::runtime_error("injected failure in " + function);
}

void Faults::throwInCall(const std::string &function, Thrown what)
{
    std::lock_guard<std::mutex> lock(mutex_);
    throwingCalls_[function] = what;
}

int Faults::count(const std::string &function) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(function);
    return it == counts_.end() ? 0 : it->second;
}

std::vector<std::string> Faults::log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

void Faults::clearLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    counts_.clear();
}

void Faults::setLogging(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    logging_ = on;
}

}  // namespace ofxhost
