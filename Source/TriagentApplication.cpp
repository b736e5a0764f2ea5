#include "TriagentApplication.h"

#include "Log/Log.h"
#include "MainComponent.h"
#include "Util/Platform.h"
#include "Util/UserFiles.h"
#include "Util/UtilWindows.h"

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
    // Before the first file is touched: links that others made are refused by
    // the system where it can, and the user's known folders are fixed.
    const auto trust = util::platform::enforceRedirectionTrust();
    util::files::resolveTrustedBases();
    // Children get an environment the tool builds, none of what the user set.
    util::platform::isolateChildEnvironment();

    mainWindow.reset();
    mainWindow.emplace (getApplicationName()); // sets up the log
    if (const auto line = util::userFoldersStartLine(); line.isNotEmpty())
        LUMO_LOG_INFO ("{}", line.toStdString());
    LUMO_LOG_INFO ("{}", trust == util::platform::RedirectionTrust::enforced
                             ? "Redirection trust enforced: links and junctions made by other users are refused"
                         : trust == util::platform::RedirectionTrust::refused
                             ? "Redirection trust not enforced: the system refused it"
                             : "Redirection trust not enforced: this system does not have it");
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
