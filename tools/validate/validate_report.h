#pragma once

// What a validation run leaves for CI besides its console lines: a JUnit
// XML file (one test case per check) and a log with every check's detail.
// The console lines stay the same from run to run for a seed; timings and
// the plug-in's own output go here.

#include <string>
#include <vector>

struct CheckResult {
    std::string name;
    enum class Verdict { Pass, Fail, Skip } verdict = Verdict::Pass;
    std::string reason;  // why it failed or was skipped
    double seconds = 0;
    std::string output;  // what the check's process printed (the plug-in's own words)
};

struct PluginRun {
    std::string plugin;  // identifier or path, as shown
    unsigned seed = 0;
    int round = 1;       // of --repeat
    std::vector<CheckResult> results;

    int count(CheckResult::Verdict verdict) const;
};

// Writes the file whole or throws CliError naming it.
void writeJUnit(const std::string &path, const std::vector<PluginRun> &runs);
void writeLog(const std::string &path, const std::vector<PluginRun> &runs);
