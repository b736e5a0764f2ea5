// Test entry: refuses to run outside the sandbox that the test launcher makes,
// so that no test can touch the real user's folders.

#include <cstdio>

#include <gtest/gtest.h>

#include <juce_events/juce_events.h>

#include "TestSupport.h"
#include "Util/UtilWindows.h"

namespace
{
bool insideSandbox()
{
    const auto roots = juce::StringArray::fromTokens (
        juce::SystemStats::getEnvironmentVariable ("TRIAGENT_TEST_SANDBOX", {}), ";", "");
    if (roots.isEmpty())
    {
        std::fprintf (stderr, "TRIAGENT_TEST_SANDBOX is not set: run the tests through ctest\n");
        return false;
    }

    const juce::File locations[] = {
        util::getProductDocFolder(),    util::getMakerDocFolder(),      util::getProductLogFolder(),
        util::getProductSettingFile(),  util::getCrashReportFolder(),   util::getDebugViewOutputFile(),
        util::getDebugViewExecutable(), juce::File::getSpecialLocation (juce::File::userHomeDirectory),
    };
    bool ok = true;
    for (const auto& location : locations)
    {
        const bool inside = std::any_of (roots.begin(), roots.end(),
                                         [&] (const juce::String& root) { return location == juce::File (root) || location.isAChildOf (juce::File (root)); });
        if (! inside)
        {
            std::fprintf (stderr, "product location outside the test sandbox: %s\n", location.getFullPathName().toRawUTF8());
            ok = false;
        }
    }
    return ok;
}
// Where tests share user folders (one Wine prefix), each starts without any
// product files; in a fresh sandbox this finds nothing to remove.
class FreshProductFolders : public ::testing::EmptyTestEventListener
{
    void OnTestStart (const ::testing::TestInfo&) override
    {
        // A link that a test planted is removed itself, never entered.
        const juce::Array<juce::File> folders { util::getMakerDocFolder(), util::getProductLogFolder().getParentDirectory(),
                                                util::getCrashReportFolder() };
        auto planted = folders;
        planted.add (util::getDebugViewOutputFile());
        planted.add (testing_support::sandbox().getChildFile ("scratch")); // the tests' own files
        testing_support::removeTrees (planted);
        // Under Wine the previous test process may still be letting go of a
        // file (its deletion then waits for that): try until the folder is gone.
        for (const auto& folder : folders)
        {
            const auto deadline = juce::Time::getMillisecondCounterHiRes() + 5000;
            while (! folder.deleteRecursively() && folder.exists() && juce::Time::getMillisecondCounterHiRes() < deadline)
                juce::Thread::sleep (20);
        }
        util::getDebugViewOutputFile().deleteFile();
    }
};
} // namespace

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    if (! insideSandbox())
        return 1;
    ::testing::UnitTest::GetInstance()->listeners().Append (new FreshProductFolders());
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
