// The bundle the Windows installer put in the standard folder, found the
// way a host finds it (no path given, OFX_PLUGIN_PATH unset) and rendered
// by the validator's checks. Runs only when the installer test asks for it
// (ZELVO_EXPECT_INSTALLED), inside the Wine prefix it installed into.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "load/plugin_binary.h"
#include "validate_checks.h"
#include "validate_session.h"

TEST(InstalledBundle, FoundInTheStandardFolderAndRenders)
{
    if (!std::getenv("ZELVO_EXPECT_INSTALLED"))
        GTEST_SKIP() << "run by scripts/test-msi after it installs the MSI";
    ASSERT_EQ(std::getenv("OFX_PLUGIN_PATH"), nullptr);
    const std::string expected =
        "C:\\Program Files\\Common Files\\OFX\\Plugins\\Zelvo.ofx.bundle\\Contents\\Win64\\Zelvo.ofx";
    std::vector<std::string> found = ofxhost::discoverPluginBinaries();
    const auto copies = std::count_if(found.begin(), found.end(), [](const std::string &path) {
        return path.find("Zelvo.ofx.bundle") != std::string::npos;
    });
    EXPECT_EQ(copies, 1) << "one copy of the bundle, however many versions were installed";
    ASSERT_NE(std::find(found.begin(), found.end(), expected), found.end()) << "not found in the standard folder";
    for (const ValidateCheck &check : validateChecks())
        if (check.name == "render.random-parameters" || check.name == "hosts.tiled") {
            try {
                check.run(PluginRef{expected, 0}, 20261208u);
            } catch (const CheckFailure &failure) {
                FAIL() << check.name << ": " << failure.what();
            }
        }
}
