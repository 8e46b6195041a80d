#pragma once

// What a test asks of an awkward host: properties the host does not know or
// refuses, suite calls answered with a chosen status, and a record of calls.
// One process-wide record; tests set it up before driving the plug-in.

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ofx/ofx_core.h"

namespace ofxhost {

struct PropertyFault {
    std::string kind;       // the store kind it applies to, or "*" for any
    std::string name;       // the property name
    OfxStatus status = kOfxStatErrUnknown;
    bool onGet = true;
    bool onSet = true;
    bool nullText = false;  // answer a string read with OK and a null text instead
};

class Faults {
public:
    static Faults &instance();

    void reset();

    void addPropertyFault(PropertyFault fault);
    // The fault that applies to this access, if any.
    std::optional<PropertyFault> propertyFault(const std::string &kind, const char *name, bool isSet) const;

    // A suite function (by its standard name) answers with this status.
    void failCall(const std::string &function, OfxStatus status);
    std::optional<OfxStatus> callFault(const std::string &function) const;

    // A suite function (by its standard name) throws when called, as if
    // something inside it had failed: no exception may reach the plug-in.
    enum class Thrown { OutOfMemory, Error };
    void throwInCall(const std::string &function, Thrown what);

    // Starting thread number `index` of a multiThread call fails as a
    // system out of threads would (std::system_error); nullopt: never.
    void failThreadStart(std::optional<unsigned> index);
    bool threadStartFails(unsigned index) const;

    // Counting and logging of calls; the log keeps one line per call. Throws
    // what throwInCall armed for the function.
    void record(const std::string &function, const std::string &detail = std::string());
    int count(const std::string &function) const;
    std::vector<std::string> log() const;
    void clearLog();
    void setLogging(bool on);

private:
    mutable std::mutex mutex_;
    std::vector<PropertyFault> propertyFaults_;
    std::map<std::string, OfxStatus> callFaults_;
    std::map<std::string, int> counts_;
    std::vector<std::string> log_;
    bool logging_ = false;
    std::optional<unsigned> failingThread_;
    std::map<std::string, Thrown> throwingCalls_;
};

}  // namespace ofxhost
