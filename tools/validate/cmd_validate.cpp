// Runs every validation check in a child process of its own, so that a
// crash, an abort or a hang is a result and not the end of the run.

#include <fnmatch.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <random>
#include <set>

#include "child_process.h"
#include "clean_stop.h"
#include "cli_error.h"
#include "commands.h"
#include "load/plugin_binary.h"
#include "plugin_locator.h"
#include "plugin_probe.h"
#include "render/host_profiles.h"
#include "validate_checks.h"
#include "validate_report.h"
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

namespace {

// Everything a check's process printed, when a report keeps it.
std::string drain(int fd)
{
    std::string text;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return text;
}

// Runs the chosen checks on one plug-in, each in a process of its own;
// prints a line per check unless `quiet`.
PluginRun runChecks(const PluginRef &located, const std::string &shown, unsigned seed,
                    const std::vector<const ValidateCheck *> &chosen, const ValidateOptions &o, bool quiet)
{
    PluginRun run;
    run.plugin = shown;
    run.seed = seed;
    const bool keepOutput = !o.junit.empty() || !o.log.empty();
    const std::string skipMark = kSkipMark;
    for (const ValidateCheck *check : chosen) {
        cleanstop::setActivity("during check " + check->name);
        const int output = keepOutput ? memfd_create("zelvo-check-output", MFD_CLOEXEC) : -1;
        const auto start = std::chrono::steady_clock::now();
        const ChildOutcome outcome =
            runSelf({"validate", located.path, "--seed", std::to_string(seed), "--record",
                     std::to_string(located.index), "--run-check", check->name},
                    kTimeLimitSeconds, 64 * 1024, true, true, output);
        CheckResult r;
        r.name = check->name;
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (output >= 0) {
            r.output = drain(output);
            close(output);
        }
        const bool skip = outcome.succeeded() && outcome.report.compare(0, skipMark.size(), skipMark) == 0;
        if (skip && required(*check, o.require)) {
            r.verdict = CheckResult::Verdict::Fail;
            r.reason = "not run (" + outcome.report.substr(skipMark.size()) + ") and --require " + o.require +
                       " asks for it";
        } else if (skip) {
            r.verdict = CheckResult::Verdict::Skip;
            r.reason = outcome.report.substr(skipMark.size());
        } else if (!outcome.succeeded()) {
            r.verdict = CheckResult::Verdict::Fail;
            r.reason = outcome.failure(kTimeLimitSeconds);
        }
        if (!quiet)
            std::cout << (r.verdict == CheckResult::Verdict::Pass   ? "PASS "
                          : r.verdict == CheckResult::Verdict::Fail ? "FAIL "
                                                                     : "SKIP ")
                      << r.name << (r.reason.empty() ? "" : ": " + r.reason) << std::endl;
        run.results.push_back(std::move(r));
    }
    return run;
}

std::string summary(const PluginRun &run)
{
    const int skipped = run.count(CheckResult::Verdict::Skip);
    return std::to_string(run.count(CheckResult::Verdict::Pass)) + " passed, " +
           std::to_string(run.count(CheckResult::Verdict::Fail)) + " failed" +
           (skipped > 0 ? ", " + std::to_string(skipped) + " skipped" : "");
}

// Every plug-in `zelvo plugins` lists: the one beside the tool, then the
// search path's, each record of each binary.
std::vector<std::pair<PluginRef, std::string>> everyPlugin(const char *argv0)
{
    std::vector<std::string> binaries;
    if (auto bundle = pluginBesideTool(argv0))
        binaries.push_back(ofxhost::resolveBinaryPath(*bundle));
    for (const std::string &binary : ofxhost::discoverPluginBinaries(nullptr))
        if (std::find(binaries.begin(), binaries.end(), binary) == binaries.end())
            binaries.push_back(binary);
    std::vector<std::pair<PluginRef, std::string>> out;
    for (const std::string &binary : binaries) {
        const ProbeResult probe = probePlugin(binary);
        if (!probe.problem.empty())
            std::cerr << "zelvo: skipped " << binary << ": " << probe.problem << std::endl;
        for (const ProbedRecord &r : probe.records)
            out.push_back({PluginRef{binary, r.index}, r.identifier});
    }
    return out;
}

}  // namespace

int validateCommand(const ValidateOptions &o, const char *argv0)
{
    if (!o.require.empty()) {
        bool known = false;
        for (const ValidateCheck &check : validateChecks())
            known = known || required(check, o.require);
        if (!known)
            throw UsageError("--require " + o.require + " names no kind of check (gpu, hosts, render, ...)");
    }
    if (o.repeat < 1 || o.repeat > 1000)
        throw UsageError("--repeat must lie in 1..1000, not " + std::to_string(o.repeat));
    if (o.all && !o.plugin.empty())
        throw UsageError("--all validates every plug-in found: name none");
    const std::set<std::string> profiles = chosenProfiles(o.hosts);
    const unsigned seed = o.seed ? *o.seed : std::random_device{}();
    if (!o.runCheck.empty())
        return runOneCheck(o.runCheck, PluginRef{o.plugin, o.record}, seed);
    std::vector<const ValidateCheck *> chosen;
    for (const ValidateCheck &check : validateChecks())
        if (selected(check, o.only, profiles))
            chosen.push_back(&check);
    if (chosen.empty()) {
        std::string names;
        for (const ValidateCheck &check : validateChecks())
            names += (names.empty() ? "" : ", ") + check.name;
        throw UsageError("--only " + o.only + " matches no check of the chosen profiles (the checks: " + names + ")");
    }
    cleanstop::install();
    std::vector<std::pair<PluginRef, std::string>> plugins;
    if (o.all) {
        plugins = everyPlugin(argv0);
        if (plugins.empty())
            throw CliError("no OFX plug-ins found to validate");
    } else {
        const PluginRef located = locatePlugin(o.plugin, argv0);
        plugins.push_back({located, located.path});
    }
    std::vector<PluginRun> runs;
    bool failed = false;
    for (const auto &[located, shown] : plugins)
        for (int round = 1; round <= o.repeat; ++round) {
            // Each round its own seed, from the first: a round replays alone.
            const unsigned roundSeed = seed + static_cast<unsigned>(round - 1);
            if (!o.all)
                std::cout << "validating " << shown << " with seed " << roundSeed << " (replay with --seed "
                          << roundSeed << ")" << std::endl;
            PluginRun run = runChecks(located, shown, roundSeed, chosen, o, o.all);
            run.round = round;
            std::cout << (o.all ? shown + " (seed " + std::to_string(roundSeed) + "): " : std::string())
                      << summary(run) << std::endl;
            failed = failed || run.count(CheckResult::Verdict::Fail) > 0;
            runs.push_back(std::move(run));
        }
    if (!o.junit.empty())
        writeJUnit(o.junit, runs);
    if (!o.log.empty())
        writeLog(o.log, runs);
    return failed ? kExitFailure : kExitSuccess;
}
