#pragma once

// For the Windows files of the platform layer only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    if (length == 0 && GetLastError() == ERROR_MORE_DATA)
    {
        // Wine's GetFinalPathNameByHandleW stops at MAX_PATH: the name within
        // its volume, on the drive whose volume holds the handle.
        std::vector<std::uint8_t> info (sizeof (FILE_NAME_INFO) + 65536);
        DWORD serial = 0;
        if (! GetFileInformationByHandleEx (handle, FileNameInfo, info.data(), static_cast<DWORD> (info.size()))
            || ! GetVolumeInformationByHandleW (handle, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
            return std::nullopt;
        const auto* name = reinterpret_cast<const FILE_NAME_INFO*> (info.data());
        const std::wstring inVolume (name->FileName, name->FileNameLength / sizeof (wchar_t));
        const auto drives = GetLogicalDrives();
        for (wchar_t letter = L'A'; letter <= L'Z'; ++letter)
        {
            const wchar_t root[] = { letter, L':', L'\\', 0 };
            DWORD driveSerial = 0;
            if ((drives & (1u << (letter - L'A'))) != 0 && GetDriveTypeW (root) == DRIVE_FIXED
                && GetVolumeInformationW (root, nullptr, 0, &driveSerial, nullptr, nullptr, nullptr, 0) && driveSerial == serial)
                return juce::File (juce::String (std::wstring (root, 2).c_str()) + juce::String (inVolume.c_str()));
        }
        return std::nullopt;
    }
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
