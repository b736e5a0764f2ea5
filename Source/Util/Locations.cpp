#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <fmt/format.h>

namespace util
{
namespace
{
UserFolders ownFolders()
{
    return { juce::File::getSpecialLocation (juce::File::userDocumentsDirectory),
             juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory), platform::localAppDataFolder(),
             juce::File::getSpecialLocation (juce::File::userHomeDirectory) };
}

// Fixed at static initialisation: later changes to the documents folder are not seen.
const juce::File productDocFolder = productLocationsFor (collectedUserFolders()).docFolder;
} // namespace

FolderChoice chooseUserFolders (const UserFolders& own, const std::optional<DesktopUser>& desktopUser)
{
    if (! desktopUser)
        return { own, {} };
    return { desktopUser->folders, "Collecting the files of " + desktopUser->name
                                       + ", the user signed in on the desktop (the tool runs as another user)" };
}

ProductLocations productLocationsFor (const UserFolders& folders)
{
    ProductLocations locations;
    locations.docFolder = folders.documents.getChildFile (kMakerFolderName).getChildFile (kProductFolderName);
    locations.makerDocFolder = locations.docFolder.getParentDirectory();
    locations.logFolder = folders.roamingAppData.getChildFile (kMakerFolderName).getChildFile (kProductFolderName);
    locations.settingFile = folders.roamingAppData.getChildFile (kMakerFolderName).getChildFile (juce::String (kProductName) + ".settings");
    locations.crashFolder = folders.localAppData.getChildFile ("CrashDumps");
    locations.home = folders.home;
    return locations;
}

UserFolders collectedUserFolders()
{
    return chooseUserFolders (ownFolders(), desktopUserIfOther()).folders;
}

juce::String userFoldersStartLine()
{
    return chooseUserFolders (ownFolders(), desktopUserIfOther()).startLine;
}

const std::optional<DesktopUser>& desktopUserIfOther()
{
    static const auto found = platform::otherDesktopUser(); // looked up once
    return found;
}

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
    return productLocationsFor (collectedUserFolders()).logFolder;
}

juce::File getProductSettingFile()
{
    return productLocationsFor (collectedUserFolders()).settingFile;
}

juce::File getCrashReportFolder()
{
    return productLocationsFor (collectedUserFolders()).crashFolder;
}

juce::File getDebugViewOutputFile()
{
    // The tool's own temporary folder, whoever's files are collected.
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
