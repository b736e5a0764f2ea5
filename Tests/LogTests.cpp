#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include "Log/Log.h"
#include "TestSupport.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

LUMO_LOG_FILE_LOGGER

using lumo::log::Level;
using testing_support::CaptureSink;

namespace
{
std::string readAll (const juce::File& file)
{
    // Text mode: CR LF on Windows.
    return file.loadFileAsString().replace ("\r\n", "\n").toStdString();
}

struct PrefixCase
{
    int level;
    std::string name;
    const char* file;
    unsigned line;
    std::string expected;
};
} // namespace

TEST (LogPrefix, FormatsLevelNameAndLocation)
{
    const PrefixCase cases[] = {
        { 1, "Triagent", "Source/Util/Process", 22, "[INFO ]< Triagent  >{Process:22} " },
        { 0, "abcdef", "a.cpp", 1, "[DEBUG]<  abcdef   >{a.cpp:1} " },
        { 2, "abcdefg", "a.cpp", 2, "[WARN ]<  abcdefg  >{a.cpp:2} " },
        { 3, "abcdefgh", "a.cpp", 3, "[ERROR]< abcdefgh  >{a.cpp:3} " },
        { 1, "abcdefghijk", "a.cpp", 4, "[INFO ]<abcdefghijk>{a.cpp:4} " },
        { 7, "Triagent", "x", 5, "[UNKNOWN]< Triagent  >{x:5} " },
        { -1, "Triagent", "x", 5, "[UNKNOWN]< Triagent  >{x:5} " },
        { 1, "", "x", 6, "[INFO ]{x:6} " },
        { 1, "Triagent", "C:\\src\\a/b", 22, "[INFO ]< Triagent  >{b:22} " },
        { 1, "Triagent", "C:/src/a\\b.cpp", 22, "[INFO ]< Triagent  >{b.cpp:22} " },
        { 1, "Triagent", "dir/", 22, "[INFO ]< Triagent  >{:22} " },
        { 1, "Triagent", nullptr, 22, "[INFO ]< Triagent  >{unknown} " },
    };
    for (const auto& c : cases)
    {
        const auto* name = c.name.empty() ? &c.name : lumo::log::intern (c.name);
        EXPECT_EQ (lumo::log::formatPrefix (static_cast<Level> (c.level), name, c.file, c.line), c.expected)
            << "level " << c.level << " name '" << c.name << "'";
    }
}

TEST (LogPrefix, NullNameHasNoAngleBrackets)
{
    EXPECT_EQ (lumo::log::formatPrefix (Level::Info, nullptr, "f", 1), "[INFO ]{f:1} ");
}

TEST (LogCallSite, RecordCarriesTheCallersLocation)
{
    testing_support::ScopedCapture capture;
    const auto expectedLine = __LINE__ + 1;
    LUMO_LOG_INFO ("value {} and {{braces}}", 42);

    const auto lines = capture.sink->lines();
    ASSERT_EQ (lines.size(), 1u);
    EXPECT_EQ (lines[0], "[INFO ]< Triagent  >{LogTests.cpp:" + std::to_string (expectedLine) + "} value 42 and {braces}\n");
}

TEST (LogIntern, EqualNamesShareOnePointer)
{
    const auto* a = lumo::log::intern ("Triagent");
    const auto* b = lumo::log::intern (std::string ("Tria") + "gent");
    EXPECT_EQ (a, b);
    EXPECT_NE (a, lumo::log::intern ("Other"));
    EXPECT_EQ (*a, "Triagent");
}

TEST (LogInternDeathTest, NameLengthOutsideOneToElevenAborts)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    EXPECT_DEATH (lumo::log::intern (""), "");
    EXPECT_DEATH (lumo::log::intern ("twelve chars"), "");
}

TEST (LogDispatch, SkipsSinksAboveTheLevelAndMutedNames)
{
    auto all = std::make_shared<CaptureSink> (Level::Debug);
    auto warnings = std::make_shared<CaptureSink> (Level::Warn);
    auto muting = std::make_shared<CaptureSink> (Level::Debug);
    const auto* name = lumo::log::intern ("Triagent");
    muting->mutedNames.insert (name);
    const lumo::log::SinkList sinks { all, warnings, muting };

    for (const auto level : { Level::Debug, Level::Info, Level::Warn, Level::Error })
        lumo::log::dispatch (sinks, { level, name, std::source_location::current() },
                             std::string (lumo::log::levelName (level)));

    EXPECT_EQ (all->messages(), (std::vector<std::string> { "DEBUG", "INFO", "WARN", "ERROR" }));
    EXPECT_EQ (warnings->messages(), (std::vector<std::string> { "WARN", "ERROR" }));
    EXPECT_TRUE (muting->messages().empty());
}

TEST (LogSetup, InfoBeforeSetupGoesNowhere)
{
    std::ostringstream captured;
    auto* previous = std::cerr.rdbuf (captured.rdbuf());
    LUMO_LOG_INFO ("before setup");
    std::cerr.rdbuf (previous);

    EXPECT_EQ (captured.str(), "");
    EXPECT_FALSE (util::getProductLogFolder().getChildFile ("Triagent.log").exists());
}

TEST (LogSetup, ErrorBeforeSetupGoesToStandardError)
{
    std::ostringstream captured;
    auto* previous = std::cerr.rdbuf (captured.rdbuf());
    lumo::log::Context (logger(), std::source_location::current()).log (Level::Error, "early failure");
    std::cerr.rdbuf (previous);

    EXPECT_NE (captured.str().find ("[ERROR]< Triagent  >{LogTests.cpp:"), std::string::npos);
    EXPECT_NE (captured.str().find ("} early failure\n"), std::string::npos);
}

TEST (LogSetup, EachStartBeginsOneFreshLogWithItsBanner)
{
    const auto folder = util::getProductLogFolder();
    ASSERT_TRUE (folder.createDirectory().wasOk());
    const auto file = folder.getChildFile ("Triagent.log");
    file.replaceWithText ("previous run\n");

    lumo::log::setupLogging();
    LUMO_LOG_INFO ("first run");
    lumo::log::setupLogging(); // a restart
    LUMO_LOG_INFO ("second run");

    const auto text = readAll (file);
    const std::regex layout ("^\n================\nLog started: \\d{1,2} \\w{3} \\d{4} \\d{1,2}:\\d{2}:\\d{2}[ap]m\n"
                             "----------------\n\n\\[INFO \\]< Triagent  >\\{LogTests.cpp:\\d+\\} second run\n$");
    EXPECT_TRUE (std::regex_match (text, layout)) << text;
}

TEST (LogSetup, WithoutARealLogFolderThereIsNoLogAndOnlyALinkIsReported)
{
    // A missing folder is an ordinary state (the product never ran): no log,
    // nothing said. A folder that is a link is refused, and said on standard error.
    const auto folder = util::getProductLogFolder();
    const auto elsewhere = folder.getSiblingFile ("elsewhere");
    ASSERT_FALSE (folder.exists());
    const auto setupSays = [] {
        std::ostringstream captured;
        auto* previous = std::cerr.rdbuf (captured.rdbuf());
        lumo::log::setupLogging();
        LUMO_LOG_INFO ("nowhere to go");
        std::cerr.rdbuf (previous);
        return captured.str();
    };

    EXPECT_EQ (util::files::createNew (folder.getChildFile ("x")).refusal, util::files::Refusal::missing);
    EXPECT_EQ (setupSays(), "");
    EXPECT_FALSE (folder.exists());

    ASSERT_TRUE (elsewhere.createDirectory().wasOk());
    ASSERT_TRUE (testing_support::plantLink (elsewhere, folder));
    EXPECT_EQ (util::files::createNew (folder.getChildFile ("x")).refusal, util::files::Refusal::link);
    const auto said = setupSays();
    lumo::log::setSinks ({});
    EXPECT_NE (said.find ("Refused the log file, its folder is not a real folder: "), std::string::npos) << said;
    EXPECT_EQ (elsewhere.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0); // hidden ones included
    testing_support::removeTrees ({ folder, elsewhere });
}

TEST (LogFileSink, ManyThreadsWriteWholeLines)
{
    const auto file = testing_support::sandbox().getChildFile ("threads.log");
    file.deleteFile();
    auto created = util::files::createNew (file);
    ASSERT_TRUE (created);
    lumo::log::setSinks ({ std::make_shared<lumo::log::FileSink> (std::move (created.file), Level::Info) });

    constexpr int threads = 8, perThread = 300;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back ([t] {
            for (int i = 0; i < perThread; ++i)
                LUMO_LOG_INFO ("thread {} line {} {}", t, i, std::string (100, static_cast<char> ('a' + t)));
        });
    for (auto& w : workers)
        w.join();
    lumo::log::setSinks ({});

    std::ifstream in (file.getFullPathName().toStdString());
    const std::regex whole (R"(\[INFO \]< Triagent  >\{LogTests.cpp:\d+\} thread (\d) line (\d+) ([a-h])\3{99})");
    std::string line;
    int count = 0;
    std::vector<int> perThreadCount (threads, 0);
    while (std::getline (in, line))
    {
        std::smatch m;
        ASSERT_TRUE (std::regex_match (line, m, whole)) << line;
        ASSERT_EQ (m[3].str()[0], 'a' + std::stoi (m[1].str()));
        ++perThreadCount[static_cast<size_t> (std::stoi (m[1].str()))];
        ++count;
    }
    EXPECT_EQ (count, threads * perThread);
    for (const auto n : perThreadCount)
        EXPECT_EQ (n, perThread);
}
