#pragma once

// The platform layer: the only place that knows which operating system it runs
// on. PlatformWindows.cpp implements it with Win32; PlatformPosix.cpp for other systems.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include "Util/Journal.h"
#include "Util/UtilWindows.h"

namespace util::platform
{
// Base of the local (non-roaming) application data.
juce::File localAppDataFolder();

// The user signed in on the desktop where the tool runs, with that user's
// folders, when it is another user than the tool's own (an administrator's
// password elevated it); empty when it is the same user or the lookup fails
// in any way (then the tool uses its own folders).
std::optional<util::DesktopUser> otherDesktopUser();

// Shows the file selected in the file manager, for the desktop's user (who
// may not be the tool's own user).
void revealToUser (const juce::File& file);

// Where the DebugView program is looked for.
juce::File debugViewExecutable();

// A path the C++ library opens as the real file, whatever characters it has.
std::filesystem::path toNativePath (const juce::File& file);

// Where a path really leads, every link and junction on the way resolved;
// empty when it leads nowhere.
std::optional<juce::File> realPath (const juce::File& file);

// The short (8.3) form of an existing file's full path, if the system has one.
std::optional<juce::String> shortPath (const juce::File& file);

// The registry behind the crash-dump switch: Windows Error Reporting's keys
// on Windows; elsewhere there is none, and every operation succeeds and
// changes nothing.
util::CrashDumpRegistry& systemCrashDumpRegistry();

// Asks the system to refuse junctions and links that a non-administrator
// made, for every path this process opens (Windows' redirection trust). Call
// at start, before the first file is touched.
enum class RedirectionTrust
{
    enforced,
    refused,     // the system has the mitigation and did not apply it
    unavailable, // the system has no such mitigation
};
RedirectionTrust enforceRedirectionTrust();

// How a text file ends its lines here ("\r\n" on Windows).
const char* textLineEnd();

// The folder of the system's own programs (the system folder on Windows).
juce::File systemProgramFolder();

// The report's three commands, each started by its full path in the system's
// own folder: a program found by a search path could be one that the user's
// other programs planted beside the tool or in its current folder.
std::vector<util::SystemCommand> systemInfoCommands();

// From this call on, every child started ends when this process ends, however
// it ends (killed, crashed): a job object that kills its processes when its
// last handle closes on Windows, a parent-death signal elsewhere. False when
// the system refused.
bool tieChildrenToThisProcess();

// From this call on, every child starts with an environment that the tool
// builds, none of what the user set (profilers, module paths, ...): on
// Windows the tool's own environment is replaced by the system's variables
// (system folders, the tool's temporary folder, PowerShell's system module
// path), which its children inherit; elsewhere each child started through
// startChild gets a fixed PATH and locale.
void isolateChildEnvironment();

// The name of that code page for the zip's manifest ("oem" on Windows).
const char* legacy8BitName();

// 8-bit output that is not UTF-8 (the console code page on Windows).
juce::String decodeLegacy8Bit (const char* data, size_t size);

// Starts a child with its standard output and error in one pipe, no shell, no
// console window. The command line's quotation marks group arguments; the
// child receives them without the marks. False when the program cannot start.
bool startChild (juce::ChildProcess& child, const juce::String& commandLine);

// Where the system sends termination signals to a program (SIGINT, SIGTERM on
// POSIX), a timer on the message thread that turns them into the given quit;
// none where it does not (Windows sends a GUI program window messages instead).
std::unique_ptr<juce::Timer> quitOnTerminationSignals (std::function<void()> quit);

// The largest piece to ask juce::ChildProcess::readProcessOutput for at once.
// Where that read blocks until the piece is full, small pieces let output that
// has arrived be counted at once.
int pipeReadChunkSize();

} // namespace util::platform
