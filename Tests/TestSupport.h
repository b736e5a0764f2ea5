#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include "Log/Log.h"

namespace testing_support
{
// The sandbox that the test launcher made for this process.
juce::File sandbox();

// Runs the message loop until the predicate holds or the time-out runs out.
bool pumpUntil (const std::function<bool()>& predicate, int timeoutMs = 5000);

// Writes the text into the file, creating its folder.
juce::File touch (const juce::File& file, const juce::String& text = "x");

// The process exists and has not ended (a zombie has ended).
bool processAlive (const juce::String& pid);

// Debian's own programs check what the tool wrote (unzip, Python). Under Wine
// they run as Linux processes: hostPath is a file's path as they see it, and
// runOnHost runs one (program path first) and returns its exit code and output.
juce::String hostPath (const juce::File& file);
std::pair<int, std::string> runOnHost (const juce::StringArray& arguments);

// How many files make a huge folder for the walk's stop test: 100,000 here;
// fewer under Wine, which creates files slowly (about 1 ms each).
int hugeFolderFileCount();

// The process's peak memory so far, in KiB.
long peakMemoryKiB();

// Writes an executable shell script.
juce::File writeScript (const juce::File& file, const juce::String& body);

// A stand-in for DebugView where the tool looks for it (a shell script here,
// the built Dbgview.exe on Windows): appends its arguments (one per line, then
// a blank line) to "<path>.args", its pid to "<path>.pids" and its
// environment (NAME=value lines) to "<path>.env", writes
// "captured" into the file after "/l", and runs until killed. Starts with no
// .args, .pids and .env files.
juce::File installFakeDebugView();

// What "another program of the user" plants. A symbolic link at linkPath to
// target (under Wine a Linux link inside the prefix, which Wine shows as a
// reparse point for a folder and as a plain file for a file); a second name
// for an existing file; a FIFO; a character device (/dev/null's). False where
// the system has no such thing (FIFOs and devices under Wine).
bool plantLink (const juce::File& target, const juce::File& linkPath);
bool plantHardLink (const juce::File& existing, const juce::File& secondName);
bool plantFifo (const juce::File& path);
bool plantDevice (const juce::File& path);

// Removes folders (or files) with everything below them, never following a link (under
// Wine, which shows a Linux link to a folder as a plain folder, from Linux).
void removeTrees (const juce::Array<juce::File>& folders);

// A sink that keeps every message it receives.
class CaptureSink : public lumo::log::Sink
{
public:
    explicit CaptureSink (lumo::log::Level minimumLevel = lumo::log::Level::Debug) : Sink (minimumLevel) {}
    void write (const lumo::log::Record* record, std::string_view message) override;
    std::vector<std::string> messages();
    std::vector<std::string> lines();
    bool contains (const std::string& message);

private:
    std::mutex lock;
    std::vector<std::string> received;
    std::vector<std::string> formatted;
};

// Installs a capture sink as the only global sink for the life of the object,
// then puts back the sinks it found.
struct ScopedCapture
{
    ScopedCapture();
    ~ScopedCapture();
    std::shared_ptr<CaptureSink> sink;

private:
    lumo::log::SinkList previous;
};

// Sets an environment variable for the life of the object, then puts back
// what was there (or nothing). Linux only: the locations follow it there.
struct ScopedEnvironment
{
    ScopedEnvironment (const char* variable, const juce::String& value);
    ~ScopedEnvironment();
    ScopedEnvironment (const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator= (const ScopedEnvironment&) = delete;

private:
    std::string name;
    std::optional<std::string> previous;
};

} // namespace testing_support
