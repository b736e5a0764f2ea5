#pragma once

// The product's folders and names, the diagnostic switches, and the gathering
// of the system report and of every file to archive.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <juce_core/juce_core.h>

namespace util
{
// Product identity.
inline constexpr const char* kMakerFolderName = "Lumacore";
inline constexpr const char* kProductFolderName = "VORN_X";
inline constexpr const char* kProductName = "VORN X";

// Locations. They only compute paths; nothing is created or checked.
juce::File getProductDocFolder();          // documents/Lumacore/VORN_X, fixed at start-up
const juce::File& getMakerDocFolder();     // parent of the product doc folder
juce::File getProductLogFolder();          // roaming app data/Lumacore/VORN_X
juce::File getProductSettingFile();        // roaming app data/Lumacore/VORN X.settings
juce::File getCrashReportFolder();         // local app data/CrashDumps
juce::File getDebugViewOutputFile();       // temp/DebugView.txt
juce::File getDebugViewExecutable();       // where the DebugView program is looked for
std::string getLocalDumpsKeyPath();        // the product's Windows Error Reporting key

// Switches.
std::vector<juce::File> enableLogging();
std::optional<juce::File> writeDebugConfig();
bool enableCrashDump();
bool disableCrashDump();
void stopDebugView();
bool isAscii (const juce::String& text);
std::optional<juce::String> getShortPath (const juce::File& file);

// The DebugView command line for the two paths, each quoted when it holds a space.
juce::String buildDebugViewCommand (const juce::String& executable, const juce::String& outputFile);

// System report and gathering.
std::optional<juce::File> collectSystemInfo();
// The report's text: a section per command, headed by its command line.
juce::String buildSystemInfo (const std::vector<juce::String>& commands);
std::optional<juce::File> writeOutputFile (const juce::String& text, const juce::String& fileName);
bool gatherLogFiles (std::function<void (const juce::File&, const juce::String&)> callback);

// Archive name of a file below a walked folder: the folder's path relative to
// home with separators turned into hyphens, a separator, then the file's path
// relative to the folder.
juce::String archiveNameFor (const juce::File& home, const juce::File& folder, const juce::File& file);

} // namespace util
