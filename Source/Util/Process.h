#pragma once

#include <optional>

#include <juce_core/juce_core.h>

namespace process
{
// Keeps one child process alive until the thread is told to stop, then kills it.
class BackgroundThread : public juce::Thread
{
public:
    explicit BackgroundThread (const juce::String& commandLine);
    ~BackgroundThread() override;

    void run() override;

private:
    juce::String command;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BackgroundThread)
};

// How one command ran, for the zip's manifest.
struct CommandReport
{
    std::optional<int> exitCode; // empty: it did not start, or was stopped
    double seconds = 0;
    bool timedOut = false;
    size_t outputBytes = 0;
    juce::String decoding { "none" }; // how its output was read: "utf-8", "utf-16", "oem" (Windows) or "latin-1", joined by "+"
};

// How long runCommand lets a child run before it is killed.
inline constexpr int kDefaultCommandTimeoutMs = 60000;

// Runs one command to its end and returns what it printed (at most 65,536
// bytes, decoded). Empty only when the child cannot be started. The child is
// killed when the time-out runs out (noted in the diagnostic log) or when the
// calling juce::Thread is asked to stop; what was read until then is returned.
// How it ran goes into the report, where one is given.
std::optional<juce::String> runCommand (const juce::String& command, int timeoutMs = kDefaultCommandTimeoutMs,
                                        CommandReport* report = nullptr);

// Decodes captured output: UTF-16LE from its byte-order mark or from its first
// ASCII characters (a zero byte after each), 8-bit text before it as UTF-8 when
// valid (a sequence cut short by the buffer's end is dropped), otherwise in the
// platform's 8-bit code page. 8-bit text ends at its first zero byte.
// The decoding used goes into *decoding, where given.
juce::String decodeOutput (const char* data, size_t size, juce::String* decoding = nullptr);

} // namespace process
