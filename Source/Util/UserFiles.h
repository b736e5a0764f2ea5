#pragma once

// The one room for files in folders that the user's other programs can change
// (documents, application data, the temporary folder). The tool runs with
// administrator rights there, so every check is made on the handle that is
// then used, never by a second open by name:
// - no link or junction is followed (a Windows reparse point counts as a link
//   only when it is a name surrogate; OneDrive's cloud files are plain files);
// - a file is read only when it is a regular file with one name whose final
//   path lies inside the folder the tool derived, and no open waits (a FIFO is
//   refused, not waited for);
// - a file is created exclusively, in a folder whose real path is the derived
//   one; a replacement is a fresh file renamed over the old name;
// - a file is deleted only while its name still leads to the file the tool
//   made, never recursively.
// The user's known folders themselves are trusted as they are; everything
// below them is judged. UserFilesPosix.cpp and UserFilesWindows.cpp hold the
// system calls.

#include <cstdint>
#include <optional>

#include <juce_core/juce_core.h>

namespace util::files
{
// Which file a handle is: volume and file index on Windows, device and inode elsewhere.
struct Identity
{
    std::uint64_t volume = 0, index = 0;
    bool operator== (const Identity&) const = default;
};

// Whether a Windows entry with these attributes and reparse tag is a link:
// a reparse point whose tag is a name surrogate (symbolic link, junction,
// mount point). Other reparse points (OneDrive's cloud files, deduplicated
// files) are ordinary files and folders.
bool isLinkReparseTag (std::uint32_t attributes, std::uint32_t tag);

// Why a file was not used.
enum class Refusal
{
    none,
    missing,     // no such file
    link,        // a link or junction (or a name on a way through one)
    specialFile, // a folder, FIFO, socket or device where a file was wanted
    hardLink,    // a file with more than one name
    outside,     // its final path is not inside the folder the tool derived
    exists,      // asked to create a name that is already there
    unreadable,  // the system refused
};

// The words for a refusal in a log line ("a link", "a special file", ...).
const char* describe (Refusal refusal);

// An open file of the room, closed when it goes. Reads and writes use the
// handle that passed the checks.
class OpenFile
{
public:
    OpenFile() = default;
    OpenFile (OpenFile&& other) noexcept;
    OpenFile& operator= (OpenFile&& other) noexcept;
    ~OpenFile();

    bool isOpen() const;
    void close();

    Identity identity() const { return id; }
    // Size and modification time when the file was opened.
    std::uint64_t size() const { return sizeAtOpen; }
    juce::Time modified() const { return modifiedAtOpen; }

    // Bytes read, 0 at the end, -1 on failure.
    int read (void* buffer, int bytes);
    bool write (const void* data, size_t bytes);
    bool setPosition (std::uint64_t position);
    // To the disk, before a rename makes the file visible under its name.
    bool flushToDisk();

    // For the platform files only.
    std::intptr_t nativeHandle() const { return handle; }
    static OpenFile fromNative (std::intptr_t handle, Identity identity, std::uint64_t size, juce::Time modified);

private:
    std::intptr_t handle = -1;
    Identity id;
    std::uint64_t sizeAtOpen = 0;
    juce::Time modifiedAtOpen;
};

struct Opened
{
    OpenFile file;
    Refusal refusal = Refusal::none;
    explicit operator bool() const { return refusal == Refusal::none; }
};

// Resolves the user's known folders (documents, roaming and local application
// data, the temporary folder) once; later calls do nothing. Called at start,
// before the first file is touched.
void resolveTrustedBases();

// Where the derived path must really lie: the resolved known folder that holds
// it, followed by the rest of the path as derived. A path under no known
// folder is judged from its parent folder's real path.
juce::File expectedRealPath (const juce::File& path);

// What lies at the path itself, no link followed.
enum class Kind
{
    missing,
    file,
    folder,
    link,
    special,
};
Kind classify (const juce::File& path);

// Whether the folder's entries can be listed (rights, path length).
bool canList (const juce::File& folder);

// Opens a file for reading under the reading rules; the final path must lie
// inside the given folder (the derived one, not resolved by the caller).
Opened openForReading (const juce::File& file, const juce::File& insideFolder);

// Creates the file exclusively for writing in its real, derived folder.
Opened createNew (const juce::File& file);

// Creates the folder and those above it, up to the known folder that holds
// it, each a real folder; true when the whole chain is real folders.
bool createFolders (const juce::File& folder);

// Writes the data into a fresh file beside the target, then renames it over
// the target (a rename replaces a link, never follows it). The new file counts
// as made by the tool. Text is written as 8-bit UTF-8 with CR LF line ends.
std::optional<Identity> replaceWith (const juce::File& target, const void* data, size_t bytes);
// The same, and the new file stays open for writing at its end.
Opened replaceAndKeepOpen (const juce::File& target, const void* data, size_t bytes);
std::optional<Identity> replaceWithText (const juce::File& target, const juce::String& text);

// The files this run made through the room (createNew, replaceWith), by path.
void rememberCreated (const juce::File& file, Identity identity);
std::optional<Identity> createdIdentity (const juce::File& file);

enum class Removal
{
    removed,   // it was the file the tool made, and it is gone
    missing,   // nothing there
    elsewhere, // the name leads to another file, or through a link: left alone
    failed,    // the system refused
};

// Deletes the file only while its name leads to the file with this identity;
// never a folder, never through a link.
Removal removeOwn (const juce::File& file, Identity identity);
// The same for a file that this run made (unknown to the room: elsewhere).
Removal removeCreated (const juce::File& file);
// Removes the name itself when it is a link or a file with several names, never what it leads to.
Removal removeName (const juce::File& file);

// Moves a real folder (no link or junction, nor its parent) to a new name in
// the same parent; the new name must not exist. False when anything fails.
bool moveFolderWithinParent (const juce::File& folder, const juce::String& newName);

} // namespace util::files
