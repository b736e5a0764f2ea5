// A stand-in for DebugView in the Windows test build: records its arguments
// (UTF-8, one per line) in "<its own path>.args" and its process id in
// "<its own path>.pids", its environment (one NAME=value a line) in
// "<its own path>.env", appends a line to the file named after "/l" and, as
// DebugView does, keeps that file open for writing (others may only read it)
// until it is killed.

#include <windows.h>
#include <shellapi.h>

#include <string>

static std::string toUtf8 (const wchar_t* text)
{
    const int size = WideCharToMultiByte (CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out (static_cast<size_t> (size > 0 ? size - 1 : 0), '\0');
    if (size > 1)
        WideCharToMultiByte (CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    return out;
}

static void append (const std::wstring& path, const std::string& text)
{
    const HANDLE file = CreateFileW (path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile (file, text.data(), static_cast<DWORD> (text.size()), &written, nullptr);
    CloseHandle (file);
}

int main()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW (GetCommandLineW(), &count);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW (nullptr, self, MAX_PATH);

    std::string recorded;
    for (int i = 1; i < count; ++i)
        recorded += toUtf8 (args[i]) + "\n";
    append (std::wstring (self) + L".args", recorded + "\n");

    append (std::wstring (self) + L".pids", std::to_string (GetCurrentProcessId()) + "\n");

    std::string environment;
    if (wchar_t* block = GetEnvironmentStringsW())
    {
        for (const wchar_t* entry = block; *entry != 0; entry += wcslen (entry) + 1)
            environment += toUtf8 (entry) + "\n";
        FreeEnvironmentStringsW (block);
    }
    DeleteFileW ((std::wstring (self) + L".env").c_str());
    append (std::wstring (self) + L".env", environment);

    HANDLE capture = INVALID_HANDLE_VALUE;
    for (int i = 1; i + 1 < count; ++i)
        if (std::wstring (args[i]) == L"/l")
        {
            capture = CreateFileW (args[i + 1], FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            if (capture != INVALID_HANDLE_VALUE)
                WriteFile (capture, "captured\r\n", 10, &written, nullptr);
        }

    for (;;)
        Sleep (1000);
}
