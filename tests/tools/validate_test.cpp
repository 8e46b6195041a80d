// The validator: a faulty plug-in fails the right checks with reasons, and
// its crash ends only the check it happened in.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ValidateRun {
    int exitCode;
    std::string output;
};

ValidateRun validate(const std::string &args)
{
    FILE *pipe = popen(("'" + std::string(ZELVO_TOOL_PATH) + "' validate " + args + " 2>&1").c_str(), "r");
    ValidateRun r{-1, ""};
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        r.output += buffer;
    if (pipe) {
        const int status = pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return r;
}

}  // namespace

TEST(Validate, AFaultyPluginFailsWithReasonsAndTheRunGoesOn)
{
    ValidateRun r = validate(std::string("'") + BROKEN_PLUGIN_PATH + "' --seed 42");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("with seed 42"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("FAIL describe.contexts: crashed with signal 6"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("FAIL render.random-parameters: pixels outside the render window were written"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("PASS binary.records"), std::string::npos);
    EXPECT_NE(r.output.find("PASS threads.concurrent-instances"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" passed, "), std::string::npos);
}

TEST(Validate, OnlyRunsTheMatchingChecks)
{
    ValidateRun r = validate("--only 'binary.*' --seed 1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("2 passed, 0 failed"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("render."), std::string::npos);
    ValidateRun none = validate("--only nothing-matches");
    EXPECT_NE(none.exitCode, 0);
    ValidateRun missing = validate("/nonexistent/X.ofx");
    EXPECT_NE(missing.exitCode, 0);
}
