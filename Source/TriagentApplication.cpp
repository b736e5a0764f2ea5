#include "TriagentApplication.h"

#include "Log/Log.h"
#include "MainComponent.h"
#include "Util/Platform.h"

LUMO_LOG_FILE_LOGGER

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
    quitOnSignal = util::platform::quitOnTerminationSignals ([] {
        if (auto* app = juce::JUCEApplication::getInstance())
            app->systemRequestedQuit();
    });
    // Before the first child: DebugView and the report commands end with the tool, however it ends.
    if (! util::platform::tieChildrenToThisProcess())
        LUMO_LOG_INFO ("Child processes are not tied to the tool: the system refused");
}

void TriagentApplication::shutdown()
{
    quitOnSignal.reset();
    mainWindow.reset();
}

void TriagentApplication::systemRequestedQuit()
{
    quit();
}
