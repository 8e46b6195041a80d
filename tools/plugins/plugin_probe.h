#pragma once

// What a plug-in binary declares, read in a child process: loading
// someone else's binary may crash, hang or claim absurd things, and none of
// that may take the tool down.

#include <string>
#include <vector>

struct ProbedRecord {
    int index = 0;  // OfxGetPlugin's index
    std::string identifier;
    unsigned versionMajor = 0, versionMinor = 0;
};

struct ProbeResult {
    std::vector<ProbedRecord> records;
    // Why the binary, or some of its indices, were skipped; empty when every
    // record was read.
    std::string problem;
};

// A binary must answer within this time.
constexpr int kProbeSeconds = 10;

ProbeResult probePlugin(const std::string &binaryPath);

// The child's side: `zelvo plugins --probe PATH`.
int probePluginCommand(const std::string &binaryPath);
