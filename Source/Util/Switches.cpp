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
// The one runner that keeps DebugView alive; touched only by the collector's thread.
std::optional<process::BackgroundThread> debugViewThread;

constexpr const char* kDebugConfigText = "\n{\n    \"DEBUG_LOG_ENABLE\": true\n}\n";

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
    if (! folder.isDirectory() && ! folder.createDirectory().wasOk())
        return std::nullopt;

    const auto file = folder.getChildFile ("debug.json");
    journalTempFile (file); // before the product's debug log is on
    if (! file.replaceWithText (kDebugConfigText))
    {
        file.deleteFile();
        return std::nullopt;
    }
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
    if (! outputFile.existsAsFile())
        outputFile.create();

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

void stopDebugView()
{
    if (! debugViewThread)
        return;
    debugViewThread->stopThread (1000);
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
