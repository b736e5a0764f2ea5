#pragma once

// manifest.json, the zip's last entry: what the zip holds, what was left out
// and why, how the report's commands ran, which diagnostics went on for this
// collection and when, and when the user reproduced the problem. Its fields
// are a stable format (format 1), documented in the README.

#include <optional>
#include <vector>

#include <juce_core/juce_core.h>

#include "Util/UtilWindows.h"
#include "ZipArchiveBuilder.h"

struct ManifestInput
{
    juce::String toolName, toolVersion, os, user;
    juce::Time created;
    std::optional<juce::Time> reproducedFrom, reproducedTo; // the reproduce step began; COLLECT was clicked

    struct Switch
    {
        juce::String name;
        std::optional<juce::Time> at; // when it went on for this collection; empty: it did not
    };
    std::vector<Switch> switches;
    util::CollectionReport collection;
};

juce::MemoryBlock buildManifest (const ManifestInput& input, const ZipArchiveBuilder::Report& zip);

// The collection's summary for the user: files archived, their size before
// and after compression, and how many were left out.
juce::String summaryLine (const ZipArchiveBuilder::Report& zip, const util::CollectionReport& collection);
