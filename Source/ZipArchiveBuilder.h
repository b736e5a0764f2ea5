#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <juce_core/juce_core.h>

#include "Util/UserFiles.h"

// Collects files under their names inside the archive and writes them into
// one zip file, streaming: sources are read in 1 MiB chunks that are deflated
// independently on every core and joined into each entry's deflate stream, so
// memory stays bounded whatever the sizes. Zip64 records are written only
// where an entry or the archive needs them.
class ZipArchiveBuilder
{
public:
    ZipArchiveBuilder() = default;

    // An empty storedPath stores the file under its own file name. Level 0
    // stores the data in uncompressed deflate blocks; any other level deflates
    // at the fastest level.
    // writtenByTool: a file the tool wrote for this archive (the system report).
    void addFile (const juce::File& file, const juce::String& storedPath, int compressionLevel = 1, bool writtenByTool = false);
    void clear();

    // Creates the target exclusively (a name that exists fails) and writes the
    // archive. Sources that cannot be opened under the file room's reading rules,
    // and names too long for a zip entry, are found before the first entry is
    // written and left out, each with a line in the diagnostic log. A source is archived up to its size when it
    // was opened; one that shrinks meanwhile is archived as far as it could be
    // read, with a line in the diagnostic log. A failed read or write, or
    // shouldStop() turning true, fails the whole archive, and the partial file
    // is deleted.
    bool writeToFile (const juce::File& target, const std::function<bool()>& shouldStop = {}) const;
    // What the archive holds and what was left out, as the writer knows it.
    struct EntryReport
    {
        juce::String name;
        juce::File source;
        bool writtenByTool = false; // no source: the tool wrote it for the archive
        std::uint64_t size = 0, compressed = 0;
        std::uint32_t crc = 0;
        juce::Time modified;
        std::optional<std::uint64_t> expected; // the size when opened, where it shrank
    };
    struct LeftOut
    {
        juce::File source;
        juce::String reason; // "link", "special file", "several names", "outside the folder", "vanished", "unreadable", "name too long"
    };
    struct Report
    {
        std::vector<EntryReport> entries; // in zip order
        std::vector<LeftOut> leftOut;
    };

    // A last entry made from the report of every other entry, once they are
    // all read (the manifest), written after them.
    struct LastEntry
    {
        juce::String name;
        std::function<juce::MemoryBlock (const Report&)> make;
    };

    // The same into a file that the caller created; on failure the caller removes it.
    bool writeTo (util::files::OpenFile& target, const std::function<bool()>& shouldStop = {}, Report* report = nullptr,
                  const LastEntry* lastEntry = nullptr) const;

    // How far a writeTo in progress is: bytes read of the sources, of the total
    // their sizes gave when they were opened (0 of 0 before and after).
    std::pair<std::uint64_t, std::uint64_t> progress() const { return { bytesRead.load(), bytesTotal.load() }; }

    // The name an entry gets inside the archive (forward slashes, as zip wants).
    static juce::String entryName (const juce::File& file, const juce::String& storedPath);

    struct Item
    {
        juce::File file;
        juce::String name; // the entry's name inside the archive
        int compressionLevel;
        bool writtenByTool = false;
    };

private:
    std::vector<Item> items;
    mutable std::atomic<std::uint64_t> bytesRead { 0 }, bytesTotal { 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ZipArchiveBuilder)
};
