#include "Util/Journal.h"

#include "Log/Log.h"
#include "Util/Platform.h"
#include "Util/UserFiles.h"
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

struct TempFile
{
    juce::File file;
    std::optional<files::Identity> identity; // once written
};

struct JournalState
{
    std::vector<TempFile> tempFiles;
    std::optional<CrashDumpRecord> crashDumps;

    bool empty() const { return tempFiles.empty() && ! crashDumps; }
};

std::mutex journalMutex;
JournalState journal; // this run's switches, as the file says them
CrashDumpRegistry* replacedRegistry = nullptr;
std::optional<files::Identity> journalIdentity; // the journal file on disk, as the tool last wrote or read it

// The journal is small: anything larger is not one of ours.
constexpr int kMaxJournalBytes = 64 * 1024;
// Far deeper than the tool writes (3), shallow enough for the recursive parser.
constexpr int kMaxJournalNesting = 16;

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
    juce::Array<juce::var> temps;
    for (const auto& temp : state.tempFiles)
    {
        auto* entry = new juce::DynamicObject();
        entry->setProperty ("path", temp.file.getFullPathName());
        if (temp.identity)
        {
            entry->setProperty ("volume", juce::String (temp.identity->volume));
            entry->setProperty ("index", juce::String (temp.identity->index));
        }
        temps.add (juce::var (entry));
    }
    root->setProperty ("tempFiles", temps);
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

// The deepest nesting of arrays and objects in a JSON text, strings skipped.
int nestingDepth (const juce::String& text)
{
    int depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;
        if (inString)
        {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        }
        else if (c == '"')
            inString = true;
        else if (c == '[' || c == '{')
            deepest = std::max (deepest, ++depth);
        else if (c == ']' || c == '}')
            --depth;
    }
    return deepest;
}

std::optional<std::uint64_t> parseNumber (const juce::var& value)
{
    const auto text = value.toString();
    if (! value.isString() || text.isEmpty() || ! text.containsOnly ("0123456789") || text.length() > 20)
        return std::nullopt;
    return static_cast<std::uint64_t> (std::stoull (text.toStdString()));
}

// A temporary file of the journal: its path, and the file it was when written.
std::optional<TempFile> tempFileFrom (const juce::var& entry)
{
    // An older journal names the path alone.
    const auto path = entry.isString() ? entry : entry["path"];
    if (! path.isString() || ! juce::File::isAbsolutePath (path.toString()))
        return std::nullopt;
    TempFile temp { juce::File (path.toString()), std::nullopt };
    if (entry.isObject() && ! entry["volume"].isVoid())
    {
        const auto volume = parseNumber (entry["volume"]), index = parseNumber (entry["index"]);
        if (! volume || ! index)
            return std::nullopt;
        temp.identity = files::Identity { *volume, *index };
    }
    return temp;
}

// Parses a journal; empty when it is damaged or not ours.
std::optional<JournalState> fromJson (const juce::String& text)
{
    juce::var root;
    if (nestingDepth (text) > kMaxJournalNesting || ! juce::JSON::parse (text, root).wasOk() || ! root.isObject() || root["journal"].toString() != kJournalMark
        || ! root["version"].isInt() || static_cast<int> (root["version"]) != kJournalVersion || ! root["tempFiles"].isArray())
        return std::nullopt;

    JournalState state;
    for (const auto& entry : *root["tempFiles"].getArray())
    {
        auto temp = tempFileFrom (entry);
        if (! temp)
            return std::nullopt;
        state.tempFiles.push_back (std::move (*temp));
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

// Writes the state atomically through the file room: a fresh file renamed
// over the old one, in the journal's real folder. An empty state removes the
// journal, but only the file that the tool wrote or read.
void save (const JournalState& state)
{
    const auto file = getSwitchJournalFile();
    if (state.empty())
    {
        if (journalIdentity && files::removeOwn (file, *journalIdentity) == files::Removal::elsewhere)
            LUMO_LOG_INFO ("Left alone, no longer the file the tool wrote: {}", file.getFullPathName().toStdString());
        journalIdentity.reset();
        return;
    }
    if (! files::createFolders (file.getParentDirectory()))
    {
        LUMO_LOG_INFO ("Cannot write the switch journal: {}", file.getFullPathName().toStdString());
        return;
    }
    journalIdentity = files::replaceWithText (file, toJson (state));
    if (! journalIdentity)
        LUMO_LOG_INFO ("Cannot write the switch journal: {}", file.getFullPathName().toStdString());
}

// Reads the journal once, from one handle, at most kMaxJournalBytes.
std::optional<juce::String> readJournal (const juce::File& file, files::Refusal& refusal)
{
    auto opened = files::openForReading (file, file.getParentDirectory());
    refusal = opened.refusal;
    if (! opened)
        return std::nullopt;
    journalIdentity = opened.file.identity();
    juce::MemoryBlock data (kMaxJournalBytes + 1);
    int got = 0;
    for (int n; got <= kMaxJournalBytes && (n = opened.file.read (static_cast<char*> (data.getData()) + got, kMaxJournalBytes + 1 - got)) > 0;)
        got += n;
    if (got > kMaxJournalBytes)
        return std::nullopt;
    return juce::String::fromUTF8 (static_cast<const char*> (data.getData()), got);
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

void journalTempFile (const juce::File& file, std::optional<files::Identity> identity)
{
    std::lock_guard lock (journalMutex);
    auto found = std::find_if (journal.tempFiles.begin(), journal.tempFiles.end(), [&] (const TempFile& t) { return t.file == file; });
    if (found == journal.tempFiles.end())
        journal.tempFiles.push_back ({ file, identity });
    else if (identity)
        found->identity = identity;
    save (journal);
}

void journalTempFilesRemoved (const std::vector<juce::File>& removed)
{
    std::lock_guard lock (journalMutex);
    const auto before = journal.tempFiles.size();
    std::erase_if (journal.tempFiles,
                   [&] (const TempFile& t) { return std::find (removed.begin(), removed.end(), t.file) != removed.end(); });
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
    journalIdentity.reset();
    const auto file = getSwitchJournalFile();
    auto refusal = files::Refusal::none;
    const auto text = readJournal (file, refusal);
    if (refusal == files::Refusal::missing)
        return;

    const auto found = text ? fromJson (*text) : std::nullopt;
    if (! found)
    {
        LUMO_LOG_INFO ("Ignored a damaged switch journal: {}", file.getFullPathName().toStdString());
        save (journal);
        return;
    }

    for (const auto& temp : found->tempFiles)
    {
        const auto path = temp.file.getFullPathName().toStdString();
        if (! isOwnTempFile (temp.file))
        {
            LUMO_LOG_INFO ("Ignored a path in the switch journal that the tool does not write: {}", path);
            continue;
        }
        // The file as written, or, where the run ended before it was written,
        // whatever ordinary file of one name stands there now.
        auto identity = temp.identity;
        if (! identity)
            if (const auto opened = files::openForReading (temp.file, temp.file.getParentDirectory()))
                identity = opened.file.identity();
        const auto result = identity ? files::removeOwn (temp.file, *identity) : files::Removal::missing;
        if (result == files::Removal::removed)
            LUMO_LOG_INFO (kSwitchedOff, path);
        else if (result == files::Removal::elsewhere)
            LUMO_LOG_INFO ("Left alone, no longer the file the tool wrote: {}", path);
    }
    if (found->crashDumps)
        switchOffCrashDumps (*found->crashDumps);
    save (journal); // this run's state: nothing switched on yet
}

} // namespace util
