#pragma once

#include <optional>
#include <string>
#include <vector>

// The tool's subcommands. Each returns the process exit code; user errors
// are thrown as CliError and reported by main.

int describeCommand(const std::string &plugin, const char *argv0);
int pluginsCommand(const char *argv0);
int probePluginCommand(const std::string &binaryPath);  // the child of pluginsCommand

// The most host threads a render may be offered.
constexpr long long kMaxThreads = 1024;

struct RenderOptions {
    std::string input, output, plugin;
    std::vector<std::string> params;
    std::string frames;  // "A", "A-B", "A-BxN" and lists of those; empty: what the input names or has
    std::string depth;   // "8", "16", "float", or empty for the input's own
    std::optional<long long> threads;  // 1..kMaxThreads; all CPUs when not given
    std::string missing = "error";     // a missing input frame: error, skip or hold
    bool skipExisting = false;         // leave outputs that exist alone
    bool quiet = false, verbose = false;
    std::string outDepth;     // uint8, uint16, half or float; empty: the input's
    std::string compression;  // NAME[:QUALITY]; empty: the input's
    std::string layer;        // the layer whose R, G, B, A are rendered
    std::string channels;     // the channels rendered as R, G, B[, A], comma-separated
    std::optional<std::string> tiles;  // "WxH": render each frame in windows of that size, as a tiling host does
    std::optional<long long> maxImageMb;  // images needing more memory are refused; default: half the machine's
    std::string gpu;  // "opencl": act as a GPU host; "off" (or empty): CPU images
    bool checkOnly = false;  // check the options and the plug-in's parameters, render nothing
};

// The largest --max-image-mb: 16 TB.
constexpr long long kMaxImageMb = 16LL << 20;
int renderCommand(const RenderOptions &options, const char *argv0);

// hosts: the host profiles to play ("all", or names of host_profiles.h).
// record: the plug-in's index in its binary, for a check's own process.
struct ValidateOptions {
    std::string plugin;                 // path or identifier; empty: Zelvo
    std::optional<unsigned> seed;       // of the first round; random when not given
    std::string only;                   // a check's name or a pattern
    std::vector<std::string> hosts;     // the host profiles to play ("all", or names of host_profiles.h)
    std::string require;                // a kind of check ("gpu") whose skips are failures
    int repeat = 1;                     // rounds, each with the next seed
    bool all = false;                   // every plug-in `zelvo plugins` lists
    std::string junit, log;             // report files, when given
    std::string runCheck;               // one check in this process (the child's side)
    int record = 0;                     // the plug-in's index in its binary, for a check's own process
};
int validateCommand(const ValidateOptions &options, const char *argv0);

struct CheckOptions {
    std::string output;  // the sequence's pattern, or one file
    std::string frames;  // empty: the output's, the input's (like), or the first to the last that exists
    std::string like;    // the input, whose data window and channels each frame must have
    std::string clean;   // remove leftover temporary files this old ("2h"); empty: none
};
int checkCommand(const CheckOptions &options);

struct SubmitOptions {
    RenderOptions render;              // its frames are the whole job's
    long long chunk = 0;               // frames per task
    std::string partition;
    std::optional<long long> maxRunning;  // tasks at once
    std::vector<std::string> sbatch;   // more sbatch options, as given
    std::string logs;                  // the folder of logs and the job script; default beside the output
    bool dryRun = false;               // print the job script, submit nothing
};
int submitSlurmCommand(const SubmitOptions &options, const char *argv0);

int testcardCommand(const std::string &output, int width, int height);
