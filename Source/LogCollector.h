#pragma once

#include "Util/UtilWindows.h"
#include "WizardStates.h"
#include "ZipArchiveBuilder.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include <juce_gui_basics/juce_gui_basics.h>

class LoggingPage;

// The engine of the "Logging" tab: owns the wizard's state, its event queue and
// the worker thread "LogCollector" on which every transition and state action
// runs. It reaches the page only through closures posted to the message thread.
class LogCollector : public juce::Thread, public WizardActions
{
public:
    // The side effects of the quit and reveal cells go to the given actions
    // (the system's when null); a reveal is carried to the message thread.
    LogCollector (LoggingPage& owner, WizardActions* actions = nullptr);
    ~LogCollector() override;

    void run() override;

    void pushEvent (Event event);
    std::optional<Event> popEvent();
    void updateUi (std::function<void (LoggingPage&)> function) const;

    std::optional<juce::File> exportZipFile();
    void removeTempFiles();

    // Waits on the worker; false when the thread is asked to stop meanwhile.
    bool pause (int milliseconds);

    void quitApplication() override;
    void revealToUser (const juce::File& file) override;

    // How long the destructor lets a work step wind down before it gives up on it.
    static constexpr int kShutdownTimeoutMs = 2000;
    // How many seconds' time stamps the export tries for a zip name not yet taken.
    static constexpr int kZipNameAttempts = 60;

    // Appended to by the work states, on the worker only.
    ZipArchiveBuilder zipBuilder;
    std::vector<juce::File> tempFiles;

    // What the zip's manifest says of this collection, set by the work states
    // on the worker: when each diagnostic went on, the reproduction window,
    // what the gathering found, and the archive's own report.
    struct Diagnostics
    {
        std::optional<juce::Time> debugLog, debugView, crashDumps, reproducedFrom, reproducedTo;
    } diagnostics;
    util::CollectionReport collectionReport;
    ZipArchiveBuilder::Report zipReport;

    // Called before each piece of the export is read (tests shrink a source there).
    std::function<void()> beforeEachExportPiece;

private:
    struct ManifestInput manifestInput() const;

    State current;              // the worker's only
    std::mutex eventsMutex;     // guards events
    std::deque<Event> events;
    WizardActions& sideEffects;
    // Closures may still be queued when the page is gone; they check this first.
    juce::Component::SafePointer<juce::Component> livePage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LogCollector)
};
