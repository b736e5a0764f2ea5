#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <fmt/format.h>

namespace util
{
namespace
{
juce::File computeProductDocFolder()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile (kMakerFolderName)
        .getChildFile (kProductFolderName);
}

// Fixed at static initialisation: later changes to the documents folder are not seen.
const juce::File productDocFolder = computeProductDocFolder();
} // namespace

juce::File getProductDocFolder()
{
    return productDocFolder;
}

const juce::File& getMakerDocFolder()
{
    static const juce::File makerDocFolder = getProductDocFolder().getParentDirectory();
    return makerDocFolder;
}

juce::File getProductLogFolder()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile (kMakerFolderName)
        .getChildFile (kProductFolderName);
}

juce::File getProductSettingFile()
{
    const auto fileName = juce::String (kProductName) + ".settings";
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile (kMakerFolderName)
        .getChildFile (fileName);
}

juce::File getCrashReportFolder()
{
    return platform::localAppDataFolder().getChildFile ("CrashDumps");
}

juce::File getDebugViewOutputFile()
{
    return juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("DebugView.txt");
}

juce::File getDebugViewExecutable()
{
    return platform::debugViewExecutable();
}

std::string getLocalDumpsKeyPath()
{
    return fmt::format ("SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\{}.exe", kProductName);
}

} // namespace util
