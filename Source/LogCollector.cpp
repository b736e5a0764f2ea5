#include "LogCollector.h"

#include "LoggingPage.h"
#include "Timestamp.h"
#include "Util/Journal.h"
#include "Util/UtilWindows.h"

LogCollector::LogCollector (LoggingPage& owner, WizardActions* actions)
    : juce::Thread ("LogCollector"), sideEffects (actions != nullptr ? *actions : systemWizardActions()),
      livePage (&static_cast<juce::Component&> (owner))
{
    startThread();
}

LogCollector::~LogCollector()
{
    // Every work step notices the request (commands are killed, the archive
    // writer stops), so the worker still removes its temporary files.
    stopThread (kShutdownTimeoutMs);
}

void LogCollector::run()
{
    enter (current, *this);

    while (! threadShouldExit())
    {
        // The queue is drained before the exit request is looked at.
        while (auto next = popEvent())
        {
            if (auto target = transition (current, *next, *this))
            {
                leave (current, *this);
                current = std::move (*target);
                enter (current, *this);
            }
        }
        wait (-1);
    }

    removeTempFiles();
    leave (current, *this);
}

void LogCollector::pushEvent (Event event)
{
    {
        std::lock_guard lock (eventsMutex);
        events.push_back (std::move (event));
    }
    notify();
}

std::optional<Event> LogCollector::popEvent()
{
    std::lock_guard lock (eventsMutex);
    if (events.empty())
        return std::nullopt;
    auto event = std::move (events.front());
    events.pop_front();
    return event;
}

void LogCollector::updateUi (std::function<void (LoggingPage&)> function) const
{
    juce::MessageManager::callAsync ([function = std::move (function), target = livePage] {
        if (auto* component = target.getComponent())
            function (static_cast<LoggingPage&> (*component));
    });
}

std::optional<juce::File> LogCollector::exportZipFile()
{
    const auto name = "VORN_LOG_" + currentTimestamp() + ".zip";
    updateUi ([name] (LoggingPage& p) { p.printMsg ("Generating zip file: " + name); });

    const auto target = util::getMakerDocFolder().getChildFile (name);
    if (zipBuilder.writeToFile (target, [this] { return threadShouldExit(); }))
        return target;
    target.deleteFile();
    return std::nullopt;
}

void LogCollector::removeTempFiles()
{
    std::vector<juce::File> failures, removedFiles;
    for (const auto& file : tempFiles)
    {
        const bool removed = ! file.exists() || (file.isDirectory() ? file.deleteRecursively (false) : file.deleteFile());
        (removed ? removedFiles : failures).push_back (file);
    }
    util::journalTempFilesRemoved (removedFiles);

    if (! failures.empty())
    {
        for (const auto& file : failures)
            updateUi ([name = file.getFileName()] (LoggingPage& p) { p.printMsg ("Cannot remove a temporary file: " + name); });
        tempFiles = std::move (failures);
    }
    else
    {
        tempFiles.clear();
        updateUi ([] (LoggingPage& p) { p.printMsg ("Temporary files removed"); });
    }
}

bool LogCollector::pause (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + milliseconds;
    while (juce::Time::getMillisecondCounterHiRes() < end)
    {
        if (threadShouldExit())
            return false;
        juce::Thread::sleep (10);
    }
    return ! threadShouldExit();
}

void LogCollector::quitApplication()
{
    sideEffects.quitApplication(); // asks the message loop to stop: safe from any thread
}

void LogCollector::revealToUser (const juce::File& file)
{
    // On the message thread: the shell call behind it needs COM, which the
    // message thread has initialised and this worker has not.
    updateUi ([file, &actions = sideEffects] (LoggingPage&) { actions.revealToUser (file); });
}
