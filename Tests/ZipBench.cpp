// zip_bench <archive.zip> <folder>: archives every file below the folder
// (stored under its relative path) with the collector's archive builder. Used
// by scripts/bench.

#include <cstdio>

#include "ZipArchiveBuilder.h"

int main (int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: zip_bench <archive.zip> <folder>\n");
        return 2;
    }
    const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (juce::CharPointer_UTF8 (argv[1])));
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (juce::CharPointer_UTF8 (argv[2])));

    ZipArchiveBuilder builder;
    for (const auto& file : folder.findChildFiles (juce::File::findFiles, true, "*"))
        builder.addFile (file, file.getRelativePathFrom (folder), 1);
    return builder.writeToFile (target) ? 0 : 1;
}
