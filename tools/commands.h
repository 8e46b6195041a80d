#pragma once

#include <optional>
#include <string>
#include <vector>

// The tool's subcommands. Each returns the process exit code; user errors
// are thrown as CliError and reported by main.

int describeCommand(const std::string &plugin, const char *argv0);
int pluginsCommand();

struct RenderOptions {
    std::string input, output, plugin;
    std::vector<std::string> params;
    std::string frames;  // "A-B", or empty for one frame
    std::string depth;   // "8", "16", "float", or empty for the input's own
    unsigned threads = 0;
};
int renderCommand(const RenderOptions &options, const char *argv0);

int validateCommand(const std::string &plugin, std::optional<unsigned> seed, const std::string &only,
                    const std::string &runCheck, const char *argv0);

int testcardCommand(const std::string &output, int width, int height);
