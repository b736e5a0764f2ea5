#pragma once

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
    explicit LogCollector (LoggingPage& owner);
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

    State current;
    std::mutex eventsMutex;
    std::deque<Event> events;
    ZipArchiveBuilder zipBuilder;
    std::vector<juce::File> tempFiles;
    LoggingPage& page;

    // Replace the side effects of the quit and reveal cells (tests); set before any event.
    std::function<void()> onQuit;
    std::function<void (const juce::File&)> onReveal;

private:
    // Closures may still be queued when the page is gone; they check this first.
    juce::Component::SafePointer<juce::Component> livePage;
};
