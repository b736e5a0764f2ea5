#pragma once

// For the Windows files of the platform layer only.

#include <optional>
#include <string>

#include <windows.h>

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

// Where an open handle really is, every link and junction on the way
// resolved, in the ordinary form (no "\\?\" prefix).
inline std::optional<juce::File> finalPathOf (HANDLE handle)
{
    std::wstring buffer (32768, L'\0');
    const auto length = GetFinalPathNameByHandleW (handle, buffer.data(), static_cast<DWORD> (buffer.size()), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= buffer.size())
        return std::nullopt;
    buffer.resize (length);
    juce::String path (buffer.c_str());
    if (path.startsWith ("\\\\?\\UNC\\"))
        path = "\\\\" + path.substring (8);
    else if (path.startsWith ("\\\\?\\"))
        path = path.substring (4);
    return juce::File (path);
}
} // namespace util::platform
