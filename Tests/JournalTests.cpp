// The journal of the diagnostics switches, with the crash-dump key in a
// registry of the test's own (the real one is tested under Wine).

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "Util/Journal.h"
#include "Util/UtilWindows.h"

using testing_support::touch;

namespace
{
// A registry holding the product key and the LocalDumps key above it.
struct FakeRegistry : util::CrashDumpRegistry
{
    std::optional<std::vector<util::RegistryValue>> productKey;
    bool localDumps = false;

    bool localDumpsExists() override { return localDumps || productKey.has_value(); }
    std::optional<std::vector<util::RegistryValue>> readProductKey() override { return productKey; }
    bool writeProductValues (const std::vector<util::RegistryValue>& values) override
    {
        localDumps = true;
        if (! productKey)
            productKey.emplace();
        for (const auto& value : values)
        {
            std::erase_if (*productKey, [&] (const auto& v) { return v.name == value.name; });
            productKey->push_back (value);
        }
        return true;
    }
    bool deleteProductValues (const juce::StringArray& names) override
    {
        if (! productKey)
            return false;
        std::erase_if (*productKey, [&] (const auto& v) { return names.contains (v.name); });
        return true;
    }
    bool deleteProductKey() override
    {
        const bool existed = productKey.has_value();
        productKey.reset();
        return existed;
    }
    bool deleteLocalDumpsIfEmpty() override
    {
        if (productKey)
            return false;
        const bool existed = localDumps;
        localDumps = false;
        return existed;
    }
};

util::RegistryValue dword (const char* name, std::uint32_t number)
{
    return { name, util::RegistryValue::kDword, juce::MemoryBlock (&number, sizeof (number)) };
}

class JournalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        util::replaceCrashDumpRegistry (&registry);
        util::recoverSwitches(); // a clean start: nothing on, no journal
        ASSERT_FALSE (journal.exists());
        ASSERT_TRUE (util::getMakerDocFolder().createDirectory().wasOk());
    }
    void TearDown() override { util::replaceCrashDumpRegistry (nullptr); }

    // What a run that is killed leaves: the journal, read by the next start.
    std::vector<std::string> nextStart()
    {
        testing_support::ScopedCapture capture;
        util::recoverSwitches();
        return capture.sink->messages();
    }

    FakeRegistry registry;
    const juce::File journal = util::getSwitchJournalFile();
    const juce::File debugJson = util::getProductDocFolder().getChildFile ("debug.json");
};
} // namespace

TEST_F (JournalTest, LivesOutsideEveryArchivedFolder)
{
    for (const auto& folder : { util::getProductLogFolder(), util::getProductDocFolder(), util::getCrashReportFolder() })
        EXPECT_FALSE (journal.isAChildOf (folder)) << folder.getFullPathName();
    EXPECT_TRUE (journal.isAChildOf (testing_support::sandbox()));
}

TEST_F (JournalTest, AKilledRunIsSwitchedOffAtTheNextStart)
{
    ASSERT_TRUE (util::writeDebugConfig().has_value());
    ASSERT_TRUE (util::enableCrashDump());
    ASSERT_TRUE (util::collectSystemInfo().has_value());
    const auto report = util::getMakerDocFolder().getChildFile ("system_info.txt");
    ASSERT_TRUE (journal.existsAsFile());
    EXPECT_FALSE (journal.getSiblingFile (journal.getFileName() + ".new").exists());
    ASSERT_TRUE (registry.productKey.has_value());

    const auto lines = nextStart();
    EXPECT_FALSE (debugJson.exists());
    EXPECT_FALSE (report.exists());
    EXPECT_FALSE (registry.productKey.has_value());
    EXPECT_FALSE (registry.localDumps) << "the earlier run created LocalDumps";
    EXPECT_FALSE (journal.exists());
    const auto key = "HKEY_LOCAL_MACHINE\\" + util::getLocalDumpsKeyPath();
    EXPECT_EQ (lines, (std::vector<std::string> {
                          "Switched off after an earlier run: " + debugJson.getFullPathName().toStdString(),
                          "Switched off after an earlier run: " + report.getFullPathName().toStdString(),
                          "Switched off after an earlier run: crash dumps, " + key,
                          "Switched off after an earlier run: local crash dumps for every program, the LocalDumps key" }));

    EXPECT_TRUE (nextStart().empty()); // nothing twice
}

TEST_F (JournalTest, ARunThatEndsNormallyLeavesNoJournal)
{
    registry.localDumps = true; // there before: stays
    const auto files = util::enableLogging();
    ASSERT_EQ (files.size(), 1u);
    ASSERT_TRUE (util::enableCrashDump());
    ASSERT_TRUE (files[0].deleteFile());
    util::journalTempFilesRemoved (files);
    EXPECT_TRUE (journal.existsAsFile()) << "crash dumps are still on";
    EXPECT_TRUE (util::disableCrashDump());
    util::stopDebugView();

    EXPECT_FALSE (journal.exists());
    EXPECT_FALSE (registry.productKey.has_value());
    EXPECT_TRUE (registry.localDumps);
    EXPECT_TRUE (nextStart().empty());
}

TEST_F (JournalTest, AKeyThatExistedIsRestoredWithItsValuesAfterARetryToo)
{
    const std::vector<util::RegistryValue> administrators { dword ("DumpType", 1), dword ("CustomDumpFlags", 0x21) };
    registry.productKey = administrators;
    registry.localDumps = true;

    ASSERT_TRUE (util::enableCrashDump());
    ASSERT_TRUE (util::enableCrashDump()); // RETRY after a failure: the key holds this run's values now
    EXPECT_EQ (registry.productKey->size(), 4u);
    EXPECT_TRUE (util::disableCrashDump());
    EXPECT_TRUE (registry.productKey == administrators);

    // The same when the run was killed in between.
    ASSERT_TRUE (util::enableCrashDump());
    const auto lines = nextStart();
    EXPECT_TRUE (registry.productKey == administrators);
    EXPECT_TRUE (registry.localDumps);
    ASSERT_EQ (lines.size(), 1u);
    EXPECT_TRUE (juce::String (lines[0]).endsWith ("restored to the values it had")) << lines[0];
}

TEST_F (JournalTest, ADamagedOrForeignJournalIsLoggedAndIgnored)
{
    const auto victim = touch (testing_support::sandbox().getChildFile ("victim.txt"), "keep me");
    touch (debugJson, "left by hand");
    const auto quoted = [] (const juce::File& f) { return juce::JSON::toString (f.getFullPathName()); };
    const juce::String valid = "{\"journal\": \"VORN Triagent switch journal\", \"version\": 1, \"tempFiles\": [";

    const struct
    {
        const char* name;
        juce::String text;
    } cases[] = {
        { "cut short", valid + quoted (debugJson) },
        { "not json", "\x01\x02garbage" },
        { "someone else's", "{\"tempFiles\": [" + quoted (debugJson) + "]}" },
        { "a foreign value to restore",
          valid + "], \"crashDumps\": {\"createdLocalDumps\": false, \"keyExisted\": true, \"foundValues\": "
                  "[{\"name\": \"Debugger\", \"type\": 1, \"data\": \"AAAA\"}]}}" },
    };
    for (const auto& c : cases)
    {
        touch (journal, c.text);
        registry.productKey = std::vector<util::RegistryValue> { dword ("DumpType", 2) };
        const auto lines = nextStart();
        EXPECT_EQ (lines, std::vector<std::string> { "Ignored a damaged switch journal: " + journal.getFullPathName().toStdString() })
            << c.name;
        EXPECT_TRUE (debugJson.existsAsFile()) << c.name;
        EXPECT_TRUE (registry.productKey.has_value()) << c.name;
        EXPECT_FALSE (journal.exists()) << c.name;
    }

    // Well formed, but naming a file that the tool never writes: any program of the user can write the journal.
    touch (journal, valid + quoted (victim) + ", " + quoted (debugJson) + "]}");
    const auto lines = nextStart();
    EXPECT_EQ (victim.loadFileAsString(), "keep me");
    EXPECT_FALSE (debugJson.exists());
    EXPECT_EQ (lines, (std::vector<std::string> {
                          "Ignored a path in the switch journal that the tool does not write: " + victim.getFullPathName().toStdString(),
                          "Switched off after an earlier run: " + debugJson.getFullPathName().toStdString() }));
}
