#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include "TestSupport.h"
#include "Util/Process.h"

using testing_support::pumpUntil;
using testing_support::writeScript;
using Clock = std::chrono::steady_clock;

namespace
{
juce::File scratch (const juce::String& name)
{
    return testing_support::sandbox().getChildFile (name);
}

bool processAlive (int pid)
{
    return testing_support::processAlive (juce::String (pid));
}

int waitForPid (const juce::File& pidFile)
{
    EXPECT_TRUE (pumpUntil ([&] { return pidFile.loadFileAsString().trim().isNotEmpty(); }, 5000));
    return pidFile.loadFileAsString().trim().getIntValue();
}

double secondsSince (Clock::time_point start)
{
    return std::chrono::duration<double> (Clock::now() - start).count();
}
} // namespace

TEST (RunCommand, ReturnsWhatTheChildPrinted)
{
    struct Case
    {
        const char* name;
        const char* script;
        std::optional<juce::String> expected;
    };
    const Case cases[] = {
        { "lines", "printf 'hello\\nworld\\n'; printf 'and stderr\\n' >&2", juce::String ("hello\nworld\nand stderr\n") },
        { "zero byte", "printf 'ab\\000cd'", juce::String ("ab") },
        { "nothing", "exit 3", juce::String() },
        { "utf-8", "printf 'Gr\\303\\274\\303\\237e'", juce::String (juce::CharPointer_UTF8 ("Gr\xc3\xbc\xc3\x9f" "e")) },
    };
    for (const auto& c : cases)
    {
        const auto script = writeScript (scratch (juce::String (c.name).replace (" ", "_") + ".sh"), c.script);
        const auto output = process::runCommand (script.getFullPathName());
        EXPECT_EQ (output, c.expected) << c.name;
    }

    // How one ran: its exit code, run time, bytes and decoding.
    const auto script = writeScript (scratch ("report.sh"), "printf 'Gr\\303\\274\\303\\237e'; exit 3");
    process::CommandReport report;
    ASSERT_TRUE (process::runCommand (script.getFullPathName(), process::kDefaultCommandTimeoutMs, &report).has_value());
    EXPECT_EQ (report.exitCode, std::optional<int> (3));
    EXPECT_FALSE (report.timedOut);
    EXPECT_EQ (report.outputBytes, 7u);
    EXPECT_EQ (report.decoding, "utf-8");
    EXPECT_GE (report.seconds, 0.0);
}

TEST (RunCommand, ProgramThatCannotStartGivesNothing)
{
    // The manifest's account of it: no exit code, not stopped, no output.
    process::CommandReport report;
    report.exitCode = 0;
    report.decoding = "utf-8";
    EXPECT_FALSE (process::runCommand ("/no/such/program --flag", process::kDefaultCommandTimeoutMs, &report).has_value());
    EXPECT_FALSE (report.exitCode.has_value());
    EXPECT_FALSE (report.timedOut);
    EXPECT_EQ (report.outputBytes, 0u);
    EXPECT_EQ (report.decoding, "none");

    EXPECT_FALSE (process::runCommand ("no-such-program-anywhere --flag").has_value());
    EXPECT_FALSE (process::runCommand (scratch ("missing/prog").getFullPathName()).has_value());
    const auto notExecutable = scratch ("plain.txt");
    notExecutable.replaceWithText ("echo hi");
    EXPECT_FALSE (process::runCommand (notExecutable.getFullPathName()).has_value());
}

TEST (RunCommand, KeepsTheFirst65536BytesOfLongOutputWithoutHanging)
{
    const auto script = writeScript (scratch ("long.sh"), "head -c 200000 /dev/zero | tr '\\000' 'x'");
    const auto start = Clock::now();
    process::CommandReport report;
    const auto output = process::runCommand (script.getFullPathName(), process::kDefaultCommandTimeoutMs, &report);
    ASSERT_TRUE (output.has_value());
    EXPECT_EQ (output->length(), 65536);
    EXPECT_TRUE (output->containsOnly ("x"));
    EXPECT_LT (secondsSince (start), 5.0);
    // Cut at the cap: stopped, so no exit code, but not by the time bound.
    EXPECT_EQ (report.outputBytes, 65536u);
    EXPECT_FALSE (report.exitCode.has_value());
    EXPECT_FALSE (report.timedOut);
}

TEST (RunCommand, ChildThatHangsIsKilledWhenTheBoundRunsOut)
{
    const auto pidFile = scratch ("hang.pid");
    const auto script = writeScript (scratch ("hang.sh"),
                                     "echo $$ > '" + pidFile.getFullPathName() + "'; echo started; exec sleep 300");
    testing_support::ScopedCapture capture;
    const auto start = Clock::now();
    process::CommandReport report;
    const auto output = process::runCommand (script.getFullPathName(), 1500, &report);
    const auto elapsed = secondsSince (start);
    // What the zip's manifest says of it: stopped, no exit code.
    EXPECT_TRUE (report.timedOut);
    EXPECT_FALSE (report.exitCode.has_value());
    EXPECT_GE (report.seconds, 1.4);
    EXPECT_EQ (report.outputBytes, 8u);

    EXPECT_EQ (output, juce::String ("started\n"));
    // A support engineer reading the log knows that the section is partial.
    EXPECT_EQ (capture.sink->messages(), std::vector<std::string> { "Stopped after 1 s: " + script.getFullPathName().toStdString() });
    EXPECT_GE (elapsed, 1.4);
    EXPECT_LT (elapsed, 5.0);
    EXPECT_FALSE (processAlive (pidFile.loadFileAsString().trim().getIntValue()));
}

TEST (RunCommand, GrandchildHoldingThePipeDoesNotHoldTheCaller)
{
    const auto script = writeScript (scratch ("daemon.sh"), "sleep 300 & echo parent done");
    const auto start = Clock::now();
    const auto output = process::runCommand (script.getFullPathName(), 1000);
    EXPECT_LT (secondsSince (start), 6.0);
    ASSERT_TRUE (output.has_value());
    EXPECT_TRUE (output->startsWith ("parent done")) << *output;
}

TEST (RunCommand, StopRequestOfTheCallingThreadEndsTheWait)
{
    const auto pidFile = scratch ("stop.pid");
    const auto script = writeScript (scratch ("stop.sh"),
                                     "echo $$ > '" + pidFile.getFullPathName() + "'; printf partial; exec sleep 300");
    testing_support::ScopedCapture capture;
    std::optional<juce::String> output;
    std::atomic<bool> finished { false };
    struct Caller : juce::Thread
    {
        Caller (std::function<void()> f) : juce::Thread ("caller"), body (std::move (f)) {}
        void run() override { body(); }
        std::function<void()> body;
    } caller ([&] {
        output = process::runCommand (script.getFullPathName());
        finished = true;
    });
    caller.startThread();
    const auto pid = waitForPid (pidFile);

    const auto start = Clock::now();
    caller.signalThreadShouldExit();
    EXPECT_TRUE (pumpUntil ([&] { return finished.load(); }, 3000));
    EXPECT_LT (secondsSince (start), 3.0);
    caller.stopThread (1000);
    EXPECT_EQ (output, juce::String ("partial"));
    EXPECT_FALSE (processAlive (pid));
    EXPECT_TRUE (capture.sink->messages().empty()); // a stop request is no time-out
}

TEST (DecodeOutput, ChoosesTheEncodingFromTheBytes)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        juce::String expected;
    };
    const Case cases[] = {
        { "utf-16le with mark", std::string ("\xff\xfe" "A\0\xe9\0" "\r\0\n\0", 10), juce::String (juce::CharPointer_UTF8 ("A\xc3\xa9\r\n")) },
        { "utf-16le ends at a zero unit", std::string ("\xff\xfe" "A\0\0\0B\0", 8), "A" },
        { "utf-8", "caf\xc3\xa9", juce::String (juce::CharPointer_UTF8 ("caf\xc3\xa9")) },
        { "utf-8 with mark", "\xef\xbb\xbfok", "ok" },
        { "8-bit ends at a zero byte", std::string ("ab\0cd", 5), "ab" },
        { "not utf-8: the platform's code page", "caf\xe9", juce::String (juce::CharPointer_UTF8 ("caf\xc3\xa9")) },
        { "empty", "", "" },
        { "utf-16le without a mark", std::string ("E\0r\0r\0:\0 \0\xe9\0", 12), juce::String (juce::CharPointer_UTF8 ("Err: \xc3\xa9")) },
        { "utf-8 cut inside its last character", "Gr\xc3\xbc\xc3", juce::String (juce::CharPointer_UTF8 ("Gr\xc3\xbc")) },
        { "utf-8 cut inside a three-byte character", "\xc3\xa9t\xc3\xa9 \xe2\x82", juce::String (juce::CharPointer_UTF8 ("\xc3\xa9t\xc3\xa9 ")) },
        { "8-bit text ending in a letter that could lead utf-8", "fran\xe7", juce::String (juce::CharPointer_UTF8 ("fran\xc3\xa7")) },
        { "8-bit error text, then utf-16 with its mark", std::string ("bad\r\n\xff\xfeo\0k\0", 11), "bad\r\nok" },
        { "utf-8 error text, then utf-16 without a mark", std::string ("f\xc3\xbcr WMIC\nN\0a\0m\0e\0", 18),
          juce::String (juce::CharPointer_UTF8 ("f\xc3\xbcr WMIC\nName")) },
    };
    for (const auto& c : cases)
        EXPECT_EQ (process::decodeOutput (c.bytes.data(), c.bytes.size()), c.expected) << c.name;
}

TEST (BackgroundThread, NamedAfterTheWholeCommandLine)
{
    process::BackgroundThread runner ("/opt/tool/Dbgview /l /tmp/out.txt /t");
    EXPECT_EQ (runner.getThreadName(), "BackgroundThread: /opt/tool/Dbgview /l /tmp/out.txt /t");
}

TEST (BackgroundThread, KillsItsChildSoonAfterTheStopRequest)
{
    const auto pidFile = scratch ("bg.pid");
    const auto script = writeScript (scratch ("bg.sh"), "echo $$ > '" + pidFile.getFullPathName() + "'; exec sleep 300");
    process::BackgroundThread runner (script.getFullPathName());
    runner.startThread();
    const auto pid = waitForPid (pidFile);
    ASSERT_TRUE (processAlive (pid));

    const auto start = Clock::now();
    EXPECT_TRUE (runner.stopThread (2000));
    EXPECT_LT (secondsSince (start), 0.5);
    EXPECT_TRUE (pumpUntil ([&] { return ! processAlive (pid); }, 1000));
}

TEST (BackgroundThread, MissingProgramLogsTheCommandLineAndEnds)
{
    testing_support::ScopedCapture capture;
    const auto command = scratch ("nowhere/Dbgview").getFullPathName() + " /l out.txt /t";
    process::BackgroundThread runner (command);
    runner.startThread();
    EXPECT_TRUE (pumpUntil ([&] { return ! runner.isThreadRunning(); }, 3000)); // ends without a stop request
    EXPECT_EQ (capture.sink->messages(), std::vector<std::string> { "Failed to start process: " + command.toStdString() });
}
