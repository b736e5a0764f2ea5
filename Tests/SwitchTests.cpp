#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "Util/UtilWindows.h"

using testing_support::installFakeDebugView;
using testing_support::pumpUntil;

namespace
{
juce::StringArray startedPids (const juce::File& exe)
{
    return juce::StringArray::fromLines (juce::File (exe.getFullPathName() + ".pids").loadFileAsString().trim());
}


// The temporary and data folders moved for the life of the object.
struct MovedFolders
{
    MovedFolders (const juce::String& tempName, const juce::String& dataName)
        : temp ("TMPDIR", testing_support::sandbox().getChildFile (tempName).getFullPathName()),
          data ("XDG_DATA_HOME", testing_support::sandbox().getChildFile (dataName).getFullPathName())
    {
    }
    testing_support::ScopedEnvironment temp, data;
};

class SwitchTest : public ::testing::Test
{
protected:
    void TearDown() override { util::stopDebugView(); }
    testing_support::ScopedCapture capture;
};
} // namespace

TEST_F (SwitchTest, DebugConfigIsExactlyThe38Bytes)
{
    const auto folder = util::getProductDocFolder();
    ASSERT_TRUE (folder.createDirectory().wasOk());
    folder.getChildFile ("debug.json").replaceWithText (juce::String::repeatedString ("old content ", 100));

    const auto file = util::writeDebugConfig();
    ASSERT_TRUE (file.has_value());
    EXPECT_EQ (*file, folder.getChildFile ("debug.json"));

    juce::MemoryBlock bytes;
    ASSERT_TRUE (file->loadFileAsData (bytes));
    const unsigned char expected[] = { 0x0D, 0x0A, 0x7B, 0x0D, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x22, 0x44, 0x45, 0x42,
                                       0x55, 0x47, 0x5F, 0x4C, 0x4F, 0x47, 0x5F, 0x45, 0x4E, 0x41, 0x42, 0x4C, 0x45,
                                       0x22, 0x3A, 0x20, 0x74, 0x72, 0x75, 0x65, 0x0D, 0x0A, 0x7D, 0x0D, 0x0A };
    ASSERT_EQ (bytes.getSize(), sizeof (expected));
    EXPECT_EQ (std::memcmp (bytes.getData(), expected, sizeof (expected)), 0);
}

TEST_F (SwitchTest, DebugConfigCreatesTheProductFolder)
{
    ASSERT_FALSE (util::getProductDocFolder().exists());
    const auto file = util::writeDebugConfig();
    ASSERT_TRUE (file.has_value());
    EXPECT_EQ (file->getSize(), 38);
}

TEST_F (SwitchTest, UnwritableDocumentsFolderGivesNothingAndStartsNothing)
{
    const auto exe = installFakeDebugView();
    // The documents folder is a file: nothing can be created below it.
    const auto documents = util::getMakerDocFolder().getParentDirectory();
    ASSERT_TRUE (documents.replaceWithText ("not a folder"));

    EXPECT_TRUE (util::enableLogging().empty());
    EXPECT_FALSE (util::writeDebugConfig().has_value());
    EXPECT_TRUE (capture.sink->messages().empty());
    EXPECT_FALSE (juce::File (exe.getFullPathName() + ".pids").exists());
}

TEST_F (SwitchTest, DebugViewCommandLineForPlainSpacedAndNonAsciiPaths)
{
    struct Case
    {
        const char* name;
        const char* tempFolder;
        const char* dataFolder;
        bool started;
    };
    const Case cases[] = {
        { "plain", "tmp-plain", "data-plain", true },
        { "spaces", "tmp with space", "data with space", true },
        { "non-ascii temp", "tmp-\xc3\xbc", "data-x", false },   // no short forms here: neither path switches
        { "non-ascii exe", "tmp-y", "data-\xc3\xa9", false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const MovedFolders moved (juce::CharPointer_UTF8 (c.tempFolder), juce::CharPointer_UTF8 (c.dataFolder));
        const auto exe = installFakeDebugView();
        const auto output = util::getDebugViewOutputFile();
        const auto before = capture.sink->messages().size();

        const auto files = util::enableLogging();
        ASSERT_EQ (files.size(), 1u);
        EXPECT_EQ (files[0], util::getProductDocFolder().getChildFile ("debug.json"));
        EXPECT_TRUE (output.existsAsFile()); // created for DebugView

        const auto all = capture.sink->messages();
        const std::vector<std::string> logged (all.begin() + static_cast<long> (before), all.end());
        if (c.started)
        {
            const auto quote = [] (const juce::String& p) { return p.containsChar (' ') ? p.quoted() : p; };
            const auto expected = quote (exe.getFullPathName()) + " /l " + quote (output.getFullPathName()) + " /t";
            EXPECT_EQ (logged, (std::vector<std::string> { "Use Full path for debugview cmd execute",
                                                           "cmd: " + expected.toStdString() }));
            // The child gets the plain paths as separate arguments, without quotation marks.
            const juce::File args (exe.getFullPathName() + ".args");
            const auto expectedArgs = "/l\n" + output.getFullPathName() + "\n/t\n\n";
            EXPECT_TRUE (pumpUntil ([&] { return args.loadFileAsString() == expectedArgs; }, 5000)) << args.loadFileAsString();
            EXPECT_TRUE (pumpUntil ([&] { return output.loadFileAsString() == "captured\n"; }, 5000));
        }
        else
        {
            EXPECT_EQ (logged, std::vector<std::string> { "Short path failed to get for debugview" });
            EXPECT_FALSE (juce::File (exe.getFullPathName() + ".pids").exists());
        }
        util::stopDebugView();
    }
}

TEST_F (SwitchTest, SecondEnableLoggingReplacesTheRunner)
{
    const auto exe = installFakeDebugView();
    ASSERT_EQ (util::enableLogging().size(), 1u);
    ASSERT_TRUE (pumpUntil ([&] { return startedPids (exe).size() == 1; }, 5000));
    const auto first = startedPids (exe)[0];
    EXPECT_TRUE (testing_support::processAlive (first));

    ASSERT_EQ (util::enableLogging().size(), 1u);
    ASSERT_TRUE (pumpUntil ([&] { return startedPids (exe).size() == 2; }, 5000));
    const auto second = startedPids (exe)[1];
    EXPECT_TRUE (pumpUntil ([&] { return ! testing_support::processAlive (first); }, 2000)) << "two DebugViews alive";
    EXPECT_TRUE (testing_support::processAlive (second));

    util::stopDebugView();
    EXPECT_TRUE (pumpUntil ([&] { return ! testing_support::processAlive (second); }, 2000));
    util::stopDebugView(); // without a runner: nothing happens
}

TEST_F (SwitchTest, MissingDebugViewStillSucceeds)
{
    ASSERT_FALSE (util::getDebugViewExecutable().exists());
    EXPECT_EQ (util::enableLogging().size(), 1u);
    const auto failure = "Failed to start process: " + util::buildDebugViewCommand (util::getDebugViewExecutable().getFullPathName(),
                                                                                      util::getDebugViewOutputFile().getFullPathName()).toStdString();
    EXPECT_TRUE (pumpUntil ([&] { return capture.sink->contains (failure); }, 3000));
}

TEST (IsAscii, EveryCharacterBelow128)
{
    const std::pair<const char*, bool> cases[] = {
        { "", true }, { "C:\\Users\\john doe\\Temp", true }, { "\x7f", true },
        { "C:\\Users\\J\xc3\xb6rg", false }, { "\xc2\x80", false }, { "\xe6\x97\xa5\xe6\x9c\xac", false },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ (util::isAscii (juce::String (juce::CharPointer_UTF8 (text))), expected) << text;
}

TEST (ShortPath, NoShortFormsOnThisPlatform)
{
    const auto file = testing_support::sandbox().getChildFile ("exists.txt");
    file.replaceWithText ("x");
    EXPECT_FALSE (util::getShortPath (file).has_value());
}
