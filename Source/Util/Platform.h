#pragma once

// The platform layer: the only place that knows which operating system it runs
// on. UtilWindows.cpp implements it with Win32; UtilPosix.cpp for other systems.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <juce_core/juce_core.h>

namespace util::platform
{
// Base of the local (non-roaming) application data.
juce::File localAppDataFolder();

// Where the DebugView program is looked for.
juce::File debugViewExecutable();

// A path the C++ library opens as the real file, whatever characters it has.
std::filesystem::path toNativePath (const juce::File& file);

// The short (8.3) form of an existing file's full path, if the system has one.
std::optional<juce::String> shortPath (const juce::File& file);

// Writes the crash-dump key; removes it again (and a parent key it made).
bool enableCrashDump (const juce::String& dumpFolder);
bool disableCrashDump();

// The three command lines whose output makes up the system report.
std::vector<juce::String> systemInfoCommands();

// 8-bit output that is not UTF-8 (the console code page on Windows).
juce::String decodeLegacy8Bit (const char* data, size_t size);

// Starts a child with its standard output and error in one pipe, no shell, no
// console window. The command line's quotation marks group arguments; the
// child receives them without the marks. False when the program cannot start.
bool startChild (juce::ChildProcess& child, const juce::String& commandLine);

// The largest piece to ask juce::ChildProcess::readProcessOutput for at once.
// Where that read blocks until the piece is full, small pieces let output that
// has arrived be counted at once.
int pipeReadChunkSize();

} // namespace util::platform
