#include "plugin_probe.h"

#include <unistd.h>

#include <sstream>

#include "child_process.h"
#include "cli_error.h"
#include "plugin_binary.h"

namespace {

constexpr int kExitTooMany = 3, kExitNotLoaded = 4;

void report(const std::string &text)
{
    const char *at = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(kReportFd, at, left);
        if (n <= 0)
            _exit(kExitFailure);
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}

// Identifiers come from the binary: keep them to one printable field.
std::string printable(const char *text)
{
    std::string out;
    for (const char *c = text; *c && out.size() < 256; ++c)
        out += static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f ? '?' : *c;
    return out;
}

}  // namespace

int probePluginCommand(const std::string &binaryPath)
{
    dieWithParent();
    try {
        ofxhost::PluginBinary binary(binaryPath);
        const int count = binary.count();
        if (count < 0 || count > kMaxRecords) {
            report("declares " + std::to_string(count) + " plug-ins (at most " + std::to_string(kMaxRecords) +
                   " are believed)");
            return kExitTooMany;
        }
        std::ostringstream lines;
        for (int i = 0; i < count; ++i) {
            const OfxPlugin *p = binary.rawPlugin(i);
            if (p && p->pluginIdentifier)
                lines << printable(p->pluginIdentifier) << '\t' << p->pluginVersionMajor << '\t'
                      << p->pluginVersionMinor << '\n';
        }
        report(lines.str());
    } catch (const ofxhost::HostError &e) {
        report(e.what());
        return kExitNotLoaded;
    }
    return kExitSuccess;
}

ProbeResult probePlugin(const std::string &binaryPath)
{
    ProbeResult result;
    const ChildOutcome outcome = runSelf({"plugins", "--probe", binaryPath}, kProbeSeconds, 1 << 20);
    if (!outcome.succeeded()) {
        const bool said = outcome.exitCode == kExitTooMany || outcome.exitCode == kExitNotLoaded;
        result.problem = said ? outcome.report : outcome.failure(kProbeSeconds) + " while being loaded";
        return result;
    }
    std::istringstream lines(outcome.report);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ProbedRecord record;
        if (std::getline(fields, record.identifier, '\t') && fields >> record.versionMajor >> record.versionMinor)
            result.records.push_back(record);
    }
    return result;
}
