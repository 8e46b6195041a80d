#pragma once

// The host itself: its descriptor property set, the OfxHost record handed to
// plug-ins, the suites it serves and the quirks it can be asked to show.
// One per process, as a real host application is.

#include <atomic>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "ofx/ofx_core.h"
#include "suites/property_store.h"

namespace ofxhost {

struct Quirks {
    std::set<std::pair<std::string, int>> disabledSuites;  // fetchSuite answers null
    std::optional<unsigned> reportedCpus;   // what multiThreadNumCPUs says (default: the hardware)
    std::optional<unsigned> maxThreadsRun;  // run at most this many threads, telling the function so
    bool abortAnswer = false;               // what abort answers
    std::map<std::string, std::string> paramTypeOverrides;  // type reported for an instance parameter
    std::string premultiplication = "OfxImageAlphaPremultiplied";  // of every image handed out
    bool omitUniqueIdentifier = false;      // images without "OfxImagePropUniqueIdentifier"
    bool omitRenderQuality = false;         // render arguments without the quality property
    std::string fieldToRender = "OfxFieldNone";
};

class Host {
public:
    static Host &instance();

    OfxHost *record() { return &record_; }
    PropertyStore &properties() { return properties_; }
    Quirks &quirks() { return quirks_; }

    // Back to a careful host: no quirks, default host properties.
    void reset();

    const void *fetchSuite(const char *name, int version);

    double currentTime() const { return currentTime_; }
    void setCurrentTime(double time) { currentTime_ = time; }
    double firstFrame = 0.0, lastFrame = 0.0;

    std::atomic<unsigned> imagesOut{0};  // images handed out and not yet released
    std::atomic<unsigned> rendersRunning{0};  // render actions in flight, of any instance
    std::atomic<unsigned> mostRendersAtOnce{0};
    std::atomic<unsigned> instancesCreated{0};  // instances the plug-in accepted

private:
    Host();
    void defineProperties();

    PropertyStore properties_{"host"};
    OfxHost record_{};
    Quirks quirks_;
    double currentTime_ = 0.0;
};

}  // namespace ofxhost
