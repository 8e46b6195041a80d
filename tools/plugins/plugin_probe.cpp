#include "plugin_probe.h"

#include <unistd.h>

#include <sstream>

#include "child_process.h"
#include "clean_stop.h"
#include "cli_error.h"
#include "commands.h"
#include "load/plugin_binary.h"

namespace {

// Identifiers come from the binary: keep them to one printable field.
std::string printable(const char *text)
{
    std::string out;
    for (const char *c = text; *c && out.size() < 256; ++c)
        out += static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f ? '?' : *c;
    return out;
}

// The child's report: "skip\tREASON" for a binary not to be listed, or
// one line per record, "IDENTIFIER\tMAJOR\tMINOR", with "null\tINDEX"
// for an index that has no record.
constexpr const char *kSkip = "skip\t";

}  // namespace

int probePluginCommand(const std::string &binaryPath)
{
    dieWithParent();
    cleanstop::setActivity("while being loaded");
    std::ostringstream lines;
    try {
        const ofxhost::PluginBinary binary(binaryPath);
        int index = 0;
        for (const ofxhost::DeclaredRecord &r : ofxhost::declaredRecords(binary)) {
            if (r.present)
                lines << printable(r.identifier.c_str()) << '\t' << r.versionMajor << '\t' << r.versionMinor << '\n';
            else
                lines << "null\t" << index << '\n';
            ++index;
        }
    } catch (const ofxhost::HostError &e) {
        sealedReport(kSkip + std::string(e.what()));
        return kExitSuccess;
    }
    sealedReport(lines.str());
    return kExitSuccess;
}

ProbeResult probePlugin(const std::string &binaryPath)
{
    ProbeResult result;
    const ChildOutcome outcome = runSelf({"plugins", "--probe", binaryPath}, kProbeSeconds, 1 << 20);
    if (!outcome.succeeded()) {
        const bool unsealed = outcome.started && !outcome.timedOut && !outcome.signal && !outcome.sealed;
        if (unsealed && outcome.report.rfind(cleanstop::kEndedLine, 0) == 0)
            result.problem = "ended the process while being loaded";
        else if (unsealed && !outcome.report.empty())
            result.problem = "wrote into the probe's report while being loaded";
        else
            result.problem = outcome.failure(kProbeSeconds) + " while being loaded";
        return result;
    }
    if (outcome.report.rfind(kSkip, 0) == 0) {
        result.problem = outcome.report.substr(std::string(kSkip).size());
        return result;
    }
    std::istringstream lines(outcome.report);
    std::string line;
    std::vector<int> missing;
    for (int index = 0; std::getline(lines, line); ++index) {
        std::istringstream fields(line);
        ProbedRecord record;
        record.index = index;
        if (line.rfind("null\t", 0) == 0)
            missing.push_back(index);
        else if (std::getline(fields, record.identifier, '\t') && fields >> record.versionMajor >> record.versionMinor)
            result.records.push_back(record);
    }
    if (!missing.empty()) {
        std::string which;
        for (int i : missing)
            which += (which.empty() ? "" : ", ") + std::to_string(i);
        result.problem = "OfxGetPlugin returned no record for plug-in " + which + " of " +
                         std::to_string(missing.size() + result.records.size());
    }
    return result;
}
