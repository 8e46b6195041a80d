// The validator's checks on the plug-in binary built for this system, one
// test each: CTest runs every test in a process of its own, as the
// validator runs every check.

#include <gtest/gtest.h>

#include "validate_checks.h"
#include "validate_session.h"

namespace {

class ValidatorCheck : public testing::TestWithParam<std::string> {};

std::vector<std::string> checkNames()
{
    std::vector<std::string> names;
    for (const ValidateCheck &check : validateChecks())
        names.push_back(check.name);
    return names;
}

}  // namespace

TEST_P(ValidatorCheck, Passes)
{
    for (const ValidateCheck &check : validateChecks())
        if (check.name == GetParam()) {
            try {
                check.run(PluginRef{ZELVO_BUNDLE_PATH, 0}, 20261207u);
            } catch (const CheckFailure &failure) {
                FAIL() << failure.what();
            } catch (const CheckSkipped &skipped) {
                GTEST_SKIP() << skipped.what();
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Zelvo, ValidatorCheck, testing::ValuesIn(checkNames()),
                         [](const testing::TestParamInfo<std::string> &info) {
                             std::string name = info.param;
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });
