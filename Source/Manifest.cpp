#include "Manifest.h"

#include <cmath>

namespace
{
juce::var iso (const std::optional<juce::Time>& time)
{
    return time ? juce::var (time->toISO8601 (true)) : juce::var();
}

juce::var object (std::initializer_list<std::pair<const char*, juce::var>> properties)
{
    auto* o = new juce::DynamicObject();
    for (const auto& [name, value] : properties)
        o->setProperty (name, value);
    return juce::var (o);
}

juce::var number (std::uint64_t n)
{
    return juce::var (static_cast<juce::int64> (n));
}
} // namespace

juce::MemoryBlock buildManifest (const ManifestInput& input, const ZipArchiveBuilder::Report& zip)
{
    juce::Array<juce::var> entries;
    for (const auto& e : zip.entries)
    {
        auto entry = object ({ { "name", e.name },
                               { "source", e.writtenByTool ? juce::var() : juce::var (e.source.getFullPathName()) },
                               { "size", number (e.size) },
                               { "crc32", juce::String::toHexString (static_cast<juce::int64> (e.crc)).paddedLeft ('0', 8) },
                               { "modified", e.modified.toISO8601 (true) },
                               { "status", e.expected ? "shrank" : "archived" } });
        if (e.expected)
            entry.getDynamicObject()->setProperty ("expected", number (*e.expected));
        entries.add (entry);
    }

    juce::Array<juce::var> skipped;
    for (const auto& s : input.collection.skipped)
        skipped.add (object ({ { "source", s.source.getFullPathName() }, { "reason", s.reason } }));
    for (const auto& s : zip.leftOut)
        skipped.add (object ({ { "source", s.source.getFullPathName() }, { "reason", s.reason } }));

    juce::Array<juce::var> missing;
    for (const auto& m : input.collection.missing)
        missing.add (m.getFullPathName());

    juce::Array<juce::var> commands;
    for (const auto& c : input.collection.commands)
        commands.add (object ({ { "command", c.commandLine },
                                { "exitCode", c.run.exitCode ? juce::var (*c.run.exitCode) : juce::var() },
                                { "seconds", std::round (c.run.seconds * 1000.0) / 1000.0 },
                                { "timedOut", c.run.timedOut },
                                { "outputBytes", number (c.run.outputBytes) },
                                { "decoding", c.run.decoding } }));

    juce::Array<juce::var> switches;
    for (const auto& s : input.switches)
        switches.add (object ({ { "name", s.name }, { "on", s.at.has_value() }, { "at", iso (s.at) } }));

    const auto manifest = object ({ { "format", 1 },
                                    { "tool", object ({ { "name", input.toolName }, { "version", input.toolVersion } }) },
                                    { "created", input.created.toISO8601 (true) },
                                    { "system", object ({ { "os", input.os }, { "user", input.user } }) },
                                    { "reproduced", object ({ { "from", iso (input.reproducedFrom) }, { "to", iso (input.reproducedTo) } }) },
                                    { "entries", entries },
                                    { "skipped", skipped },
                                    { "missing", missing },
                                    { "commands", commands },
                                    { "switches", switches } });
    const auto text = juce::JSON::toString (manifest) + "\n";
    return juce::MemoryBlock (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

juce::String summaryLine (const ZipArchiveBuilder::Report& zip, const util::CollectionReport& collection)
{
    std::uint64_t before = 0, after = 0;
    int files = 0;
    for (const auto& e : zip.entries)
        if (e.name != "manifest.json")
        {
            ++files;
            before += e.size;
            after += e.compressed;
        }
    const auto leftOut = collection.skipped.size() + zip.leftOut.size();
    return "Archived " + juce::String (files) + (files == 1 ? " file, " : " files, ")
           + juce::File::descriptionOfSizeInBytes (static_cast<juce::int64> (before)) + " ("
           + juce::File::descriptionOfSizeInBytes (static_cast<juce::int64> (after)) + " compressed); "
           + juce::String (static_cast<int> (leftOut)) + " left out";
}
