// The elevated tool and what the user's other programs can change: programs
// planted on a search path, links in the walked folders, and stop requests
// during the long steps.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "TestSupport.h"
#include "Util/Platform.h"
#include "Util/UtilWindows.h"

using testing_support::pumpUntil;
using testing_support::touch;
using testing_support::writeScript;

namespace
{
// Runs the body on a juce::Thread of its own, as the collector's worker does.
struct Worker : juce::Thread
{
    explicit Worker (std::function<void()> f) : juce::Thread ("worker"), body (std::move (f)) {}
    ~Worker() override { stopThread (5000); }
    void run() override
    {
        body();
        finished = true;
    }
    std::function<void()> body;
    std::atomic<bool> finished { false };
};

std::vector<std::string> sorted (std::vector<std::string> lines)
{
    std::sort (lines.begin(), lines.end());
    return lines;
}
} // namespace

TEST (SystemReport, CommandsRunByFullPathAndPlantedProgramsNeverRun)
{
    const auto commands = util::platform::systemInfoCommands();
    ASSERT_EQ (commands.size(), 3u);
    const char* headers[] = { "uname -a", "lspci -nn", "cat /etc/machine-id" };
    for (size_t i = 0; i < commands.size(); ++i)
    {
        EXPECT_EQ (commands[i].header, headers[i]);
        EXPECT_EQ (commands[i].commandLine, "/usr/bin/" + juce::String (headers[i]));
    }

    // Fakes that leave a mark, first on the search path and in the current folder.
    const auto planted = testing_support::sandbox().getChildFile ("Downloads");
    const auto mark = planted.getChildFile ("planted-program-ran");
    for (const auto* name : { "uname", "lspci", "cat" })
        writeScript (planted.getChildFile (name), "touch '" + mark.getFullPathName() + "'; echo planted");
    const testing_support::ScopedEnvironment path ("PATH", planted.getFullPathName() + ":" + juce::String (std::getenv ("PATH")));
    const auto previousFolder = juce::File::getCurrentWorkingDirectory();
    ASSERT_TRUE (planted.setAsCurrentWorkingDirectory());

    ASSERT_TRUE (util::getMakerDocFolder().createDirectory().wasOk());
    const auto report = util::collectSystemInfo();
    previousFolder.setAsCurrentWorkingDirectory();

    ASSERT_TRUE (report.has_value());
    const auto text = report->loadFileAsString();
    EXPECT_FALSE (mark.exists());
    EXPECT_FALSE (text.contains ("planted"));
    EXPECT_TRUE (text.startsWith ("=== uname -a ===\r\nLinux ")) << text;
}

TEST (SystemReport, VideoControllerFromWmicOrElsePowerShell)
{
    struct Case
    {
        const char* folder;
        bool withWmic;
        const char* expected; // {} is the system folder
    };
    const Case cases[] = {
        { "System32", true, "{}/wbem/WMIC.exe path Win32_VideoController" },
        { "System32", false,
          "{}/WindowsPowerShell/v1.0/powershell.exe -NoProfile -NonInteractive -Command "
          "\"Get-CimInstance Win32_VideoController | Format-List *\"" },
        { "Sys tem32", true, "\"{}/wbem/WMIC.exe\" path Win32_VideoController" },
    };
    for (const auto& c : cases)
    {
        const auto system = testing_support::sandbox().getChildFile (juce::String (c.folder) + (c.withWmic ? "-wmic" : ""));
        ASSERT_TRUE (system.createDirectory().wasOk());
        if (c.withWmic)
            touch (system.getChildFile ("wbem/WMIC.exe"));
        EXPECT_EQ (util::videoControllerCommand (system), juce::String (c.expected).replace ("{}", system.getFullPathName()))
            << c.folder << (c.withWmic ? " with WMIC" : " without WMIC");
    }
}

TEST (SystemReport, StopRequestEndsTheReportAndStartsNoFurtherCommand)
{
    const auto dir = testing_support::sandbox();
    const auto pidFile = dir.getChildFile ("slow.pid");
    const auto mark = dir.getChildFile ("second-ran");
    const auto slow = writeScript (dir.getChildFile ("slow.sh"), "echo $$ > '" + pidFile.getFullPathName() + "'; exec sleep 300");
    const auto second = writeScript (dir.getChildFile ("second.sh"), "touch '" + mark.getFullPathName() + "'");

    std::optional<juce::String> report = juce::String ("not set");
    Worker worker ([&] { report = util::buildSystemInfo ({ slow.getFullPathName(), second.getFullPathName() }); });
    worker.startThread();
    ASSERT_TRUE (pumpUntil ([&] { return pidFile.loadFileAsString().trim().isNotEmpty(); }, 10000));

    const auto start = juce::Time::getMillisecondCounterHiRes();
    worker.signalThreadShouldExit();
    ASSERT_TRUE (pumpUntil ([&] { return worker.finished.load(); }, 5000));
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 1000.0);
    EXPECT_FALSE (report.has_value());
    EXPECT_FALSE (mark.exists());
    EXPECT_TRUE (pumpUntil ([&] { return ! testing_support::processAlive (pidFile.loadFileAsString()); }, 2000));
}

TEST (Gathering, LinksAreNeverFollowedOutOfTheWalkedFolder)
{
    testing_support::ScopedCapture capture;
    const auto logs = util::getProductLogFolder();
    touch (logs.getChildFile ("a.log"));
    const auto outside = testing_support::sandbox().getChildFile ("other-user");
    touch (outside.getChildFile ("secret.txt"), "secret");

    struct Link
    {
        const char* name;
        juce::File target;
        bool handedOver;
    };
    const Link links[] = {
        { "loop", logs.getParentDirectory(), false },                  // a parent folder: would repeat everything
        { "self", logs, false },                                        // the folder itself
        { "elsewhere", outside, false },                                // another folder
        { "outside.log", outside.getChildFile ("secret.txt"), false }, // a file outside
        { "inside.log", logs.getChildFile ("a.log"), false },           // even a file inside: no link is followed
        { "dangling.log", logs.getChildFile ("gone.log"), false },      // leads nowhere
    };
    for (const auto& link : links)
        ASSERT_TRUE (link.target.createSymbolicLink (logs.getChildFile (link.name), true)) << link.name;
    // The crash folder is walked once per wildcard; its link is still reported once.
    const auto dumpLink = util::getCrashReportFolder().getChildFile ("VORN X.exe.1.dmp");
    ASSERT_TRUE (util::getCrashReportFolder().createDirectory().wasOk());
    ASSERT_TRUE (outside.getChildFile ("secret.txt").createSymbolicLink (dumpLink, true));

    std::vector<juce::String> names;
    ASSERT_TRUE (util::gatherLogFiles ([&] (const juce::File&, const juce::String& name) { names.push_back (name); }));
    std::sort (names.begin(), names.end());
    EXPECT_EQ (names, (std::vector<juce::String> { ".config-Lumacore-VORN_X/a.log" }));

    std::vector<std::string> expected;
    for (const auto& link : links)
        if (! link.handedOver)
            expected.push_back ("Skipped a link: " + logs.getChildFile (link.name).getFullPathName().toStdString());
    expected.push_back ("Skipped a link: " + dumpLink.getFullPathName().toStdString());
    std::vector<std::string> skipped;
    for (const auto& message : capture.sink->messages())
        if (message.starts_with ("Skipped a link: "))
            skipped.push_back (message);
    EXPECT_EQ (sorted (skipped), sorted (expected)); // each once
}

TEST (Gathering, StopRequestEndsTheWalkOfAHugeFolder)
{
    const auto logs = util::getProductLogFolder();
    ASSERT_TRUE (logs.createDirectory().wasOk());
    constexpr int kFiles = 100000;
    for (int i = 0; i < kFiles; ++i)
        ASSERT_TRUE (logs.getChildFile ("f" + juce::String (i)).create().wasOk());

    std::atomic<int> handed { 0 };
    std::optional<bool> result;
    Worker worker ([&] {
        result = util::gatherLogFiles ([&] (const juce::File&, const juce::String&) {
            // The request arrives mid-walk, as when the window closes.
            if (++handed == 1000)
                juce::Thread::getCurrentThread()->signalThreadShouldExit();
        });
    });
    worker.startThread();
    ASSERT_TRUE (pumpUntil ([&] { return worker.finished.load(); }, 60000));
    ASSERT_TRUE (result.has_value());
    EXPECT_FALSE (*result);
    EXPECT_LT (handed.load(), 1100);
}

// What the user sets in the tool's environment never reaches a child: each
// gets a fixed search path and locale.
TEST (ChildEnvironment, IsBuiltByTheToolNotInherited)
{
    const testing_support::ScopedEnvironment profiler ("COR_ENABLE_PROFILING", "1");
    const testing_support::ScopedEnvironment modules ("PSModulePath", "/planted/modules");
    const testing_support::ScopedEnvironment own ("TRIAGENT_PLANTED", "yes");
    const auto fake = testing_support::installFakeDebugView();
    util::platform::isolateChildEnvironment();
    ASSERT_EQ (util::enableLogging().size(), 1u);
    const juce::File recorded (fake.getFullPathName() + ".env");
    ASSERT_TRUE (pumpUntil ([&] { return recorded.loadFileAsString().contains ("LC_ALL="); }));
    util::stopDebugView();

    auto lines = juce::StringArray::fromLines (recorded.loadFileAsString());
    lines.removeEmptyStrings();
    lines.removeString ("PWD=" + juce::File::getCurrentWorkingDirectory().getFullPathName()); // the shell's own
    lines.removeString ("SHLVL=0");
    lines.removeString ("SHLVL=1");
    lines.sort (false);
    EXPECT_EQ (lines, (juce::StringArray { "LANG=C.UTF-8", "LC_ALL=C.UTF-8", "PATH=/usr/bin:/bin" })) << lines.joinIntoString ("\n");
}
