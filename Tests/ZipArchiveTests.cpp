#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "Util/Platform.h"
#include "ZipArchiveBuilder.h"

namespace
{
juce::File scratch (const juce::String& path)
{
    // Emptied before each test (the archive is created exclusively).
    const auto file = testing_support::sandbox().getChildFile ("scratch").getChildFile (path);
    file.getParentDirectory().createDirectory();
    return file;
}

juce::File makeFile (const juce::String& path, const juce::String& text)
{
    const auto file = scratch (path);
    EXPECT_TRUE (file.replaceWithText (text, false, false, nullptr));
    return file;
}

// Info-ZIP's own integrity test of every entry (CRCs and sizes).
bool unzipAccepts (const juce::File& zip)
{
    const auto [code, output] = testing_support::runOnHost ({ "/usr/bin/unzip", "-tqq", testing_support::hostPath (zip) });
    return code == 0;
}

std::string runPython (const juce::String& script)
{
    // Debian's own Python: an interpreter manager behind PATH may not find its
    // versions under the sandbox's home.
    const auto [code, output] = testing_support::runOnHost ({ "/usr/bin/python3", "-c", script });
    EXPECT_EQ (code, 0) << output;
    return output;
}

// A path inside a Python string literal, as Debian's Python sees it.
juce::String py (const juce::File& file)
{
    return "'" + testing_support::hostPath (file) + "'";
}
} // namespace

TEST (ZipArchive, RoundTripOfSeveralFiles)
{
    const auto big = scratch ("src/big.bin");
    {
        juce::FileOutputStream out (big);
        juce::Random random (42);
        for (int i = 0; i < 3 * 1024 * 1024; ++i)
            out.writeByte (static_cast<char> (i % 7 == 0 ? random.nextInt (256) : 'a' + i % 13));
    }
    const auto a = makeFile ("src/a.log", "first line\nsecond line\n");
    const auto empty = makeFile ("src/empty.txt", "");
    const auto named = makeFile (juce::CharPointer_UTF8 ("src/J\xc3\xb6rg.settings"), "settings");
    ASSERT_TRUE (a.setLastModificationTime (juce::Time (2024, 1, 29, 13, 45, 30))); // 29 February

    ZipArchiveBuilder builder;
    builder.addFile (a, "AppData-Roaming-Lumacore-VORN_X\\Logs\\a.log");
    builder.addFile (big, "CrashDumps\\VORN X.exe.1.dmp");
    builder.addFile (empty, {});
    builder.addFile (named, {});
    // A name that is taken is neither opened nor deleted.
    const auto taken = makeFile ("out/taken.zip", "an older file in the way");
    EXPECT_FALSE (builder.writeToFile (taken));
    EXPECT_EQ (taken.loadFileAsString(), "an older file in the way");

    const auto zip = scratch ("out/archive.zip");
    ASSERT_TRUE (builder.writeToFile (zip));
    EXPECT_TRUE (unzipAccepts (zip));

    juce::ZipFile reader (zip);
    ASSERT_EQ (reader.getNumEntries(), 4);
    const char* names[] = { "AppData-Roaming-Lumacore-VORN_X/Logs/a.log", "CrashDumps/VORN X.exe.1.dmp", "empty.txt",
                            "J\xc3\xb6rg.settings" };
    const juce::File sources[] = { a, big, empty, named };
    for (int i = 0; i < 4; ++i)
    {
        const auto* entry = reader.getEntry (i);
        EXPECT_EQ (entry->filename, juce::String (juce::CharPointer_UTF8 (names[i])));
        std::unique_ptr<juce::InputStream> in (reader.createStreamForEntry (i));
        ASSERT_NE (in, nullptr);
        juce::MemoryBlock expected, actual;
        sources[i].loadFileAsData (expected);
        in->readIntoMemoryBlock (actual);
        EXPECT_TRUE (actual == expected) << names[i];
    }
    // The entry keeps the source's modification time (zip stores it to two seconds).
    const auto stored = reader.getEntry (0)->fileTime;
    EXPECT_EQ (stored.getYear(), 2024);
    EXPECT_EQ (stored.getMonth(), 1);
    EXPECT_EQ (stored.getDayOfMonth(), 29);
    EXPECT_EQ (stored.getHours(), 13);
    EXPECT_EQ (stored.getMinutes(), 45);
    EXPECT_EQ (stored.getSeconds(), 30);
    EXPECT_LT (zip.getSize(), big.getSize() / 2); // deflated
}

TEST (ZipArchive, SourceThatVanishedIsLeftOutWithALogLine)
{
    testing_support::ScopedCapture capture;
    const auto kept = makeFile ("src/kept.txt", "kept");
    const auto gone = makeFile ("src/gone.txt", "gone");
    ZipArchiveBuilder builder;
    builder.addFile (gone, {});
    builder.addFile (kept, {});
    ASSERT_TRUE (gone.deleteFile());

    const auto zip = scratch ("out/partial.zip");
    ASSERT_TRUE (builder.writeToFile (zip));
    juce::ZipFile reader (zip);
    ASSERT_EQ (reader.getNumEntries(), 1);
    EXPECT_EQ (reader.getEntry (0)->filename, "kept.txt");
    EXPECT_EQ (capture.sink->messages(),
               std::vector<std::string> { "Left out of the zip file, cannot be read: " + gone.getFullPathName().toStdString() });
}

TEST (ZipArchive, FailuresLeaveNoFileBehind)
{
    const auto source = makeFile ("src/a.txt", juce::String::repeatedString ("data ", 100000));
    ZipArchiveBuilder builder;
    builder.addFile (source, {});

    // A stop request while writing.
    const auto stopped = scratch ("out/stopped.zip");
    EXPECT_FALSE (builder.writeToFile (stopped, [] { return true; }));
    EXPECT_FALSE (stopped.exists());

    // A target that cannot be opened (a folder with something in it is in the way).
    const auto blocked = scratch ("out/blocked.zip");
    ASSERT_TRUE (blocked.getChildFile ("inside").create().wasOk());
    EXPECT_FALSE (builder.writeToFile (blocked));
    EXPECT_TRUE (blocked.isDirectory());

}

// A log that the product truncates or rotates while it is archived: the entry
// holds what could be read, its sizes match, and the log says so once.
TEST (ZipArchive, SourceThatShrinksWhileReadIsArchivedAsRead)
{
    testing_support::ScopedCapture capture;
    const auto log = scratch ("src/rotating.log");
    {
        juce::FileOutputStream out (log);
        for (int i = 0; out.getPosition() < (5 << 20); ++i)
            out << "line " << i << " of a log that is about to be rotated\n";
    }
    std::filesystem::resize_file (util::platform::toNativePath (log), 5 << 20);
    const auto after = makeFile ("src/after.txt", "the next entry");
    ZipArchiveBuilder builder;
    builder.addFile (log, {});
    builder.addFile (after, {});

    // Asked before each 1 MiB piece: the file shrinks to 2.5 MiB before the third.
    int pieces = 0;
    const auto shrinkThere = [&] {
        if (++pieces == 3)
            std::filesystem::resize_file (util::platform::toNativePath (log), (5 << 20) / 2);
        return false;
    };
    const auto zip = scratch ("out/shrunk.zip");
    ASSERT_TRUE (builder.writeToFile (zip, shrinkThere));

    const auto report = runPython ("import zipfile\n"
                                   "z = zipfile.ZipFile(" + py (zip) + ")\n"
                                   "data = z.read('rotating.log')\n"
                                   "print(len(data), data == open(" + py (log) + ", 'rb').read(), z.read('after.txt').decode())\n");
    EXPECT_EQ (report, "2621440 True the next entry\n");
    EXPECT_TRUE (unzipAccepts (zip));
    EXPECT_EQ (capture.sink->messages(),
               std::vector<std::string> { "Shrank while it was archived, stored as far as it could be read: "
                                          + log.getFullPathName().toStdString() + " (2621440 of 5242880 bytes)" });
}

// Sources that cannot be read are named in the log before the first entry is
// written, so that the tool's own log inside the archive lists them.
TEST (ZipArchive, UnreadableSourcesAreLoggedBeforeTheFirstEntry)
{
    testing_support::ScopedCapture capture;
    const auto first = makeFile ("src/first.txt", "first");
    const auto gone = scratch ("src/rotated-away.log");
    ZipArchiveBuilder builder;
    builder.addFile (first, {});
    builder.addFile (gone, {});
    builder.addFile (scratch ("src"), {}); // a folder is no file to archive
    bool loggedBeforeWriting = false;
    ASSERT_TRUE (builder.writeToFile (scratch ("out/early.zip"), [&] {
        loggedBeforeWriting = loggedBeforeWriting || ! capture.sink->messages().empty();
        return false;
    }));
    EXPECT_TRUE (loggedBeforeWriting);
    EXPECT_EQ (capture.sink->messages(),
               (std::vector<std::string> { "Left out of the zip file, cannot be read: " + gone.getFullPathName().toStdString(),
                                           "Left out of the zip file, a special file: " + scratch ("src").getFullPathName().toStdString() }));
}

TEST (ZipArchive, EmptyArchiveIsAValidZip)
{
    const auto zip = scratch ("out/empty.zip");
    ASSERT_TRUE (ZipArchiveBuilder().writeToFile (zip));
    EXPECT_EQ (zip.getSize(), 22);
    EXPECT_EQ (runPython ("import zipfile; print(len(zipfile.ZipFile(" + py (zip) + ").namelist()))"), "0\n");
}

// A 5 GiB sparse dump: Zip64 records for the entry, flat memory,
// and an independent reader (Python's zipfile, then Info-ZIP) checks every byte.
TEST (ZipArchive, FiveGiBSourceWithFlatMemory)
{
    const auto dump = scratch ("src/VORN X.exe.5.dmp");
    {
        std::ofstream out (dump.getFullPathName().toStdString(), std::ios::binary);
        const std::string marker = "dump marker";
        out.write (marker.data(), static_cast<std::streamsize> (marker.size()));
        out.seekp ((5LL << 30) - static_cast<long long> (marker.size()));
        out.write (marker.data(), static_cast<std::streamsize> (marker.size()));
    }
    ASSERT_EQ (dump.getSize(), 5LL << 30);
    const auto small = makeFile ("src/after.log", "written after the big entry, past 4 GiB");

    ZipArchiveBuilder builder;
    builder.addFile (dump, "CrashDumps\\VORN X.exe.5.dmp");
    builder.addFile (small, {});
    const auto zip = scratch ("out/big.zip");
    const auto before = testing_support::peakMemoryKiB();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE (builder.writeToFile (zip));
    const auto seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
    const auto growth = testing_support::peakMemoryKiB() - before;
    std::printf ("archived 5 GiB in %.1f s, peak memory grew by %ld KiB\n", seconds, growth);
    EXPECT_LT (growth, 64 * 1024);

    const auto report = runPython (
        "import zipfile, zlib\n"
        "z = zipfile.ZipFile(" + py (zip) + ")\n"
        "for i in z.infolist():\n"
        "    crc = 0; n = 0\n"
        "    with z.open(i) as f:\n"
        "        while True:\n"
        "            b = f.read(1 << 22)\n"
        "            if not b: break\n"
        "            crc = zlib.crc32(b, crc); n += len(b)\n"
        "    print(i.filename, n, crc == i.CRC)\n");
    EXPECT_EQ (report, "CrashDumps/VORN X.exe.5.dmp 5368709120 True\nafter.log 39 True\n");
    EXPECT_TRUE (unzipAccepts (zip));
    zip.deleteFile();
    dump.deleteFile();
}

// An archive past 4 GiB: the entry after a large stored one lies beyond the
// 32-bit offsets, so the central directory and its end need Zip64 records.
TEST (ZipArchive, EntriesPastFourGiBOfArchive)
{
    const auto filler = scratch ("src/filler.bin");
    {
        juce::FileOutputStream out (filler);
        ASSERT_TRUE (out.setPosition ((4LL << 30) + (64 << 20)));
        out.writeByte (7);
    }
    const auto small = makeFile ("src/last.log", "the last entry");

    ZipArchiveBuilder builder;
    builder.addFile (filler, {}, 0); // level 0: stored blocks, the archive grows by the whole size
    builder.addFile (small, {});
    const auto zip = scratch ("out/large.zip");
    ASSERT_TRUE (builder.writeToFile (zip));
    EXPECT_GT (zip.getSize(), 4LL << 30);

    const auto report = runPython ("import zipfile\n"
                                   "z = zipfile.ZipFile(" + py (zip) + ")\n"
                                   "i = z.getinfo('last.log')\n"
                                   "print(len(z.infolist()), i.header_offset > 0xFFFFFFFF, z.read('last.log').decode())\n");
    EXPECT_EQ (report, "2 True the last entry\n");
    EXPECT_TRUE (unzipAccepts (zip));
    zip.deleteFile();
    filler.deleteFile();
}

// What no zip record can hold, and what must never be opened for reading, is
// left out with a line; the archive is still written, and nothing waits.
TEST (ZipArchive, NamesTooLongAndSpecialFilesAreLeftOut)
{
    testing_support::ScopedCapture capture;
    const auto kept = makeFile ("src/kept.txt", "kept");
    const auto longName = makeFile ("src/long.txt", "long");
    ZipArchiveBuilder builder;
    builder.addFile (longName, juce::String::repeatedString ("n", 65536));
    builder.addFile (kept, {});
    const auto fifo = scratch ("src/pipe");
    const bool haveFifo = testing_support::plantFifo (fifo); // not under Wine
    if (haveFifo)
        builder.addFile (fifo, {});

    const auto zip = scratch ("out/left-out.zip");
    ASSERT_TRUE (builder.writeToFile (zip));
    juce::ZipFile reader (zip);
    ASSERT_EQ (reader.getNumEntries(), 1);
    EXPECT_EQ (reader.getEntry (0)->filename, "kept.txt");
    EXPECT_TRUE (unzipAccepts (zip));
    auto expected = std::vector<std::string> { "Left out of the zip file, its name is too long for a zip file: " + longName.getFullPathName().toStdString() };
    if (haveFifo)
        expected.push_back ("Left out of the zip file, a special file: " + fifo.getFullPathName().toStdString());
    EXPECT_EQ (capture.sink->messages(), expected);
}
