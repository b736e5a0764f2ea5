#include "Util/Process.h"

#include "Log/Log.h"
#include "Util/Platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

LUMO_LOG_FILE_LOGGER

namespace process
{
BackgroundThread::BackgroundThread (const juce::String& commandLine)
    : juce::Thread ("BackgroundThread: " + commandLine), command (commandLine)
{
}

BackgroundThread::~BackgroundThread()
{
    // The body notices a stop request within 100 ms and kills its child.
    stopThread (-1);
}

void BackgroundThread::run()
{
    juce::ChildProcess child;
    if (! util::platform::startChild (child, command))
    {
        LUMO_LOG_INFO ("Failed to start process: {}", command.toStdString());
        return;
    }

    while (! threadShouldExit())
        juce::Thread::sleep (100);

    child.kill();
}

namespace
{
constexpr int kBufferSize = 65536;
// How long a caller waits for the reader once the child is gone.
constexpr int kReaderGraceMs = 250;

// Shared by the caller and the reading thread, so that a reader stuck on a
// pipe held open by a grandchild can be left behind safely.
struct Capture
{
    juce::ChildProcess child;
    char buffer[kBufferSize] {};
    std::atomic<int> count { 0 };
    std::optional<int> exitCode; // set by the reader once the child has ended, before done
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;

    // Reads into the free remainder until it is full or the pipe ends. Each
    // piece is counted as soon as it arrives, so that a caller giving up on a
    // pipe that never ends still gets everything read so far.
    void readRemainder()
    {
        const auto chunk = util::platform::pipeReadChunkSize();
        while (count.load() < kBufferSize)
        {
            const auto used = count.load();
            const auto n = child.readProcessOutput (buffer + used, std::min (chunk, kBufferSize - used));
            if (n <= 0)
                return;
            count += n;
        }
    }

    void readAll()
    {
        for (int pass = 0; pass < 10 && count.load() < kBufferSize; ++pass)
        {
            if (child.waitForProcessToFinish (1000))
            {
                // Asked at once: a later look at a reaped child reads as 0 in JUCE.
                exitCode = static_cast<int> (child.getExitCode());
                break;
            }
            readRemainder();
        }
        // Whatever the child wrote before it ended.
        readRemainder();

        std::lock_guard lock (mutex);
        done = true;
        finished.notify_all();
    }
};
} // namespace

std::optional<juce::String> runCommand (const juce::String& command, int timeoutMs, CommandReport* report)
{
    const auto started = std::chrono::steady_clock::now();
    auto capture = std::make_shared<Capture>();
    if (! util::platform::startChild (capture->child, command))
    {
        if (report != nullptr)
            *report = CommandReport {}; // no exit code, no output
        return std::nullopt;
    }

    auto* caller = juce::Thread::getCurrentThread();
    std::thread reader ([capture] { capture->readAll(); });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    bool outOfTime = false;
    {
        std::unique_lock lock (capture->mutex);
        while (! capture->done)
        {
            if (caller != nullptr && caller->threadShouldExit())
                break;
            if (std::chrono::steady_clock::now() >= deadline)
            {
                outOfTime = true;
                break;
            }
            capture->finished.wait_for (lock, std::chrono::milliseconds (20));
        }
    }

    // Out of time, asked to stop, or the buffer is full: the child has nothing more to give.
    const bool killed = capture->child.isRunning();
    if (killed)
    {
        capture->child.kill();
        // Whoever reads the report should know that this section is partial.
        if (outOfTime)
            LUMO_LOG_INFO ("Stopped after {} s: {}", timeoutMs / 1000, command.toStdString());
    }

    // The pipe closes with the child; a grandchild may hold it open, so the
    // wait is short and the reader is left behind with its own share of the capture.
    bool readerDone = false;
    {
        std::unique_lock lock (capture->mutex);
        readerDone = capture->finished.wait_for (lock, std::chrono::milliseconds (kReaderGraceMs), [&] { return capture->done; });
    }
    const auto collected = capture->count.load();
    const auto text = decodeOutput (capture->buffer, static_cast<size_t> (collected), report != nullptr ? &report->decoding : nullptr);

    if (report != nullptr)
    {
        report->seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();
        report->timedOut = outOfTime;
        report->outputBytes = static_cast<size_t> (collected);
        // Once the reader is done the child has ended and its code can be asked for.
        report->exitCode = killed || ! readerDone ? std::nullopt : capture->exitCode;
    }

    if (readerDone)
        reader.join();
    else
        reader.detach(); // a grandchild still holds the pipe; the capture outlives this call

    return text;
}

} // namespace process
