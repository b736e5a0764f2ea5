// The file room on POSIX systems: every name is opened with O_NOFOLLOW
// relative to a folder handle whose real path was checked, and judged by fstat
// on the same descriptor.

#include "Util/UserFiles.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace util::files
{
namespace
{
struct Fd
{
    explicit Fd (int value = -1) : fd (value) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close (fd);
    }
    Fd (const Fd&) = delete;
    Fd& operator= (const Fd&) = delete;
    int release() { return std::exchange (fd, -1); }
    int fd;
};

std::optional<juce::File> finalPath (int fd)
{
    char buffer[4096] = {};
    const auto link = "/proc/self/fd/" + juce::String (fd);
    const auto length = ::readlink (link.toRawUTF8(), buffer, sizeof (buffer) - 1);
    if (length <= 0 || buffer[0] != '/')
        return std::nullopt;
    return juce::File (juce::String::fromUTF8 (buffer, static_cast<int> (length)));
}

Identity identityOf (const struct stat& info)
{
    return { static_cast<std::uint64_t> (info.st_dev), static_cast<std::uint64_t> (info.st_ino) };
}

juce::Time modifiedOf (const struct stat& info)
{
    return juce::Time (static_cast<juce::int64> (info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000);
}

OpenFile wrap (int fd)
{
    struct stat info {};
    ::fstat (fd, &info);
    return OpenFile::fromNative (fd, identityOf (info), static_cast<std::uint64_t> (std::max<off_t> (0, info.st_size)), modifiedOf (info));
}

// A folder opened without following a link at its name, whose real path is
// the derived one (no link on the way either).
int openFolder (const juce::File& folder)
{
    Fd fd (::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd < 0)
        return -1;
    const auto real = finalPath (fd.fd);
    if (! real || *real != expectedRealPath (folder))
        return -1;
    return fd.release();
}

juce::String freshName (const juce::File& target)
{
    return "." + target.getFileName() + "." + juce::Uuid().toString() + ".new";
}
} // namespace

void OpenFile::close()
{
    if (handle != -1)
        ::close (static_cast<int> (handle));
    handle = -1;
}

int OpenFile::read (void* buffer, int bytes)
{
    for (;;)
    {
        const auto n = ::read (static_cast<int> (handle), buffer, static_cast<size_t> (bytes));
        if (n >= 0 || errno != EINTR)
            return static_cast<int> (n);
    }
}

bool OpenFile::write (const void* data, size_t bytes)
{
    const auto* p = static_cast<const char*> (data);
    while (bytes > 0)
    {
        const auto n = ::write (static_cast<int> (handle), p, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        bytes -= static_cast<size_t> (n);
    }
    return true;
}

bool OpenFile::setPosition (std::uint64_t position)
{
    return ::lseek (static_cast<int> (handle), static_cast<off_t> (position), SEEK_SET) == static_cast<off_t> (position);
}

bool OpenFile::flushToDisk()
{
    return ::fsync (static_cast<int> (handle)) == 0;
}

bool canList (const juce::File& folder)
{
    DIR* listing = ::opendir (folder.getFullPathName().toRawUTF8());
    if (listing == nullptr)
        return false;
    ::closedir (listing);
    return true;
}

Kind classify (const juce::File& path)
{
    struct stat info {};
    if (::lstat (path.getFullPathName().toRawUTF8(), &info) != 0)
        return Kind::missing;
    if (S_ISLNK (info.st_mode))
        return Kind::link;
    if (S_ISDIR (info.st_mode))
        return Kind::folder;
    return S_ISREG (info.st_mode) ? Kind::file : Kind::special;
}

Opened openForReading (const juce::File& file, const juce::File& insideFolder)
{
    // Judged before the open as well, so that no device or FIFO is opened at all.
    switch (classify (file))
    {
        case Kind::missing: return { {}, Refusal::missing };
        case Kind::link: return { {}, Refusal::link };
        case Kind::folder:
        case Kind::special: return { {}, Refusal::specialFile };
        case Kind::file: break;
    }

    Fd fd (::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.fd < 0)
        return { {}, errno == ELOOP ? Refusal::link : errno == ENOENT ? Refusal::missing : Refusal::unreadable };

    struct stat info {};
    if (::fstat (fd.fd, &info) != 0)
        return { {}, Refusal::unreadable };
    if (! S_ISREG (info.st_mode))
        return { {}, Refusal::specialFile };
    if (info.st_nlink != 1)
        return { {}, Refusal::hardLink };
    const auto real = finalPath (fd.fd);
    if (! real || ! real->isAChildOf (expectedRealPath (insideFolder)))
        return { {}, Refusal::outside };
    // A regular file never blocks; reads go on in the ordinary mode.
    ::fcntl (fd.fd, F_SETFL, ::fcntl (fd.fd, F_GETFL) & ~O_NONBLOCK);
    return { wrap (fd.release()), Refusal::none };
}

// Why a folder to create in was refused: not there at all, or not the real folder.
static Refusal folderRefusal (const juce::File& folder)
{
    return classify (folder) == Kind::missing ? Refusal::missing : Refusal::link;
}

Opened createNew (const juce::File& file)
{
    Fd folder (openFolder (file.getParentDirectory()));
    if (folder.fd < 0)
        return { {}, folderRefusal (file.getParentDirectory()) };
    Fd fd (::openat (folder.fd, file.getFileName().toRawUTF8(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.fd < 0)
        return { {}, errno == EEXIST ? Refusal::exists : Refusal::unreadable };
    auto opened = wrap (fd.release());
    rememberCreated (file, opened.identity());
    return { std::move (opened), Refusal::none };
}

bool createFolders (const juce::File& folder)
{
    juce::Array<juce::File> missing;
    for (auto f = folder; classify (f) == Kind::missing && f.getParentDirectory() != f; f = f.getParentDirectory())
        missing.insert (0, f);
    for (const auto& f : missing)
        if (::mkdir (f.getFullPathName().toRawUTF8(), 0755) != 0 && errno != EEXIST)
            return false;
    Fd fd (openFolder (folder));
    return fd.fd >= 0;
}

Opened replaceAndKeepOpen (const juce::File& target, const void* data, size_t bytes)
{
    Fd folder (openFolder (target.getParentDirectory()));
    if (folder.fd < 0)
        return { {}, folderRefusal (target.getParentDirectory()) };
    const auto temp = freshName (target);
    Fd fd (::openat (folder.fd, temp.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.fd < 0)
        return { {}, Refusal::unreadable };
    auto file = wrap (fd.release());
    if (! file.write (data, bytes) || ! file.flushToDisk()
        || ::renameat (folder.fd, temp.toRawUTF8(), folder.fd, target.getFileName().toRawUTF8()) != 0)
    {
        ::unlinkat (folder.fd, temp.toRawUTF8(), 0);
        return { {}, Refusal::unreadable };
    }
    rememberCreated (target, file.identity());
    return { std::move (file), Refusal::none };
}

Removal removeOwn (const juce::File& file, Identity identity)
{
    Fd folder (openFolder (file.getParentDirectory()));
    if (folder.fd < 0)
        return classify (file) == Kind::missing ? Removal::missing : Removal::elsewhere;
    struct stat info {};
    if (::fstatat (folder.fd, file.getFileName().toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Removal::missing : Removal::failed;
    if (! S_ISREG (info.st_mode) || identityOf (info) != identity)
        return Removal::elsewhere;
    return ::unlinkat (folder.fd, file.getFileName().toRawUTF8(), 0) == 0 ? Removal::removed : Removal::failed;
}

Removal removeName (const juce::File& file)
{
    Fd folder (openFolder (file.getParentDirectory()));
    if (folder.fd < 0)
        return Removal::elsewhere;
    struct stat info {};
    if (::fstatat (folder.fd, file.getFileName().toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Removal::missing : Removal::failed;
    if (S_ISDIR (info.st_mode))
        return Removal::elsewhere;
    return ::unlinkat (folder.fd, file.getFileName().toRawUTF8(), 0) == 0 ? Removal::removed : Removal::failed;
}

bool moveFolderWithinParent (const juce::File& folder, const juce::String& newName)
{
    Fd parent (openFolder (folder.getParentDirectory()));
    if (parent.fd < 0 || newName.containsChar ('/'))
        return false;
    struct stat info {};
    if (::fstatat (parent.fd, folder.getFileName().toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) != 0 || ! S_ISDIR (info.st_mode))
        return false;
    return ::renameat2 (parent.fd, folder.getFileName().toRawUTF8(), parent.fd, newName.toRawUTF8(), RENAME_NOREPLACE) == 0;
}

} // namespace util::files
