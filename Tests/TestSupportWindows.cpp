// Test support under Wine.

#include "TestSupport.h"

#include "Util/UtilWindows.h"

#include <windows.h>
#include <psapi.h>

namespace testing_support
{
bool processAlive (const juce::String& pid)
{
    const HANDLE process = OpenProcess (PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD> (pid.trim().getIntValue()));
    if (process == nullptr)
        return false;
    DWORD code = 0;
    const bool running = GetExitCodeProcess (process, &code) && code == STILL_ACTIVE;
    CloseHandle (process);
    return running;
}

std::pair<int, std::string> runOnHost (const juce::StringArray& arguments)
{
    // Wine starts a Linux program but cannot wait for it or read its pipe to the
    // end: a shell script of its own writes the output and the exit code to files.
    const auto folder = sandbox().getChildFile ("host-run").getNonexistentChildFile ("run", "");
    folder.createDirectory();
    const auto quote = [] (const juce::String& s) { return "'" + s.replace ("'", "'\\''") + "'"; };
    juce::String command;
    for (const auto& argument : arguments)
        command << quote (argument) << " ";
    const auto output = folder.getChildFile ("output"), done = folder.getChildFile ("done"), script = folder.getChildFile ("run.sh");
    script.replaceWithText (command + "> " + quote (hostPath (output)) + " 2>&1\necho $? > " + quote (hostPath (done) + ".new")
                                + "\nmv " + quote (hostPath (done) + ".new") + " " + quote (hostPath (done)) + "\n",
                            false, false, "\n");

    juce::ChildProcess shell;
    if (! shell.start ("Z:\\bin\\sh " + hostPath (script), 0))
        return { -1, "cannot start the shell" };
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + 600000;
    while (! done.existsAsFile() && juce::Time::getMillisecondCounterHiRes() < deadline)
        juce::Thread::sleep (20);
    if (! done.existsAsFile())
        return { -1, "still running: " + arguments[0].toStdString() };
    return { done.loadFileAsString().trim().getIntValue(), output.loadFileAsString().toStdString() };
}

juce::String hostPath (const juce::File& file)
{
    // Drive Z: is the Linux root; drive C: is the prefix's drive_c.
    const auto path = file.getFullPathName();
    if (path.startsWithIgnoreCase ("Z:\\"))
        return "/" + path.substring (3).replaceCharacter ('\\', '/');
    const auto prefix = juce::SystemStats::getEnvironmentVariable ("WINEPREFIX", {});
    if (path.startsWithIgnoreCase ("C:\\") && prefix.isNotEmpty())
        return prefix + "/drive_c/" + path.substring (3).replaceCharacter ('\\', '/');
    return path;
}

int hugeFolderFileCount()
{
    return 20000;
}

long peakMemoryKiB()
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof (counters);
    if (! GetProcessMemoryInfo (GetCurrentProcess(), &counters, sizeof (counters)))
        return 0;
    return static_cast<long> (counters.PeakWorkingSetSize / 1024);
}

bool plantLink (const juce::File& target, const juce::File& linkPath)
{
    // Wine 8 makes no links itself: a Linux link inside the prefix.
    linkPath.getParentDirectory().createDirectory();
    return runOnHost ({ "/bin/ln", "-s", hostPath (target), hostPath (linkPath) }).first == 0;
}

bool plantHardLink (const juce::File& existing, const juce::File& secondName)
{
    secondName.getParentDirectory().createDirectory();
    return CreateHardLinkW (secondName.getFullPathName().toWideCharPointer(), existing.getFullPathName().toWideCharPointer(), nullptr) != 0;
}

bool plantFifo (const juce::File&)
{
    return false;
}

bool plantDevice (const juce::File&)
{
    return false;
}

void removeTrees (const juce::Array<juce::File>& folders)
{
    juce::StringArray command { "/bin/rm", "-rf", "--" };
    for (const auto& folder : folders)
        command.add (hostPath (folder));
    runOnHost (command);
}

juce::File installFakeDebugView()
{
    // Built beside the tests, where the tool looks for Dbgview.exe.
    const auto fake = util::getDebugViewExecutable();
    juce::File (fake.getFullPathName() + ".args").deleteFile();
    juce::File (fake.getFullPathName() + ".pids").deleteFile();
    juce::File (fake.getFullPathName() + ".env").deleteFile();
    return fake;
}

} // namespace testing_support
