#include "TriagentApplication.h"

#include "Log/Log.h"
#include "MainComponent.h"
#include "Util/Platform.h"

#include <csignal>

LUMO_LOG_FILE_LOGGER

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
    // Before the first child: DebugView and the report commands end with the tool, however it ends.
    if (! util::platform::tieChildrenToThisProcess())
        LUMO_LOG_INFO ("Child processes are not tied to the tool: the system refused");
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
