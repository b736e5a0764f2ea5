#pragma once

// The journal of the diagnostics switches, and the registry operations behind
// the crash-dump switch. The journal outlives a run that never reaches its end
// (killed, crashed, closed early), so that the next start switches off what
// that run left on.

#include <cstdint>
#include <optional>
#include <vector>

#include <juce_core/juce_core.h>

#include "Util/UserFiles.h"

namespace util
{
// One value of a registry key, as stored.
struct RegistryValue
{
    static constexpr std::uint32_t kString = 1, kExpandString = 2, kDword = 4;

    juce::String name;
    std::uint32_t type = 0;
    juce::MemoryBlock data;

    bool operator== (const RegistryValue& other) const
    {
        return name == other.name && type == other.type && data == other.data;
    }
};

// The product's crash-dump key and the LocalDumps key above it
// (HKEY_LOCAL_MACHINE, 64-bit view).
class CrashDumpRegistry
{
public:
    virtual ~CrashDumpRegistry() = default;
    virtual bool localDumpsExists() = 0;
    // The product key's values; empty when there is no such key.
    virtual std::optional<std::vector<RegistryValue>> readProductKey() = 0;
    // Creates or opens the product key and writes the values in order.
    virtual bool writeProductValues (const std::vector<RegistryValue>& values) = 0;
    // Removes the named values; one that is not there counts as removed.
    virtual bool deleteProductValues (const juce::StringArray& names) = 0;
    virtual bool deleteProductKey() = 0;
    // Deletes LocalDumps only when it holds nothing. True when it is gone, or
    // holds keys of other programs and is left for them; false when it could not be deleted.
    virtual bool deleteLocalDumpsIfEmpty() = 0;

    // The tool's own machine record of what it found before it switched crash
    // dumps on (HKEY_LOCAL_MACHINE\SOFTWARE\Lumacore\Triagent\CrashDumpRecord,
    // 64-bit view: only administrators write there). Written whole, replacing
    // an earlier one; read as its values (empty: no record); removed with the
    // tool's keys above it when they are empty.
    virtual bool writeRecord (const std::vector<RegistryValue>& values) = 0;
    virtual std::optional<std::vector<RegistryValue>> readRecord() = 0;
    virtual bool deleteRecord() = 0;
};

// Where the machine record lives, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kCrashDumpRecordKeyPath = "SOFTWARE\\Lumacore\\Triagent\\CrashDumpRecord";

// The system's registry, or the one that a test put in its place (nullptr: the system's again).
CrashDumpRegistry& crashDumpRegistry();
void replaceCrashDumpRegistry (CrashDumpRegistry* registry);

// The values that switch crash dumps on: full dumps, at most 10, into the folder.
std::vector<RegistryValue> crashDumpValues (const juce::File& dumpFolder);

// The journal file: per user, outside every folder that the collection archives.
juce::File getSwitchJournalFile();

// Each call rewrites the journal before the switch changes, atomically.
// Before the file is written (no identity yet), and again once it is written.
void journalTempFile (const juce::File& file, std::optional<files::Identity> identity = std::nullopt);
void journalTempFilesRemoved (const std::vector<juce::File>& files); // after they are deleted

// At start-up: switches off what an earlier run left on according to the
// journal, logs one line for each, and clears the journal. A damaged or
// foreign journal is logged and ignored; a path that the tool does not
// derive itself is never deleted.
void recoverSwitches();

} // namespace util
