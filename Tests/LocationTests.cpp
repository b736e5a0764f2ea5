#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "Util/Journal.h"
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

// Elevation with another account: every product location and the crash-dump
// folder written into DumpFolder come from the desktop user's folders, all
// together, and the start says whose; otherwise the tool's own folders.
TEST (Locations, TheDesktopUsersFoldersOrTheToolsOwnAllTogether)
{
    const util::UserFolders own { juce::File ("/home/admin/Documents"), juce::File ("/home/admin/.config"),
                                  juce::File ("/home/admin/.local/share"), juce::File ("/home/admin") };
    const util::UserFolders user { juce::File ("/data/u/Docs"), juce::File ("/home/u/.config"), juce::File ("/home/u/.local/share"),
                                   juce::File ("/home/u") };
    const struct
    {
        const char* name;
        std::optional<util::DesktopUser> desktop; // what the platform's lookup found
        const util::UserFolders& expected;
    } cases[] = {
        { "the desktop's user is the tool's own", std::nullopt, own },
        { "another user on the desktop", util::DesktopUser { "PC\\u", user }, user },
        { "the lookup failed", std::nullopt, own },
    };
    for (const auto& c : cases)
    {
        const auto choice = util::chooseUserFolders (own, c.desktop);
        const auto locations = util::productLocationsFor (choice.folders);
        EXPECT_EQ (locations.docFolder.getFullPathName(), c.expected.documents.getFullPathName() + "/Lumacore/VORN_X") << c.name;
        EXPECT_EQ (locations.makerDocFolder.getFullPathName(), c.expected.documents.getFullPathName() + "/Lumacore") << c.name;
        EXPECT_EQ (locations.logFolder.getFullPathName(), c.expected.roamingAppData.getFullPathName() + "/Lumacore/VORN_X") << c.name;
        EXPECT_EQ (locations.settingFile.getFullPathName(), c.expected.roamingAppData.getFullPathName() + "/Lumacore/VORN X.settings") << c.name;
        EXPECT_EQ (locations.crashFolder.getFullPathName(), c.expected.localAppData.getFullPathName() + "/CrashDumps") << c.name;
        EXPECT_EQ (locations.home, c.expected.home) << c.name;

        // DumpFolder, as written into the registry (UTF-16LE with its terminator).
        const auto dumpFolder = util::crashDumpValues (locations.crashFolder)[0];
        ASSERT_EQ (dumpFolder.name, "DumpFolder");
        const auto text = juce::String (juce::CharPointer_UTF16 (static_cast<const juce::CharPointer_UTF16::CharType*> (dumpFolder.data.getData())));
        EXPECT_EQ (text, c.expected.localAppData.getFullPathName() + "/CrashDumps") << c.name;

        EXPECT_EQ (choice.startLine.isNotEmpty(), c.desktop.has_value()) << c.name;
        if (c.desktop)
        {
            EXPECT_TRUE (choice.startLine.contains ("PC\\u")) << choice.startLine;
        }
    }
}
