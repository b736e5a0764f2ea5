#pragma once

// For the Windows files of the platform layer only.

#include <string>

#include <juce_core/juce_core.h>

namespace util::platform
{
// The form that Win32's file calls take beyond MAX_PATH ("\\?\C:\..." and
// "\\?\UNC\server\..."); shorter paths as they are.
inline std::wstring win32Path (const juce::File& file)
{
    const auto path = file.getFullPathName();
    if (path.length() < 248 || path.startsWith ("\\\\?\\"))
        return path.toWideCharPointer();
    if (path.startsWith ("\\\\"))
        return std::wstring (L"\\\\?\\UNC\\") + path.substring (2).toWideCharPointer();
    return std::wstring (L"\\\\?\\") + path.toWideCharPointer();
}
} // namespace util::platform
