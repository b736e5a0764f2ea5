// The platform layer for systems other than Windows (Linux in particular).

#include "Util/Platform.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace util::platform
{
juce::File localAppDataFolder()
{
    // No local/roaming split here: the XDG data folder (~/.local/share) is the
    // per-user, machine-local counterpart.
    if (const char* dataHome = std::getenv ("XDG_DATA_HOME"); dataHome != nullptr && dataHome[0] == '/')
        return juce::File (juce::CharPointer_UTF8 (dataHome));
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (".local/share");
}

std::optional<util::DesktopUser> otherDesktopUser()
{
    return std::nullopt; // the tool runs as the user of the display
}

void revealToUser (const juce::File& file)
{
    file.revealToUser();
}

juce::File debugViewExecutable()
{
    // There is no DebugView here; a capture program of the same interface
    // ("<program> /l <file> /t") may be placed in the maker's per-user data folder.
    return localAppDataFolder().getChildFile ("Lumacore").getChildFile ("Dbgview");
}

std::filesystem::path toNativePath (const juce::File& file)
{
    return std::filesystem::path (file.getFullPathName().toStdString());
}

std::optional<juce::String> shortPath (const juce::File&)
{
    return std::nullopt; // no 8.3 names on this platform
}

// Windows Error Reporting does not exist here: the switches change nothing and
// report success, so that the wizard's road stays the same.
util::CrashDumpRegistry& systemCrashDumpRegistry()
{
    struct NoRegistry : util::CrashDumpRegistry
    {
        bool localDumpsExists() override { return true; }
        std::optional<std::vector<util::RegistryValue>> readProductKey() override { return std::nullopt; }
        bool writeProductValues (const std::vector<util::RegistryValue>&) override { return true; }
        bool deleteProductValues (const juce::StringArray&) override { return true; }
        bool deleteProductKey() override { return true; }
        bool deleteLocalDumpsIfEmpty() override { return true; }
        // Kept for the life of the process: there is nothing to switch off at a next start.
        bool writeRecord (const std::vector<util::RegistryValue>& values) override
        {
            record = values;
            return true;
        }
        std::optional<std::vector<util::RegistryValue>> readRecord() override { return record; }
        bool deleteRecord() override
        {
            record.reset();
            return true;
        }
        std::optional<std::vector<util::RegistryValue>> record;
    };
    static NoRegistry registry;
    return registry;
}

RedirectionTrust enforceRedirectionTrust()
{
    return RedirectionTrust::unavailable; // the file room's own checks are all there is
}

std::optional<juce::File> realPath (const juce::File& file)
{
    char buffer[PATH_MAX] = {};
    if (::realpath (file.getFullPathName().toRawUTF8(), buffer) == nullptr)
        return std::nullopt;
    return juce::File (juce::CharPointer_UTF8 (buffer));
}

const char* textLineEnd()
{
    return "\n";
}

juce::File systemProgramFolder()
{
    return juce::File ("/usr/bin");
}

std::vector<util::SystemCommand> systemInfoCommands()
{
    const auto bin = systemProgramFolder().getFullPathName();
    return { { "uname -a", bin + "/uname -a" },
             { "lspci -nn", bin + "/lspci -nn" },
             { "cat /etc/machine-id", bin + "/cat /etc/machine-id" } };
}

namespace
{
// Set around the children that startChild starts: the fork handler gives only
// those a parent-death signal (a file manager opened for the user may outlive us).
thread_local bool tieNextFork = false;
pid_t parentPid = 0;
bool forkHandlerInstalled = false;

// The environment of every child: a fixed search path of the system's folders
// and a locale, nothing of the tool's own (which the user sets).
char childPath[] = "PATH=/usr/bin:/bin";
char childLang[] = "LANG=C.UTF-8";
char childLcAll[] = "LC_ALL=C.UTF-8";
char* childEnvironment[] = { childPath, childLang, childLcAll, nullptr };

void beforeFork()
{
    parentPid = ::getpid();
}

void inForkedChild()
{
    if (! tieNextFork)
        return;
    environ = childEnvironment; // before the exec that follows: the child's own copy
    ::prctl (PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parentPid) // the parent died before the signal was armed
        ::_exit (127);
}
} // namespace

bool tieChildrenToThisProcess()
{
    if (! forkHandlerInstalled)
        forkHandlerInstalled = ::pthread_atfork (beforeFork, nullptr, inForkedChild) == 0;
    return forkHandlerInstalled;
}

void isolateChildEnvironment()
{
    // Every child of startChild gets the fixed environment in the fork handler.
    tieChildrenToThisProcess();
}

const char* legacy8BitName()
{
    return "latin-1";
}

juce::String decodeLegacy8Bit (const char* data, size_t size)
{
    // Latin-1: every byte is its own code point.
    juce::String text;
    text.preallocateBytes (size * 2);
    for (size_t i = 0; i < size; ++i)
        text += juce::String::charToString (static_cast<juce::juce_wchar> (static_cast<unsigned char> (data[i])));
    return text;
}

namespace
{
bool isExecutable (const juce::String& path)
{
    return ::access (path.toRawUTF8(), X_OK) == 0 && ! juce::File (path).isDirectory();
}

bool programExists (const juce::String& program)
{
    if (program.containsChar ('/'))
        return isExecutable (juce::File::getCurrentWorkingDirectory().getChildFile (program).getFullPathName());

    const char* path = std::getenv ("PATH");
    for (const auto& dir : juce::StringArray::fromTokens (path != nullptr ? path : "/usr/bin:/bin", ":", ""))
        if (dir.isNotEmpty() && isExecutable (dir + "/" + program))
            return true;
    return false;
}
} // namespace

bool startChild (juce::ChildProcess& child, const juce::String& commandLine)
{
    // JUCE's string form passes quotation marks of all but the program through
    // to the child; split and unquote here so the child gets the plain paths.
    juce::StringArray args;
    for (const auto& token : juce::StringArray::fromTokens (commandLine, true))
        args.add (token.unquoted());
    args.removeEmptyStrings();

    // A program that cannot be executed would otherwise "start" and exit at once.
    if (args.isEmpty() || ! programExists (args[0]))
        return false;

    // The signal follows the thread that forks; the callers' threads live as
    // long as their children should (a runner kills its child when it stops).
    tieNextFork = true;
    const bool started = child.start (args, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr);
    tieNextFork = false;
    return started;
}

namespace
{
std::atomic<bool> quitSignalled { false };

extern "C" void onQuitSignal (int)
{
    quitSignalled = true;
}

// Looks for a signal ten times a second; a handler may only set a flag.
class QuitOnSignal : public juce::Timer
{
public:
    explicit QuitOnSignal (std::function<void()> f) : quit (std::move (f))
    {
        std::signal (SIGINT, onQuitSignal);
        std::signal (SIGTERM, onQuitSignal);
        startTimer (100);
    }
    ~QuitOnSignal() override { stopTimer(); }

private:
    void timerCallback() override
    {
        if (quitSignalled.exchange (false))
            quit();
    }
    std::function<void()> quit;
};
} // namespace

std::unique_ptr<juce::Timer> quitOnTerminationSignals (std::function<void()> quit)
{
    return std::make_unique<QuitOnSignal> (std::move (quit));
}

int pipeReadChunkSize()
{
    // The read is a buffered fread, which blocks until the piece is full: one
    // byte at a time returns as soon as anything is there (the stream's own
    // buffer still reads the pipe in large blocks).
    return 1;
}

} // namespace util::platform
