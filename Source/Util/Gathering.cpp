#include "Log/Log.h"
#include "Util/Journal.h"
#include "Util/Platform.h"
#include "Util/Process.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

#include <set>

LUMO_LOG_FILE_LOGGER

namespace util
{
namespace
{
std::optional<std::vector<SystemCommand>> replacedCommands;

bool stopRequested()
{
    return juce::Thread::currentThreadShouldExit();
}

// Walks a folder without leaving it. Every entry is judged by where it really
// leads, not only by its link flag: some systems show a link to a file as a
// plain file. A folder is entered once, and only when it lies inside the walked
// folder; a file is handed over only when it does.
// False when the calling thread is asked to stop.
class FolderWalk
{
public:
    // Links already reported are not reported again (the crash folder is walked once per wildcard).
    FolderWalk (const juce::File& folder, const juce::String& fileWildcard, std::set<juce::String>& reportedLinks,
                std::function<void (const juce::File&)> onFile, CollectionReport* collectionReport)
        : root (folder), realRoot (platform::realPath (folder)), wildcard (fileWildcard), reported (reportedLinks),
          callback (std::move (onFile)), report (collectionReport)
    {
    }

    bool run()
    {
        if (realRoot)
            visited.insert (realRoot->getFullPathName());
        return walk (root);
    }

private:
    bool walk (const juce::File& folder)
    {
        if (! files::canList (folder))
        {
            skipped (folder, "Cannot read a folder: {}", "unreadable");
            return ! stopRequested();
        }
        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories))
        {
            if (stopRequested())
                return false;
            const auto& file = entry.getFile();
            // What the entry itself is, no link followed (on Windows a link is
            // a name-surrogate reparse point; cloud files are ordinary).
            const auto kind = files::classify (file);
            if (kind == files::Kind::link)
            {
                skipped (file);
                continue;
            }
            if (kind == files::Kind::special)
            {
                skipped (file, "Skipped a special file: {}", "special file");
                continue;
            }
            if (kind == files::Kind::missing)
                continue; // gone since it was listed
            const auto real = platform::realPath (file);
            const bool inside = real && realRoot && real->isAChildOf (*realRoot);

            if (kind == files::Kind::folder)
            {
                if (! inside || ! visited.insert (real->getFullPathName()).second)
                {
                    skipped (file);
                    continue;
                }
                if (! walk (file))
                    return false;
            }
            else if (! (inside && real->existsAsFile()))
            {
                // Some systems show a link to a file as a plain file.
                skipped (file, "Skipped a link: {}", real ? "outside the folder" : "link");
            }
            else if (file.getFileName().matchesWildcard (wildcard, true))
            {
                callback (file);
            }
        }
        return ! stopRequested();
    }

    void skipped (const juce::File& link, const char* message = "Skipped a link: {}", const char* reason = "link")
    {
        if (! reported.insert (link.getFullPathName()).second)
            return;
        LUMO_LOG_INFO (fmt::runtime (message), link.getFullPathName().toStdString());
        if (report != nullptr)
            report->skipped.push_back ({ link, reason });
    }

    juce::File root;
    std::optional<juce::File> realRoot;
    juce::String wildcard;
    std::set<juce::String>& reported;
    std::function<void (const juce::File&)> callback;
    CollectionReport* report;
    std::set<juce::String> visited; // real paths of the folders entered
};
} // namespace

std::optional<juce::File> writeOutputFile (const juce::String& text, const juce::String& fileName)
{
    // A fresh file renamed over the name: nothing half written is left, and a
    // planted link is replaced, never followed.
    const auto file = getMakerDocFolder().getChildFile (fileName);
    if (files::replaceWithText (file, text))
        return file;
    return std::nullopt;
}

std::optional<juce::String> buildSystemInfo (const std::vector<SystemCommand>& commands, CollectionReport* report)
{
    juce::String text;
    for (const auto& command : commands)
    {
        if (stopRequested())
            return std::nullopt;
        text << "=== " << command.header << " ===\n";
        process::CommandReport run;
        const auto output = process::runCommand (command.commandLine, process::kDefaultCommandTimeoutMs, &run);
        if (report != nullptr)
            report->commands.push_back ({ command.commandLine, run });
        text << (output ? *output : juce::String ("--- failed to execute ---")) << "\n";
    }
    if (stopRequested())
        return std::nullopt;
    return text;
}

juce::String videoControllerCommand (const juce::File& systemFolder)
{
    const auto wmic = systemFolder.getChildFile ("wbem").getChildFile ("WMIC.exe");
    if (wmic.existsAsFile())
        return quoteIfSpaced (wmic.getFullPathName()) + " path Win32_VideoController";

    const auto powerShell = systemFolder.getChildFile ("WindowsPowerShell").getChildFile ("v1.0").getChildFile ("powershell.exe");
    return quoteIfSpaced (powerShell.getFullPathName())
           + " -NoProfile -NonInteractive -Command \"Get-CimInstance Win32_VideoController | Format-List *\"";
}

void replaceSystemInfoCommands (std::optional<std::vector<SystemCommand>> commands)
{
    replacedCommands = std::move (commands);
}

std::optional<juce::File> collectSystemInfo (CollectionReport* report)
{
    const auto text = buildSystemInfo (replacedCommands ? *replacedCommands : platform::systemInfoCommands(), report);
    if (! text)
        return std::nullopt;
    const auto file = getMakerDocFolder().getChildFile ("system_info.txt");
    journalTempFile (file);
    const auto written = writeOutputFile (*text, "system_info.txt");
    if (written)
        journalTempFile (file, files::createdIdentity (file));
    return written;
}

namespace
{
// A path without its root, for a name inside the zip: no drive colon (which
// Explorer's zip folders refuse) and no network or long-path prefix.
// "D:\Docs\x" becomes "D\Docs\x", "\\server\share\x" becomes "server\share\x".
juce::String withoutRoot (juce::String path)
{
    if (path.startsWith ("\\\\?\\UNC\\"))
        path = path.substring (8);
    else if (path.startsWith ("\\\\?\\"))
        path = path.substring (4);
    if (path.length() >= 2 && path[1] == ':')
        path = path.substring (0, 1) + path.substring (2);
    while (path.startsWithChar ('\\') || path.startsWithChar ('/'))
        path = path.substring (1);
    return path;
}
} // namespace

juce::String archiveNameFor (const juce::File& home, const juce::File& folder, const juce::File& file)
{
    const auto separator = juce::File::getSeparatorString();
    auto relative = folder.getRelativePathFrom (home);
    if (juce::File::isAbsolutePath (relative)) // another drive or a network share: no path from home
        relative = withoutRoot (relative);
    return relative.replace (separator, "-") + separator + file.getRelativePathFrom (folder);
}

bool gatherLogFiles (std::function<void (const juce::File&, const juce::String&)> callback, CollectionReport* report)
{
    const auto missing = [report] (const juce::File& source, const char* message) {
        LUMO_LOG_INFO (fmt::runtime (message), source.getFullPathName().toStdString());
        if (report != nullptr)
            report->missing.push_back (source);
    };
    const auto home = collectedUserFolders().home; // the user whose files are collected
    std::set<juce::String> reportedLinks;

    const auto walkFolder = [&] (const juce::File& folder, const char* missingMessage)
    {
        if (! folder.exists())
        {
            missing (folder, missingMessage);
            return true;
        }
        return FolderWalk (folder, "*", reportedLinks, [&] (const juce::File& file) { callback (file, archiveNameFor (home, folder, file)); }, report)
            .run();
    };

    const auto handOverFile = [&] (const juce::File& file, const char* missingMessage)
    {
        // The archive writer judges the file itself under the reading rules.
        if (files::classify (file) != files::Kind::missing)
            callback (file, {});
        else
            missing (file, missingMessage);
    };

    if (! walkFolder (getProductLogFolder(), "Product log Folder not exist: {}")
        || ! walkFolder (getProductDocFolder(), "Product doc folder not exist: {}"))
        return false;
    handOverFile (getProductSettingFile(), "Product Setting Folder not exist: {}");
    handOverFile (getDebugViewOutputFile(), "DebugView Output File not exist: {}");

    const auto crashFolder = getCrashReportFolder();
    if (crashFolder.exists())
    {
        const auto prefix = crashFolder.getFileName() + juce::File::getSeparatorString();
        for (const auto& wildcard : { juce::String (kProductName) + "*", juce::String ("CefSubprocess*") })
        {
            const auto handOver = [&] (const juce::File& file) { callback (file, prefix + file.getRelativePathFrom (crashFolder)); };
            if (! FolderWalk (crashFolder, wildcard, reportedLinks, handOver, report).run())
                return false;
        }
    }
    else
    {
        missing (crashFolder, "Crash Report Folder not exist: {}");
    }
    return ! stopRequested();
}

} // namespace util
