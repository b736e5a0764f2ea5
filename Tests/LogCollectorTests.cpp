#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "CollectionFixture.h"
#include "FakeRegistry.h"
#include "Util/UserFiles.h"

#include <filesystem>
#include <isa-l/crc.h>
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
                                            "File exported - " + zipName, "<summary>", "Temporary files removed" };
    auto shown = lines();
    ASSERT_GE (shown.size(), expectedLines.size());
    EXPECT_TRUE (shown[shown.size() - 2].matchesWildcard ("Archived 7 files, * (* compressed); 0 left out", false)) << shown[shown.size() - 2];
    shown.set (shown.size() - 2, "<summary>");
    EXPECT_EQ (shown, expectedLines) << lines().joinIntoString ("|");
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
    // The tool's log after everything it says of the collection; only the manifest follows it.
    const juce::StringArray expectedNames { juce::String ("system_info.txt"), nameOf (util::getProductDocFolder(), "config.xml"),
                                            debugJsonName, "VORN X.settings", "DebugView.txt", "CrashDumps/VORN X.exe.4711.dmp",
                                            logName, "manifest.json" };
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

// The zip describes itself: manifest.json, its last entry, names every other
// entry with the zip's own sizes and CRCs, what was left out and why, what is
// missing, how the report's commands ran, the switches and the reproduction window.
TEST_F (CollectionTest, TheManifestDescribesTheZip)
{
    const auto logs = util::getProductLogFolder();
    touch (logs.getChildFile ("product.log"), "an ordinary log line\n");
    const auto big = logs.getChildFile ("big.log");
    touch (big, juce::String::repeatedString ("a rotating log line\n", (5 << 20) / 20));
    const auto bigSize = big.getSize();
    const auto outside = testing_support::sandbox().getChildFile ("outside/secret.txt");
    touch (outside, "secret");
    ASSERT_TRUE (testing_support::plantLink (outside, logs.getChildFile ("link.log")));
    const bool fifo = testing_support::plantFifo (logs.getChildFile ("pipe.log")); // not under Wine
    ASSERT_TRUE (util::getCrashReportFolder().deleteRecursively());
    // The big log shrinks to half while it is read (after at most two of its pieces).
    int pieces = 0;
    page->collector.beforeEachExportPiece = [&] {
        if (++pieces == 4)
            std::filesystem::resize_file (util::platform::toNativePath (big), (5 << 20) / 2);
    };

    const auto started = juce::Time::getCurrentTime();
    enableDiagnostics();
    clickAction ("COLLECT");
    ASSERT_TRUE (waitForLine ("Temporary files removed", 1, 30000));
    const auto zips = exportedZips();
    ASSERT_EQ (zips.size(), 1);
    const auto zipCreated = zips[0].getLastModificationTime();

    juce::ZipFile zip (zips[0]);
    ASSERT_GE (zip.getNumEntries(), 2);
    ASSERT_EQ (zip.getEntry (zip.getNumEntries() - 1)->filename, "manifest.json");
    const auto read = [&] (int i) {
        std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
        juce::MemoryBlock data;
        if (in != nullptr)
            in->readIntoMemoryBlock (data);
        return data;
    };
    const auto manifestData = read (zip.getNumEntries() - 1);
    const auto manifest = juce::JSON::parse (juce::String::fromUTF8 (static_cast<const char*> (manifestData.getData()), static_cast<int> (manifestData.getSize())));
    ASSERT_TRUE (manifest.isObject());
    EXPECT_EQ (static_cast<int> (manifest["format"]), 1);
    EXPECT_EQ (manifest["tool"]["name"].toString(), "VORN Triagent");
    EXPECT_EQ (manifest["tool"]["version"].toString(), "1.2.0");

    // Exactly the zip's other entries, in its order, with its sizes and CRCs.
    const auto* entries = manifest["entries"].getArray();
    ASSERT_NE (entries, nullptr);
    ASSERT_EQ (entries->size(), zip.getNumEntries() - 1);
    for (int i = 0; i < entries->size(); ++i)
    {
        const auto& e = entries->getReference (i);
        const auto data = read (i);
        EXPECT_EQ (e["name"].toString(), zip.getEntry (i)->filename);
        EXPECT_EQ (static_cast<juce::int64> (e["size"]), static_cast<juce::int64> (data.getSize())) << e["name"].toString();
        const auto crc = crc32_gzip_refl (0, static_cast<const unsigned char*> (data.getData()), data.getSize());
        EXPECT_EQ (e["crc32"].toString(), juce::String::toHexString (static_cast<juce::int64> (crc)).paddedLeft ('0', 8)) << e["name"].toString();
        const bool shrank = e["name"].toString().endsWith ("big.log");
        EXPECT_EQ (e["status"].toString(), shrank ? "shrank" : "archived") << e["name"].toString();
        if (shrank)
        {
            EXPECT_EQ (static_cast<juce::int64> (e["expected"]), bigSize);
        }
        EXPECT_EQ (e["source"].isVoid(), e["name"].toString() == "system_info.txt") << e["name"].toString();
    }
    EXPECT_TRUE (entries->getLast()["name"].toString().endsWith ("Triagent.log")) << "the tool's log comes last";

    const auto reasonOf = [&] (const juce::File& file) {
        for (const auto& s : *manifest["skipped"].getArray())
            if (s["source"].toString() == file.getFullPathName())
                return s["reason"].toString();
        return juce::String ("<not skipped>");
    };
    // Wine shows a Linux link to a file as a plain file: its real place gives it away.
    EXPECT_TRUE (reasonOf (logs.getChildFile ("link.log")) == "link" || reasonOf (logs.getChildFile ("link.log")) == "outside the folder")
        << reasonOf (logs.getChildFile ("link.log"));
    if (fifo)
    {
        EXPECT_EQ (reasonOf (logs.getChildFile ("pipe.log")), "special file");
    }
    EXPECT_TRUE (manifest["missing"].getArray()->contains (util::getCrashReportFolder().getFullPathName()));

    const auto* commands = manifest["commands"].getArray();
    ASSERT_EQ (commands->size(), 3);
    for (const auto& c : *commands)
    {
        EXPECT_TRUE (c["exitCode"].isInt() || c["exitCode"].isVoid()) << c["command"].toString();
        EXPECT_GE (static_cast<double> (c["seconds"]), 0.0);
        EXPECT_TRUE (c["timedOut"].isBool());
        EXPECT_TRUE (c["outputBytes"].isInt() || c["outputBytes"].isInt64());
        EXPECT_TRUE (c["decoding"].isString());
    }
    EXPECT_EQ (static_cast<int> ((*commands)[0]["exitCode"]), 0) << (*commands)[0]["command"].toString();

    // The switches went on, and the reproduction window lies between the start and the zip.
    const auto time = [] (const juce::var& v) { return juce::Time::fromISO8601 (v.toString()); };
    for (const auto& s : *manifest["switches"].getArray())
    {
        EXPECT_TRUE (static_cast<bool> (s["on"])) << s["name"].toString();
        EXPECT_GE (time (s["at"]).toMilliseconds(), started.toMilliseconds() - 1000) << s["name"].toString();
    }
    const auto from = time (manifest["reproduced"]["from"]), to = time (manifest["reproduced"]["to"]);
    EXPECT_LE (started.toMilliseconds() - 1000, from.toMilliseconds());
    EXPECT_LE (from.toMilliseconds(), to.toMilliseconds());
    EXPECT_LE (to.toMilliseconds(), zipCreated.toMilliseconds() + 1000);

    // The summary for the user.
    EXPECT_TRUE (lines().joinIntoString ("\n").contains (fifo ? "compressed); 2 left out" : "compressed); 1 left out"))
        << lines().joinIntoString ("\n");
}
