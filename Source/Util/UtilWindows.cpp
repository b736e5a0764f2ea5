// The platform layer for Windows: shell folders, short paths, the registry
// switches of Windows Error Reporting, console code pages and child processes.

#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <windows.h>

#include <string>

namespace util::platform
{
namespace
{
// Set when enableCrashDump had to create the shared "LocalDumps" key, so that
// disableCrashDump does not leave local dumps on for every program.
bool createdLocalDumpsKey = false;

std::string parentKeyPath (const std::string& keyPath)
{
    return keyPath.substr (0, keyPath.find_last_of ('\\'));
}

bool keyExists (const std::string& keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA (HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey (key);
    return true;
}

bool keyIsEmpty (const std::string& keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA (HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    DWORD subKeys = 0, values = 0;
    const auto status = RegQueryInfoKeyA (key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                          nullptr, nullptr, nullptr, nullptr);
    RegCloseKey (key);
    return status == ERROR_SUCCESS && subKeys == 0 && values == 0;
}
} // namespace

juce::File localAppDataFolder()
{
    return juce::File::getSpecialLocation (juce::File::windowsLocalAppData);
}

juce::File debugViewExecutable()
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
        .getParentDirectory()
        .getChildFile ("Dbgview.exe");
}

std::filesystem::path toNativePath (const juce::File& file)
{
    // The wide form: a narrow path would be read in the ANSI code page.
    return std::filesystem::path (std::wstring (file.getFullPathName().toWideCharPointer()));
}

std::optional<juce::String> shortPath (const juce::File& file)
{
    wchar_t buffer[260] = {};
    const auto length = GetShortPathNameW (file.getFullPathName().toWideCharPointer(), buffer, 260);
    // 0 is a failure; a length of 260 or more means the buffer was too small and is unfilled.
    if (length == 0 || length >= 260)
        return std::nullopt;
    return juce::String (buffer, static_cast<size_t> (length));
}

bool enableCrashDump (const juce::String& dumpFolder)
{
    const auto keyPath = util::getLocalDumpsKeyPath();
    const auto parentExisted = keyExists (parentKeyPath (keyPath));

    HKEY key = nullptr;
    if (RegCreateKeyExA (HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                         nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    if (! parentExisted)
        createdLocalDumpsKey = true;

    // Stored wide so that a user folder with non-ASCII characters is the real path.
    const std::wstring folder (dumpFolder.toWideCharPointer());
    const DWORD dumpCount = 10;
    const DWORD dumpType = 2;

    bool ok = RegSetValueExW (key, L"DumpFolder", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*> (folder.c_str()),
                              static_cast<DWORD> ((folder.size() + 1) * sizeof (wchar_t)))
              == ERROR_SUCCESS;
    ok = ok
         && RegSetValueExA (key, "DumpCount", 0, REG_DWORD, reinterpret_cast<const BYTE*> (&dumpCount), sizeof (dumpCount))
                == ERROR_SUCCESS;
    ok = ok
         && RegSetValueExA (key, "DumpType", 0, REG_DWORD, reinterpret_cast<const BYTE*> (&dumpType), sizeof (dumpType))
                == ERROR_SUCCESS;
    const bool closed = RegCloseKey (key) == ERROR_SUCCESS;
    return ok && closed;
}

bool disableCrashDump()
{
    const auto keyPath = util::getLocalDumpsKeyPath();
    const bool deleted = RegDeleteKeyExA (HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;

    if (createdLocalDumpsKey)
    {
        const auto parent = parentKeyPath (keyPath);
        if (keyIsEmpty (parent))
            RegDeleteKeyExA (HKEY_LOCAL_MACHINE, parent.c_str(), KEY_WOW64_64KEY, 0);
        if (! keyExists (parent))
            createdLocalDumpsKey = false;
    }
    return deleted;
}

std::vector<juce::String> systemInfoCommands()
{
    return { "systeminfo",
             "WMIC path Win32_VideoController",
             "reg query \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\"" };
}

juce::String decodeLegacy8Bit (const char* data, size_t size)
{
    if (size == 0)
        return {};
    // Console programs write to a pipe in the OEM code page.
    const auto wideLength = MultiByteToWideChar (CP_OEMCP, 0, data, static_cast<int> (size), nullptr, 0);
    if (wideLength <= 0)
        return juce::String (data, size);
    std::wstring wide (static_cast<size_t> (wideLength), L'\0');
    MultiByteToWideChar (CP_OEMCP, 0, data, static_cast<int> (size), wide.data(), wideLength);
    return juce::String (wide.c_str());
}

bool startChild (juce::ChildProcess& child, const juce::String& commandLine)
{
    // CreateProcess parses the quotation marks itself.
    return child.start (commandLine);
}

int pipeReadChunkSize()
{
    // The read polls the pipe and returns when the child has ended.
    return 65536;
}

} // namespace util::platform
