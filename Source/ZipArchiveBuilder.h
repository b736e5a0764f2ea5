#pragma once

#include <functional>
#include <vector>

#include <juce_core/juce_core.h>

// Collects files under their names inside the archive and writes them into
// one zip file, streaming: each source is read and deflated block by block,
// so memory stays flat whatever the sizes. Zip64 records are written only
// where an entry or the archive needs them.
class ZipArchiveBuilder
{
public:
    // An empty storedPath stores the file under its own file name.
    void addFile (const juce::File& file, const juce::String& storedPath, int compressionLevel = 1);
    void clear();

    // Writes the archive (replacing the target). A source that cannot be opened
    // is left out with a line in the diagnostic log; any failed read or write,
    // or shouldStop() turning true, fails the whole archive, and the partial
    // file is deleted.
    bool writeToFile (const juce::File& target, const std::function<bool()>& shouldStop = {}) const;

    // The name an entry gets inside the archive (forward slashes, as zip wants).
    static juce::String entryName (const juce::File& file, const juce::String& storedPath);

private:
    struct Item
    {
        juce::File file;
        juce::String storedPath;
        int compressionLevel;
    };
    std::vector<Item> items;
};
