#pragma once

#include <functional>
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
    void addFile (const juce::File& file, const juce::String& storedPath, int compressionLevel = 1);
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
    // The same into a file that the caller created; on failure the caller removes it.
    bool writeTo (util::files::OpenFile& target, const std::function<bool()>& shouldStop = {}) const;

    // The name an entry gets inside the archive (forward slashes, as zip wants).
    static juce::String entryName (const juce::File& file, const juce::String& storedPath);

    struct Item
    {
        juce::File file;
        juce::String name; // the entry's name inside the archive
        int compressionLevel;
    };

private:
    std::vector<Item> items;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ZipArchiveBuilder)
};
