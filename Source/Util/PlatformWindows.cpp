// The platform layer for Windows: shell folders, short paths, the registry
// switches of Windows Error Reporting, console code pages and child processes.

#include "Util/Platform.h"
#include "Util/UtilWindows.h"
#include "Util/WindowsPaths.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace util::platform
{
namespace
{
// As early as the process allows (static initialisation): every DLL that is
// loaded at run time comes from the system folder, none from the folder the
// tool was started from (a download folder, where anything may lie).
const bool dllsFromSystemFolderOnly = SetDefaultDllDirectories (LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;

std::string parentKeyPath (const std::string& keyPath)
{
    return keyPath.substr (0, keyPath.find_last_of ('\\'));
}

std::wstring wide (const juce::String& text)
{
    return std::wstring (text.toWideCharPointer());
}

// A key of HKEY_LOCAL_MACHINE's 64-bit view, closed when it goes.
struct Key
{
    Key (const std::string& path, REGSAM access)
    {
        if (RegOpenKeyExA (HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS)
            handle = nullptr;
    }
    ~Key()
    {
        if (handle != nullptr)
            RegCloseKey (handle);
    }
    Key (const Key&) = delete;
    Key& operator= (const Key&) = delete;
    HKEY handle = nullptr;
};

bool keyIsEmpty (const std::string& keyPath)
{
    Key key (keyPath, KEY_READ);
    if (key.handle == nullptr)
        return false;
    DWORD subKeys = 0, values = 0;
    const auto status = RegQueryInfoKeyA (key.handle, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                          nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS && subKeys == 0 && values == 0;
}

class WindowsErrorReportingKeys : public util::CrashDumpRegistry
{
public:
    bool localDumpsExists() override { return Key (parentKeyPath (productKey()), KEY_READ).handle != nullptr; }

    std::optional<std::vector<util::RegistryValue>> readProductKey() override { return readValues (productKey()); }

    bool writeProductValues (const std::vector<util::RegistryValue>& values) override { return writeValues (productKey(), values); }

    bool deleteProductValues (const juce::StringArray& names) override
    {
        Key key (productKey(), KEY_SET_VALUE);
        if (key.handle == nullptr)
            return false;
        bool ok = true;
        for (const auto& name : names)
        {
            const auto status = RegDeleteValueW (key.handle, wide (name).c_str());
            ok = ok && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
        }
        return ok;
    }

    bool deleteProductKey() override
    {
        return RegDeleteKeyExA (HKEY_LOCAL_MACHINE, productKey().c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
    }

    bool deleteLocalDumpsIfEmpty() override
    {
        const auto parent = parentKeyPath (productKey());
        if (Key (parent, KEY_READ).handle == nullptr || ! keyIsEmpty (parent))
            return true; // gone, or kept for the other programs' keys
        return RegDeleteKeyExA (HKEY_LOCAL_MACHINE, parent.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
    }

    bool writeRecord (const std::vector<util::RegistryValue>& values) override
    {
        RegDeleteKeyExA (HKEY_LOCAL_MACHINE, util::kCrashDumpRecordKeyPath, KEY_WOW64_64KEY, 0); // no value of an older one survives
        return writeValues (util::kCrashDumpRecordKeyPath, values);
    }

    std::optional<std::vector<util::RegistryValue>> readRecord() override { return readValues (util::kCrashDumpRecordKeyPath); }

    bool deleteRecord() override
    {
        const auto status = RegDeleteKeyExA (HKEY_LOCAL_MACHINE, util::kCrashDumpRecordKeyPath, KEY_WOW64_64KEY, 0);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return false;
        // The tool's own key above it, when nothing else is left in it (the
        // maker's key is left alone: the product may use it).
        const auto own = parentKeyPath (util::kCrashDumpRecordKeyPath);
        if (keyIsEmpty (own))
            RegDeleteKeyExA (HKEY_LOCAL_MACHINE, own.c_str(), KEY_WOW64_64KEY, 0);
        return true;
    }

private:
    static std::string productKey() { return util::getLocalDumpsKeyPath(); }

    static std::optional<std::vector<util::RegistryValue>> readValues (const std::string& path)
    {
        Key key (path, KEY_READ);
        if (key.handle == nullptr)
            return std::nullopt;
        std::vector<util::RegistryValue> values;
        for (DWORD index = 0;; ++index)
        {
            wchar_t name[16384] = {};
            DWORD nameLength = 16384, type = 0, size = 0;
            if (RegEnumValueW (key.handle, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
                break;
            juce::MemoryBlock data (size);
            nameLength = 16384;
            if (RegEnumValueW (key.handle, index, name, &nameLength, nullptr, &type,
                               static_cast<BYTE*> (data.getData()), &size) != ERROR_SUCCESS)
                break;
            data.setSize (size);
            values.push_back ({ juce::String (name, nameLength), static_cast<std::uint32_t> (type), data });
        }
        return values;
    }

    static bool writeValues (const std::string& path, const std::vector<util::RegistryValue>& values)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA (HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr)
            != ERROR_SUCCESS)
            return false;
        bool ok = true;
        for (const auto& value : values)
            ok = ok
                 && RegSetValueExW (key, wide (value.name).c_str(), 0, value.type, static_cast<const BYTE*> (value.data.getData()),
                                    static_cast<DWORD> (value.data.getSize()))
                        == ERROR_SUCCESS;
        return RegCloseKey (key) == ERROR_SUCCESS && ok;
    }
};
} // namespace

namespace
{
// The desktop user's token, kept when that user is not the tool's own: the
// file manager is started with it.
HANDLE desktopUserToken = nullptr;

std::wstring windowsFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    const auto length = GetSystemWindowsDirectoryW (buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring (buffer, length) : std::wstring (L"C:\\Windows");
}

std::vector<BYTE> tokenUser (HANDLE token)
{
    DWORD size = 0;
    GetTokenInformation (token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer (size);
    if (size == 0 || ! GetTokenInformation (token, TokenUser, buffer.data(), size, &size))
        return {};
    return buffer;
}

std::optional<juce::File> knownFolderOf (REFKNOWNFOLDERID id, HANDLE token)
{
    PWSTR path = nullptr;
    std::optional<juce::File> result;
    if (SHGetKnownFolderPath (id, 0, token, &path) == S_OK && path != nullptr && path[0] != 0)
        result = juce::File (juce::String (path));
    CoTaskMemFree (path);
    return result;
}
} // namespace

std::optional<util::DesktopUser> otherDesktopUser()
{
    // The desktop's shell runs as the user signed in there; its token names
    // that user and opens the user's own known folders.
    const HWND shell = GetShellWindow();
    DWORD pid = 0;
    if (shell == nullptr || GetWindowThreadProcessId (shell, &pid) == 0 || pid == 0)
        return std::nullopt;
    const HANDLE process = OpenProcess (PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return std::nullopt;
    HANDLE token = nullptr;
    const bool opened = OpenProcessToken (process, TOKEN_QUERY | TOKEN_IMPERSONATE | TOKEN_DUPLICATE, &token) != 0;
    CloseHandle (process);
    if (! opened)
        return std::nullopt;

    HANDLE ownToken = nullptr;
    std::vector<BYTE> own;
    if (OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &ownToken))
    {
        own = tokenUser (ownToken);
        CloseHandle (ownToken);
    }
    const auto desktop = tokenUser (token);
    const auto sidOf = [] (const std::vector<BYTE>& user) { return reinterpret_cast<const TOKEN_USER*> (user.data())->User.Sid; };
    if (own.empty() || desktop.empty() || EqualSid (sidOf (own), sidOf (desktop)))
    {
        CloseHandle (token);
        return std::nullopt; // the same user, or unknown: the tool's own folders
    }

    const auto documents = knownFolderOf (FOLDERID_Documents, token);
    const auto roaming = knownFolderOf (FOLDERID_RoamingAppData, token);
    const auto local = knownFolderOf (FOLDERID_LocalAppData, token);
    const auto profile = knownFolderOf (FOLDERID_Profile, token);
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use {};
    const bool named = LookupAccountSidW (nullptr, sidOf (desktop), name, &nameLength, domain, &domainLength, &use) != 0;
    if (! documents || ! roaming || ! local || ! profile || ! named)
    {
        CloseHandle (token);
        return std::nullopt;
    }
    desktopUserToken = token;
    return util::DesktopUser { juce::String (domain) + "\\" + juce::String (name), { *documents, *roaming, *local, *profile } };
}

void revealToUser (const juce::File& file)
{
    // For another desktop user, the file manager runs as that user (with the
    // shell's token), so that it shows the zip where that user sees it.
    if (util::desktopUserIfOther() && desktopUserToken != nullptr)
    {
        HANDLE primary = nullptr;
        if (DuplicateTokenEx (desktopUserToken, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                              nullptr, SecurityImpersonation, TokenPrimary, &primary))
        {
            const auto explorer = juce::File (juce::String (windowsFolder().c_str())).getChildFile ("explorer.exe").getFullPathName();
            std::wstring commandLine = L"\"" + std::wstring (explorer.toWideCharPointer()) + L"\" /select,\""
                                       + std::wstring (file.getFullPathName().toWideCharPointer()) + L"\"";
            STARTUPINFOW startup {};
            startup.cb = sizeof (startup);
            PROCESS_INFORMATION info {};
            const bool started = CreateProcessWithTokenW (primary, 0, explorer.toWideCharPointer(), commandLine.data(), 0, nullptr,
                                                          nullptr, &startup, &info)
                                 != 0;
            CloseHandle (primary);
            if (started)
            {
                CloseHandle (info.hThread);
                CloseHandle (info.hProcess);
                return;
            }
        }
    }
    file.revealToUser();
}

juce::File localAppDataFolder()
{
    return juce::File::getSpecialLocation (juce::File::windowsLocalAppData);
}

juce::File debugViewExecutable()
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
        .getParentDirectory()
        .getChildFile ("Dbgview.exe");
}

std::filesystem::path toNativePath (const juce::File& file)
{
    // The wide form: a narrow path would be read in the ANSI code page.
    return std::filesystem::path (std::wstring (file.getFullPathName().toWideCharPointer()));
}

std::optional<juce::String> shortPath (const juce::File& file)
{
    wchar_t buffer[260] = {};
    const auto length = GetShortPathNameW (file.getFullPathName().toWideCharPointer(), buffer, 260);
    // 0 is a failure; a length of 260 or more means the buffer was too small and is unfilled.
    if (length == 0 || length >= 260)
        return std::nullopt;
    return juce::String (buffer, static_cast<size_t> (length));
}

util::CrashDumpRegistry& systemCrashDumpRegistry()
{
    static WindowsErrorReportingKeys keys;
    return keys;
}

RedirectionTrust enforceRedirectionTrust()
{
    // ProcessRedirectionTrustPolicy (16), PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY:
    // not in every SDK's headers, and the functions are missing on older
    // systems, so both are looked up at run time.
    constexpr int kProcessRedirectionTrustPolicy = 16;
    constexpr DWORD kEnforceRedirectionTrust = 0x1;
    using SetPolicy = BOOL (WINAPI*) (int, PVOID, SIZE_T);
    using GetPolicy = BOOL (WINAPI*) (HANDLE, int, PVOID, SIZE_T);
    const auto kernel = GetModuleHandleW (L"kernel32.dll");
    const auto set = kernel != nullptr ? reinterpret_cast<SetPolicy> (reinterpret_cast<void*> (GetProcAddress (kernel, "SetProcessMitigationPolicy"))) : nullptr;
    const auto get = kernel != nullptr ? reinterpret_cast<GetPolicy> (reinterpret_cast<void*> (GetProcAddress (kernel, "GetProcessMitigationPolicy"))) : nullptr;
    if (set == nullptr || get == nullptr)
        return RedirectionTrust::unavailable;

    DWORD flags = kEnforceRedirectionTrust;
    if (! set (kProcessRedirectionTrustPolicy, &flags, sizeof (flags)))
        return GetLastError() == ERROR_INVALID_PARAMETER ? RedirectionTrust::unavailable : RedirectionTrust::refused;
    // Counted as enforced only when the system reports it back.
    DWORD now = 0;
    if (! get (GetCurrentProcess(), kProcessRedirectionTrustPolicy, &now, sizeof (now)))
        return RedirectionTrust::refused;
    return (now & kEnforceRedirectionTrust) != 0 ? RedirectionTrust::enforced : RedirectionTrust::refused;
}

std::optional<juce::File> realPath (const juce::File& file)
{
    // Opening the path resolves every link and junction on the way; a folder needs backup semantics.
    const HANDLE handle = CreateFileW (win32Path (file).c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const auto path = finalPathOf (handle);
    CloseHandle (handle);
    return path;
}

const char* textLineEnd()
{
    return "\r\n";
}

juce::File systemProgramFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    const auto length = GetSystemDirectoryW (buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return juce::File ("C:\\Windows\\System32");
    return juce::File (juce::String (buffer, static_cast<size_t> (length)));
}

std::vector<util::SystemCommand> systemInfoCommands()
{
    const auto system = systemProgramFolder();
    const auto program = [&] (const char* name) { return util::quoteIfSpaced (system.getChildFile (name).getFullPathName()); };
    return { { "systeminfo", program ("systeminfo.exe") },
             { "WMIC path Win32_VideoController", util::videoControllerCommand (system) },
             { "reg query \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\"",
               program ("reg.exe") + " query \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Cryptography\"" } };
}

bool tieChildrenToThisProcess()
{
    // Kept open for the life of the process and never inherited: when the
    // process ends, however it ends, the last handle closes and the job kills
    // every child (DebugView, a report command) with it.
    static HANDLE job = nullptr;
    if (job != nullptr)
        return true;

    const HANDLE created = CreateJobObjectW (nullptr, nullptr);
    if (created == nullptr)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (! SetInformationJobObject (created, JobObjectExtendedLimitInformation, &limits, sizeof (limits))
        || ! AssignProcessToJobObject (created, GetCurrentProcess()))
    {
        CloseHandle (created);
        return false;
    }
    job = created;
    return true;
}

namespace
{
// The environment block of every child once isolateChildEnvironment has run
// (NAME=value strings, each ended by a zero, the block by another); empty:
// children inherit the tool's own.
std::mutex childEnvironmentMutex;
std::wstring childEnvironment;

std::wstring knownFolder (REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SHGetKnownFolderPath (id, 0, nullptr, &path) == S_OK)
        result = path;
    CoTaskMemFree (path);
    return result;
}
} // namespace

void isolateChildEnvironment()
{
    // Every value from the system, none from the environment the tool was
    // given (HKCU\Environment is the user's to set: COR_PROFILER_PATH,
    // PSModulePath, PATH, ...). The temporary folder is the tool's own; the
    // profile folders are the system's answer for the tool's user.
    const std::wstring root = windowsFolder();
    const std::wstring system = systemProgramFolder().getFullPathName().toWideCharPointer();
    wchar_t temp[MAX_PATH + 1] = {};
    const auto tempLength = GetTempPathW (MAX_PATH + 1, temp);
    std::wstring tempFolder = tempLength > 0 && tempLength <= MAX_PATH ? std::wstring (temp, tempLength) : root + L"\\Temp";
    if (tempFolder.size() > 3 && tempFolder.back() == L'\\')
        tempFolder.pop_back();
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW (computer, &computerLength);
    SYSTEM_INFO info {};
    GetNativeSystemInfo (&info);
    const wchar_t* architecture = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? L"AMD64"
                                  : info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? L"ARM64"
                                                                                                : L"x86";
    const std::pair<const wchar_t*, std::wstring> variables[] = {
        { L"SystemRoot", root },
        { L"windir", root },
        { L"SystemDrive", root.substr (0, 2) },
        { L"ComSpec", system + L"\\cmd.exe" },
        { L"PATH", system + L";" + root + L";" + system + L"\\Wbem;" + system + L"\\WindowsPowerShell\\v1.0\\" },
        { L"PATHEXT", L".COM;.EXE;.BAT;.CMD" },
        { L"PSModulePath", system + L"\\WindowsPowerShell\\v1.0\\Modules" },
        { L"TEMP", tempFolder },
        { L"TMP", tempFolder },
        { L"USERPROFILE", knownFolder (FOLDERID_Profile) },
        { L"APPDATA", knownFolder (FOLDERID_RoamingAppData) },
        { L"LOCALAPPDATA", knownFolder (FOLDERID_LocalAppData) },
        { L"ProgramData", knownFolder (FOLDERID_ProgramData) },
        { L"ProgramFiles", knownFolder (FOLDERID_ProgramFiles) },
        { L"OS", L"Windows_NT" },
        { L"PROCESSOR_ARCHITECTURE", architecture },
        { L"NUMBER_OF_PROCESSORS", std::to_wstring (info.dwNumberOfProcessors) },
        { L"COMPUTERNAME", std::wstring (computer, computerLength) },
    };
    std::wstring block;
    for (const auto& [name, value] : variables)
        if (! value.empty())
            block += std::wstring (name) + L"=" + value + L'\0';
    block += L'\0';

    std::lock_guard lock (childEnvironmentMutex);
    childEnvironment = std::move (block);
}

const char* legacy8BitName()
{
    return "oem";
}

juce::String decodeLegacy8Bit (const char* data, size_t size)
{
    if (size == 0)
        return {};
    // Console programs write to a pipe in the OEM code page.
    const auto wideLength = MultiByteToWideChar (CP_OEMCP, 0, data, static_cast<int> (size), nullptr, 0);
    if (wideLength <= 0)
        return juce::String (data, size);
    std::wstring wide (static_cast<size_t> (wideLength), L'\0');
    MultiByteToWideChar (CP_OEMCP, 0, data, static_cast<int> (size), wide.data(), wideLength);
    return juce::String (wide.c_str());
}

bool startChild (juce::ChildProcess& child, const juce::String& commandLine)
{
    // CreateProcess parses the quotation marks itself. JUCE passes the tool's
    // own environment on, so the child's is put in place for the start only
    // (the tool keeps its own: Wine's shell folders are read from it).
    std::lock_guard lock (childEnvironmentMutex);
    if (childEnvironment.empty())
        return child.start (commandLine);
    wchar_t* own = GetEnvironmentStringsW();
    size_t length = 0;
    while (own != nullptr && (own[length] != 0 || own[length + 1] != 0))
        ++length;
    std::wstring saved (own != nullptr ? own : L"", own != nullptr ? length + 2 : 0);
    FreeEnvironmentStringsW (own);
    if (saved.empty() || ! SetEnvironmentStringsW (childEnvironment.data()))
        return false; // never a child with the user's environment
    const bool started = child.start (commandLine);
    SetEnvironmentStringsW (saved.data());
    return started;
}

std::unique_ptr<juce::Timer> quitOnTerminationSignals (std::function<void()>)
{
    return nullptr; // the window's close message takes the quit path already
}

int pipeReadChunkSize()
{
    // The read polls the pipe and returns when the child has ended.
    return 65536;
}

} // namespace util::platform
