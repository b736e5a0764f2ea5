// zip_bench <archive.zip> <folder>: archives every file below the folder
// (stored under its relative path) with the collector's archive builder, the
// way the collector does: into a file created exclusively, with the writer's
// report and manifest.json as the last entry. Used by scripts/bench.

#include <cstdio>

#include "Manifest.h"
#include "Util/UserFiles.h"
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

    auto created = util::files::createNew (target);
    if (! created)
    {
        std::fprintf (stderr, "zip_bench: cannot create %s (%s)\n", argv[1], util::files::describe (created.refusal));
        return 1;
    }
    ManifestInput input;
    input.toolName = "zip_bench";
    input.created = juce::Time::getCurrentTime();
    const ZipArchiveBuilder::LastEntry manifest { "manifest.json", [&input] (const ZipArchiveBuilder::Report& report) {
                                                     return buildManifest (input, report);
                                                 } };
    ZipArchiveBuilder::Report report;
    if (builder.writeTo (created.file, {}, &report, &manifest))
        return 0;
    created.file.close();
    util::files::removeCreated (target);
    return 1;
}
