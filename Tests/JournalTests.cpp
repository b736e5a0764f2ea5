// The journal of the diagnostics switches, with the crash-dump key in a
// registry of the test's own (the real one is tested under Wine).

#include <gtest/gtest.h>

#include "FakeRegistry.h"
#include "TestSupport.h"
#include "Util/Journal.h"
#include "Util/UtilWindows.h"

using testing_support::touch;

using testing_support::FakeRegistry;

namespace
{
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
    ASSERT_TRUE (registry.record.has_value()) << "written before the key";
    EXPECT_FALSE (journal.loadFileAsString().contains ("crashDumps")) << "the user's journal holds no registry values";

    const auto lines = nextStart();
    EXPECT_FALSE (debugJson.exists());
    EXPECT_FALSE (report.exists());
    EXPECT_FALSE (registry.productKey.has_value());
    EXPECT_FALSE (registry.record.has_value());
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
    EXPECT_TRUE (registry.record.has_value()) << "crash dumps are still on";
    EXPECT_TRUE (util::disableCrashDump());
    util::stopDebugView();

    EXPECT_FALSE (journal.exists());
    EXPECT_FALSE (registry.record.has_value());
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
        { "nested without end", juce::String::repeatedString ("[", 900000) },
        { "larger than any journal", valid + quoted (debugJson) + "]" + juce::String::repeatedString (" ", 70000) + "}" },
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

// The user's journal is the user's to write: a crash-dump entry in it, with
// the values that an administrator's key would be "restored" to, never
// reaches the machine's registry.
TEST_F (JournalTest, AForgedCrashDumpEntryInTheJournalIsIgnored)
{
    const std::vector<util::RegistryValue> administrators { dword ("DumpType", 1) };
    registry.productKey = administrators;
    registry.localDumps = true;
    const auto share = juce::MemoryBlock ("\\\0\\\0e\0v\0i\0l\0\0\0", 16).toBase64Encoding();
    touch (journal, "{\"journal\": \"VORN Triagent switch journal\", \"version\": 1, \"tempFiles\": [], \"crashDumps\": "
                    "{\"createdLocalDumps\": true, \"keyExisted\": true, \"foundValues\": [{\"name\": \"DumpFolder\", \"type\": 2, \"data\": \""
                        + share + "\"}, {\"name\": \"DumpType\", \"type\": 4, \"data\": \"AgAAAA==\"}]}}");
    EXPECT_TRUE (nextStart().empty());
    EXPECT_TRUE (registry.productKey == administrators);
    EXPECT_TRUE (registry.localDumps);
    EXPECT_FALSE (journal.exists());
}

TEST_F (JournalTest, AMachineRecordThatFailsItsChecksIsLoggedAndIgnored)
{
    const std::vector<util::RegistryValue> administrators { dword ("DumpType", 1) };
    registry.productKey = administrators;
    const std::vector<std::vector<util::RegistryValue>> records {
        { dword ("CreatedLocalDumps", 0) },                                                  // half a record
        { dword ("CreatedLocalDumps", 0), dword ("KeyExisted", 1), dword ("Found.Debugger", 1) }, // not a LocalDumps value
        { dword ("CreatedLocalDumps", 7), dword ("KeyExisted", 1) },                          // not a flag
    };
    for (const auto& record : records)
    {
        registry.record = record;
        EXPECT_EQ (nextStart(), std::vector<std::string> { "Ignored a damaged crash-dump record: HKEY_LOCAL_MACHINE\\SOFTWARE\\Lumacore\\Triagent\\CrashDumpRecord" });
        EXPECT_TRUE (registry.productKey == administrators);
    }
}

// A registry that refuses to delete: the switch-off says so, and the machine
// record stays for the next start, which switches off from it.
TEST_F (JournalTest, ASwitchOffThatFailsKeepsTheRecordForTheNextStart)
{
    ASSERT_TRUE (util::enableCrashDump());
    registry.refuseDeletes = true;
    testing_support::ScopedCapture capture;
    EXPECT_FALSE (util::disableCrashDump());
    EXPECT_TRUE (registry.productKey.has_value());
    EXPECT_TRUE (registry.record.has_value());
    ASSERT_EQ (capture.sink->messages().size(), 1u);
    EXPECT_TRUE (juce::String (capture.sink->messages()[0]).startsWith ("Cannot switch off crash dumps, they are still on"));

    registry.refuseDeletes = false;
    const auto lines = nextStart();
    EXPECT_FALSE (registry.productKey.has_value());
    EXPECT_FALSE (registry.record.has_value());
    EXPECT_FALSE (registry.localDumps);
    ASSERT_FALSE (lines.empty());
    EXPECT_EQ (lines[0], "Switched off after an earlier run: crash dumps, HKEY_LOCAL_MACHINE\\" + util::getLocalDumpsKeyPath());
}
