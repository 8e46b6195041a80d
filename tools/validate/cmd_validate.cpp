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
// How a check's report says it could not run, before the reason.
constexpr const char *kSkipMark = "SKIP:";

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
        } catch (const CheckSkipped &e) {
            sealedReport(kSkipMark + std::string(e.what()));
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

// --require CATEGORY: the checks whose names start with it and a dot
// ("gpu" for gpu.opencl-buffers) must run; a skip of one fails it.
bool required(const ValidateCheck &check, const std::string &category)
{
    return !category.empty() && check.name.compare(0, category.size() + 1, category + ".") == 0;
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
                    const std::vector<std::string> &hosts, const std::string &require, const std::string &runCheck,
                    int record, const char *argv0)
{
    if (!require.empty()) {
        bool known = false;
        for (const ValidateCheck &check : validateChecks())
            known = known || required(check, require);
        if (!known)
            throw UsageError("--require " + require + " names no kind of check (gpu, hosts, render, ...)");
    }
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
    int passed = 0, failed = 0, skipped = 0;
    for (const ValidateCheck *check : chosen) {
        cleanstop::setActivity("during check " + check->name);
        const std::string seedText = std::to_string(seed);
        const ChildOutcome outcome =
            runSelf({"validate", path, "--seed", seedText, "--record", std::to_string(located.index), "--run-check",
                     check->name},
                    kTimeLimitSeconds, 64 * 1024, true, true);
        const std::string skipMark = kSkipMark;
        const bool skip = outcome.succeeded() && outcome.report.compare(0, skipMark.size(), skipMark) == 0;
        if (skip && required(*check, require)) {
            std::cout << "FAIL " << check->name << ": not run (" << outcome.report.substr(skipMark.size())
                      << ") and --require " << require << " asks for it" << std::endl;
            ++failed;
        } else if (skip) {
            std::cout << "SKIP " << check->name << ": " << outcome.report.substr(skipMark.size()) << std::endl;
            ++skipped;
        } else if (outcome.succeeded()) {
            std::cout << "PASS " << check->name << std::endl;
            ++passed;
        } else {
            std::cout << "FAIL " << check->name << ": " << outcome.failure(kTimeLimitSeconds) << std::endl;
            ++failed;
        }
    }
    std::cout << passed << " passed, " << failed << " failed";
    if (skipped > 0)
        std::cout << ", " << skipped << " skipped";
    std::cout << std::endl;
    return failed == 0 ? kExitSuccess : kExitFailure;
}
