#include "Util/Journal.h"

#include "Log/Log.h"
#include "Util/Platform.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

#include <cstring>
#include <mutex>

LUMO_LOG_FILE_LOGGER

namespace util
{
namespace
{
constexpr const char* kJournalMark = "VORN Triagent switch journal";
constexpr int kJournalVersion = 1;
constexpr const char* kSwitchedOff = "Switched off after an earlier run: {}";

// What the tool found before it switched crash dumps on: kept in the machine
// record (where only administrators write), never in the user's journal.
struct CrashDumpRecord
{
    std::optional<std::vector<RegistryValue>> foundValues; // the key as an administrator had set it up
    bool createdLocalDumps = false;
};

constexpr const char* kCreatedLocalDumps = "CreatedLocalDumps";
constexpr const char* kKeyExisted = "KeyExisted";
constexpr const char* kFoundPrefix = "Found.";

struct TempFile
{
    juce::File file;
    std::optional<files::Identity> identity; // once written
};

struct JournalState
{
    std::vector<TempFile> tempFiles;

    bool empty() const { return tempFiles.empty(); }
};

std::mutex journalMutex;
JournalState journal;                     // this run's temporary files, as the journal says them
std::optional<CrashDumpRecord> crashDumps; // this run's crash-dump switch, as the machine record says it
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

    // A crash-dump entry (written by earlier versions, or forged) is ignored:
    // what the tool writes into the machine's registry never comes from here.
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

std::uint32_t dwordOf (const RegistryValue& value)
{
    const auto* bytes = static_cast<const std::uint8_t*> (value.data.getData());
    return static_cast<std::uint32_t> (bytes[0]) | (static_cast<std::uint32_t> (bytes[1]) << 8)
           | (static_cast<std::uint32_t> (bytes[2]) << 16) | (static_cast<std::uint32_t> (bytes[3]) << 24);
}

RegistryValue flag (const char* name, bool on)
{
    const std::uint8_t bytes[] = { static_cast<std::uint8_t> (on ? 1 : 0), 0, 0, 0 };
    return { name, RegistryValue::kDword, juce::MemoryBlock (bytes, sizeof (bytes)) };
}

// The record as values of the tool's own machine key: two flags, then the
// values found, each under its name behind a prefix.
std::vector<RegistryValue> encode (const CrashDumpRecord& record)
{
    std::vector<RegistryValue> values { flag (kCreatedLocalDumps, record.createdLocalDumps), flag (kKeyExisted, record.foundValues.has_value()) };
    if (record.foundValues)
        for (auto value : *record.foundValues)
        {
            value.name = kFoundPrefix + value.name;
            values.push_back (std::move (value));
        }
    return values;
}

// Empty when the record fails its checks: only an administrator can have
// written it, but it is checked all the same before anything is restored.
std::optional<CrashDumpRecord> decode (const std::vector<RegistryValue>& values)
{
    std::optional<bool> created, existed;
    std::vector<RegistryValue> found;
    for (const auto& value : values)
    {
        const bool isFlag = value.type == RegistryValue::kDword && value.data.getSize() == 4 && dwordOf (value) <= 1;
        if (value.name == kCreatedLocalDumps && isFlag)
            created = dwordOf (value) == 1;
        else if (value.name == kKeyExisted && isFlag)
            existed = dwordOf (value) == 1;
        else if (value.name.startsWith (kFoundPrefix))
        {
            auto original = value;
            original.name = value.name.substring (static_cast<int> (std::strlen (kFoundPrefix)));
            if (! isRestorable (original))
                return std::nullopt;
            found.push_back (std::move (original));
        }
        else
            return std::nullopt;
    }
    if (! created || ! existed || (! *existed && ! found.empty()))
        return std::nullopt;
    CrashDumpRecord record;
    record.createdLocalDumps = *created;
    if (*existed)
        record.foundValues = std::move (found);
    return record;
}

juce::String recordKeyName()
{
    return "HKEY_LOCAL_MACHINE\\" + juce::String (kCrashDumpRecordKeyPath);
}

// Puts the crash-dump key back as the record says it was; lines for what was
// switched off when a prefix is given. True when everything is back.
bool switchOffCrashDumps (const CrashDumpRecord& record, const char* linePrefix)
{
    auto& registry = crashDumpRegistry();
    bool ok = true;
    if (record.foundValues)
    {
        ok = registry.deleteProductValues (ourValueNames()) && registry.writeProductValues (*record.foundValues);
        if (ok && linePrefix != nullptr)
            LUMO_LOG_INFO (fmt::runtime (linePrefix), "crash dumps, " + productKeyName().toStdString() + " restored to the values it had");
    }
    else if (registry.readProductKey())
    {
        ok = registry.deleteProductKey();
        if (ok && linePrefix != nullptr)
            LUMO_LOG_INFO (fmt::runtime (linePrefix), "crash dumps, " + productKeyName().toStdString());
    }
    if (record.createdLocalDumps && registry.localDumpsExists())
    {
        const bool removed = registry.deleteLocalDumpsIfEmpty();
        ok = ok && removed;
        if (removed && ! registry.localDumpsExists() && linePrefix != nullptr)
            LUMO_LOG_INFO (fmt::runtime (linePrefix), "local crash dumps for every program, the LocalDumps key");
    }
    if (! ok)
        LUMO_LOG_INFO ("Cannot switch off crash dumps, they are still on; the next start tries again: {} (record {})",
                       productKeyName().toStdString(), recordKeyName().toStdString());
    return ok;
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
        // Once per run: a retry finds the key that this run wrote, not one to
        // restore. Written before the key changes, where only administrators write.
        if (! crashDumps)
        {
            const CrashDumpRecord record { registry.readProductKey(), ! registry.localDumpsExists() };
            if (! registry.writeRecord (encode (record)))
            {
                LUMO_LOG_INFO ("Cannot write the crash-dump record, crash dumps stay off: {}", recordKeyName().toStdString());
                return false;
            }
            crashDumps = record;
        }
    }
    return registry.writeProductValues (crashDumpValues (getCrashReportFolder()));
}

bool disableCrashDump()
{
    auto& registry = crashDumpRegistry();
    std::lock_guard lock (journalMutex);
    if (! crashDumps)
        return registry.deleteProductKey();
    // The record stays until the key is really back as it was.
    if (! switchOffCrashDumps (*crashDumps, nullptr))
        return false;
    if (! registry.deleteRecord())
        LUMO_LOG_INFO ("Cannot remove the crash-dump record: {}", recordKeyName().toStdString());
    crashDumps.reset();
    return true;
}

namespace
{
// The machine record of an earlier run that did not switch crash dumps off.
void recoverCrashDumps()
{
    auto& registry = crashDumpRegistry();
    const auto values = registry.readRecord();
    if (! values)
        return;
    const auto record = decode (*values);
    if (! record)
    {
        LUMO_LOG_INFO ("Ignored a damaged crash-dump record: {}", recordKeyName().toStdString());
        return;
    }
    if (switchOffCrashDumps (*record, kSwitchedOff) && ! registry.deleteRecord())
        LUMO_LOG_INFO ("Cannot remove the crash-dump record: {}", recordKeyName().toStdString());
}
} // namespace

void recoverSwitches()
{
    std::lock_guard lock (journalMutex);
    journal = {}; // a new run: nothing of its own is on yet
    crashDumps.reset();
    journalIdentity.reset();
    const auto file = getSwitchJournalFile();
    auto refusal = files::Refusal::none;
    const auto text = readJournal (file, refusal);
    if (refusal == files::Refusal::missing)
        return recoverCrashDumps();

    const auto found = text ? fromJson (*text) : std::nullopt;
    if (! found)
    {
        LUMO_LOG_INFO ("Ignored a damaged switch journal: {}", file.getFullPathName().toStdString());
        save (journal);
        return recoverCrashDumps();
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
    save (journal); // this run's state: nothing switched on yet
    recoverCrashDumps();
}

} // namespace util
