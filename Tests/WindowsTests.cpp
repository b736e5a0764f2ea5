// The Win32 side of the integration layer, run under Wine: registry switches,
// short paths, shell folders, console output decoding, the system report,
// archive names with Windows paths, the log in a non-ASCII folder, and the
// executable's version record and manifest.

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "Log/Log.h"
#include "TestSupport.h"
#include "Util/Journal.h"
#include "Util/Platform.h"
#include "Util/Process.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

using testing_support::pumpUntil;

namespace
{
const std::string kLocalDumps = "SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps";

juce::String utf8 (const char* text)
{
    return juce::String (juce::CharPointer_UTF8 (text));
}

bool keyExists (const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA (HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey (key);
    return true;
}

void deleteKey (const std::string& path)
{
    RegDeleteKeyExA (HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
}

struct Value
{
    DWORD type = 0;
    std::vector<BYTE> data;
};

std::optional<Value> readValue (const std::string& keyPath, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA (HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return std::nullopt;
    Value value;
    DWORD size = 0;
    auto status = RegQueryValueExW (key, name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS)
    {
        value.data.resize (size);
        status = RegQueryValueExW (key, name, nullptr, &value.type, value.data.data(), &size);
    }
    RegCloseKey (key);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

juce::File shellFolder (int csidl)
{
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE (SHGetSpecialFolderPathW (nullptr, path, csidl, FALSE));
    return juce::File (juce::String (path));
}

juce::File tempFolder()
{
    wchar_t path[2048] = {};
    EXPECT_GT (GetTempPathW (2048, path), 0u);
    return juce::File (juce::String (path));
}

// Leaves the registry as it found it.
class CrashDumpKeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        localDumpsExisted = keyExists (kLocalDumps);
        deleteKey (util::getLocalDumpsKeyPath());
    }
    void TearDown() override
    {
        deleteKey (util::kCrashDumpRecordKeyPath);
        deleteKey (util::getLocalDumpsKeyPath());
        if (! localDumpsExisted)
        {
            deleteKey (kLocalDumps);
        }
        else if (HKEY key = nullptr; RegCreateKeyExA (HKEY_LOCAL_MACHINE, kLocalDumps.c_str(), 0, nullptr, 0, KEY_READ,
                                                     nullptr, &key, nullptr)
                                     == ERROR_SUCCESS)
        {
            RegCloseKey (key);
        }
    }
    bool localDumpsExisted = false;
};
} // namespace

TEST_F (CrashDumpKeyTest, WritesTheThreeValuesInThe64BitView)
{
    ASSERT_TRUE (util::enableCrashDump());
    const auto key = util::getLocalDumpsKeyPath();

    const auto folder = readValue (key, L"DumpFolder");
    ASSERT_TRUE (folder.has_value());
    EXPECT_EQ (folder->type, static_cast<DWORD> (REG_EXPAND_SZ));
    const auto expected = util::getCrashReportFolder().getFullPathName();
    EXPECT_EQ (juce::String (reinterpret_cast<const wchar_t*> (folder->data.data())), expected);
    EXPECT_TRUE (expected.endsWith ("\\CrashDumps"));
    EXPECT_EQ (folder->data.size(), (static_cast<size_t> (expected.length()) + 1) * sizeof (wchar_t));

    for (const auto& [name, number] : { std::pair { L"DumpCount", 10u }, std::pair { L"DumpType", 2u } })
    {
        const auto value = readValue (key, name);
        ASSERT_TRUE (value.has_value());
        EXPECT_EQ (value->type, static_cast<DWORD> (REG_DWORD));
        ASSERT_EQ (value->data.size(), sizeof (DWORD));
        EXPECT_EQ (*reinterpret_cast<const DWORD*> (value->data.data()), number);
    }

    // The same as the system's own tool sees it.
    const auto query = process::runCommand ("reg query \"HKEY_LOCAL_MACHINE\\" + juce::String (key) + "\"");
    ASSERT_TRUE (query.has_value());
    EXPECT_TRUE (query->contains ("DumpFolder")) << *query;
    EXPECT_TRUE (query->contains ("REG_EXPAND_SZ")) << *query;
    EXPECT_TRUE (query->contains (expected)) << *query;
    EXPECT_TRUE (query->containsIgnoreCase ("0xa")) << *query;
    EXPECT_TRUE (query->containsIgnoreCase ("0x2")) << *query;

    EXPECT_TRUE (util::disableCrashDump());
    EXPECT_FALSE (keyExists (key));
    EXPECT_FALSE (util::disableCrashDump()); // nothing left to delete
}

TEST_F (CrashDumpKeyTest, DumpFolderHoldsTheRealNonAsciiPath)
{
    const auto folder = utf8 ("C:\\users\\J\xc3\xb6rg \xc3\x91" "and\xc3\xba\\AppData\\Local\\CrashDumps");
    ASSERT_TRUE (util::crashDumpRegistry().writeProductValues (util::crashDumpValues (juce::File (folder))));
    const auto value = readValue (util::getLocalDumpsKeyPath(), L"DumpFolder");
    ASSERT_TRUE (value.has_value());
    EXPECT_EQ (value->type, static_cast<DWORD> (REG_EXPAND_SZ));
    EXPECT_EQ (juce::String (reinterpret_cast<const wchar_t*> (value->data.data())), folder);
    EXPECT_TRUE (util::disableCrashDump());
}

TEST_F (CrashDumpKeyTest, RemovesLocalDumpsOnlyWhenItMadeIt)
{
    deleteKey (kLocalDumps);
    ASSERT_FALSE (keyExists (kLocalDumps));
    ASSERT_TRUE (util::enableCrashDump());
    EXPECT_TRUE (keyExists (kLocalDumps));
    EXPECT_TRUE (util::disableCrashDump());
    EXPECT_FALSE (keyExists (kLocalDumps)) << "local dumps left switched on for every program";

    HKEY key = nullptr;
    ASSERT_EQ (RegCreateKeyExA (HKEY_LOCAL_MACHINE, kLocalDumps.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
               ERROR_SUCCESS);
    RegCloseKey (key);
    ASSERT_TRUE (util::enableCrashDump());
    EXPECT_TRUE (util::disableCrashDump());
    EXPECT_TRUE (keyExists (kLocalDumps)) << "a LocalDumps key that existed before was removed";
}

// The report's programs are taken from the system folder: fakes planted beside
// the tool and in its current folder (the DebugView stand-in, which records its
// arguments) never run, the real ones do.
TEST (SystemReport, PlantedProgramsBesideTheToolAndInTheCurrentFolderNeverRun)
{
    const auto fake = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getSiblingFile ("Dbgview.exe");
    ASSERT_TRUE (fake.existsAsFile());
    const auto downloads = testing_support::sandbox().getChildFile ("Downloads");
    ASSERT_TRUE (downloads.createDirectory().wasOk());
    juce::Array<juce::File> planted;
    for (const auto& folder : { fake.getParentDirectory(), downloads })
        for (const auto* name : { "systeminfo.exe", "WMIC.exe", "reg.exe" })
        {
            const auto copy = folder.getChildFile (name);
            ASSERT_TRUE (fake.copyFileTo (copy));
            planted.add (copy);
        }
    const auto previous = juce::File::getCurrentWorkingDirectory();
    ASSERT_TRUE (downloads.setAsCurrentWorkingDirectory());

    const auto commands = util::platform::systemInfoCommands();
    ASSERT_TRUE (util::getMakerDocFolder().createDirectory().wasOk());
    const auto report = util::collectSystemInfo();
    previous.setAsCurrentWorkingDirectory();

    const auto system = util::platform::systemProgramFolder();
    ASSERT_EQ (commands.size(), 3u);
    EXPECT_EQ (commands[1].commandLine, system.getChildFile ("wbem\\WMIC.exe").getFullPathName() + " path Win32_VideoController");
    EXPECT_TRUE (commands[2].commandLine.startsWith (system.getChildFile ("reg.exe").getFullPathName() + " query "));
    ASSERT_TRUE (report.has_value());
    EXPECT_TRUE (report->loadFileAsString().contains ("MachineGuid")) << "the real reg.exe did not run";
    for (const auto& copy : planted)
    {
        EXPECT_FALSE (juce::File (copy.getFullPathName() + ".args").exists()) << copy.getFullPathName() << " ran";
        juce::File (copy.getFullPathName() + ".args").deleteFile();
        juce::File (copy.getFullPathName() + ".pids").deleteFile();
        copy.deleteFile();
    }
}

// An administrator's own crash-dump settings for the product survive a collection.
TEST_F (CrashDumpKeyTest, AKeyThatExistedBeforeIsRestoredNotDeleted)
{
    const auto key = util::getLocalDumpsKeyPath();
    HKEY handle = nullptr;
    ASSERT_EQ (RegCreateKeyExA (HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                                &handle, nullptr),
               ERROR_SUCCESS);
    const wchar_t folder[] = L"D:\\Dumps";
    const DWORD type = 1, flags = 0x21;
    RegSetValueExW (handle, L"DumpFolder", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*> (folder), sizeof (folder));
    RegSetValueExW (handle, L"DumpType", 0, REG_DWORD, reinterpret_cast<const BYTE*> (&type), sizeof (type));
    RegSetValueExW (handle, L"CustomDumpFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*> (&flags), sizeof (flags));
    RegCloseKey (handle);
    const auto before = util::crashDumpRegistry().readProductKey();
    ASSERT_TRUE (before.has_value());
    ASSERT_EQ (before->size(), 3u);

    auto sortedByName = [] (std::vector<util::RegistryValue> values) {
        std::sort (values.begin(), values.end(), [] (const auto& a, const auto& b) { return a.name < b.name; });
        return values;
    };
    const auto expectRestored = [&] {
        EXPECT_TRUE (keyExists (key));
        const auto after = util::crashDumpRegistry().readProductKey();
        ASSERT_TRUE (after.has_value());
        EXPECT_TRUE (sortedByName (*after) == sortedByName (*before));
        EXPECT_FALSE (readValue (key, L"DumpCount").has_value());
        EXPECT_FALSE (keyExists (util::kCrashDumpRecordKeyPath)) << "the machine record outlived the switch";
        EXPECT_FALSE (keyExists ("SOFTWARE\\Lumacore\\Triagent"));
    };

    // A collection: switched on, then off; the found values are in the machine record meanwhile.
    ASSERT_TRUE (util::enableCrashDump());
    EXPECT_EQ (*reinterpret_cast<const DWORD*> (readValue (key, L"DumpCount")->data.data()), 10u);
    const auto recorded = readValue (util::kCrashDumpRecordKeyPath, L"Found.DumpFolder");
    ASSERT_TRUE (recorded.has_value());
    EXPECT_EQ (std::wstring (reinterpret_cast<const wchar_t*> (recorded->data.data())), L"D:\\Dumps");
    EXPECT_TRUE (util::disableCrashDump());
    expectRestored();

    // A run that never switched off: the next start restores the key from the machine record.
    ASSERT_TRUE (util::enableCrashDump());
    util::recoverSwitches();
    expectRestored();
}

TEST (ShellFolders, LocationsFollowTheWin32Calls)
{
    const auto documents = shellFolder (CSIDL_PERSONAL);
    const auto roaming = shellFolder (CSIDL_APPDATA);
    const auto local = shellFolder (CSIDL_LOCAL_APPDATA);
    wchar_t exe[MAX_PATH] = {};
    ASSERT_GT (GetModuleFileNameW (nullptr, exe, MAX_PATH), 0u);

    EXPECT_EQ (util::getProductDocFolder().getFullPathName(), documents.getFullPathName() + "\\Lumacore\\VORN_X");
    EXPECT_EQ (util::getMakerDocFolder().getFullPathName(), documents.getFullPathName() + "\\Lumacore");
    EXPECT_EQ (util::getProductLogFolder().getFullPathName(), roaming.getFullPathName() + "\\Lumacore\\VORN_X");
    EXPECT_EQ (util::getProductSettingFile().getFullPathName(), roaming.getFullPathName() + "\\Lumacore\\VORN X.settings");
    EXPECT_EQ (util::getCrashReportFolder().getFullPathName(), local.getFullPathName() + "\\CrashDumps");
    // GetTempPathW ends in a separator; the file still has exactly one before its name.
    EXPECT_EQ (util::getDebugViewOutputFile().getFullPathName(), tempFolder().getFullPathName() + "\\DebugView.txt");
    EXPECT_FALSE (util::getDebugViewOutputFile().getFullPathName().contains ("\\\\"));
    EXPECT_EQ (util::getDebugViewExecutable().getFullPathName(),
               juce::File (juce::String (exe)).getParentDirectory().getFullPathName() + "\\Dbgview.exe");
}

TEST (ShortPath, OpensTheSameNonAsciiFile)
{
    const auto folder = tempFolder().getChildFile (utf8 ("Gr\xc3\xbc\xc3\x9f" "e \xc3\xb1 folder"));
    ASSERT_TRUE (folder.createDirectory().wasOk());
    const auto file = folder.getChildFile (utf8 ("d\xc3\xa4t\xc3\xa4 file.txt"));
    ASSERT_TRUE (file.replaceWithText ("through the short name"));

    const auto shortForm = util::getShortPath (file);
    ASSERT_TRUE (shortForm.has_value());
    EXPECT_TRUE (util::isAscii (*shortForm)) << *shortForm;
    EXPECT_EQ (juce::File (*shortForm).loadFileAsString(), "through the short name");

    EXPECT_FALSE (util::getShortPath (folder.getChildFile ("missing.txt")).has_value());
    folder.deleteRecursively();
}

TEST (ShortPath, NonAsciiTempFolderSwitchesBothDebugViewPathsToShortForms)
{
    const auto folder = tempFolder().getChildFile (utf8 ("J\xc3\xb6rg temp"));
    ASSERT_TRUE (folder.createDirectory().wasOk());
    ASSERT_TRUE (SetEnvironmentVariableW (L"TMP", folder.getFullPathName().toWideCharPointer()));
    ASSERT_TRUE (SetEnvironmentVariableW (L"TEMP", folder.getFullPathName().toWideCharPointer()));
    const auto output = util::getDebugViewOutputFile();
    ASSERT_TRUE (output.isAChildOf (folder));
    const auto exe = util::getDebugViewExecutable();
    ASSERT_TRUE (exe.existsAsFile()) << "the fake DebugView is built beside the tests";
    const juce::File args (exe.getFullPathName() + ".args");
    args.deleteFile();

    testing_support::ScopedCapture capture;
    ASSERT_EQ (util::enableLogging().size(), 1u);
    const auto messages = capture.sink->messages();
    ASSERT_EQ (messages.size(), 2u);
    EXPECT_EQ (messages[0], "Use short path for debugview cmd execute");
    const auto shortExe = util::getShortPath (exe);
    const auto shortOutput = util::getShortPath (output);
    ASSERT_TRUE (shortExe && shortOutput);
    EXPECT_EQ (messages[1], ("cmd: " + util::buildDebugViewCommand (*shortExe, *shortOutput)).toStdString());
    EXPECT_TRUE (util::isAscii (juce::String (messages[1])));

    // DebugView got the short form and wrote into the real file.
    EXPECT_TRUE (pumpUntil ([&] { return output.loadFileAsString().contains ("captured"); }, 10000));
    util::stopDebugView();
    util::getProductDocFolder().getChildFile ("debug.json").deleteFile();
    folder.deleteRecursively();
}

TEST (ConsoleOutput, RegQueryIn8BitTextIsDecoded)
{
    HKEY key = nullptr;
    ASSERT_EQ (RegCreateKeyExW (HKEY_CURRENT_USER, L"Software\\TriagentTest", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
               ERROR_SUCCESS);
    const auto text = utf8 ("Gr\xc3\xbc\xc3\x9f" "e");
    const std::wstring data (text.toWideCharPointer());
    RegSetValueExW (key, L"Greeting", 0, REG_SZ, reinterpret_cast<const BYTE*> (data.c_str()),
                    static_cast<DWORD> ((data.size() + 1) * sizeof (wchar_t)));
    RegCloseKey (key);

    const auto output = process::runCommand ("reg query HKEY_CURRENT_USER\\Software\\TriagentTest");
    RegDeleteKeyW (HKEY_CURRENT_USER, L"Software\\TriagentTest");
    ASSERT_TRUE (output.has_value());
    EXPECT_TRUE (output->contains ("Greeting")) << *output;
    EXPECT_TRUE (output->contains (text)) << *output;
    EXPECT_TRUE (output->contains ("\r\n"));

    const auto crypto = process::runCommand ("reg query \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\"");
    ASSERT_TRUE (crypto.has_value());
    EXPECT_TRUE (crypto->contains ("MachineGuid")) << *crypto;
}

TEST (ConsoleOutput, WmicInUtf16IsDecoded)
{
    const auto output = process::runCommand ("WMIC path Win32_VideoController get Name");
    ASSERT_TRUE (output.has_value());
    EXPECT_TRUE (output->trimStart().startsWith ("Name")) << *output;
    EXPECT_FALSE (output->containsChar (0xFEFF));
    EXPECT_EQ (output->indexOfChar (0), -1);
}

TEST (SystemReport, WrittenWithCrLfAndTheThreeHeaders)
{
    ASSERT_TRUE (util::getMakerDocFolder().createDirectory().wasOk());
    const auto file = util::collectSystemInfo();
    ASSERT_TRUE (file.has_value());
    juce::MemoryBlock bytes;
    ASSERT_TRUE (file->loadFileAsData (bytes));
    const auto text = bytes.toString();
    EXPECT_TRUE (text.startsWith ("=== systeminfo ===\r\n")) << text;
    EXPECT_TRUE (text.contains ("\r\n=== WMIC path Win32_VideoController ===\r\n")) << text;
    EXPECT_TRUE (text.contains ("\r\n=== reg query \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\" ===\r\n")) << text;
    EXPECT_TRUE (text.contains ("MachineGuid"));
    for (int i = 0; i < text.length(); ++i)
    {
        if (text[i] == '\n')
        {
            ASSERT_TRUE (i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
}

TEST (Gathering, ArchiveNamesWithWindowsPaths)
{
    const juce::File home ("C:\\users\\u");
    struct Case
    {
        const char* folder;
        const char* file;
        const char* expected;
    };
    const Case cases[] = {
        { "C:\\users\\u\\AppData\\Roaming\\Lumacore\\VORN_X", "C:\\users\\u\\AppData\\Roaming\\Lumacore\\VORN_X\\Logs\\a.log",
          "AppData-Roaming-Lumacore-VORN_X\\Logs\\a.log" },
        { "C:\\ProgramData\\Lumacore", "C:\\ProgramData\\Lumacore\\x.log", "..-..-ProgramData-Lumacore\\x.log" },
        // Another drive and a network share: named from the path without its drive colon or prefix.
        { "D:\\Docs\\Lumacore\\VORN_X", "D:\\Docs\\Lumacore\\VORN_X\\sub\\b.txt", "D-Docs-Lumacore-VORN_X\\sub\\b.txt" },
        { "\\\\server\\home\\u\\Lumacore\\VORN_X", "\\\\server\\home\\u\\Lumacore\\VORN_X\\c.json",
          "server-home-u-Lumacore-VORN_X\\c.json" },
    };
    for (const auto& c : cases)
        EXPECT_FALSE (util::archiveNameFor (home, juce::File (c.folder), juce::File (c.file)).containsChar (':')) << c.folder;
    for (const auto& c : cases)
        EXPECT_EQ (util::archiveNameFor (home, juce::File (c.folder), juce::File (c.file)), c.expected) << c.folder;
}

TEST (Gathering, RealFoldersOfThePrefix)
{
    const auto logs = util::getProductLogFolder();
    ASSERT_TRUE (logs.getChildFile ("Logs").createDirectory().wasOk());
    ASSERT_TRUE (logs.getChildFile ("Logs\\a.log").replaceWithText ("a"));
    const auto dump = util::getCrashReportFolder().getChildFile ("VORN X.exe.1234.dmp");
    ASSERT_TRUE (dump.create().wasOk());

    std::vector<juce::String> names;
    util::gatherLogFiles ([&] (const juce::File&, const juce::String& name) { names.push_back (name); });
    ASSERT_EQ (names.size(), 2u);
    EXPECT_EQ (names[0], "AppData-Roaming-Lumacore-VORN_X\\Logs\\a.log");
    EXPECT_EQ (names[1], "CrashDumps\\VORN X.exe.1234.dmp");
}

TEST (DiagnosticLog, WritesIntoANonAsciiFolder)
{
    const auto folder = tempFolder().getChildFile (utf8 ("Log \xc3\xa9t\xc3\xa9 \xe6\x97\xa5"));
    ASSERT_TRUE (folder.createDirectory().wasOk());
    const auto file = folder.getChildFile ("Triagent.log");
    file.deleteFile();
    auto created = util::files::createNew (file);
    ASSERT_TRUE (created);
    lumo::log::FileSink sink (std::move (created.file), lumo::log::Level::Info, util::platform::textLineEnd());
    sink.write (nullptr, "banner\n");
    EXPECT_EQ (file.loadFileAsString(), "banner\r\n");
    folder.deleteRecursively();
}

TEST (Resources, VersionRecordAndManifest)
{
    wchar_t exe[MAX_PATH] = {};
    ASSERT_GT (GetModuleFileNameW (nullptr, exe, MAX_PATH), 0u);
    DWORD handle = 0;
    const auto size = GetFileVersionInfoSizeW (exe, &handle);
    ASSERT_GT (size, 0u);
    std::vector<BYTE> info (size);
    ASSERT_TRUE (GetFileVersionInfoW (exe, 0, size, info.data()));

    const auto text = [&] (const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring (L"\\StringFileInfo\\040904b0\\") + name;
        if (! VerQueryValueW (info.data(), path.c_str(), reinterpret_cast<void**> (&value), &length) || value == nullptr)
            return juce::String();
        return juce::String (value);
    };
    EXPECT_EQ (text (L"CompanyName"), "Lumacore");
    EXPECT_EQ (text (L"ProductName"), "Triagent");
    EXPECT_EQ (text (L"FileDescription"), "Triagent");
    EXPECT_EQ (text (L"FileVersion"), "1.2.0");
    EXPECT_EQ (text (L"ProductVersion"), "1.2.0");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE (VerQueryValueW (info.data(), L"\\", reinterpret_cast<void**> (&fixed), &length));
    EXPECT_EQ (fixed->dwFileVersionMS, static_cast<DWORD> (MAKELONG (2, 1)));
    EXPECT_EQ (fixed->dwFileVersionLS, 0u);

    const auto resource = FindResourceW (nullptr, MAKEINTRESOURCEW (1), MAKEINTRESOURCEW (24));
    ASSERT_NE (resource, nullptr);
    const auto* data = static_cast<const char*> (LockResource (LoadResource (nullptr, resource)));
    const std::string manifest (data, SizeofResource (nullptr, resource));
    EXPECT_NE (manifest.find ("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE (manifest.find ("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE (manifest.find ("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>"), std::string::npos);
}

// What the user set for the tool (HKCU\Environment; here the test's own
// variables) never reaches a child: DebugView gets the system's variables.
TEST (ChildEnvironment, IsTheSystemsNotTheUsers)
{
    SetEnvironmentVariableW (L"PSModulePath", L"C:\\planted\\modules");
    SetEnvironmentVariableW (L"COR_ENABLE_PROFILING", L"1");
    SetEnvironmentVariableW (L"COR_PROFILER_PATH", L"C:\\planted\\profiler.dll");
    SetEnvironmentVariableW (L"TRIAGENT_PLANTED", L"yes");
    const auto fake = testing_support::installFakeDebugView();
    util::platform::isolateChildEnvironment();
    ASSERT_EQ (util::enableLogging().size(), 1u);
    const juce::File recorded (fake.getFullPathName() + ".env");
    ASSERT_TRUE (testing_support::pumpUntil ([&] { return recorded.loadFileAsString().contains ("COMPUTERNAME="); }, 20000));
    util::stopDebugView();

    const auto text = recorded.loadFileAsString();
    for (const auto* planted : { "TRIAGENT_PLANTED=", "COR_ENABLE_PROFILING=", "COR_PROFILER_PATH=", "planted" })
        EXPECT_FALSE (text.containsIgnoreCase (planted)) << planted << "\n" << text;
    const auto system = util::platform::systemProgramFolder().getFullPathName();
    EXPECT_TRUE (text.contains ("SystemRoot=")) << text;
    EXPECT_TRUE (text.contains ("PSModulePath=" + system + "\\WindowsPowerShell\\v1.0\\Modules\n")) << text;
    EXPECT_TRUE (text.contains ("PATH=" + system + ";")) << text;
}
