#include <gtest/gtest.h>

#include "TestSupport.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

using testing_support::touch;

namespace
{
juce::String bytesOf (const juce::File& file)
{
    juce::MemoryBlock data;
    file.loadFileAsData (data);
    return data.toString();
}

using Handed = std::vector<std::pair<juce::String, juce::String>>; // (full path, name)

Handed gather()
{
    Handed handed;
    EXPECT_TRUE (util::gatherLogFiles ([&] (const juce::File& f, const juce::String& name) {
        handed.emplace_back (f.getFullPathName(), name);
    }));
    return handed;
}
} // namespace

TEST (SystemInfo, SectionsWhenEveryCommandFails)
{
    const auto text = util::buildSystemInfo ({ "no-such-a", "no-such-b --x", "/missing/c" });
    ASSERT_TRUE (text.has_value());
    EXPECT_EQ (*text, "=== no-such-a ===\n--- failed to execute ---\n"
                     "=== no-such-b --x ===\n--- failed to execute ---\n"
                     "=== /missing/c ===\n--- failed to execute ---\n");
}

TEST (SystemInfo, OutputEndingInALineEndLeavesAnEmptyLineAndCrLfIsKept)
{
    const auto dir = testing_support::sandbox();
    const auto a = testing_support::writeScript (dir.getChildFile ("a.sh"), "printf 'line\\n'");
    const auto b = testing_support::writeScript (dir.getChildFile ("b.sh"), "printf 'x\\r\\ny'");
    const auto report = util::buildSystemInfo ({ a.getFullPathName(), b.getFullPathName() });
    ASSERT_TRUE (report.has_value());
    const auto text = *report;
    EXPECT_EQ (text, "=== " + a.getFullPathName() + " ===\nline\n\n=== " + b.getFullPathName() + " ===\nx\r\ny\n");

    ASSERT_TRUE (util::getMakerDocFolder().createDirectory().wasOk());
    const auto file = util::writeOutputFile (text, "report.txt");
    ASSERT_TRUE (file.has_value());
    EXPECT_EQ (*file, util::getMakerDocFolder().getChildFile ("report.txt"));
    // Every bare line feed becomes CR LF; existing CR LF pairs stay as they are.
    EXPECT_EQ (bytesOf (*file), "=== " + a.getFullPathName() + " ===\r\nline\r\n\r\n=== " + b.getFullPathName() + " ===\r\nx\r\ny\r\n");
}

TEST (SystemInfo, WrittenIntoTheMakerFolderWithThreeSections)
{
    ASSERT_TRUE (util::getMakerDocFolder().createDirectory().wasOk());
    const auto file = util::collectSystemInfo();
    ASSERT_TRUE (file.has_value());
    EXPECT_EQ (*file, util::getMakerDocFolder().getChildFile ("system_info.txt"));
    const auto text = file->loadFileAsString();
    EXPECT_TRUE (text.startsWith ("=== uname -a ===\r\nLinux "));
    EXPECT_TRUE (text.contains ("\r\n=== lspci -nn ===\r\n"));
    EXPECT_TRUE (text.contains ("\r\n=== cat /etc/machine-id ===\r\n"));
}

TEST (SystemInfo, MissingMakerFolderFailsAndLeavesNoFile)
{
    ASSERT_FALSE (util::getMakerDocFolder().exists());
    EXPECT_FALSE (util::collectSystemInfo().has_value());
    EXPECT_FALSE (util::getMakerDocFolder().getChildFile ("system_info.txt").exists());
}

TEST (Gathering, ArchiveNamesRelativeToHome)
{
    const juce::File home ("/users/u");
    struct Case
    {
        const char* folder;
        const char* file;
        const char* expected;
    };
    const Case cases[] = {
        { "/users/u/.config/Lumacore/VORN_X", "/users/u/.config/Lumacore/VORN_X/Logs/a.log", ".config-Lumacore-VORN_X/Logs/a.log" },
        { "/users/u/Documents/Lumacore/VORN_X", "/users/u/Documents/Lumacore/VORN_X/debug.json", "Documents-Lumacore-VORN_X/debug.json" },
        { "/users/other/logs", "/users/other/logs/x.log", "..-other-logs/x.log" },
        { "/srv/data/logs", "/srv/data/logs/y/z.log", "..-..-srv-data-logs/y/z.log" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (util::archiveNameFor (home, juce::File (c.folder), juce::File (c.file)), c.expected) << c.folder;
}

TEST (Gathering, WalksEverySourceInOrderWithItsNames)
{
    const auto logs = util::getProductLogFolder();
    const auto docs = util::getProductDocFolder();
    const auto crash = util::getCrashReportFolder();
    touch (logs.getChildFile ("Triagent.log"));
    touch (logs.getChildFile ("Logs/a.log"));
    touch (docs.getChildFile ("debug.json"));
    touch (docs.getChildFile (".hidden"));
    touch (util::getProductSettingFile());
    touch (util::getDebugViewOutputFile());
    touch (crash.getChildFile ("VORN X.exe.1234.dmp"));
    touch (crash.getChildFile ("sub/VORN X.exe.99.dmp"));
    touch (crash.getChildFile ("CefSubprocess.exe.77.dmp"));
    touch (crash.getChildFile ("Other.exe.5.dmp"));

    const auto handed = gather();
    const auto nameOf = [&] (const juce::File& f) -> juce::String {
        for (const auto& [path, name] : handed)
            if (path == f.getFullPathName())
                return name;
        return "<not handed over>";
    };

    EXPECT_EQ (handed.size(), 9u);
    EXPECT_EQ (nameOf (logs.getChildFile ("Triagent.log")), ".config-Lumacore-VORN_X/Triagent.log");
    EXPECT_EQ (nameOf (logs.getChildFile ("Logs/a.log")), ".config-Lumacore-VORN_X/Logs/a.log");
    EXPECT_EQ (nameOf (docs.getChildFile ("debug.json")), "Documents-Lumacore-VORN_X/debug.json");
    EXPECT_EQ (nameOf (docs.getChildFile (".hidden")), "Documents-Lumacore-VORN_X/.hidden");
    EXPECT_EQ (nameOf (util::getProductSettingFile()), "");
    EXPECT_EQ (nameOf (util::getDebugViewOutputFile()), "");
    EXPECT_EQ (nameOf (crash.getChildFile ("VORN X.exe.1234.dmp")), "CrashDumps/VORN X.exe.1234.dmp");
    EXPECT_EQ (nameOf (crash.getChildFile ("sub/VORN X.exe.99.dmp")), "CrashDumps/sub/VORN X.exe.99.dmp");
    EXPECT_EQ (nameOf (crash.getChildFile ("CefSubprocess.exe.77.dmp")), "CrashDumps/CefSubprocess.exe.77.dmp");
    EXPECT_EQ (nameOf (crash.getChildFile ("Other.exe.5.dmp")), "<not handed over>");

    // Source order: logs, docs, settings, DebugView, product dumps, then CefSubprocess dumps.
    ASSERT_EQ (handed.size(), 9u);
    EXPECT_TRUE (handed[0].second.startsWith (".config-") && handed[1].second.startsWith (".config-"));
    EXPECT_TRUE (handed[2].second.startsWith ("Documents-") && handed[3].second.startsWith ("Documents-"));
    EXPECT_EQ (handed[4].first, util::getProductSettingFile().getFullPathName());
    EXPECT_EQ (handed[5].first, util::getDebugViewOutputFile().getFullPathName());
    EXPECT_TRUE (handed[6].second.startsWith ("CrashDumps/") && handed[7].second.contains ("VORN X"));
    EXPECT_EQ (handed[8].second, "CrashDumps/CefSubprocess.exe.77.dmp");
}

TEST (Gathering, EachMissingSourceLogsItsMessageAndTheWalkGoesOn)
{
    testing_support::ScopedCapture capture;
    touch (util::getDebugViewOutputFile()); // one source present, after three missing ones

    const auto handed = gather();
    ASSERT_EQ (handed.size(), 1u);
    EXPECT_EQ (handed[0].first, util::getDebugViewOutputFile().getFullPathName());

    const auto path = [] (const juce::File& f) { return f.getFullPathName().toStdString(); };
    EXPECT_EQ (capture.sink->messages(),
               (std::vector<std::string> { "Product log Folder not exist: " + path (util::getProductLogFolder()),
                                           "Product doc folder not exist: " + path (util::getProductDocFolder()),
                                           "Product Setting Folder not exist: " + path (util::getProductSettingFile()),
                                           "Crash Report Folder not exist: " + path (util::getCrashReportFolder()) }));
}

TEST (Gathering, EmptyFoldersHandNothingAndLogNothing)
{
    testing_support::ScopedCapture capture;
    ASSERT_TRUE (util::getProductLogFolder().createDirectory().wasOk());
    ASSERT_TRUE (util::getProductDocFolder().createDirectory().wasOk());
    ASSERT_TRUE (util::getCrashReportFolder().getChildFile ("Other.exe.1.dmp").create().wasOk());
    touch (util::getProductSettingFile());
    touch (util::getDebugViewOutputFile());

    EXPECT_EQ (gather().size(), 2u);
    EXPECT_TRUE (capture.sink->messages().empty());
}

// Which Windows reparse points are links: only name surrogates. The tags are
// Windows' own values (IO_REPARSE_TAG_*).
TEST (Gathering, OnlyNameSurrogateReparsePointsAreLinks)
{
    constexpr std::uint32_t reparsePoint = 0x400, directory = 0x10, archive = 0x20;
    const struct
    {
        const char* name;
        std::uint32_t attributes, tag;
        bool link;
    } cases[] = {
        { "symbolic link", reparsePoint | archive, 0xA000000C, true },
        { "junction (mount point)", reparsePoint | directory, 0xA0000003, true },
        { "OneDrive cloud file", reparsePoint | archive, 0x9000001A, false },
        { "OneDrive cloud folder", reparsePoint | directory, 0x9000701A, false },
        { "deduplicated file", reparsePoint | archive, 0x80000013, false },
        { "no reparse point", archive, 0, false },
        { "a stale tag without the attribute", archive, 0xA000000C, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ (util::files::isLinkReparseTag (c.attributes, c.tag), c.link) << c.name;
}
