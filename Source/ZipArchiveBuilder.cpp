#include "ZipArchiveBuilder.h"

#include "Log/Log.h"
#include "Util/UtilWindows.h"

#include <zlib.h>

#include <cstdint>

LUMO_LOG_FILE_LOGGER

namespace
{
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr int kBlockSize = 1 << 20;
// Entries from this size on get a Zip64 local header, so that deflate's
// worst-case growth still fits.
constexpr std::uint64_t kZip64EntryThreshold = 0xF0000000u;

class Bytes
{
public:
    Bytes& u16 (std::uint32_t v) { return put (v, 2); }
    Bytes& u32 (std::uint64_t v) { return put (v, 4); }
    Bytes& u64 (std::uint64_t v) { return put (v, 8); }
    Bytes& text (const juce::String& s)
    {
        const auto* p = s.toRawUTF8();
        data.append (p, s.getNumBytesAsUTF8());
        return *this;
    }
    Bytes& append (const Bytes& other)
    {
        data.append (other.data.getData(), other.data.getSize());
        return *this;
    }
    const juce::MemoryBlock& block() const { return data; }
    size_t size() const { return data.getSize(); }

private:
    Bytes& put (std::uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i)
        {
            const auto byte = static_cast<char> ((v >> (8 * i)) & 0xFF);
            data.append (&byte, 1);
        }
        return *this;
    }
    juce::MemoryBlock data;
};

struct Entry
{
    juce::String name;
    std::uint32_t dosTime = 0, dosDate = 0, crc = 0;
    std::uint64_t compressed = 0, uncompressed = 0, offset = 0;
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

class Writer
{
public:
    Writer (juce::FileOutputStream& stream, const std::function<bool()>& stop) : out (stream), shouldStop (stop) {}

    bool write (const void* data, size_t size)
    {
        if (size == 0)
            return true;
        if (! out.write (data, size))
            return false;
        position += size;
        return true;
    }
    bool write (const Bytes& b) { return write (b.block().getData(), b.size()); }

    // Rewrites bytes already written, then returns to the end.
    bool patch (std::uint64_t at, const Bytes& b)
    {
        return out.setPosition (static_cast<juce::int64> (at)) && out.write (b.block().getData(), b.size())
               && out.setPosition (static_cast<juce::int64> (position));
    }

    // Deflates the source into the archive; false on a failed read or write or a stop.
    bool copyEntry (juce::FileInputStream& in, std::uint64_t size, int level, Entry& e)
    {
        z_stream z {};
        if (deflateInit2 (&z, std::clamp (level, 0, 9), Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return false;
        const auto done = [&] (bool ok) { deflateEnd (&z); return ok; };

        std::uint64_t remaining = size;
        uLong crc = crc32 (0, nullptr, 0);
        const auto start = position;
        int flush = Z_NO_FLUSH;
        do
        {
            if (shouldStop && shouldStop())
                return done (false);

            const auto want = static_cast<int> (std::min<std::uint64_t> (remaining, kBlockSize));
            const auto got = want > 0 ? in.read (input.data(), want) : 0;
            if (got != want)
                return done (false); // the file shrank or could not be read
            remaining -= static_cast<std::uint64_t> (got);
            crc = crc32 (crc, input.data(), static_cast<uInt> (got));
            flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;

            z.next_in = input.data();
            z.avail_in = static_cast<uInt> (got);
            do
            {
                z.next_out = output.data();
                z.avail_out = static_cast<uInt> (output.size());
                if (deflate (&z, flush) == Z_STREAM_ERROR)
                    return done (false);
                if (! write (output.data(), output.size() - z.avail_out))
                    return done (false);
            } while (z.avail_out == 0);
        } while (flush != Z_FINISH);

        e.crc = static_cast<std::uint32_t> (crc);
        e.compressed = position - start;
        return done (true);
    }

    std::uint64_t position = 0;

private:
    juce::FileOutputStream& out;
    const std::function<bool()>& shouldStop;
    std::vector<Bytef> input = std::vector<Bytef> (kBlockSize);
    std::vector<Bytef> output = std::vector<Bytef> (kBlockSize);
};

Bytes localHeader (const Entry& e)
{
    Bytes b;
    b.u32 (0x04034b50).u16 (e.zip64Local ? 45 : 20).u16 (e.flags).u16 (8).u16 (e.dosTime).u16 (e.dosDate);
    b.u32 (e.crc);
    b.u32 (e.zip64Local ? kMax32 : e.compressed).u32 (e.zip64Local ? kMax32 : e.uncompressed);
    b.u16 (static_cast<std::uint32_t> (e.name.getNumBytesAsUTF8())).u16 (e.zip64Local ? 20 : 0);
    b.text (e.name);
    if (e.zip64Local)
        b.u16 (0x0001).u16 (16).u64 (e.uncompressed).u64 (e.compressed);
    return b;
}

Bytes centralHeader (const Entry& e)
{
    const bool bigUncompressed = e.uncompressed >= kMax32 || e.zip64Local;
    const bool bigCompressed = e.compressed >= kMax32 || e.zip64Local;
    const bool bigOffset = e.offset >= kMax32;
    Bytes extra;
    if (bigUncompressed)
        extra.u64 (e.uncompressed);
    if (bigCompressed)
        extra.u64 (e.compressed);
    if (bigOffset)
        extra.u64 (e.offset);
    const bool zip64 = extra.size() > 0;

    Bytes b;
    b.u32 (0x02014b50).u16 (zip64 ? 45 : 20).u16 (zip64 ? 45 : 20).u16 (e.flags).u16 (8);
    b.u16 (e.dosTime).u16 (e.dosDate).u32 (e.crc);
    b.u32 (bigCompressed ? kMax32 : e.compressed).u32 (bigUncompressed ? kMax32 : e.uncompressed);
    b.u16 (static_cast<std::uint32_t> (e.name.getNumBytesAsUTF8()));
    b.u16 (zip64 ? static_cast<std::uint32_t> (extra.size() + 4) : 0);
    b.u16 (0).u16 (0).u16 (0).u32 (0).u32 (bigOffset ? kMax32 : e.offset);
    b.text (e.name);
    if (zip64)
        b.u16 (0x0001).u16 (static_cast<std::uint32_t> (extra.size())).append (extra);
    return b;
}

Bytes endOfArchive (std::uint64_t entries, std::uint64_t directoryOffset, std::uint64_t directorySize)
{
    Bytes b;
    const bool zip64 = entries >= 0xFFFF || directoryOffset >= kMax32 || directorySize >= kMax32;
    if (zip64)
    {
        const auto recordOffset = directoryOffset + directorySize;
        b.u32 (0x06064b50).u64 (44).u16 (45).u16 (45).u32 (0).u32 (0);
        b.u64 (entries).u64 (entries).u64 (directorySize).u64 (directoryOffset);
        b.u32 (0x07064b50).u32 (0).u64 (recordOffset).u32 (1);
    }
    b.u32 (0x06054b50).u16 (0).u16 (0);
    b.u16 (zip64 ? 0xFFFF : static_cast<std::uint32_t> (entries)).u16 (zip64 ? 0xFFFF : static_cast<std::uint32_t> (entries));
    b.u32 (zip64 ? kMax32 : directorySize).u32 (zip64 ? kMax32 : directoryOffset).u16 (0);
    return b;
}

struct Source
{
    juce::File file;
    juce::String name;
    int compressionLevel;
};

bool writeArchive (juce::FileOutputStream& out, const std::vector<Source>& sources, const std::function<bool()>& shouldStop)
{
    Writer writer (out, shouldStop);
    std::vector<Entry> entries;

    for (const auto& source : sources)
    {
        const auto& file = source.file;
        juce::FileInputStream in (file);
        if (! in.openedOk() || file.isDirectory())
        {
            LUMO_LOG_INFO ("Left out of the zip file, cannot be read: {}", file.getFullPathName().toStdString());
            continue;
        }

        Entry e;
        e.name = source.name;
        e.offset = writer.position;
        e.flags = util::isAscii (source.name) ? 0 : 0x0800; // bit 11: the name is UTF-8
        toDos (file.getLastModificationTime(), e);
        const auto size = static_cast<std::uint64_t> (std::max<juce::int64> (0, in.getTotalLength()));
        e.uncompressed = size;
        e.zip64Local = size >= kZip64EntryThreshold;

        if (! writer.write (localHeader (e)) || ! writer.copyEntry (in, size, source.compressionLevel, e))
            return false;
        if (! e.zip64Local && e.compressed >= kMax32)
            return false; // cannot happen below the threshold
        if (! writer.patch (e.offset, localHeader (e)))
            return false;
        entries.push_back (e);
    }

    const auto directoryOffset = writer.position;
    for (const auto& e : entries)
        if (! writer.write (centralHeader (e)))
            return false;
    const auto directorySize = writer.position - directoryOffset;
    return writer.write (endOfArchive (entries.size(), directoryOffset, directorySize));
}
} // namespace

void ZipArchiveBuilder::addFile (const juce::File& file, const juce::String& storedPath, int compressionLevel)
{
    items.push_back ({ file, storedPath, compressionLevel });
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
    std::vector<Source> sources;
    for (const auto& item : items)
        sources.push_back ({ item.file, entryName (item.file, item.storedPath), item.compressionLevel });

    if (target.exists() && ! target.deleteFile())
        return false;

    bool ok = false;
    {
        juce::FileOutputStream out (target, 16384);
        ok = out.openedOk() && writeArchive (out, sources, shouldStop);
        if (ok)
        {
            out.flush();
            ok = out.getStatus().wasOk();
        }
    }
    if (! ok)
        target.deleteFile();
    return ok;
}
