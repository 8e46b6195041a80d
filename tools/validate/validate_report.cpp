#include "validate_report.h"

#include <cstdio>
#include <sstream>

#include "cli_error.h"
#include "whole_file.h"

namespace {

// Text as XML character data or attribute value; characters XML 1.0 cannot
// hold at all (most control characters) become U+FFFD.
std::string xml(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (c < 0x20 && c != '\n' && c != '\t' && c != '\r')
                out += "\xEF\xBF\xBD";
            else
                out += static_cast<char>(c);
        }
    }
    return out;
}

std::string seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

void save(const std::string &path, const std::string &text)
{
    writeWholeFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

const char *verdictName(CheckResult::Verdict v)
{
    return v == CheckResult::Verdict::Pass ? "PASS" : v == CheckResult::Verdict::Fail ? "FAIL" : "SKIP";
}

}  // namespace

int PluginRun::count(CheckResult::Verdict verdict) const
{
    int n = 0;
    for (const CheckResult &r : results)
        n += r.verdict == verdict ? 1 : 0;
    return n;
}

void writeJUnit(const std::string &path, const std::vector<PluginRun> &runs)
{
    std::ostringstream s;
    int tests = 0, failures = 0, skipped = 0;
    double total = 0;
    for (const PluginRun &run : runs) {
        tests += static_cast<int>(run.results.size());
        failures += run.count(CheckResult::Verdict::Fail);
        skipped += run.count(CheckResult::Verdict::Skip);
        for (const CheckResult &r : run.results)
            total += r.seconds;
    }
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"zelvo validate\" tests=\"" << tests << "\" failures=\"" << failures
      << "\" errors=\"0\" skipped=\"" << skipped << "\" time=\"" << seconds(total) << "\">\n";
    for (const PluginRun &run : runs) {
        double time = 0;
        for (const CheckResult &r : run.results)
            time += r.seconds;
        const std::string suite = run.plugin + (runs.size() > 1 && run.round > 1 ? " round " + std::to_string(run.round) : "");
        s << "  <testsuite name=\"" << xml(suite) << "\" tests=\"" << run.results.size() << "\" failures=\""
          << run.count(CheckResult::Verdict::Fail) << "\" errors=\"0\" skipped=\""
          << run.count(CheckResult::Verdict::Skip) << "\" time=\"" << seconds(time) << "\">\n"
          << "    <properties><property name=\"seed\" value=\"" << run.seed << "\"/></properties>\n";
        for (const CheckResult &r : run.results) {
            s << "    <testcase classname=\"" << xml(run.plugin) << "\" name=\"" << xml(r.name) << "\" time=\""
              << seconds(r.seconds) << "\"";
            if (r.verdict == CheckResult::Verdict::Pass) {
                s << "/>\n";
                continue;
            }
            s << ">\n";
            if (r.verdict == CheckResult::Verdict::Fail)
                s << "      <failure message=\"" << xml(r.reason) << "\">" << xml(r.reason) << "</failure>\n";
            else
                s << "      <skipped message=\"" << xml(r.reason) << "\"/>\n";
            if (!r.output.empty())
                s << "      <system-out>" << xml(r.output) << "</system-out>\n";
            s << "    </testcase>\n";
        }
        s << "  </testsuite>\n";
    }
    s << "</testsuites>\n";
    save(path, s.str());
}

void writeLog(const std::string &path, const std::vector<PluginRun> &runs)
{
    std::ostringstream s;
    for (const PluginRun &run : runs) {
        s << "== " << run.plugin << ", seed " << run.seed << " (round " << run.round << ")\n";
        for (const CheckResult &r : run.results) {
            s << verdictName(r.verdict) << " " << r.name << " in " << seconds(r.seconds) << " s";
            if (!r.reason.empty())
                s << ": " << r.reason;
            s << "\n";
            if (!r.output.empty()) {
                s << "  its process printed:\n";
                std::istringstream lines(r.output);
                for (std::string line; std::getline(lines, line);)
                    s << "  | " << line << "\n";
            }
        }
        s << run.count(CheckResult::Verdict::Pass) << " passed, " << run.count(CheckResult::Verdict::Fail)
          << " failed, " << run.count(CheckResult::Verdict::Skip) << " skipped\n\n";
    }
    save(path, s.str());
}
