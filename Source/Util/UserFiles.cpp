// The parts of the file room that every platform shares: the trusted known
// folders, the derived real paths and the record of what this run made.

#include "Util/UserFiles.h"

#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <map>
#include <mutex>
#include <vector>

namespace util::files
{
namespace
{
struct Base
{
    juce::File derived, real;
};

std::mutex basesMutex;
std::vector<Base> bases; // empty until resolved
bool basesResolved = false;

std::mutex createdMutex;
std::map<juce::String, Identity> createdFiles;

// The real path of a path that may not exist yet: its nearest existing
// ancestor resolved, the rest as given.
juce::File resolveExisting (const juce::File& path)
{
    juce::StringArray rest;
    auto current = path;
    for (int depth = 0; depth < 256; ++depth)
    {
        if (const auto real = platform::realPath (current))
        {
            auto result = *real;
            for (int i = rest.size(); --i >= 0;)
                result = result.getChildFile (rest[i]);
            return result;
        }
        const auto parent = current.getParentDirectory();
        if (parent == current)
            break;
        rest.add (current.getFileName());
        current = parent;
    }
    return path;
}
} // namespace

bool isLinkReparseTag (std::uint32_t attributes, std::uint32_t tag)
{
    constexpr std::uint32_t kReparsePoint = 0x400; // FILE_ATTRIBUTE_REPARSE_POINT
    constexpr std::uint32_t kNameSurrogate = 0x20000000; // the bit IsReparseTagNameSurrogate tests
    return (attributes & kReparsePoint) != 0 && (tag & kNameSurrogate) != 0;
}

const char* describe (Refusal refusal)
{
    switch (refusal)
    {
        case Refusal::none: return "usable";
        case Refusal::missing: return "missing";
        case Refusal::link: return "a link";
        case Refusal::specialFile: return "a special file";
        case Refusal::hardLink: return "a file with several names";
        case Refusal::outside: return "outside its folder";
        case Refusal::exists: return "already there";
        case Refusal::unreadable: return "unreadable";
    }
    return "unreadable";
}

OpenFile::OpenFile (OpenFile&& other) noexcept
    : handle (std::exchange (other.handle, -1)), id (other.id), sizeAtOpen (other.sizeAtOpen), modifiedAtOpen (other.modifiedAtOpen)
{
}

OpenFile& OpenFile::operator= (OpenFile&& other) noexcept
{
    if (this != &other)
    {
        close();
        handle = std::exchange (other.handle, -1);
        id = other.id;
        sizeAtOpen = other.sizeAtOpen;
        modifiedAtOpen = other.modifiedAtOpen;
    }
    return *this;
}

OpenFile::~OpenFile()
{
    close();
}

bool OpenFile::isOpen() const
{
    return handle != -1;
}

OpenFile OpenFile::fromNative (std::intptr_t nativeHandle, Identity identity, std::uint64_t size, juce::Time modified)
{
    OpenFile file;
    file.handle = nativeHandle;
    file.id = identity;
    file.sizeAtOpen = size;
    file.modifiedAtOpen = modified;
    return file;
}

void resolveTrustedBases()
{
    std::lock_guard lock (basesMutex);
    if (basesResolved)
        return;
    basesResolved = true;
    // The collected user's folders (the desktop's user, who may not be the
    // tool's own), and the tool's own local data (the journal) and temporary folder.
    const auto user = collectedUserFolders();
    for (const auto& folder : { user.documents, user.roamingAppData, user.localAppData, platform::localAppDataFolder(),
                                juce::File::getSpecialLocation (juce::File::tempDirectory) })
        if (folder != juce::File())
            bases.push_back ({ folder, resolveExisting (folder) });
}

juce::File expectedRealPath (const juce::File& path)
{
    resolveTrustedBases();
    const Base* best = nullptr;
    {
        std::lock_guard lock (basesMutex);
        for (const auto& base : bases)
            if ((path == base.derived || path.isAChildOf (base.derived))
                && (best == nullptr || base.derived.isAChildOf (best->derived)))
                best = &base;
    }
    if (best != nullptr)
        return path == best->derived ? best->real : best->real.getChildFile (path.getRelativePathFrom (best->derived));
    return resolveExisting (path.getParentDirectory()).getChildFile (path.getFileName());
}

std::optional<Identity> replaceWithText (const juce::File& target, const juce::String& text)
{
    // As juce::File::replaceWithText writes it by default: 8-bit UTF-8, CR LF.
    const auto crlf = text.replace ("\r\n", "\n").replace ("\n", "\r\n");
    const auto* utf8 = crlf.toRawUTF8();
    return replaceWith (target, utf8, crlf.getNumBytesAsUTF8());
}

std::optional<Identity> replaceWith (const juce::File& target, const void* data, size_t bytes)
{
    const auto opened = replaceAndKeepOpen (target, data, bytes);
    if (! opened)
        return std::nullopt;
    return opened.file.identity();
}

void rememberCreated (const juce::File& file, Identity identity)
{
    std::lock_guard lock (createdMutex);
    createdFiles[file.getFullPathName()] = identity;
}

std::optional<Identity> createdIdentity (const juce::File& file)
{
    std::lock_guard lock (createdMutex);
    const auto found = createdFiles.find (file.getFullPathName());
    if (found == createdFiles.end())
        return std::nullopt;
    return found->second;
}

Removal removeCreated (const juce::File& file)
{
    const auto identity = createdIdentity (file);
    if (! identity)
        return classify (file) == Kind::missing ? Removal::missing : Removal::elsewhere;
    const auto result = removeOwn (file, *identity);
    if (result == Removal::removed || result == Removal::missing)
    {
        std::lock_guard lock (createdMutex);
        createdFiles.erase (file.getFullPathName());
    }
    return result;
}

} // namespace util::files
