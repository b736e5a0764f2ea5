// The file room on Windows: names are opened with FILE_FLAG_OPEN_REPARSE_POINT,
// judged on the handle (reparse tag, file type, link count, final path), and
// deleted or renamed through that same handle (SetFileInformationByHandle).

#include "Util/UserFiles.h"
#include "Util/WindowsPaths.h"

#include <windows.h>

#include <string>
#include <vector>

namespace util::files
{
namespace
{
struct Handle
{
    explicit Handle (HANDLE value = INVALID_HANDLE_VALUE) : h (value) {}
    ~Handle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle (h);
    }
    Handle (const Handle&) = delete;
    Handle& operator= (const Handle&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange (h, INVALID_HANDLE_VALUE); }
    HANDLE h;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What the tool writes may be read meanwhile, and replaced by name (the log
// of an earlier start in the same process is renamed over), never written by others.
constexpr DWORD kShareOwn = FILE_SHARE_READ | FILE_SHARE_DELETE;

using platform::win32Path;

HANDLE openHandle (const juce::File& file, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileW (win32Path (file).c_str(), access, share, nullptr, disposition, flags, nullptr);
}

bool isLinkTag (DWORD attributes, DWORD tag)
{
    static_assert (FILE_ATTRIBUTE_REPARSE_POINT == 0x400 && IsReparseTagNameSurrogate (0x20000000));
    return isLinkReparseTag (attributes, tag);
}

struct Facts
{
    DWORD attributes = 0, tag = 0, links = 0;
    Identity identity;
    std::uint64_t size = 0;
    juce::Time modified;
};

std::optional<Facts> factsOf (HANDLE h)
{
    FILE_ATTRIBUTE_TAG_INFO tagInfo {};
    BY_HANDLE_FILE_INFORMATION info {};
    if (! GetFileInformationByHandleEx (h, FileAttributeTagInfo, &tagInfo, sizeof (tagInfo)) || ! GetFileInformationByHandle (h, &info))
        return std::nullopt;
    Facts facts;
    facts.attributes = tagInfo.FileAttributes;
    facts.tag = (tagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? tagInfo.ReparseTag : 0;
    facts.links = info.nNumberOfLinks;
    facts.identity = { info.dwVolumeSerialNumber, (static_cast<std::uint64_t> (info.nFileIndexHigh) << 32) | info.nFileIndexLow };
    facts.size = (static_cast<std::uint64_t> (info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const auto ticks = (static_cast<std::int64_t> (info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    facts.modified = juce::Time ((ticks - 116444736000000000LL) / 10000);
    return facts;
}

OpenFile wrap (Handle& h, const Facts& facts)
{
    return OpenFile::fromNative (reinterpret_cast<std::intptr_t> (h.release()), facts.identity, facts.size, facts.modified);
}

bool dispose (HANDLE h)
{
    FILE_DISPOSITION_INFO info {};
    info.DeleteFile = TRUE;
    return SetFileInformationByHandle (h, FileDispositionInfo, &info, sizeof (info)) != 0;
}

bool renameHandle (HANDLE h, const juce::File& target, bool replace)
{
    const auto name = win32Path (target);
    std::vector<std::uint8_t> buffer (sizeof (FILE_RENAME_INFO) + (name.size() + 1) * sizeof (wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*> (buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD> (name.size() * sizeof (wchar_t));
    std::memcpy (info->FileName, name.c_str(), (name.size() + 1) * sizeof (wchar_t));
    return SetFileInformationByHandle (h, FileRenameInfo, info, static_cast<DWORD> (buffer.size())) != 0;
}

// A real folder at the derived place: no reparse point that is a link, at its
// name or on the way.
bool isRealFolder (const juce::File& folder)
{
    Handle h (openHandle (folder, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    if (! h.ok())
        return false;
    // Wine shows a Linux link as a plain folder: its final path gives it away.
    const auto facts = factsOf (h.h);
    const auto real = platform::finalPathOf (h.h);
    return facts && (facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && ! isLinkTag (facts->attributes, facts->tag) && real
           && *real == expectedRealPath (folder);
}

// Creates the file exclusively and checks where it landed; a file that a
// redirected folder put elsewhere is deleted again.
Opened createChecked (const juce::File& file, DWORD share)
{
    if (! isRealFolder (file.getParentDirectory()))
        return { {}, classify (file.getParentDirectory()) == Kind::missing ? Refusal::missing : Refusal::link };
    Handle h (openHandle (file, GENERIC_READ | GENERIC_WRITE | DELETE, share, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
    if (! h.ok())
    {
        const auto error = GetLastError();
        return { {}, error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Refusal::exists : Refusal::unreadable };
    }
    const auto facts = factsOf (h.h);
    const auto real = platform::finalPathOf (h.h);
    if (! facts || ! real || *real != expectedRealPath (file))
    {
        dispose (h.h);
        return { {}, Refusal::link };
    }
    return { wrap (h, *facts), Refusal::none };
}
// The name itself (a link is not followed), opened so that it can be deleted through the handle.
HANDLE openForDeletion (const juce::File& file)
{
    return openHandle (file, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
}
} // namespace

void OpenFile::close()
{
    if (handle != -1)
        CloseHandle (reinterpret_cast<HANDLE> (handle));
    handle = -1;
}

int OpenFile::read (void* buffer, int bytes)
{
    DWORD got = 0;
    if (! ReadFile (reinterpret_cast<HANDLE> (handle), buffer, static_cast<DWORD> (bytes), &got, nullptr))
        return -1;
    return static_cast<int> (got);
}

bool OpenFile::write (const void* data, size_t bytes)
{
    const auto* p = static_cast<const char*> (data);
    while (bytes > 0)
    {
        const auto piece = static_cast<DWORD> (std::min<size_t> (bytes, 1u << 30));
        DWORD written = 0;
        if (! WriteFile (reinterpret_cast<HANDLE> (handle), p, piece, &written, nullptr) || written == 0)
            return false;
        p += written;
        bytes -= written;
    }
    return true;
}

bool OpenFile::setPosition (std::uint64_t position)
{
    LARGE_INTEGER to {};
    to.QuadPart = static_cast<LONGLONG> (position);
    return SetFilePointerEx (reinterpret_cast<HANDLE> (handle), to, nullptr, FILE_BEGIN) != 0;
}

bool OpenFile::flushToDisk()
{
    return FlushFileBuffers (reinterpret_cast<HANDLE> (handle)) != 0;
}

bool canList (const juce::File& folder)
{
    WIN32_FIND_DATAW data {};
    const HANDLE find = FindFirstFileW ((win32Path (folder) + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND; // nothing in it, not even "."
    FindClose (find);
    return true;
}

Kind classify (const juce::File& path)
{
    // The entry itself: FindFirstFileW reports a reparse point's tag and never follows it.
    WIN32_FIND_DATAW data {};
    const HANDLE find = FindFirstFileW (win32Path (path).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return Kind::missing;
    FindClose (find);
    if (isLinkTag (data.dwFileAttributes, data.dwReserved0))
        return Kind::link;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Kind::folder;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0 ? Kind::special : Kind::file;
}

Opened openForReading (const juce::File& file, const juce::File& insideFolder)
{
    constexpr DWORD access = GENERIC_READ | FILE_READ_ATTRIBUTES;
    Handle h (openHandle (file, access, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN));
    if (! h.ok())
    {
        const auto error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return { {}, Refusal::missing };
        const auto kind = classify (file);
        return { {}, kind == Kind::link ? Refusal::link : kind == Kind::folder ? Refusal::specialFile : Refusal::unreadable };
    }
    if (GetFileType (h.h) != FILE_TYPE_DISK)
        return { {}, Refusal::specialFile };
    auto facts = factsOf (h.h);
    if (! facts)
        return { {}, Refusal::unreadable };
    if (isLinkTag (facts->attributes, facts->tag))
        return { {}, Refusal::link };
    if ((facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return { {}, Refusal::specialFile };
    if ((facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        // Not a link (a cloud file, a deduplicated file): opened again through its
        // filter so that its content is read, and only if it is still the same file.
        Handle content (openHandle (file, access, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
        const auto again = content.ok() ? factsOf (content.h) : std::nullopt;
        if (! again || again->identity != facts->identity)
            return { {}, Refusal::unreadable };
        std::swap (h.h, content.h);
        facts = again;
    }
    if (facts->links != 1)
        return { {}, Refusal::hardLink };
    const auto real = platform::finalPathOf (h.h);
    if (! real || ! real->isAChildOf (expectedRealPath (insideFolder)))
        return { {}, Refusal::outside };
    return { wrap (h, *facts), Refusal::none };
}

Opened createNew (const juce::File& file)
{
    auto opened = createChecked (file, kShareOwn);
    if (opened)
        rememberCreated (file, opened.file.identity());
    return opened;
}

bool createFolders (const juce::File& folder)
{
    juce::Array<juce::File> missing;
    for (auto f = folder; classify (f) == Kind::missing && f.getParentDirectory() != f; f = f.getParentDirectory())
        missing.insert (0, f);
    for (const auto& f : missing)
        if (! CreateDirectoryW (win32Path (f).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    return isRealFolder (folder);
}

Opened replaceAndKeepOpen (const juce::File& target, const void* data, size_t bytes)
{
    const auto temp = target.getSiblingFile ("." + target.getFileName() + "." + juce::Uuid().toString() + ".new");
    auto opened = createChecked (temp, kShareOwn);
    if (! opened)
        return opened;
    const auto h = reinterpret_cast<HANDLE> (opened.file.nativeHandle());
    bool ok = opened.file.write (data, bytes) && opened.file.flushToDisk() && renameHandle (h, target, true);
    // The rename goes by name: it must have landed at the derived place.
    const auto real = ok ? platform::finalPathOf (h) : std::nullopt;
    ok = ok && real && *real == expectedRealPath (target);
    if (! ok)
    {
        dispose (h);
        return { {}, Refusal::unreadable };
    }
    rememberCreated (target, opened.file.identity());
    return opened;
}

Removal removeOwn (const juce::File& file, Identity identity)
{
    Handle h (openForDeletion (file));
    if (! h.ok())
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? Removal::missing : Removal::failed;
    const auto facts = factsOf (h.h);
    const auto real = platform::finalPathOf (h.h);
    if (! facts || (facts->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 || facts->identity != identity
        || ! real || *real != expectedRealPath (file))
        return Removal::elsewhere;
    return dispose (h.h) ? Removal::removed : Removal::failed;
}

Removal removeName (const juce::File& file)
{
    if (! isRealFolder (file.getParentDirectory()))
        return Removal::elsewhere;
    Handle h (openForDeletion (file));
    if (! h.ok())
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? Removal::missing : Removal::failed;
    const auto facts = factsOf (h.h);
    // A real folder is never removed; a junction or link is removed itself.
    if (! facts || ((facts->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && ! isLinkTag (facts->attributes, facts->tag)))
        return Removal::elsewhere;
    // The handle must be the name itself: where a link was followed after all
    // (Wine shows a Linux link as the file it leads to), deleting through it
    // would delete what it leads to.
    const auto real = platform::finalPathOf (h.h);
    if (! real || *real != expectedRealPath (file))
        return Removal::elsewhere;
    return dispose (h.h) ? Removal::removed : Removal::failed;
}

bool moveFolderWithinParent (const juce::File& folder, const juce::String& newName)
{
    if (newName.containsAnyOf ("\\/:") || ! isRealFolder (folder.getParentDirectory()))
        return false;
    Handle h (openHandle (folder, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    if (! h.ok())
        return false;
    const auto facts = factsOf (h.h);
    const auto real = platform::finalPathOf (h.h);
    if (! facts || (facts->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || isLinkTag (facts->attributes, facts->tag) || ! real
        || *real != expectedRealPath (folder))
        return false;
    return renameHandle (h.h, folder.getSiblingFile (newName), false);
}

} // namespace util::files
