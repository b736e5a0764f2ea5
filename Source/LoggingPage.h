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
    LoggingPage();

    void resized() override;
    void timerCallback() override;

    void setInstruction (const juce::String& text);
    void setActionButton (const juce::String& caption, bool enabled);
    void setCloseButton (const juce::String& caption, bool enabled);
    void startActionCountdown (const juce::String& caption);
    void showSpinner (bool visible);
    void printMsg (const juce::String& msg);

    // Declared first: the collector and its thread exist before the widgets and outlive them.
    LogCollector collector;
    juce::TextEditor logView;
    juce::TextButton actionButton;
    juce::TextButton closeButton;
    juce::Label instructionLabel;
    Spinner spinner;
    int countdownSeconds = 0;
    juce::String countdownCaption;

private:
    void initComponents();
    void refreshCountdownCaption();
};
