#pragma once

#include <functional>
#include <string>
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

// The process exists and is not a zombie (Linux /proc).
bool processAlive (const juce::String& pid);

// Writes an executable shell script.
juce::File writeScript (const juce::File& file, const juce::String& body);

// A stand-in for DebugView where the tool looks for it (a shell script):
// appends its arguments (one per line, then a blank line) to "<path>.args" and
// its pid to "<path>.pids", writes "captured" into the file after "/l", and
// runs until killed.
juce::File installFakeDebugView();

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

// Installs a capture sink as the only global sink for the life of the object.
struct ScopedCapture
{
    ScopedCapture();
    ~ScopedCapture();
    std::shared_ptr<CaptureSink> sink;
};

} // namespace testing_support
