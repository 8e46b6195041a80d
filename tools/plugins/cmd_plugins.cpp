// Lists the plug-ins a host would find, each binary read in a child
// process of its own (plugin_probe.h).

#include <sys/stat.h>

#include <iostream>

#include "clean_stop.h"
#include "commands.h"
#include "load/plugin_binary.h"
#include "plugin_locator.h"
#include "plugin_probe.h"

namespace {

bool sameFile(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// One line per declared plug-in, or one line on standard error saying why
// the binary was skipped. Returns how many were listed.
int list(const std::string &binary, const char *note)
{
    cleanstop::setActivity("while reading " + binary);
    const ProbeResult probe = probePlugin(binary);
    for (const ProbedRecord &r : probe.records)
        std::cout << r.identifier << " " << r.versionMajor << "." << r.versionMinor << "  " << binary << note
                  << "\n";
    if (!probe.problem.empty()) {
        std::cout.flush();
        std::cerr << "zelvo: skipped " << binary << ": " << probe.problem << std::endl;
    }
    return static_cast<int>(probe.records.size());
}

}  // namespace

int pluginsCommand(const char *argv0)
{
    cleanstop::install();
    int found = 0;
    std::string beside;
    if (auto bundle = pluginBesideTool(argv0)) {
        beside = ofxhost::resolveBinaryPath(*bundle);
        found += list(beside, "  (beside zelvo: the default)");
    }
    std::vector<std::string> skipped;
    for (const std::string &binary : ofxhost::discoverPluginBinaries(&skipped))
        if (beside.empty() || !sameFile(binary, beside))
            found += list(binary, "");
    std::cout.flush();
    for (const std::string &s : skipped)
        std::cerr << "zelvo: skipped " << s << std::endl;
    if (!found) {
        std::cout << "no OFX plug-ins found in:";
        for (const auto &dir : ofxhost::searchDirectories())
            std::cout << " " << dir;
        std::cout << "\n";
    }
    return 0;
}
