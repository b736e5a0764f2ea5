#include "Util/Journal.h"

#include "Log/Log.h"
#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <mutex>

LUMO_LOG_FILE_LOGGER

namespace util
{
namespace
{
constexpr const char* kJournalMark = "VORN Triagent switch journal";
constexpr int kJournalVersion = 1;
constexpr const char* kSwitchedOff = "Switched off after an earlier run: {}";

// What this run has switched on and not yet off.
struct CrashDumpRecord
{
    std::optional<std::vector<RegistryValue>> foundValues; // the key as an administrator had set it up
    bool createdLocalDumps = false;
};

struct JournalState
{
    std::vector<juce::File> tempFiles;
    std::optional<CrashDumpRecord> crashDumps;

    bool empty() const { return tempFiles.empty() && ! crashDumps; }
};

std::mutex journalMutex;
JournalState journal; // this run's switches, as the file says them
CrashDumpRegistry* replacedRegistry = nullptr;

const juce::StringArray& ourValueNames()
{
    static const juce::StringArray names { "DumpFolder", "DumpCount", "DumpType" };
    return names;
}

juce::var toVar (const RegistryValue& value)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("name", value.name);
    object->setProperty ("type", static_cast<int> (value.type));
    object->setProperty ("data", value.data.toBase64Encoding());
    return juce::var (object);
}

juce::String toJson (const JournalState& state)
{
    auto* root = new juce::DynamicObject();
    root->setProperty ("journal", kJournalMark);
    root->setProperty ("version", kJournalVersion);
    juce::Array<juce::var> files;
    for (const auto& file : state.tempFiles)
        files.add (file.getFullPathName());
    root->setProperty ("tempFiles", files);
    if (state.crashDumps)
    {
        auto* crash = new juce::DynamicObject();
        crash->setProperty ("createdLocalDumps", state.crashDumps->createdLocalDumps);
        crash->setProperty ("keyExisted", state.crashDumps->foundValues.has_value());
        juce::Array<juce::var> values;
        if (state.crashDumps->foundValues)
            for (const auto& value : *state.crashDumps->foundValues)
                values.add (toVar (value));
        crash->setProperty ("foundValues", values);
        root->setProperty ("crashDumps", juce::var (crash));
    }
    return juce::JSON::toString (juce::var (root));
}

// The documented LocalDumps values only, each with its proper type: the file
// is the user's to change, and the elevated tool writes what it restores into
// the machine-wide registry.
bool isRestorable (const RegistryValue& value)
{
    if (value.name == "DumpFolder")
        return (value.type == RegistryValue::kExpandString || value.type == RegistryValue::kString)
               && value.data.getSize() <= 65536 && value.data.getSize() % 2 == 0;
    const juce::StringArray numbers { "DumpCount", "DumpType", "CustomDumpFlags" };
    return numbers.contains (value.name) && value.type == RegistryValue::kDword && value.data.getSize() == 4;
}

// Parses a journal; empty when it is damaged or not ours.
std::optional<JournalState> fromJson (const juce::String& text)
{
    juce::var root;
    if (! juce::JSON::parse (text, root).wasOk() || ! root.isObject() || root["journal"].toString() != kJournalMark
        || ! root["version"].isInt() || static_cast<int> (root["version"]) != kJournalVersion || ! root["tempFiles"].isArray())
        return std::nullopt;

    JournalState state;
    for (const auto& path : *root["tempFiles"].getArray())
    {
        if (! path.isString() || ! juce::File::isAbsolutePath (path.toString()))
            return std::nullopt;
        state.tempFiles.emplace_back (path.toString());
    }

    const auto crash = root["crashDumps"];
    if (crash.isObject())
    {
        if (! crash["createdLocalDumps"].isBool() || ! crash["keyExisted"].isBool() || ! crash["foundValues"].isArray())
            return std::nullopt;
        CrashDumpRecord record;
        record.createdLocalDumps = static_cast<bool> (crash["createdLocalDumps"]);
        if (static_cast<bool> (crash["keyExisted"]))
        {
            record.foundValues.emplace();
            for (const auto& item : *crash["foundValues"].getArray())
            {
                RegistryValue value;
                value.name = item["name"].toString();
                value.type = static_cast<std::uint32_t> (static_cast<int> (item["type"]));
                if (! item["type"].isInt() || ! value.data.fromBase64Encoding (item["data"].toString()) || ! isRestorable (value))
                    return std::nullopt;
                record.foundValues->push_back (std::move (value));
            }
        }
        state.crashDumps = std::move (record);
    }
    else if (! crash.isVoid())
    {
        return std::nullopt;
    }
    return state;
}

// The journal's folder must be the folder the tool derives, not a link or a
// junction to somewhere else: the elevated tool writes there.
bool journalFolderIsReal (const juce::File& folder)
{
    const auto real = platform::realPath (folder);
    return real && *real == folder;
}

// Writes the state atomically: a new file, then a rename over the old one.
// An empty state removes the journal.
void save (const JournalState& state)
{
    const auto file = getSwitchJournalFile();
    const auto folder = file.getParentDirectory();
    if (state.empty())
    {
        if (file.existsAsFile() && ! file.isSymbolicLink())
            file.deleteFile();
        return;
    }
    if (! folder.createDirectory().wasOk() || ! journalFolderIsReal (folder))
    {
        LUMO_LOG_INFO ("Cannot write the switch journal: {}", file.getFullPathName().toStdString());
        return;
    }

    const auto fresh = folder.getChildFile (file.getFileName() + ".new");
    if (fresh.isSymbolicLink() || (fresh.exists() && ! fresh.deleteFile()))
    {
        LUMO_LOG_INFO ("Cannot write the switch journal: {}", fresh.getFullPathName().toStdString());
        return;
    }
    bool written = false;
    {
        juce::FileOutputStream out (fresh);
        written = out.openedOk() && out.writeText (toJson (state), false, false, nullptr);
        out.flush(); // to the disk before the rename
        written = written && out.getStatus().wasOk();
    }
    if (! written || ! platform::replaceFile (fresh, file))
    {
        fresh.deleteFile();
        LUMO_LOG_INFO ("Cannot write the switch journal: {}", file.getFullPathName().toStdString());
    }
}

// The temporary files that the tool itself writes: the only paths that a
// journal may make it delete.
bool isOwnTempFile (const juce::File& file)
{
    return file == getProductDocFolder().getChildFile ("debug.json")
           || file == getMakerDocFolder().getChildFile ("system_info.txt");
}

juce::String productKeyName()
{
    return "HKEY_LOCAL_MACHINE\\" + juce::String (getLocalDumpsKeyPath());
}

void switchOffCrashDumps (const CrashDumpRecord& record)
{
    auto& registry = crashDumpRegistry();
    if (record.foundValues)
    {
        if (registry.deleteProductValues (ourValueNames()) && registry.writeProductValues (*record.foundValues))
            LUMO_LOG_INFO (kSwitchedOff, "crash dumps, " + productKeyName().toStdString() + " restored to the values it had");
    }
    else if (registry.readProductKey() && registry.deleteProductKey())
    {
        LUMO_LOG_INFO (kSwitchedOff, "crash dumps, " + productKeyName().toStdString());
    }
    if (record.createdLocalDumps && registry.localDumpsExists() && registry.deleteLocalDumpsIfEmpty())
        LUMO_LOG_INFO (kSwitchedOff, "local crash dumps for every program, the LocalDumps key");
}
} // namespace

CrashDumpRegistry& crashDumpRegistry()
{
    return replacedRegistry != nullptr ? *replacedRegistry : platform::systemCrashDumpRegistry();
}

void replaceCrashDumpRegistry (CrashDumpRegistry* registry)
{
    replacedRegistry = registry;
}

std::vector<RegistryValue> crashDumpValues (const juce::File& dumpFolder)
{
    const auto dword = [] (const char* name, std::uint32_t number) {
        const std::uint8_t bytes[] = { static_cast<std::uint8_t> (number), static_cast<std::uint8_t> (number >> 8),
                                       static_cast<std::uint8_t> (number >> 16), static_cast<std::uint8_t> (number >> 24) };
        return RegistryValue { name, RegistryValue::kDword, juce::MemoryBlock (bytes, sizeof (bytes)) };
    };
    // UTF-16LE with its terminator, so that a non-ASCII user folder is the real path.
    juce::MemoryBlock folder;
    const auto utf16 = dumpFolder.getFullPathName().toUTF16();
    for (auto p = utf16; ; ++p)
    {
        const auto unit = static_cast<std::uint16_t> (*p.getAddress());
        const std::uint8_t bytes[] = { static_cast<std::uint8_t> (unit & 0xFF), static_cast<std::uint8_t> (unit >> 8) };
        folder.append (bytes, 2);
        if (unit == 0)
            break;
    }
    return { { "DumpFolder", RegistryValue::kExpandString, folder }, dword ("DumpCount", 10), dword ("DumpType", 2) };
}

juce::File getSwitchJournalFile()
{
    return platform::localAppDataFolder().getChildFile (kMakerFolderName).getChildFile ("Triagent").getChildFile ("switches.journal");
}

void journalTempFile (const juce::File& file)
{
    std::lock_guard lock (journalMutex);
    if (std::find (journal.tempFiles.begin(), journal.tempFiles.end(), file) == journal.tempFiles.end())
        journal.tempFiles.push_back (file);
    save (journal);
}

void journalTempFilesRemoved (const std::vector<juce::File>& files)
{
    std::lock_guard lock (journalMutex);
    const auto before = journal.tempFiles.size();
    std::erase_if (journal.tempFiles, [&] (const juce::File& f) { return std::find (files.begin(), files.end(), f) != files.end(); });
    if (journal.tempFiles.size() != before)
        save (journal);
}

bool enableCrashDump()
{
    auto& registry = crashDumpRegistry();
    {
        std::lock_guard lock (journalMutex);
        // Once per run: a retry finds the key that this run wrote, not one to restore.
        if (! journal.crashDumps)
        {
            journal.crashDumps = CrashDumpRecord { registry.readProductKey(), ! registry.localDumpsExists() };
            save (journal);
        }
    }
    return registry.writeProductValues (crashDumpValues (getCrashReportFolder()));
}

bool disableCrashDump()
{
    auto& registry = crashDumpRegistry();
    std::lock_guard lock (journalMutex);
    bool switchedOff = false;
    if (journal.crashDumps && journal.crashDumps->foundValues)
        switchedOff = registry.deleteProductValues (ourValueNames()) && registry.writeProductValues (*journal.crashDumps->foundValues);
    else
        switchedOff = registry.deleteProductKey();

    if (journal.crashDumps && journal.crashDumps->createdLocalDumps)
        registry.deleteLocalDumpsIfEmpty();
    journal.crashDumps.reset();
    save (journal);
    return switchedOff;
}

void recoverSwitches()
{
    std::lock_guard lock (journalMutex);
    journal = {}; // a new run: nothing of its own is on yet
    const auto file = getSwitchJournalFile();
    if (! file.existsAsFile())
        return;

    const auto found = file.isSymbolicLink() || file.getSize() > 1024 * 1024 ? std::nullopt : fromJson (file.loadFileAsString());
    if (! found)
    {
        LUMO_LOG_INFO ("Ignored a damaged switch journal: {}", file.getFullPathName().toStdString());
        save (journal);
        return;
    }

    for (const auto& temp : found->tempFiles)
    {
        if (! isOwnTempFile (temp))
            LUMO_LOG_INFO ("Ignored a path in the switch journal that the tool does not write: {}", temp.getFullPathName().toStdString());
        else if (temp.existsAsFile() && temp.deleteFile())
            LUMO_LOG_INFO (kSwitchedOff, temp.getFullPathName().toStdString());
    }
    if (found->crashDumps)
        switchOffCrashDumps (*found->crashDumps);
    save (journal); // this run's state: nothing switched on yet
}

} // namespace util
