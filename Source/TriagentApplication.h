#pragma once

#include <memory>
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

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
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
    std::optional<MainWindow> mainWindow;
    // Where the system sends termination signals (POSIX): they take the normal
    // quit path, so that the collector cleans up and DebugView is killed.
    std::unique_ptr<juce::Timer> quitOnSignal;
};
