#include "TriagentApplication.h"

#include "MainComponent.h"

#include <csignal>

namespace
{
std::atomic<bool> quitSignalled { false };

extern "C" void onQuitSignal (int)
{
    quitSignalled = true;
}
} // namespace

TriagentApplication::MainWindow::MainWindow (const juce::String& name)
    : juce::DocumentWindow (name,
                            juce::Desktop::getInstance().getDefaultLookAndFeel().findColour (
                                juce::ResizableWindow::backgroundColourId),
                            juce::DocumentWindow::allButtons,
                            true)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent(), true);
    setResizable (false, false);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}

TriagentApplication::MainWindow::~MainWindow() = default;

void TriagentApplication::MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

TriagentApplication::TriagentApplication() = default;
TriagentApplication::~TriagentApplication() = default;

const juce::String TriagentApplication::getApplicationName()
{
    return TRIAGENT_APP_NAME;
}

const juce::String TriagentApplication::getApplicationVersion()
{
    return TRIAGENT_APP_VERSION;
}

bool TriagentApplication::moreThanOneInstanceAllowed()
{
    return false;
}

void TriagentApplication::initialise (const juce::String&)
{
    mainWindow.reset();
    mainWindow.emplace (getApplicationName());
    quitOnSignal.start();
}

void TriagentApplication::shutdown()
{
    mainWindow.reset();
}

void TriagentApplication::systemRequestedQuit()
{
    quit();
}

void TriagentApplication::QuitOnSignal::start()
{
    std::signal (SIGINT, onQuitSignal);
    std::signal (SIGTERM, onQuitSignal);
    startTimer (100);
}

TriagentApplication::QuitOnSignal::~QuitOnSignal()
{
    stopTimer();
}

void TriagentApplication::QuitOnSignal::timerCallback()
{
    if (quitSignalled.exchange (false))
        if (auto* app = juce::JUCEApplication::getInstance())
            app->systemRequestedQuit();
}
