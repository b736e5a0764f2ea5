#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "Util/UtilWindows.h"

namespace
{
juce::File home()
{
    return juce::File (juce::SystemStats::getEnvironmentVariable ("HOME", {}));
}
} // namespace

TEST (Locations, DerivedPathsInTheSandbox)
{
    const auto documents = home().getChildFile ("Documents");
    const auto config = home().getChildFile (".config");
    const auto data = juce::File (juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {}));
    const auto temp = juce::File (juce::SystemStats::getEnvironmentVariable ("TMPDIR", {}));
    ASSERT_TRUE (home().isAChildOf (testing_support::sandbox()));

    const std::pair<juce::File, juce::File> cases[] = {
        { util::getProductDocFolder(), documents.getChildFile ("Lumacore").getChildFile ("VORN_X") },
        { util::getMakerDocFolder(), documents.getChildFile ("Lumacore") },
        { util::getProductLogFolder(), config.getChildFile ("Lumacore").getChildFile ("VORN_X") },
        // The settings file is named with the space and lies beside the product folder.
        { util::getProductSettingFile(), config.getChildFile ("Lumacore").getChildFile ("VORN X.settings") },
        { util::getCrashReportFolder(), data.getChildFile ("CrashDumps") },
        { util::getDebugViewOutputFile(), temp.getChildFile ("DebugView.txt") },
        { util::getDebugViewExecutable(), data.getChildFile ("Lumacore").getChildFile ("Dbgview") },
    };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ (actual.getFullPathName(), expected.getFullPathName());

    EXPECT_EQ (util::getMakerDocFolder(), util::getProductDocFolder().getParentDirectory());
}

TEST (Locations, LocalDumpsKeyPathText)
{
    EXPECT_EQ (util::getLocalDumpsKeyPath(),
               "SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\VORN X.exe");
}

TEST (Locations, DocFolderIsFixedAtStartWhileOthersFollowTheEnvironment)
{
    const auto docBefore = util::getProductDocFolder();
    const auto movedHome = testing_support::sandbox().getChildFile ("other-home");
    const auto movedTemp = testing_support::sandbox().getChildFile ("other-temp");
    const testing_support::ScopedEnvironment home ("HOME", movedHome.getFullPathName());
    // A temporary folder reported with a trailing separator.
    const testing_support::ScopedEnvironment temp ("TMPDIR", movedTemp.getFullPathName() + "/");

    EXPECT_EQ (util::getProductDocFolder(), docBefore);
    EXPECT_EQ (util::getMakerDocFolder(), docBefore.getParentDirectory());
    EXPECT_EQ (util::getProductLogFolder().getFullPathName(), movedHome.getFullPathName() + "/.config/Lumacore/VORN_X");
    EXPECT_EQ (util::getDebugViewOutputFile().getFullPathName(), movedTemp.getFullPathName() + "/DebugView.txt");
}
