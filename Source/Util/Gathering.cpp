#include "Log/Log.h"
#include "Util/Platform.h"
#include "Util/Process.h"
#include "Util/UtilWindows.h"

LUMO_LOG_FILE_LOGGER

namespace util
{
std::optional<juce::File> writeOutputFile (const juce::String& text, const juce::String& fileName)
{
    const auto file = getMakerDocFolder().getChildFile (fileName);
    if (file.replaceWithText (text))
        return file;
    file.deleteFile();
    return std::nullopt;
}

juce::String buildSystemInfo (const std::vector<juce::String>& commands)
{
    juce::String text;
    for (const auto& command : commands)
    {
        text << "=== " << command << " ===\n";
        const auto output = process::runCommand (command);
        text << (output ? *output : juce::String ("--- failed to execute ---")) << "\n";
    }
    return text;
}

std::optional<juce::File> collectSystemInfo()
{
    return writeOutputFile (buildSystemInfo (platform::systemInfoCommands()), "system_info.txt");
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
            return;
        }
        for (const auto& file : folder.findChildFiles (juce::File::findFiles, true, "*"))
            callback (file, archiveNameFor (home, folder, file));
    };

    const auto handOverFile = [&] (const juce::File& file, const char* missingMessage)
    {
        if (file.existsAsFile())
            callback (file, {});
        else
            LUMO_LOG_INFO (fmt::runtime (missingMessage), file.getFullPathName().toStdString());
    };

    walkFolder (getProductLogFolder(), "Product log Folder not exist: {}");
    walkFolder (getProductDocFolder(), "Product doc folder not exist: {}");
    handOverFile (getProductSettingFile(), "Product Setting Folder not exist: {}");
    handOverFile (getDebugViewOutputFile(), "DebugView Output File not exist: {}");

    const auto crashFolder = getCrashReportFolder();
    if (crashFolder.exists())
    {
        const auto prefix = crashFolder.getFileName() + juce::File::getSeparatorString();
        for (const auto& wildcard : { juce::String (kProductName) + "*", juce::String ("CefSubprocess*") })
            for (const auto& file : crashFolder.findChildFiles (juce::File::findFiles, true, wildcard))
                callback (file, prefix + file.getRelativePathFrom (crashFolder));
    }
    else
    {
        LUMO_LOG_INFO ("Crash Report Folder not exist: {}", crashFolder.getFullPathName().toStdString());
    }
    return true;
}

} // namespace util
