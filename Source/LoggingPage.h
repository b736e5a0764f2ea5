#pragma once

#include "LogCollector.h"
#include "Spinner.h"

#include <juce_gui_basics/juce_gui_basics.h>

// The "Logging" tab: the face of the collection wizard. It shows what the
// wizard's states tell it, turns the two clicks into events, and runs the
// 15-second countdown on the action button.
class LoggingPage : public juce::Component, public juce::Timer
{
public:
    // actions: what the quit and reveal cells do (the system's when null).
    explicit LoggingPage (WizardActions* actions = nullptr);

    void resized() override;
    void timerCallback() override;

    void setInstruction (const juce::String& text);
    void setActionButton (const juce::String& caption, bool enabled);
    void setCloseButton (const juce::String& caption, bool enabled);
    void startActionCountdown (const juce::String& caption);
    void showSpinner (bool visible);
    // The export's progress bar under the spinner, fed from the archive
    // writer's counters by a timer a few times a second.
    void showExportProgress (bool visible);
    void printMsg (const juce::String& msg);

    // Declared first: the collector and its thread exist before the widgets and outlive them.
    LogCollector collector;

private:
    void initComponents();
    void refreshCountdownCaption();

    juce::TextEditor logView;
    juce::TextButton actionButton;
    juce::TextButton closeButton;
    juce::Label instructionLabel;
    Spinner spinner;
    double exportProgress = 0.0; // read by the progress bar on the message thread
    juce::ProgressBar progressBar { exportProgress };
    struct ProgressTimer : juce::Timer
    {
        std::function<void()> tick;
        void timerCallback() override { tick(); }
    } progressTimer;
    int countdownSeconds = 0;
    juce::String countdownCaption;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LoggingPage)
};
