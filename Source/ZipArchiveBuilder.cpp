#include "ZipArchiveBuilder.h"

#include "Log/Log.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

LUMO_LOG_FILE_LOGGER

namespace
{
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
// Sources are read and deflated in chunks of this size; each chunk is an
// independent piece of its entry's deflate stream (ended by a full flush).
constexpr size_t kChunkSize = 1 << 20;
// Room for the worst case of stored blocks (5 bytes per 65,535) and headers.
constexpr size_t kChunkOutputSize = kChunkSize + kChunkSize / 64 + 1024;
// Compressor threads: one per core, at most this many (memory grows with them).
constexpr unsigned kMaxCompressors = 8;
// Pieces in flight at most: a few per compressor, bounded (about 2 MiB each).
constexpr size_t kMaxPiecesInFlight = 16;
// Entries from this size on get a Zip64 local header, so that deflate's
// worst-case growth still fits.
constexpr std::uint64_t kZip64EntryThreshold = 0xF0000000u;
// A name field holds at most this many bytes.
constexpr int kMaxNameBytes = 0xFFFF;

// Buffered writes to the archive's own handle, which the room created exclusively.
class HandleOutputStream : public juce::OutputStream
{
public:
    explicit HandleOutputStream (util::files::OpenFile& target) : file (target) { buffer.reserve (kBufferSize); }
    ~HandleOutputStream() override { flush(); }

    void flush() override
    {
        if (! buffer.empty() && ! file.write (buffer.data(), buffer.size()))
            failed = true;
        buffer.clear();
    }
    bool setPosition (juce::int64 newPosition) override
    {
        flush();
        if (failed || ! file.setPosition (static_cast<std::uint64_t> (newPosition)))
            return false;
        position = newPosition;
        return true;
    }
    juce::int64 getPosition() override { return position; }
    bool write (const void* data, size_t size) override
    {
        if (failed)
            return false;
        position += static_cast<juce::int64> (size);
        if (buffer.size() + size > kBufferSize)
        {
            flush();
            if (size >= kBufferSize)
            {
                failed = failed || ! file.write (data, size);
                return ! failed;
            }
        }
        const auto* bytes = static_cast<const std::uint8_t*> (data);
        buffer.insert (buffer.end(), bytes, bytes + size);
        return ! failed;
    }
    bool ok() const { return ! failed; }

private:
    static constexpr size_t kBufferSize = 16384;
    util::files::OpenFile& file;
    std::vector<std::uint8_t> buffer;
    juce::int64 position = 0;
    bool failed = false;
};

// Reads until the piece is full or the file ends; -1 on a failed read.
int readFully (util::files::OpenFile& in, std::uint8_t* into, int want)
{
    int got = 0;
    while (got < want)
    {
        const auto n = in.read (into + got, want - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// Why a source is left out, for its log line; empty when it can be archived.
std::optional<juce::String> leftOutReason (util::files::Refusal refusal)
{
    using util::files::Refusal;
    if (refusal == Refusal::none)
        return std::nullopt;
    if (refusal == Refusal::missing || refusal == Refusal::unreadable)
        return juce::String ("cannot be read");
    return juce::String (util::files::describe (refusal));
}

// The same for the manifest, in its own fixed words.
juce::String manifestReason (util::files::Refusal refusal)
{
    using util::files::Refusal;
    switch (refusal)
    {
        case Refusal::missing: return "vanished";
        case Refusal::link: return "link";
        case Refusal::specialFile: return "special file";
        case Refusal::hardLink: return "several names";
        case Refusal::outside: return "outside the folder";
        case Refusal::none:
        case Refusal::exists:
        case Refusal::unreadable: break;
    }
    return "unreadable";
}

void logLeftOut (const juce::String& reason, const juce::File& file)
{
    LUMO_LOG_INFO ("Left out of the zip file, {}: {}", reason.toStdString(), file.getFullPathName().toStdString());
}

// Little-endian fields of the zip records.
void u16 (juce::MemoryOutputStream& out, std::uint64_t v) { out.writeShort (static_cast<short> (v & 0xFFFF)); }
void u32 (juce::MemoryOutputStream& out, std::uint64_t v) { out.writeInt (static_cast<int> (v & kMax32)); }
void u64 (juce::MemoryOutputStream& out, std::uint64_t v) { out.writeInt64 (static_cast<juce::int64> (v)); }

struct Entry
{
    juce::String name;
    std::uint32_t dosTime = 0, dosDate = 0, crc = 0;
    std::uint64_t compressed = 0, uncompressed = 0, offset = 0, dataStart = 0;
    std::uint16_t flags = 0;
    bool zip64Local = false;
};

void toDos (const juce::Time& t, Entry& e)
{
    if (t.getYear() < 1980)
    {
        e.dosDate = (1 << 5) | 1; // 1980-01-01
        e.dosTime = 0;
        return;
    }
    e.dosDate = static_cast<std::uint32_t> (((std::min (t.getYear(), 2107) - 1980) << 9) | ((t.getMonth() + 1) << 5)
                                            | t.getDayOfMonth());
    e.dosTime = static_cast<std::uint32_t> ((t.getHours() << 11) | (t.getMinutes() << 5) | (t.getSeconds() / 2));
}

juce::MemoryBlock localHeader (const Entry& e)
{
    juce::MemoryOutputStream b;
    u32 (b, 0x04034b50);
    u16 (b, e.zip64Local ? 45 : 20);
    u16 (b, e.flags);
    u16 (b, 8);
    u16 (b, e.dosTime);
    u16 (b, e.dosDate);
    u32 (b, e.crc);
    u32 (b, e.zip64Local ? kMax32 : e.compressed);
    u32 (b, e.zip64Local ? kMax32 : e.uncompressed);
    u16 (b, e.name.getNumBytesAsUTF8());
    u16 (b, e.zip64Local ? 20 : 0);
    b.write (e.name.toRawUTF8(), e.name.getNumBytesAsUTF8());
    if (e.zip64Local)
    {
        u16 (b, 0x0001);
        u16 (b, 16);
        u64 (b, e.uncompressed);
        u64 (b, e.compressed);
    }
    return b.getMemoryBlock();
}

juce::MemoryBlock centralHeader (const Entry& e)
{
    const bool bigUncompressed = e.uncompressed >= kMax32 || e.zip64Local;
    const bool bigCompressed = e.compressed >= kMax32 || e.zip64Local;
    const bool bigOffset = e.offset >= kMax32;
    juce::MemoryOutputStream extra;
    if (bigUncompressed)
        u64 (extra, e.uncompressed);
    if (bigCompressed)
        u64 (extra, e.compressed);
    if (bigOffset)
        u64 (extra, e.offset);
    const bool zip64 = extra.getDataSize() > 0;

    juce::MemoryOutputStream b;
    u32 (b, 0x02014b50);
    u16 (b, zip64 ? 45 : 20);
    u16 (b, zip64 ? 45 : 20);
    u16 (b, e.flags);
    u16 (b, 8);
    u16 (b, e.dosTime);
    u16 (b, e.dosDate);
    u32 (b, e.crc);
    u32 (b, bigCompressed ? kMax32 : e.compressed);
    u32 (b, bigUncompressed ? kMax32 : e.uncompressed);
    u16 (b, e.name.getNumBytesAsUTF8());
    u16 (b, zip64 ? extra.getDataSize() + 4 : 0);
    u16 (b, 0); // comment length
    u16 (b, 0); // disk number
    u16 (b, 0); // internal attributes
    u32 (b, 0); // external attributes
    u32 (b, bigOffset ? kMax32 : e.offset);
    b.write (e.name.toRawUTF8(), e.name.getNumBytesAsUTF8());
    if (zip64)
    {
        u16 (b, 0x0001);
        u16 (b, extra.getDataSize());
        b.write (extra.getData(), extra.getDataSize());
    }
    return b.getMemoryBlock();
}

juce::MemoryBlock endOfArchive (std::uint64_t entries, std::uint64_t directoryOffset, std::uint64_t directorySize)
{
    juce::MemoryOutputStream b;
    const bool zip64 = entries >= 0xFFFF || directoryOffset >= kMax32 || directorySize >= kMax32;
    if (zip64)
    {
        const auto recordOffset = directoryOffset + directorySize;
        u32 (b, 0x06064b50);
        u64 (b, 44);
        u16 (b, 45);
        u16 (b, 45);
        u32 (b, 0);
        u32 (b, 0);
        u64 (b, entries);
        u64 (b, entries);
        u64 (b, directorySize);
        u64 (b, directoryOffset);
        u32 (b, 0x07064b50);
        u32 (b, 0);
        u64 (b, recordOffset);
        u32 (b, 1);
    }
    u32 (b, 0x06054b50);
    u16 (b, 0);
    u16 (b, 0);
    u16 (b, zip64 ? 0xFFFF : entries);
    u16 (b, zip64 ? 0xFFFF : entries);
    u32 (b, zip64 ? kMax32 : directorySize);
    u32 (b, zip64 ? kMax32 : directoryOffset);
    u16 (b, 0);
    return b.getMemoryBlock();
}

// One piece of a source on its way through the compressors.
struct Chunk
{
    std::vector<std::uint8_t> input = std::vector<std::uint8_t> (kChunkSize);
    std::vector<std::uint8_t> output = std::vector<std::uint8_t> (kChunkOutputSize);
    size_t inputSize = 0, outputSize = 0, entry = 0;
    int level = 1;
    bool first = false, last = false;
    bool inUse = false; // read and not yet written (the reading thread's own flag)
    bool done = false, ok = false; // set by a compressor, under the pool's lock
};

// Uncompressed deflate blocks of at most 65,535 bytes each. A chunk starts on
// a byte boundary, and stored blocks end on one, so the pieces join.
bool storeBlocks (Chunk& c)
{
    size_t in = 0, out = 0;
    do
    {
        const auto n = std::min<size_t> (c.inputSize - in, 0xFFFF);
        const bool final = c.last && in + n == c.inputSize;
        if (out + 5 + n > c.output.size())
            return false;
        c.output[out++] = final ? 1 : 0;
        c.output[out++] = static_cast<std::uint8_t> (n & 0xFF);
        c.output[out++] = static_cast<std::uint8_t> (n >> 8);
        c.output[out++] = static_cast<std::uint8_t> (~n & 0xFF);
        c.output[out++] = static_cast<std::uint8_t> ((~n >> 8) & 0xFF);
        std::memcpy (c.output.data() + out, c.input.data() + in, n);
        in += n;
        out += n;
    } while (in < c.inputSize);
    c.outputSize = out;
    return true;
}

bool deflateChunk (Chunk& c, std::vector<std::uint8_t>& levelBuffer)
{
    if (c.level == 0 || c.inputSize == 0)
        return storeBlocks (c);

    isal_zstream z;
    isal_deflate_stateless_init (&z);
    z.level = 1;
    z.level_buf = levelBuffer.data();
    z.level_buf_size = static_cast<std::uint32_t> (levelBuffer.size());
    z.gzip_flag = IGZIP_DEFLATE;
    z.end_of_stream = c.last ? 1 : 0;
    // Non-final pieces end byte-aligned and without history, so they join.
    z.flush = c.last ? NO_FLUSH : FULL_FLUSH;
    z.next_in = c.input.data();
    z.avail_in = static_cast<std::uint32_t> (c.inputSize);
    z.next_out = c.output.data();
    z.avail_out = static_cast<std::uint32_t> (c.output.size());
    const auto status = isal_deflate_stateless (&z);
    if (status == COMP_OK)
    {
        c.outputSize = z.total_out;
        return true;
    }
    // Data that does not shrink: store it instead.
    return status == STATELESS_OVERFLOW && storeBlocks (c);
}

// Compressor threads, one per core; chunks are handed in and waited for in order.
class DeflatePool
{
public:
    DeflatePool()
    {
        for (unsigned i = 0; i < threadCount(); ++i)
            threads.emplace_back ([this] { work(); });
    }

    // Finishes what was handed in, so that no compressor touches a chunk after this.
    ~DeflatePool()
    {
        {
            std::lock_guard lock (mutex);
            stopping = true;
        }
        wake.notify_all();
        for (auto& t : threads)
            t.join();
    }

    static unsigned threadCount() { return std::clamp (std::thread::hardware_concurrency(), 1u, kMaxCompressors); }

    void submit (Chunk& c)
    {
        {
            std::lock_guard lock (mutex);
            c.done = false;
            queue.push_back (&c);
        }
        wake.notify_one();
    }

    bool waitFor (Chunk& c)
    {
        std::unique_lock lock (mutex);
        finished.wait (lock, [&] { return c.done; });
        return c.ok;
    }

private:
    void work()
    {
        std::vector<std::uint8_t> levelBuffer (ISAL_DEF_LVL1_DEFAULT);
        for (;;)
        {
            Chunk* c = nullptr;
            {
                std::unique_lock lock (mutex);
                wake.wait (lock, [&] { return stopping || ! queue.empty(); });
                if (queue.empty())
                    return;
                c = queue.front();
                queue.pop_front();
            }
            const bool ok = deflateChunk (*c, levelBuffer);
            {
                std::lock_guard lock (mutex);
                c->ok = ok;
                c->done = true;
            }
            finished.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable wake, finished;
    std::deque<Chunk*> queue;
    bool stopping = false;
    std::vector<std::thread> threads;
};

class ArchiveWriter
{
public:
    ArchiveWriter (juce::OutputStream& stream, const std::function<bool()>& stop, std::atomic<std::uint64_t>& readSoFar,
                   ZipArchiveBuilder::Report& into)
        : out (stream), shouldStop (stop), bytesRead (readSoFar), report (into)
    {
        // Read-ahead bounded to a few pieces per compressor: memory stays flat.
        const auto pieces = std::clamp<size_t> (3 * DeflatePool::threadCount(), 4, kMaxPiecesInFlight);
        for (size_t i = 0; i < pieces; ++i)
            ring.push_back (std::make_unique<Chunk>());
    }

    bool writeAll (const std::vector<ZipArchiveBuilder::Item>& items, const ZipArchiveBuilder::LastEntry* lastEntry)
    {
        for (const auto& item : items)
            if (! addEntry (item))
                return false;
        if (lastEntry != nullptr)
        {
            // Every other entry is read: its size, CRC and status are known.
            const auto data = lastEntry->make (report);
            const auto* bytes = static_cast<const std::uint8_t*> (data.getData());
            std::uint64_t offset = 0;
            const auto reader = [&] (std::uint8_t* into, int want) {
                const auto n = static_cast<int> (std::min<std::uint64_t> (static_cast<std::uint64_t> (want), data.getSize() - offset));
                std::memcpy (into, bytes + offset, static_cast<size_t> (n));
                offset += static_cast<std::uint64_t> (n);
                return n;
            };
            if (! addStream (lastEntry->name, juce::File(), true, juce::Time::getCurrentTime(), data.getSize(), 1, reader, false))
                return false;
        }
        while (! pending.empty())
            if (! writeOldest())
                return false;

        for (size_t i = 0; i < report.entries.size() && i < entries.size(); ++i)
            report.entries[i].compressed = entries[i].compressed;
        const auto directoryOffset = position;
        for (const auto& e : entries)
            if (! write (centralHeader (e)))
                return false;
        const auto directorySize = position - directoryOffset;
        return write (endOfArchive (entries.size(), directoryOffset, directorySize));
    }

private:
    bool write (const void* data, size_t size)
    {
        if (size == 0)
            return true;
        if (! out.write (data, size))
            return false;
        position += size;
        return true;
    }
    bool write (const juce::MemoryBlock& b) { return write (b.getData(), b.getSize()); }

    // Rewrites bytes already written, then returns to the end.
    bool patch (std::uint64_t at, const juce::MemoryBlock& b)
    {
        return out.setPosition (static_cast<juce::int64> (at)) && out.write (b.getData(), b.getSize())
               && out.setPosition (static_cast<juce::int64> (position));
    }

    // Reads the source chunk by chunk into the pipeline.
    bool addEntry (const ZipArchiveBuilder::Item& item)
    {
        // Read from the handle that passed the room's checks, never by name again.
        auto opened = util::files::openForReading (item.file, item.file.getParentDirectory());
        if (const auto reason = leftOutReason (opened.refusal))
        {
            logLeftOut (*reason, item.file);
            report.leftOut.push_back ({ item.file, manifestReason (opened.refusal) });
            return true;
        }
        auto& in = opened.file;
        return addStream (item.name, item.file, item.writtenByTool, in.modified(), in.size(), item.compressionLevel,
                          [&in] (std::uint8_t* into, int want) { return readFully (in, into, want); }, true);
    }

    // One entry from a reader of `size` bytes (it may give fewer: a source that shrinks).
    bool addStream (const juce::String& name, const juce::File& source, bool writtenByTool, juce::Time modified, std::uint64_t size,
                    int level, const std::function<int (std::uint8_t*, int)>& readPiece, bool counted)
    {
        Entry e;
        e.name = name;
        e.flags = util::isAscii (name) ? 0 : 0x0800; // bit 11: the name is UTF-8
        toDos (modified, e);
        // The size when opened: what a writer appends meanwhile is left for the next collection.
        e.zip64Local = size >= kZip64EntryThreshold;
        entries.push_back (e);
        const auto index = entries.size() - 1;
        report.entries.push_back ({ name, source, writtenByTool, 0, 0, 0, modified, std::nullopt });

        std::uint64_t read = 0;
        std::uint32_t crc = 0;
        bool first = true, last = false;
        while (! last)
        {
            if (shouldStop && shouldStop())
                return false;
            auto* c = freeChunk();
            if (c == nullptr)
                return false;

            const auto want = static_cast<int> (std::min<std::uint64_t> (size - read, kChunkSize));
            const auto got = want > 0 ? readPiece (c->input.data(), want) : 0;
            if (got < 0)
                return false;
            if (got < want)
            {
                LUMO_LOG_INFO ("Shrank while it was archived, stored as far as it could be read: {} ({} of {} bytes)",
                               source.getFullPathName().toStdString(), read + static_cast<std::uint64_t> (got), size);
                report.entries.back().expected = size;
            }
            read += static_cast<std::uint64_t> (got);
            if (counted)
                bytesRead += static_cast<std::uint64_t> (want); // what was expected of it, so the total is reached
            crc = crc32_gzip_refl (crc, c->input.data(), static_cast<std::uint64_t> (got));
            last = got < want || read == size;

            c->inputSize = static_cast<size_t> (got);
            c->entry = index;
            c->level = level;
            c->first = first;
            c->last = last;
            c->inUse = true;
            first = false;
            if (last)
            {
                entries[index].crc = crc;
                entries[index].uncompressed = read;
                report.entries.back().crc = crc;
                report.entries.back().size = read;
                if (counted && read < size)
                    bytesRead += size - read - static_cast<std::uint64_t> (want - got); // the part it shrank by
            }
            pool.submit (*c);
            pending.push_back (c);
        }
        return true;
    }

    // The next chunk of the ring, once what it held has been written.
    Chunk* freeChunk()
    {
        auto* c = ring[nextChunk++ % ring.size()].get();
        while (c->inUse)
            if (! writeOldest())
                return nullptr;
        return c;
    }

    // Writes the oldest chunk in the pipeline, in archive order: the local
    // header before an entry's first piece, the sizes patched after its last.
    bool writeOldest()
    {
        auto* c = pending.front();
        pending.pop_front();
        const bool compressed = pool.waitFor (*c);
        c->inUse = false;
        if (! compressed)
            return false;

        auto& e = entries[c->entry];
        if (c->first)
        {
            e.offset = position;
            if (! write (localHeader (e)))
                return false;
            e.dataStart = position;
        }
        if (! write (c->output.data(), c->outputSize))
            return false;
        if (c->last)
        {
            e.compressed = position - e.dataStart;
            if (! e.zip64Local && (e.compressed >= kMax32 || e.uncompressed >= kMax32))
                return false; // cannot happen below the threshold
            return patch (e.offset, localHeader (e));
        }
        return true;
    }

    juce::OutputStream& out;
    const std::function<bool()>& shouldStop;
    std::atomic<std::uint64_t>& bytesRead;
    ZipArchiveBuilder::Report& report;
    std::uint64_t position = 0;
    std::deque<Entry> entries;
    std::vector<std::unique_ptr<Chunk>> ring;
    size_t nextChunk = 0;
    std::deque<Chunk*> pending;
    DeflatePool pool; // declared last: its threads are joined before the chunks go
};
} // namespace

void ZipArchiveBuilder::addFile (const juce::File& file, const juce::String& storedPath, int compressionLevel, bool writtenByTool)
{
    items.push_back ({ file, entryName (file, storedPath), compressionLevel, writtenByTool });
}

void ZipArchiveBuilder::clear()
{
    items.clear();
}

juce::String ZipArchiveBuilder::entryName (const juce::File& file, const juce::String& storedPath)
{
    const auto name = storedPath.isEmpty() ? file.getFileName() : storedPath;
    return name.replaceCharacter ('\\', '/');
}

bool ZipArchiveBuilder::writeToFile (const juce::File& target, const std::function<bool()>& shouldStop) const
{
    // Created exclusively: a name that is already there is neither opened nor deleted.
    auto created = util::files::createNew (target);
    if (! created)
        return false;
    if (writeTo (created.file, shouldStop))
        return true;
    created.file.close();
    util::files::removeCreated (target);
    return false;
}

bool ZipArchiveBuilder::writeTo (util::files::OpenFile& target, const std::function<bool()>& shouldStop, Report* report,
                                 const LastEntry* lastEntry) const
{
    Report local;
    auto& into = report != nullptr ? *report : local;
    into = {};
    bytesRead = 0;
    bytesTotal = 0;

    // Sources that cannot be read are named before anything is archived, so
    // that the tool's own log inside the archive lists them.
    std::vector<Item> readable;
    std::uint64_t total = 0;
    for (const auto& item : items)
    {
        if (item.name.getNumBytesAsUTF8() > static_cast<size_t> (kMaxNameBytes))
        {
            logLeftOut ("its name is too long for a zip file", item.file);
            into.leftOut.push_back ({ item.file, "name too long" });
            continue;
        }
        const auto probe = util::files::openForReading (item.file, item.file.getParentDirectory());
        if (const auto reason = leftOutReason (probe.refusal))
        {
            logLeftOut (*reason, item.file);
            into.leftOut.push_back ({ item.file, manifestReason (probe.refusal) });
            continue;
        }
        total += probe.file.size();
        readable.push_back (item);
    }
    bytesTotal = total;

    HandleOutputStream out (target);
    bool ok = ArchiveWriter (out, shouldStop, bytesRead, into).writeAll (readable, lastEntry);
    out.flush();
    ok = ok && out.ok() && target.flushToDisk();
    bytesRead = 0;
    bytesTotal = 0;
    return ok;
}
