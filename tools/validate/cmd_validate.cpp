// Runs every validation check in a child process of its own, so that a
// crash, an abort or a hang is a result and not the end of the run.

#include <fnmatch.h>
#include <unistd.h>

#include <iostream>
#include <random>
#include <set>

#include "child_process.h"
#include "clean_stop.h"
#include "cli_error.h"
#include "commands.h"
#include "host_profiles.h"
#include "plugin_locator.h"
#include "validate_checks.h"
#include "validate_session.h"

namespace {

constexpr int kTimeLimitSeconds = 120;

// Inside the check's own process: a check passes only when it seals an
// empty report itself, so a plug-in that ends the process fails it.
int runOneCheck(const std::string &name, const PluginRef &plugin, unsigned seed)
{
    dieWithParent();
    for (const ValidateCheck &check : validateChecks()) {
        if (check.name != name)
            continue;
        cleanstop::setActivity("during check " + name);
        std::string reason;
        try {
            check.run(plugin, seed);
            sealedReport("");
            return 0;
        } catch (const std::exception &e) {
            reason = e.what();
        }
        sealedReport(reason);
        return 1;
    }
    sealedReport("no check named " + name);
    return 3;
}

}  // namespace

namespace {

// The host profiles asked for with --host; all of them by default.
std::set<std::string> chosenProfiles(const std::vector<std::string> &hosts)
{
    std::set<std::string> chosen;
    std::string names;
    for (const ofxhost::HostProfile &profile : ofxhost::hostProfiles())
        names += (names.empty() ? "" : ", ") + profile.name;
    for (const std::string &host : hosts) {
        if (host == "all") {
            chosen.clear();
            break;
        }
        if (!ofxhost::findHostProfile(host))
            throw UsageError("--host " + host + " is not a host profile (the profiles: all, " + names + ")");
        chosen.insert(host);
    }
    if (chosen.empty())
        for (const ofxhost::HostProfile &profile : ofxhost::hostProfiles())
            chosen.insert(profile.name);
    return chosen;
}

bool selected(const ValidateCheck &check, const std::string &only, const std::set<std::string> &profiles)
{
    const std::string prefix = kHostCheckPrefix;
    if (check.name.compare(0, prefix.size(), prefix) == 0 && !profiles.count(check.name.substr(prefix.size())))
        return false;
    return only.empty() || fnmatch(only.c_str(), check.name.c_str(), 0) == 0 ||
           check.name.find(only) != std::string::npos;
}

}  // namespace

int validateCommand(const std::string &plugin, std::optional<unsigned> seedOption, const std::string &only,
                    const std::vector<std::string> &hosts, const std::string &runCheck, int record, const char *argv0)
{
    const std::set<std::string> profiles = chosenProfiles(hosts);
    const unsigned seed = seedOption ? *seedOption : std::random_device{}();
    if (!runCheck.empty())
        return runOneCheck(runCheck, PluginRef{plugin, record}, seed);
    const PluginRef located = locatePlugin(plugin, argv0);
    const std::string &path = located.path;
    std::vector<const ValidateCheck *> chosen;
    for (const ValidateCheck &check : validateChecks())
        if (selected(check, only, profiles))
            chosen.push_back(&check);
    if (chosen.empty()) {
        std::string names;
        for (const ValidateCheck &check : validateChecks())
            names += (names.empty() ? "" : ", ") + check.name;
        throw UsageError("--only " + only + " matches no check of the chosen profiles (the checks: " + names + ")");
    }
    std::cout << "validating " << path << " with seed " << seed << " (replay with --seed " << seed << ")"
              << std::endl;
    cleanstop::install();
    int passed = 0, failed = 0;
    for (const ValidateCheck *check : chosen) {
        cleanstop::setActivity("during check " + check->name);
        const std::string seedText = std::to_string(seed);
        const ChildOutcome outcome =
            runSelf({"validate", path, "--seed", seedText, "--record", std::to_string(located.index), "--run-check",
                     check->name},
                    kTimeLimitSeconds, 64 * 1024, true);
        if (outcome.succeeded()) {
            std::cout << "PASS " << check->name << std::endl;
            ++passed;
        } else {
            std::cout << "FAIL " << check->name << ": " << outcome.failure(kTimeLimitSeconds) << std::endl;
            ++failed;
        }
    }
    std::cout << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 ? kExitSuccess : kExitFailure;
}
