#pragma once

// The product's folders and names, the diagnostic switches, and the gathering
// of the system report and of every file to archive.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <juce_core/juce_core.h>

#include "Util/Process.h"

namespace util
{
// Product identity.
inline constexpr const char* kMakerFolderName = "Lumacore";
inline constexpr const char* kProductFolderName = "VORN_X";
inline constexpr const char* kProductName = "VORN X";

// The folders of a user whose files the tool collects.
struct UserFolders
{
    juce::File documents, roamingAppData, localAppData, home;
};

// The user signed in on the desktop, with that user's folders.
struct DesktopUser
{
    juce::String name; // DOMAIN\name
    UserFolders folders;
};

// Whose folders the product locations come from: the desktop user's when that
// is another user than the tool's (elevation with another account), else the
// tool's own; with the line for the tool's log at start (empty for its own).
struct FolderChoice
{
    UserFolders folders;
    juce::String startLine;
};
FolderChoice chooseUserFolders (const UserFolders& own, const std::optional<DesktopUser>& desktopUser);

// Every product location of a user's folders, together.
struct ProductLocations
{
    juce::File docFolder, makerDocFolder, logFolder, settingFile, crashFolder, home;
};
ProductLocations productLocationsFor (const UserFolders& folders);

// The folders collected in this run, the start line, and the desktop user
// when another user than the tool's (looked up once).
UserFolders collectedUserFolders();
juce::String userFoldersStartLine();
const std::optional<DesktopUser>& desktopUserIfOther();

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
// Whether a DebugView capture was started (and not stopped since).
bool debugViewStarted();
bool isAscii (const juce::String& text);
std::optional<juce::String> getShortPath (const juce::File& file);

// A program path for a command line: quoted when it holds a space.
juce::String quoteIfSpaced (const juce::String& path);

// The DebugView command line for the two paths, each quoted when it holds a space.
juce::String buildDebugViewCommand (const juce::String& executable, const juce::String& outputFile);

// System report and gathering.
struct SystemCommand
{
    SystemCommand (const juce::String& line) : header (line), commandLine (line) {}
    SystemCommand (const juce::String& headerText, const juce::String& line) : header (headerText), commandLine (line) {}
    SystemCommand (const char* line) : SystemCommand (juce::String (line)) {}

    juce::String header;      // the section's title in the report
    juce::String commandLine; // what runs: the program by its full path
};

// What the gathering found and how the report's commands ran, for the zip's manifest.
struct CollectionReport
{
    struct Skipped
    {
        juce::File source;
        juce::String reason; // "link", "special file", "unreadable", "outside the folder"
    };
    struct Command
    {
        juce::String commandLine;
        process::CommandReport run; // exitCode empty: it did not start, or was stopped
    };
    std::vector<Skipped> skipped;     // found and left out by the walk
    std::vector<juce::File> missing;  // sources looked in that do not exist
    std::vector<Command> commands;    // in the report's order
};

// The report's commands go into the collection report, where one is given.
std::optional<juce::File> collectSystemInfo (CollectionReport* report = nullptr);
// The report's commands are the system's own; a test may put others in their place (empty: the system's again).
void replaceSystemInfoCommands (std::optional<std::vector<SystemCommand>> commands);
// The report's text: a section per command, headed by its header. Empty when
// the calling thread is asked to stop: the remaining commands are not started.
std::optional<juce::String> buildSystemInfo (const std::vector<SystemCommand>& commands, CollectionReport* report = nullptr);
// The video controller section's command: WMIC from the system folder, or,
// where WMIC is not installed (new Windows 11 systems), PowerShell's CIM query.
juce::String videoControllerCommand (const juce::File& systemFolder);
std::optional<juce::File> writeOutputFile (const juce::String& text, const juce::String& fileName);
// Hands every file to archive to the callback. No link to a folder is
// followed and no link to a file outside its walked folder is handed over;
// each skipped link is logged. False when the calling thread is asked to stop.
// What was skipped and what is missing goes into the report, where one is given.
bool gatherLogFiles (std::function<void (const juce::File&, const juce::String&)> callback, CollectionReport* report = nullptr);

// Archive name of a file below a walked folder: the folder's path relative to
// home with separators turned into hyphens, a separator, then the file's path
// relative to the folder.
juce::String archiveNameFor (const juce::File& home, const juce::File& folder, const juce::File& file);

} // namespace util
