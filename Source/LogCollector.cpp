#include "LogCollector.h"

#include "LoggingPage.h"
#include "Manifest.h"
#include "Timestamp.h"
#include "Log/Log.h"
#include "Util/Journal.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

#include <cstdlib>

LUMO_LOG_FILE_LOGGER

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
    signalThreadShouldExit();
    notify();
    if (waitForThreadToExit (kShutdownTimeoutMs))
        return;
    // Never killed: a thread killed in the middle of a call can leave locks
    // held and abort the process. What it left on, the next start switches
    // off from the journal.
    LUMO_LOG_INFO ("The collection did not stop in time; the tool ends now, the next start switches off what is still on");
    std::_Exit (0);
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
    // Created exclusively: a name that is already there (an earlier zip, or
    // something planted) is neither opened nor deleted; the next second's
    // time stamp is taken instead.
    const auto now = juce::Time::getCurrentTime();
    for (int second = 0; second < kZipNameAttempts; ++second)
    {
        const auto name = "VORN_LOG_" + formatTimestamp (now + juce::RelativeTime::seconds (second)) + ".zip";
        const auto target = util::getMakerDocFolder().getChildFile (name);
        auto created = util::files::createNew (target);
        if (created.refusal == util::files::Refusal::exists)
        {
            LUMO_LOG_INFO ("A zip file name is already taken, trying the next second's: {}", target.getFullPathName().toStdString());
            continue;
        }
        updateUi ([name] (LoggingPage& p) { p.printMsg ("Generating zip file: " + name); });
        if (! created)
        {
            LUMO_LOG_INFO ("Cannot create the zip file ({}): {}", util::files::describe (created.refusal),
                           target.getFullPathName().toStdString());
            return std::nullopt;
        }
        const ZipArchiveBuilder::LastEntry manifest { "manifest.json", [this] (const ZipArchiveBuilder::Report& report) {
                                                         return buildManifest (manifestInput(), report);
                                                     } };
        const auto shouldStop = [this] {
            if (beforeEachExportPiece)
                beforeEachExportPiece();
            return threadShouldExit();
        };
        if (zipBuilder.writeTo (created.file, shouldStop, &zipReport, &manifest))
            return target;
        created.file.close();
        if (util::files::removeCreated (target) == util::files::Removal::elsewhere)
            LUMO_LOG_INFO ("Left alone, no longer the file the tool wrote: {}", target.getFullPathName().toStdString());
        return std::nullopt;
    }
    return std::nullopt;
}

ManifestInput LogCollector::manifestInput() const
{
    ManifestInput input;
    input.toolName = TRIAGENT_APP_NAME;
    input.toolVersion = TRIAGENT_APP_VERSION;
    input.os = juce::SystemStats::getOperatingSystemName();
    const auto& desktopUser = util::desktopUserIfOther();
    input.user = desktopUser ? desktopUser->name : juce::SystemStats::getLogonName();
    input.created = juce::Time::getCurrentTime();
    input.reproducedFrom = diagnostics.reproducedFrom;
    input.reproducedTo = diagnostics.reproducedTo;
    input.switches = { { "debug log", diagnostics.debugLog }, { "DebugView capture", diagnostics.debugView }, { "crash dumps", diagnostics.crashDumps } };
    input.collection = collectionReport;
    return input;
}

void LogCollector::removeTempFiles()
{
    std::vector<juce::File> failures, removedFiles;
    for (const auto& file : tempFiles)
    {
        // Only the file the tool wrote, never a folder, never through a link.
        const auto result = util::files::removeCreated (file);
        if (result == util::files::Removal::elsewhere)
            LUMO_LOG_INFO ("Left alone, no longer the file the tool wrote: {}", file.getFullPathName().toStdString());
        (result == util::files::Removal::failed ? failures : removedFiles).push_back (file);
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
