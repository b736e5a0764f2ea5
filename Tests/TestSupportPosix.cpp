// Test support on Linux.

#include "TestSupport.h"

#include "Util/UtilWindows.h"

#include <cstdlib>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace testing_support
{
bool processAlive (const juce::String& pid)
{
    const auto status = juce::File ("/proc/" + pid.trim() + "/status").loadFileAsString();
    return status.isNotEmpty() && ! status.fromFirstOccurrenceOf ("State:", false, false).trim().startsWith ("Z");
}

std::pair<int, std::string> runOnHost (const juce::StringArray& arguments)
{
    juce::ChildProcess child;
    if (! child.start (arguments))
        return { -1, "cannot start " + arguments[0].toStdString() };
    const auto output = child.readAllProcessOutput();
    if (! child.waitForProcessToFinish (600000))
        return { -1, "still running: " + arguments[0].toStdString() };
    return { static_cast<int> (child.getExitCode()), output.toStdString() };
}

juce::String hostPath (const juce::File& file)
{
    return file.getFullPathName();
}

int hugeFolderFileCount()
{
    return 100000;
}

long peakMemoryKiB()
{
    const auto status = juce::File ("/proc/self/status").loadFileAsString();
    return status.fromFirstOccurrenceOf ("VmHWM:", false, false).trim().getLargeIntValue();
}

ScopedEnvironment::ScopedEnvironment (const char* variable, const juce::String& value) : name (variable)
{
    if (const char* old = std::getenv (variable))
        previous = old;
    setenv (variable, value.toRawUTF8(), 1);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (previous)
        setenv (name.c_str(), previous->c_str(), 1);
    else
        unsetenv (name.c_str());
}

bool plantLink (const juce::File& target, const juce::File& linkPath)
{
    linkPath.getParentDirectory().createDirectory();
    return ::symlink (target.getFullPathName().toRawUTF8(), linkPath.getFullPathName().toRawUTF8()) == 0;
}

bool plantHardLink (const juce::File& existing, const juce::File& secondName)
{
    secondName.getParentDirectory().createDirectory();
    return ::link (existing.getFullPathName().toRawUTF8(), secondName.getFullPathName().toRawUTF8()) == 0;
}

bool plantFifo (const juce::File& path)
{
    path.getParentDirectory().createDirectory();
    return ::mkfifo (path.getFullPathName().toRawUTF8(), 0644) == 0;
}

bool plantDevice (const juce::File& path)
{
    path.getParentDirectory().createDirectory();
    return ::mknod (path.getFullPathName().toRawUTF8(), S_IFCHR | 0666, makedev (1, 3)) == 0;
}

void removeTrees (const juce::Array<juce::File>& folders)
{
    // JUCE removes a link itself here and never enters it.
    for (const auto& folder : folders)
        folder.deleteRecursively (false);
}

juce::File installFakeDebugView()
{
    juce::File (util::getDebugViewExecutable().getFullPathName() + ".args").deleteFile();
    juce::File (util::getDebugViewExecutable().getFullPathName() + ".pids").deleteFile();
    juce::File (util::getDebugViewExecutable().getFullPathName() + ".env").deleteFile();
    return writeScript (util::getDebugViewExecutable(),
                        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$0.args\"\n"
                        "echo >> \"$0.args\"\n"
                        "echo $$ >> \"$0.pids\"\n"
                        "/usr/bin/env > \"$0.env\"\n"
                        "[ -n \"$2\" ] && echo captured >> \"$2\"\n"
                        "exec sleep 300");
}

} // namespace testing_support
