#include "Log/Log.h"
#include "Util/Journal.h"
#include "Util/Platform.h"
#include "Util/Process.h"
#include "Util/UtilWindows.h"

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

juce::String quoteIfSpaced (const juce::String& path)
{
    return path.containsChar (' ') ? path.quoted() : path;
}

// Walks a folder without leaving it: links to folders are never followed, and a
// link to a file is handed over only when its target lies inside the folder.
// False when the calling thread is asked to stop.
class FolderWalk
{
public:
    FolderWalk (const juce::File& folder, const juce::String& fileWildcard,
                std::function<void (const juce::File&)> onFile)
        : root (folder), realRoot (platform::realPath (folder)), wildcard (fileWildcard), callback (std::move (onFile))
    {
    }

    bool run() { return walk (root); }

private:
    bool walk (const juce::File& folder)
    {
        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories))
        {
            if (stopRequested())
                return false;
            const auto& file = entry.getFile();
            if (file.isSymbolicLink() && ! linkStaysInside (file))
            {
                LUMO_LOG_INFO ("Skipped a link: {}", file.getFullPathName().toStdString());
                continue;
            }
            if (entry.isDirectory())
            {
                if (! walk (file))
                    return false;
            }
            else if (file.getFileName().matchesWildcard (wildcard, true))
            {
                callback (file);
            }
        }
        return ! stopRequested();
    }

    // A link to a file whose target lies inside the walked folder; never a link to a folder.
    bool linkStaysInside (const juce::File& link) const
    {
        const auto target = platform::realPath (link);
        return target && realRoot && target->existsAsFile() && target->isAChildOf (*realRoot);
    }

    juce::File root;
    std::optional<juce::File> realRoot;
    juce::String wildcard;
    std::function<void (const juce::File&)> callback;
};
} // namespace

std::optional<juce::File> writeOutputFile (const juce::String& text, const juce::String& fileName)
{
    const auto file = getMakerDocFolder().getChildFile (fileName);
    if (file.replaceWithText (text))
        return file;
    file.deleteFile();
    return std::nullopt;
}

std::optional<juce::String> buildSystemInfo (const std::vector<SystemCommand>& commands)
{
    juce::String text;
    for (const auto& command : commands)
    {
        if (stopRequested())
            return std::nullopt;
        text << "=== " << command.header << " ===\n";
        const auto output = process::runCommand (command.commandLine);
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

std::optional<juce::File> collectSystemInfo()
{
    const auto text = buildSystemInfo (replacedCommands ? *replacedCommands : platform::systemInfoCommands());
    if (! text)
        return std::nullopt;
    journalTempFile (getMakerDocFolder().getChildFile ("system_info.txt"));
    return writeOutputFile (*text, "system_info.txt");
}

juce::String archiveNameFor (const juce::File& home, const juce::File& folder, const juce::File& file)
{
    const auto separator = juce::File::getSeparatorString();
    const auto prefix = folder.getRelativePathFrom (home).replace (separator, "-") + separator;
    return prefix + file.getRelativePathFrom (folder);
}

bool gatherLogFiles (std::function<void (const juce::File&, const juce::String&)> callback)
{
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);

    const auto walkFolder = [&] (const juce::File& folder, const char* missingMessage)
    {
        if (! folder.exists())
        {
            LUMO_LOG_INFO (fmt::runtime (missingMessage), folder.getFullPathName().toStdString());
            return true;
        }
        return FolderWalk (folder, "*", [&] (const juce::File& file) { callback (file, archiveNameFor (home, folder, file)); }).run();
    };

    const auto handOverFile = [&] (const juce::File& file, const char* missingMessage)
    {
        if (file.existsAsFile())
            callback (file, {});
        else
            LUMO_LOG_INFO (fmt::runtime (missingMessage), file.getFullPathName().toStdString());
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
            if (! FolderWalk (crashFolder, wildcard, handOver).run())
                return false;
        }
    }
    else
    {
        LUMO_LOG_INFO ("Crash Report Folder not exist: {}", crashFolder.getFullPathName().toStdString());
    }
    return ! stopRequested();
}

} // namespace util
