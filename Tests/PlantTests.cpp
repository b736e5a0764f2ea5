// What another program of the user plants at the names the tool uses (links,
// second names, FIFOs, devices) never steers the elevated tool: nothing
// outside the tool's folders is created, changed, deleted, moved or archived,
// and one log line says what was refused.

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "CollectionFixture.h"
#include "Log/Log.h"
#include "ResetPage.h"
#include "TestSupport.h"
#include "Util/Journal.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"
#include "ZipArchiveBuilder.h"

using testing_support::plantDevice;
using testing_support::plantFifo;
using testing_support::plantHardLink;
using testing_support::plantLink;
using testing_support::pumpUntil;
using testing_support::touch;
using collection_fixture::CollectionTest;

namespace
{
constexpr const char* kSecret = "SECRET of another folder";

juce::File outside()
{
    return testing_support::sandbox().getChildFile ("outside");
}

juce::File secret()
{
    return outside().getChildFile ("secret.txt");
}

// Every entry below the folder with its content, no link followed.
std::map<juce::String, juce::String> snapshot (const juce::File& folder)
{
    std::map<juce::String, juce::String> entries;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*", juce::File::findFilesAndDirectories))
        entries[entry.getFile().getRelativePathFrom (folder)] = entry.isDirectory() ? juce::String ("<folder>") : entry.getFile().loadFileAsString();
    return entries;
}

// The folders outside the tool's own, with what the plants point at.
void makeOutside()
{
    testing_support::removeTrees ({ outside() });
    touch (secret(), kSecret);
    touch (outside().getChildFile ("journal-folder/switches.journal"), "another program's file");
    touch (outside().getChildFile ("log-folder/Triagent.log"), "another program's log");
    touch (outside().getChildFile ("docs/config.xml"), "<other/>");
    touch (outside().getChildFile ("maker/VORN_X/config.xml"), "<other/>");
}

void clearProductFolders()
{
    testing_support::removeTrees ({ util::getMakerDocFolder(), util::getProductLogFolder().getParentDirectory(), util::getCrashReportFolder(),
                                    util::getSwitchJournalFile().getParentDirectory(), util::getDebugViewOutputFile() });
}

juce::File debugViewOutput()
{
    return util::getDebugViewOutputFile();
}

// Gathers and exports as a collection does; the zip's contents, all entries joined.
juce::String gatherAndExport()
{
    ZipArchiveBuilder builder;
    util::gatherLogFiles ([&] (const juce::File& file, const juce::String& name) { builder.addFile (file, name); });
    const auto zip = util::getMakerDocFolder().getChildFile ("plants.zip");
    EXPECT_TRUE (util::files::createFolders (zip.getParentDirectory()));
    EXPECT_TRUE (builder.writeToFile (zip));
    juce::String all;
    juce::ZipFile reader (zip);
    for (int i = 0; i < reader.getNumEntries(); ++i)
        if (std::unique_ptr<juce::InputStream> in { reader.createStreamForEntry (i) })
            all << reader.getEntry (i)->filename << "\n" << in->readEntireStreamAsString() << "\n";
    return all;
}

struct PlantCase
{
    const char* name;
    std::function<bool()> plant; // false: this system has no such thing
    std::function<void()> act;
    juce::StringArray refusedLines; // one of these prefixes is logged (none: nothing to refuse)
    std::function<void (const std::vector<std::string>& messages)> check = [] (const auto&) {};
};

void enableAndStopDebugView()
{
    util::enableLogging();
    pumpUntil ([] { return debugViewOutput().loadFileAsString().contains ("captured"); }, 5000);
    util::stopDebugView();
}

const juce::StringArray kDebugViewRefused { "Replaced DebugView's output file, it was ", "Cannot create DebugView's output file" };

void expectPlainFile (const juce::File& file)
{
    EXPECT_EQ (util::files::classify (file), util::files::Kind::file) << file.getFullPathName();
    EXPECT_TRUE (util::files::openForReading (file, file.getParentDirectory())) << file.getFullPathName();
}

bool contains (const std::vector<std::string>& messages, const std::string& prefix)
{
    return std::any_of (messages.begin(), messages.end(), [&] (const std::string& m) { return m.starts_with (prefix); });
}

// DebugView writes into an ordinary file of the temporary folder, or is not
// started at all (under Wine a Linux link cannot be removed safely).
void expectDebugViewOutputPlainOrNotStarted (const std::vector<std::string>& messages)
{
    if (! contains (messages, "Cannot create DebugView's output file"))
        expectPlainFile (debugViewOutput());
}


std::vector<PlantCase> plantCases()
{
    const auto docs = util::getProductDocFolder();
    const auto logs = util::getProductLogFolder();
    const auto report = util::getMakerDocFolder().getChildFile ("system_info.txt");
    const auto journal = util::getSwitchJournalFile();
    const auto resetFails = [] { EXPECT_FALSE (backupAndReset().has_value()); };
    return {
        { "nothing planted", [=] { touch (logs.getChildFile ("product.log"), "ordinary"); return true; },
          [] { EXPECT_TRUE (gatherAndExport().contains ("ordinary")); }, {} },
        { "DebugView.txt, a dangling link", [] { return plantLink (outside().getChildFile ("made-by-debugview.txt"), debugViewOutput()); },
          enableAndStopDebugView, kDebugViewRefused },
        { "DebugView.txt, a link to a file outside", [] { return plantLink (secret(), debugViewOutput()); }, enableAndStopDebugView,
          kDebugViewRefused, expectDebugViewOutputPlainOrNotStarted },
        { "DebugView.txt, a second name of a file outside", [] { return plantHardLink (secret(), debugViewOutput()); },
          enableAndStopDebugView, kDebugViewRefused, expectDebugViewOutputPlainOrNotStarted },
        { "debug.json, a link to a file outside", [=] { return plantLink (secret(), docs.getChildFile ("debug.json")); },
          [] { EXPECT_TRUE (util::writeDebugConfig().has_value()); }, {},
          [=] (const auto&) {
              expectPlainFile (docs.getChildFile ("debug.json"));
              EXPECT_EQ (docs.getChildFile ("debug.json").getSize(), 38);
          } },
        { "debug.json, replaced by a link after it was written", [] { return true; },
          [=] {
              ASSERT_TRUE (util::writeDebugConfig().has_value());
              ASSERT_TRUE (docs.getChildFile ("debug.json").deleteFile());
              ASSERT_TRUE (plantLink (secret(), docs.getChildFile ("debug.json")));
              EXPECT_EQ (util::files::removeCreated (docs.getChildFile ("debug.json")), util::files::Removal::elsewhere);
          },
          {} },
        { "system_info.txt, a link to a file outside", [=] { return plantLink (secret(), report); },
          [] {
              util::replaceSystemInfoCommands (std::vector<util::SystemCommand> { { "absent", "/nonexistent/program" } });
              EXPECT_TRUE (util::collectSystemInfo().has_value());
              util::replaceSystemInfoCommands (std::nullopt);
          },
          {}, [=] (const auto&) { expectPlainFile (report); } },
        { "the journal, a link to a file outside", [=] { return plantLink (outside().getChildFile ("journal-folder/switches.journal"), journal); },
          util::recoverSwitches, { "Ignored a damaged switch journal: " } },
        { "the journal's folder, a link to a folder outside", [=] { return plantLink (outside().getChildFile ("journal-folder"), journal.getParentDirectory()); },
          [=] {
              util::recoverSwitches();
              util::journalTempFile (docs.getChildFile ("debug.json"));
              util::journalTempFilesRemoved ({ docs.getChildFile ("debug.json") });
          },
          { "Cannot write the switch journal: " } },
        { "Triagent.log, a link to a file outside", [=] { return plantLink (secret(), logs.getChildFile ("Triagent.log")); },
          [] {
              lumo::log::setupLogging();
              lumo::log::setSinks ({});
          },
          {}, [=] (const auto&) { expectPlainFile (logs.getChildFile ("Triagent.log")); } },
        { "Triagent.log's folder, a link to a folder outside", [=] {
              testing_support::removeTrees ({ logs });
              return plantLink (outside().getChildFile ("log-folder"), logs);
          },
          [] {
              lumo::log::setupLogging();
              lumo::log::setSinks ({});
          },
          {} },
        { "the product documents folder, a link (reset)", [=] {
              testing_support::removeTrees ({ docs });
              return plantLink (outside().getChildFile ("docs"), docs);
          }, resetFails,
          { "Cannot move the product folder aside" } },
        { "the maker folder, a link (reset)", [=] {
              testing_support::removeTrees ({ docs.getParentDirectory() });
              return plantLink (outside().getChildFile ("maker"), docs.getParentDirectory());
          },
          resetFails, { "Cannot move the product folder aside" } },
        { "the settings file, a link to a file outside", [] { return plantLink (secret(), util::getProductSettingFile()); },
          [] { EXPECT_FALSE (gatherAndExport().contains (kSecret)); }, { "Left out of the zip file, " } },
        { "a second name of a file outside among the logs", [=] { return plantHardLink (secret(), logs.getChildFile ("second.log")); },
          [] { EXPECT_FALSE (gatherAndExport().contains (kSecret)); }, { "Left out of the zip file, a file with several names: " } },
        { "a FIFO among the logs", [=] { return plantFifo (logs.getChildFile ("pipe.log")); },
          [] { gatherAndExport(); }, { "Skipped a special file: " } },
        { "a device among the logs", [=] { return plantDevice (logs.getChildFile ("device.log")); },
          [] { gatherAndExport(); }, { "Skipped a special file: " } },
    };
}
} // namespace

TEST (Plants, NothingOutsideTheToolsFoldersIsTouchedAndEachRefusalIsLogged)
{
    testing_support::installFakeDebugView();
    for (const auto& plant : plantCases())
    {
        SCOPED_TRACE (plant.name);
        clearProductFolders();
        makeOutside();
        ASSERT_TRUE (util::getProductLogFolder().createDirectory().wasOk());
        ASSERT_TRUE (util::getProductDocFolder().createDirectory().wasOk());
        ASSERT_TRUE (util::getSwitchJournalFile().getParentDirectory().getParentDirectory().createDirectory().wasOk());
        if (! plant.plant())
        {
            std::printf ("%s: cannot be planted on this system\n", plant.name); // no FIFOs or devices under Wine
            continue;
        }
        const auto before = snapshot (outside());

        testing_support::ScopedCapture capture;
        const auto started = juce::Time::getMillisecondCounterHiRes();
        plant.act();
        std::printf ("%s: %.0f ms\n", plant.name, juce::Time::getMillisecondCounterHiRes() - started);
        const auto messages = capture.sink->messages();

        EXPECT_EQ (snapshot (outside()), before);
        if (plant.refusedLines.isEmpty())
            continue;
        const bool logged = std::any_of (plant.refusedLines.begin(), plant.refusedLines.end(),
                                         [&] (const juce::String& prefix) { return contains (messages, prefix.toStdString()); });
        EXPECT_TRUE (logged) << plant.refusedLines.joinIntoString (" | ");
        plant.check (messages);
    }
    clearProductFolders();
}

// Plants that each concern one file: the whole collection still reaches its
// end, and none of them reaches the zip.
TEST_F (CollectionTest, PlantedFilesDoNotStopACollection)
{
    makeOutside();
    const auto before = snapshot (outside());
    const auto logs = util::getProductLogFolder();
    touch (logs.getChildFile ("product.log"), "ordinary");
    ASSERT_TRUE (util::getProductSettingFile().deleteFile());
    ASSERT_TRUE (plantLink (secret(), util::getProductSettingFile()));
    ASSERT_TRUE (plantHardLink (secret(), logs.getChildFile ("second.log")));
    ASSERT_TRUE (plantLink (secret(), util::getProductDocFolder().getChildFile ("debug.json")));
    ASSERT_TRUE (plantLink (secret(), util::getMakerDocFolder().getChildFile ("system_info.txt")));
    const bool fifo = plantFifo (logs.getChildFile ("pipe.log")); // not under Wine

    enableDiagnostics();
    clickAction ("COLLECT");
    ASSERT_TRUE (waitForLine ("Temporary files removed", 1, 60000));

    const auto zips = collection_fixture::exportedZips();
    ASSERT_EQ (zips.size(), 1);
    juce::ZipFile reader (zips[0]);
    juce::StringArray names;
    for (int i = 0; i < reader.getNumEntries(); ++i)
    {
        std::unique_ptr<juce::InputStream> in (reader.createStreamForEntry (i));
        ASSERT_NE (in, nullptr);
        EXPECT_FALSE (in->readEntireStreamAsString().contains (kSecret)) << reader.getEntry (i)->filename;
        names.add (reader.getEntry (i)->filename);
    }
    EXPECT_TRUE (names.contains ("system_info.txt"));
    EXPECT_TRUE (names.joinIntoString (",").contains ("product.log"));
    EXPECT_EQ (snapshot (outside()), before);

    const auto log = logs.getChildFile ("Triagent.log").loadFileAsString();
    EXPECT_TRUE (log.contains ("Left out of the zip file, a file with several names: " + logs.getChildFile ("second.log").getFullPathName()));
    EXPECT_TRUE (log.contains ("Left out of the zip file, ") && log.contains (util::getProductSettingFile().getFullPathName()));
    if (fifo)
    {
        EXPECT_TRUE (log.contains ("Skipped a special file: " + logs.getChildFile ("pipe.log").getFullPathName()));
    }
}
