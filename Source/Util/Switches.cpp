#include "Log/Log.h"
#include "Util/Journal.h"
#include "Util/Platform.h"
#include "Util/Process.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

LUMO_LOG_FILE_LOGGER

namespace util
{
namespace
{
// The one runner that keeps DebugView alive; touched only by the collector's thread.
std::optional<process::BackgroundThread> debugViewThread;

constexpr const char* kDebugConfigText = "\n{\n    \"DEBUG_LOG_ENABLE\": true\n}\n";

// DebugView opens its file by name: it must be an ordinary file of the
// temporary folder when DebugView starts. A missing one is created
// exclusively; one that fails the reading rules (a link, a file with several
// names) is removed itself, never what it leads to, and created anew.
bool prepareDebugViewOutput (const juce::File& file)
{
    if (files::classify (file) != files::Kind::missing)
    {
        const auto opened = files::openForReading (file, file.getParentDirectory());
        if (opened)
            return true;
        LUMO_LOG_INFO ("Replaced DebugView's output file, it was {}: {}", files::describe (opened.refusal), file.getFullPathName().toStdString());
        if (const auto removed = files::removeName (file); removed != files::Removal::removed && removed != files::Removal::missing)
            return false;
    }
    return files::createFolders (file.getParentDirectory()) && static_cast<bool> (files::createNew (file));
}

} // namespace

juce::String quoteIfSpaced (const juce::String& path)
{
    // A path with a space would split the arguments and let the elevated tool
    // start whatever program sits at the first space.
    return path.containsChar (' ') ? path.quoted() : path;
}

std::optional<juce::File> writeDebugConfig()
{
    const auto folder = getProductDocFolder();
    if (! files::createFolders (folder))
        return std::nullopt;

    const auto file = folder.getChildFile ("debug.json");
    journalTempFile (file); // before the product's debug log is on
    const auto written = files::replaceWithText (file, kDebugConfigText);
    if (! written)
        return std::nullopt;
    journalTempFile (file, written);
    return file;
}

juce::String buildDebugViewCommand (const juce::String& executable, const juce::String& outputFile)
{
    return quoteIfSpaced (executable) + " /l " + quoteIfSpaced (outputFile) + " /t";
}

std::vector<juce::File> enableLogging()
{
    std::vector<juce::File> created;
    const auto config = writeDebugConfig();
    if (! config)
        return created;
    created.push_back (*config);

    const auto outputFile = getDebugViewOutputFile();
    const auto executable = getDebugViewExecutable();
    if (! prepareDebugViewOutput (outputFile))
    {
        LUMO_LOG_INFO ("Cannot create DebugView's output file, DebugView is not started: {}", outputFile.getFullPathName().toStdString());
        return created;
    }

    juce::String command;
    if (isAscii (outputFile.getFullPathName()) && isAscii (executable.getFullPathName()))
    {
        LUMO_LOG_INFO ("Use Full path for debugview cmd execute");
        command = buildDebugViewCommand (executable.getFullPathName(), outputFile.getFullPathName());
    }
    else
    {
        const auto shortOutput = getShortPath (outputFile);
        const auto shortExecutable = getShortPath (executable);
        if (shortOutput && shortExecutable)
        {
            LUMO_LOG_INFO ("Use short path for debugview cmd execute");
            command = buildDebugViewCommand (*shortExecutable, *shortOutput);
        }
        else
        {
            LUMO_LOG_INFO ("Short path failed to get for debugview");
        }
    }

    if (command.isNotEmpty())
    {
        LUMO_LOG_INFO ("cmd: {}", command.toStdString());
        debugViewThread.reset(); // never two DebugViews: the old one is killed first
        debugViewThread.emplace (command);
        debugViewThread->startThread();
    }
    return created;
}

bool debugViewStarted()
{
    return debugViewThread.has_value();
}

void stopDebugView()
{
    if (! debugViewThread)
        return;
    debugViewThread->stopThread (-1); // its body stops within 100 ms; never killed
    debugViewThread.reset();
}

bool isAscii (const juce::String& text)
{
    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p > 127)
            return false;
    return true;
}

std::optional<juce::String> getShortPath (const juce::File& file)
{
    return platform::shortPath (file);
}

} // namespace util
