#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "CollectionFixture.h"
#include "FakeRegistry.h"
#include "LoggingPage.h"
#include "PageView.h"
#include "TestSupport.h"
#include "Util/Journal.h"
#include "Util/Platform.h"
#include "Util/UtilWindows.h"

using testing_support::processAlive;
using testing_support::pumpUntil;
using testing_support::touch;
using collection_fixture::CollectionTest;
using collection_fixture::exportedZips;
using Clock = std::chrono::steady_clock;

namespace
{
const juce::String kShowInfoText = "Please CLOSE all VORN applications & plugins\n\n"
                                   "Make sure all VORN applications & plugins are CLOSED, and press `NEXT` to continue\n\n";

} // namespace

TEST_F (CollectionTest, AWholeCollection)
{
    EXPECT_TRUE (waitForLine ("VORN Triagent initialized"));
    EXPECT_EQ (ui().label->getText(), kShowInfoText);
    EXPECT_EQ (ui().action->getButtonText(), "NEXT");
    EXPECT_EQ (ui().close->getButtonText(), "CLOSE");

    enableDiagnostics();
    EXPECT_TRUE (ui().action->getButtonText().matchesWildcard ("COLLECT (* sec)", false)) << ui().action->getButtonText(); // counting down
    EXPECT_FALSE (ui().action->isEnabled());
    EXPECT_TRUE (ui().close->isEnabled());
    EXPECT_FALSE (ui().spinner->isVisible());
    const auto debugJson = util::getProductDocFolder().getChildFile ("debug.json");
    EXPECT_TRUE (debugJson.existsAsFile());
    ASSERT_TRUE (pumpUntil ([&] { return juce::File (debugView.getFullPathName() + ".pids").exists(); }));
    const auto debugViewPid = juce::File (debugView.getFullPathName() + ".pids").loadFileAsString();

    clickAction ("COLLECT"); // when its countdown has ended
    ASSERT_TRUE (waitForLine ("Temporary files removed", 1, 30000));

    const auto zips = exportedZips();
    ASSERT_EQ (zips.size(), 1);
    const auto zipName = zips[0].getFileName();
    EXPECT_TRUE (zipName.matchesWildcard ("VORN_LOG_??????????????.zip", false));
    const juce::StringArray expectedLines { juce::String ("VORN Triagent initialized"), "Enabling logging", "Logging enabled",
                                            "Enabling crash reports", "Crash reports enabled", "",
                                            "Please run VORN until issues occur", "Collecting system info",
                                            "Collecting logs", "All information collected",
                                            "Exporting collected information", "Generating zip file: " + zipName,
                                            "File exported - " + zipName, "Temporary files removed" };
    EXPECT_EQ (lines(), expectedLines) << lines().joinIntoString ("|");
    EXPECT_EQ (ui().label->getText(), "Please send the zip file to Lumacore\n\n");
    EXPECT_EQ (ui().action->getButtonText(), "SEE ZIP FILE");
    EXPECT_TRUE (ui().action->isEnabled());
    EXPECT_FALSE (ui().spinner->isVisible());

    // Switched off again: debug.json and the report are gone, DebugView is stopped.
    EXPECT_FALSE (debugJson.exists());
    EXPECT_FALSE (util::getMakerDocFolder().getChildFile ("system_info.txt").exists());
    EXPECT_TRUE (pumpUntil ([&] { return ! processAlive (debugViewPid); }, 3000));

    juce::ZipFile zip (zips[0]);
    juce::StringArray names;
    for (int i = 0; i < zip.getNumEntries(); ++i)
        names.add (zip.getEntry (i)->filename);
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    const auto nameOf = [&] (const juce::File& folder, const char* file) {
        return ZipArchiveBuilder::entryName ({}, util::archiveNameFor (home, folder, folder.getChildFile (file)));
    };
    const auto logName = nameOf (util::getProductLogFolder(), "Triagent.log");
    const auto debugJsonName = nameOf (util::getProductDocFolder(), "debug.json");
    const juce::StringArray expectedNames { juce::String ("system_info.txt"), logName,
                                            nameOf (util::getProductDocFolder(), "config.xml"), debugJsonName,
                                            "VORN X.settings", "DebugView.txt", "CrashDumps/VORN X.exe.4711.dmp" };
    EXPECT_EQ (names, expectedNames)
        << names.joinIntoString (", ").toStdString();
    const auto text = [&] (const juce::String& name) {
        std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (zip.getIndexOfFileName (name)));
        return in != nullptr ? in->readEntireStreamAsString() : juce::String ("<missing>");
    };
    EXPECT_TRUE (text ("system_info.txt").startsWith ("=== " + util::platform::systemInfoCommands()[0].header + " ===\r\n"));
    EXPECT_TRUE (text (logName).contains ("} Crash reports enabled"));
    EXPECT_EQ (text (debugJsonName).length(), 38);
    EXPECT_EQ (text ("DebugView.txt").trim(), "captured"); // held open for writing by DebugView meanwhile
    EXPECT_EQ (text ("CrashDumps/VORN X.exe.4711.dmp"), "dump");

    // SEE ZIP FILE shows it every time; CLOSE quits.
    clickAction ("SEE ZIP FILE");
    clickAction ("SEE ZIP FILE");
    ASSERT_TRUE (pumpUntil ([&] { return actions.revealedCount() == 2; }));
    EXPECT_EQ (actions.revealed, (std::vector<juce::File> { zips[0], zips[0] }));
    click (*ui().close);
    EXPECT_TRUE (pumpUntil ([&] { return actions.quits == 1; }));
}

TEST_F (CollectionTest, TwoQuickClicksPassTheSecondScreenAndWorkStepsDropButtonEvents)
{
    ASSERT_TRUE (waitForLine ("VORN Triagent initialized"));
    // Evaluated against the state current when the worker takes them: NEXT, NEXT
    // reach EnableLog; the NEXT and CLOSE that wait meanwhile are dropped there.
    for (const Event& e : { Event (event::Next {}), Event (event::Next {}), Event (event::Next {}), Event (event::Close {}) })
        page->collector.pushEvent (e);
    ASSERT_TRUE (waitForLine ("Please run VORN until issues occur"));
    EXPECT_EQ (actions.quits, 0);
    EXPECT_FALSE (lines().contains ("Collecting system info"));
    EXPECT_TRUE (ui().action->getButtonText().matchesWildcard ("COLLECT (* sec)", false)) << ui().action->getButtonText(); // counting down

    // A click on the disabled button pushes nothing: the CLOSE after it is the
    // next event and quits from the reproduction screen.
    click (*ui().action);
    click (*ui().close);
    EXPECT_TRUE (pumpUntil ([&] { return actions.quits == 1; }));
    EXPECT_FALSE (lines().contains ("Collecting system info"));
}

TEST_F (CollectionTest, EnableLoggingFailsAndRetryStartsAtTheFirstScreen)
{
    // Nothing can be created below a documents "folder" that is a file. The
    // folder comes back afterwards: under Wine the user folders are shared.
    page.reset();
    const auto documents = util::getMakerDocFolder().getParentDirectory();
    struct Restore
    {
        juce::File folder;
        ~Restore()
        {
            folder.deleteFile();
            folder.createDirectory();
        }
    } restore { documents };
    documents.deleteRecursively();
    ASSERT_TRUE (documents.replaceWithText ("not a folder"));
    makePage();

    ASSERT_TRUE (waitForLine ("VORN Triagent initialized"));
    click (*ui().action);
    ASSERT_TRUE (pumpUntil ([&] { return ui().action->getButtonText() == "ENABLE LOGGING"; }));
    click (*ui().action);
    ASSERT_TRUE (waitForLine ("Failure encountered"));
    const juce::StringArray expected { juce::String ("VORN Triagent initialized"), "Enabling logging", "Failure encountered" };
    EXPECT_EQ (lines(), expected);
    EXPECT_EQ (ui().label->getText(), "Something failed\n\nPress `RETRY` to start again\n\n");
    EXPECT_EQ (ui().action->getButtonText(), "RETRY");
    EXPECT_TRUE (ui().close->isEnabled());
    EXPECT_FALSE (juce::File (debugView.getFullPathName() + ".pids").exists()); // nothing was started

    click (*ui().action); // RETRY
    ASSERT_TRUE (waitForLine ("VORN Triagent initialized", 2));
    EXPECT_EQ (ui().label->getText(), kShowInfoText);
    EXPECT_EQ (ui().action->getButtonText(), "NEXT");
}

TEST_F (CollectionTest, ExportFailureLeavesNoZipAndTheRetryStoresEveryFileOnce)
{
    // Names already taken are neither opened nor deleted: the export takes the
    // next second's name. Here every name of the next two minutes is taken
    // (folders with something inside), more than the export tries.
    const auto zipName = [] (juce::Time t) { return "VORN_LOG_" + t.formatted ("%Y%m%d%H%M%S") + ".zip"; };
    const auto now = juce::Time::getCurrentTime();
    juce::Array<juce::File> blockers;
    for (int s = 0; s < 120; ++s)
    {
        const auto blocker = util::getMakerDocFolder().getChildFile (zipName (now + juce::RelativeTime::seconds (s)));
        ASSERT_TRUE (blocker.getChildFile ("in the way").create().wasOk());
        blockers.add (blocker);
    }

    enableDiagnostics();
    clickAction ("COLLECT");
    ASSERT_TRUE (waitForLine ("Failure encountered", 1, 30000));
    EXPECT_TRUE (exportedZips().isEmpty());
    EXPECT_FALSE (lines().joinIntoString ("\n").contains ("File exported"));
    for (const auto& b : blockers)
        EXPECT_TRUE (b.getChildFile ("in the way").existsAsFile()) << b.getFullPathName();

    for (const auto& b : blockers)
        b.deleteRecursively();
    // The retry: the names of the next 30 seconds are taken by plain files.
    const auto later = juce::Time::getCurrentTime();
    std::vector<juce::File> taken;
    for (int s = 0; s < 30; ++s)
        taken.push_back (testing_support::touch (util::getMakerDocFolder().getChildFile (zipName (later + juce::RelativeTime::seconds (s))), "earlier"));
    clickAction ("RETRY");
    ASSERT_TRUE (waitForLine ("VORN Triagent initialized", 2));
    clickAction ("NEXT");
    clickAction ("ENABLE LOGGING");
    ASSERT_TRUE (waitForLine ("Please run VORN until issues occur", 2));
    clickAction ("COLLECT");
    ASSERT_TRUE (waitForLine ("Temporary files removed", 1, 30000));

    const auto expectedName = zipName (later + juce::RelativeTime::seconds (30));
    EXPECT_TRUE (lines().contains ("File exported - " + expectedName)) << lines().joinIntoString ("\n");
    for (const auto& file : taken)
        EXPECT_EQ (file.loadFileAsString(), "earlier");
    const auto zipFile = util::getMakerDocFolder().getChildFile (expectedName);
    ASSERT_TRUE (zipFile.existsAsFile());
    juce::ZipFile zip (zipFile);
    juce::StringArray names;
    for (int i = 0; i < zip.getNumEntries(); ++i)
        names.add (zip.getEntry (i)->filename);
    auto unique = names;
    unique.removeDuplicates (false);
    EXPECT_EQ (names, unique) << "an entry was stored twice";
    EXPECT_TRUE (names.contains ("system_info.txt"));
}

TEST_F (CollectionTest, ClosingWhileIdleRemovesTheTemporaryFiles)
{
    enableDiagnostics();
    const auto debugJson = util::getProductDocFolder().getChildFile ("debug.json");
    ASSERT_TRUE (debugJson.existsAsFile());
    EXPECT_LT (destroyPageTimed(), 1.0);
    EXPECT_FALSE (debugJson.exists()); // the product's debug log is switched off again
}

// Destroying the page in the middle of each work step: the step notices, the
// destructor returns within about a second and the temporary files are removed.
TEST_F (CollectionTest, ClosingDuringEnableLog)
{
    ASSERT_TRUE (waitForLine ("VORN Triagent initialized"));
    page->collector.pushEvent (event::Next {});
    page->collector.pushEvent (event::Next {});
    ASSERT_TRUE (waitForLine ("Enabling crash reports")); // debug.json is written, the second pause runs
    const auto debugJson = util::getProductDocFolder().getChildFile ("debug.json");
    ASSERT_TRUE (debugJson.existsAsFile());
    EXPECT_LT (destroyPageTimed(), 1.2);
    EXPECT_FALSE (debugJson.exists());
}

TEST_F (CollectionTest, ClosingDuringCollectInfo)
{
    // A report command that hangs, and one after it that must never start: the
    // DebugView stand-in runs until it is killed and records its arguments.
    const auto fake = debugView.getFullPathName();
    util::replaceSystemInfoCommands (std::vector<util::SystemCommand> { fake + " slow-report", fake + " next-report" });
    const juce::File pids (fake + ".pids"), args (fake + ".args");

    enableDiagnostics(); // DebugView itself is the first
    page->collector.pushEvent (event::Next {});
    const bool startedSlow = pumpUntil ([&] { return juce::StringArray::fromLines (pids.loadFileAsString().trim()).size() == 2; }, 15000);
    util::replaceSystemInfoCommands (std::nullopt);
    ASSERT_TRUE (startedSlow);
    EXPECT_LT (destroyPageTimed(), 1.2);
    EXPECT_TRUE (pumpUntil ([&] { return ! processAlive (juce::StringArray::fromLines (pids.loadFileAsString().trim())[1]); }, 2000));
    EXPECT_TRUE (args.loadFileAsString().contains ("slow-report"));
    EXPECT_FALSE (args.loadFileAsString().contains ("next-report"));
    EXPECT_FALSE (util::getProductDocFolder().getChildFile ("debug.json").exists());
    EXPECT_FALSE (util::getMakerDocFolder().getChildFile ("system_info.txt").exists());
}

TEST_F (CollectionTest, ClosingDuringTheWalkOfAHugeFolder)
{
    // In folders of 1,000 files (Wine looks names up slowly in a huge folder).
    const auto logs = util::getProductLogFolder().getChildFile ("many");
    for (int d = 0; d < testing_support::hugeFolderFileCount() / 1000; ++d)
    {
        const auto folder = logs.getChildFile ("d" + juce::String (d));
        ASSERT_TRUE (folder.createDirectory().wasOk());
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE (folder.getChildFile ("f" + juce::String (i) + ".log").create().wasOk());
    }

    enableDiagnostics();
    page->collector.pushEvent (event::Next {});
    ASSERT_TRUE (waitForLine ("Collecting logs", 1, 30000));
    EXPECT_LT (destroyPageTimed(), 1.2);
    EXPECT_TRUE (exportedZips().isEmpty());
    EXPECT_FALSE (util::getProductDocFolder().getChildFile ("debug.json").exists());
    EXPECT_FALSE (util::getMakerDocFolder().getChildFile ("system_info.txt").exists());
}

TEST_F (CollectionTest, ClosingDuringExport)
{
    // A large sparse dump keeps the archive writer busy for many seconds.
    const auto dump = util::getCrashReportFolder().getChildFile ("VORN X.exe.9.dmp");
    {
        juce::FileOutputStream out (dump);
        ASSERT_TRUE (out.setPosition (40LL << 30));
        out.writeByte (1);
    }
    enableDiagnostics();
    page->collector.pushEvent (event::Next {});
    ASSERT_TRUE (waitForLineStarting ("Generating zip file: ", 30000));
    ASSERT_TRUE (pumpUntil ([] { // well into the big entry
        const auto partial = exportedZips();
        return ! partial.isEmpty() && partial[0].getSize() > 64 * 1024;
    }, 30000));
    EXPECT_LT (destroyPageTimed(), 1.2);
    EXPECT_TRUE (exportedZips().isEmpty());
    EXPECT_TRUE (util::getMakerDocFolder().findChildFiles (juce::File::findFiles, false, "VORN_LOG_*").isEmpty());
    EXPECT_FALSE (util::getProductDocFolder().getChildFile ("debug.json").exists());
    EXPECT_FALSE (util::getMakerDocFolder().getChildFile ("system_info.txt").exists());
    dump.deleteFile();
}

// Crash reports that cannot be switched off are said so on the page, and the
// machine record stays for the next start.
TEST_F (CollectionTest, CrashReportsThatStayOnAreSaidSo)
{
    testing_support::FakeRegistry registry;
    util::replaceCrashDumpRegistry (&registry);
    enableDiagnostics();
    ASSERT_TRUE (registry.record.has_value());
    registry.refuseDeletes = true;
    clickAction ("COLLECT");
    ASSERT_TRUE (waitForLine ("Temporary files removed", 1, 30000));
    EXPECT_TRUE (waitForLine ("Cannot switch off crash reports: they are still on, and the next start of VORN Triagent switches them off"));
    EXPECT_TRUE (registry.record.has_value());
    EXPECT_TRUE (registry.productKey.has_value());
    page.reset();
    util::replaceCrashDumpRegistry (nullptr);
}
