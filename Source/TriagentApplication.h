#pragma once

#include <atomic>
#include <optional>

#include <juce_gui_basics/juce_gui_basics.h>

#include "JuceCompat.h"

class TriagentApplication : public juce::JUCEApplication
{
public:
    class MainWindow : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (const juce::String& name);
        ~MainWindow() override;
        void closeButtonPressed() override;

    private:
        compat::RepaintPump repaintPump { *this };
    };

    TriagentApplication();
    ~TriagentApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void systemRequestedQuit() override;

private:
    // Ctrl-C or a termination request from outside takes the normal quit path,
    // so that the collector cleans up and DebugView is killed.
    class QuitOnSignal : private juce::Timer
    {
    public:
        void start();
        ~QuitOnSignal() override;

    private:
        void timerCallback() override;
    };

    std::optional<MainWindow> mainWindow;
    QuitOnSignal quitOnSignal;
};
