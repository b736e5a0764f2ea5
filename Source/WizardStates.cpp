#include "WizardStates.h"

#include "LogCollector.h"
#include "LoggingPage.h"
#include "Log/Log.h"
#include "Manifest.h"
#include "Util/Platform.h"
#include "Util/UtilWindows.h"

#include <juce_events/juce_events.h>

LUMO_LOG_FILE_LOGGER

namespace
{
using Next = event::Next;
using Close = event::Close;
using Completed = event::Completed;

// The transition table, one handler per cell; every other pair is dropped.
struct Cells
{
    WizardActions& actions;

    using Result = std::optional<State>;

    Result quit() const
    {
        actions.quitApplication();
        return std::nullopt;
    }

    Result operator() (const state::ShowInfo&, const Next&) const { return state::BeforeEnableLog {}; }
    Result operator() (const state::ShowInfo&, const Close&) const { return quit(); }

    Result operator() (const state::BeforeEnableLog&, const Next&) const { return state::EnableLog {}; }
    Result operator() (const state::BeforeEnableLog&, const Close&) const { return quit(); }

    Result operator() (const state::EnableLog&, const Completed& c) const
    {
        return c.success ? State (state::RunVorn {}) : State (state::Fail {});
    }

    Result operator() (const state::RunVorn&, const Next&) const { return state::CollectInfo {}; }
    Result operator() (const state::RunVorn&, const Close&) const { return quit(); }

    Result operator() (const state::CollectInfo&, const Completed& c) const
    {
        return c.success ? State (state::Export {}) : State (state::Fail {});
    }

    Result operator() (const state::Export&, const Completed& c) const
    {
        const auto* zip = std::any_cast<juce::File> (&c.result);
        if (c.success && zip != nullptr)
            return state::Finish { *zip };
        return state::Fail {};
    }

    Result operator() (const state::Finish& finish, const Next&) const
    {
        actions.revealToUser (finish.zipFile);
        return std::nullopt;
    }
    Result operator() (const state::Finish&, const Close&) const { return quit(); }

    Result operator() (const state::Fail&, const Next&) const { return state::ShowInfo {}; }
    Result operator() (const state::Fail&, const Close&) const { return quit(); }

    template <typename S, typename E>
    Result operator() (const S&, const E&) const
    {
        return std::nullopt;
    }
};

void post (const LogCollector& c, std::function<void (LoggingPage&)> f)
{
    c.updateUi (std::move (f));
}

void printMsg (const LogCollector& c, const juce::String& msg)
{
    post (c, [msg] (LoggingPage& p) { p.printMsg (msg); });
}

void showBusy (const LogCollector& c, const juce::String& caption)
{
    post (c, [caption] (LoggingPage& p) {
        p.setActionButton (caption, false);
        p.setCloseButton ("CLOSE", false);
        p.showSpinner (true);
    });
}

void hideSpinner (const LogCollector& c)
{
    post (c, [] (LoggingPage& p) { p.showSpinner (false); });
}

void complete (LogCollector& c, bool success, std::any result = {})
{
    c.pushEvent (Completed { success, std::move (result) });
}
} // namespace

WizardActions& systemWizardActions()
{
    struct System : WizardActions
    {
        void quitApplication() override { juce::JUCEApplicationBase::quit(); }
        void revealToUser (const juce::File& file) override { util::platform::revealToUser (file); }
    };
    static System actions;
    return actions;
}

std::optional<State> transition (const State& current, const Event& event, WizardActions& actions)
{
    return std::visit (Cells { actions }, current, event);
}

void enter (const State& s, LogCollector& collector)
{
    std::visit ([&] (const auto& alternative) { alternative.enter (collector); }, s);
}

void leave (const State& s, LogCollector& collector)
{
    std::visit (
        [&] (const auto& alternative) {
            if constexpr (requires { alternative.leave (collector); })
                alternative.leave (collector);
        },
        s);
}

namespace state
{
void ShowInfo::enter (LogCollector& c) const
{
    post (c, [] (LoggingPage& p) {
        p.setInstruction ("Please CLOSE all VORN applications & plugins\n\n"
                          "Make sure all VORN applications & plugins are CLOSED, and press `NEXT` to continue\n\n");
        p.setActionButton ("NEXT", true);
        p.setCloseButton ("CLOSE", true);
        p.printMsg ("VORN Triagent initialized");
    });
}

void BeforeEnableLog::enter (LogCollector& c) const
{
    post (c, [] (LoggingPage& p) {
        p.setInstruction ("Make sure all VORN applications & plugins are CLOSED\n\n"
                          "Press `ENABLE LOGGING` to allow VORN to record logs\n\n");
        p.setActionButton ("ENABLE LOGGING", true);
        p.setCloseButton ("CLOSE", true);
    });
}

void EnableLog::enter (LogCollector& c) const
{
    showBusy (c, "ENABLING ...");
    printMsg (c, "Enabling logging");
    if (! c.pause (1000))
        return complete (c, false);

    c.diagnostics = {}; // this collection's own
    const auto files = util::enableLogging();
    if (files.empty())
        return complete (c, false);
    c.diagnostics.debugLog = juce::Time::getCurrentTime();
    if (util::debugViewStarted())
        c.diagnostics.debugView = c.diagnostics.debugLog;
    printMsg (c, "Logging enabled");
    // Deleting them at the end switches the product's debug log off again.
    c.tempFiles.insert (c.tempFiles.end(), files.begin(), files.end());

    printMsg (c, "Enabling crash reports");
    if (! c.pause (1000))
        return complete (c, false);
    if (! util::enableCrashDump())
        return complete (c, false);
    c.diagnostics.crashDumps = juce::Time::getCurrentTime();
    printMsg (c, "Crash reports enabled");
    complete (c, true);
}

void EnableLog::leave (LogCollector& c) const
{
    hideSpinner (c);
}

void RunVorn::enter (LogCollector& c) const
{
    c.diagnostics.reproducedFrom = juce::Time::getCurrentTime(); // every diagnostic is on
    post (c, [] (LoggingPage& p) {
        p.setInstruction ("Run the VORN app / plugins\n\nReproduce the steps that cause the issue\n\n"
                          "After the issue occurs, press `COLLECT` to start gathering logs\n\n");
        p.startActionCountdown ("COLLECT");
        p.setCloseButton ("CLOSE", true);
        p.printMsg ("\nPlease run VORN until issues occur");
    });
}

void CollectInfo::enter (LogCollector& c) const
{
    showBusy (c, "COLLECTING ...");
    printMsg (c, "Collecting system info");

    c.diagnostics.reproducedTo = juce::Time::getCurrentTime(); // COLLECT was clicked

    // Each attempt starts with an empty archive, so a retry stores every file once.
    c.zipBuilder.clear();
    c.collectionReport = {};
    const auto report = util::collectSystemInfo (&c.collectionReport);
    if (! report)
        return complete (c, false);
    c.tempFiles.push_back (*report);
    c.zipBuilder.addFile (*report, {}, 1, true);
    if (c.threadShouldExit())
        return complete (c, false);

    printMsg (c, "Collecting logs");
    // The tool's own log goes last, after everything it says about the
    // collection (only the manifest follows it).
    const auto toolLog = util::getProductLogFolder().getChildFile ("Triagent.log");
    std::optional<juce::String> toolLogName;
    const bool gathered = util::gatherLogFiles (
        [&] (const juce::File& file, const juce::String& storedPath) {
            if (file == toolLog)
                toolLogName = storedPath;
            else
                c.zipBuilder.addFile (file, storedPath, 1);
        },
        &c.collectionReport);
    if (! gathered)
        return complete (c, false);
    if (toolLogName)
        c.zipBuilder.addFile (toolLog, *toolLogName, 1);
    printMsg (c, "All information collected");
    complete (c, true);
}

void CollectInfo::leave (LogCollector& c) const
{
    hideSpinner (c);
}

void Export::enter (LogCollector& c) const
{
    showBusy (c, "EXPORTING ...");
    post (c, [] (LoggingPage& p) { p.showExportProgress (true); });
    printMsg (c, "Exporting collected information");

    const auto zip = c.exportZipFile();
    if (! zip)
        return complete (c, false);
    printMsg (c, "File exported - " + zip->getFileName());
    const auto summary = summaryLine (c.zipReport, c.collectionReport);
    LUMO_LOG_INFO ("{}", summary.toStdString());
    printMsg (c, summary);
    complete (c, true, *zip);
}

void Export::leave (LogCollector& c) const
{
    hideSpinner (c);
    post (c, [] (LoggingPage& p) { p.showExportProgress (false); });
}

void Finish::enter (LogCollector& c) const
{
    post (c, [] (LoggingPage& p) {
        p.setInstruction ("Please send the zip file to Lumacore\n\n");
        p.setActionButton ("SEE ZIP FILE", true);
        p.setCloseButton ("CLOSE", true);
    });
    util::stopDebugView();
    c.removeTempFiles(); // deleting debug.json switches the product's debug log off
    if (! util::disableCrashDump())
        printMsg (c, "Cannot switch off crash reports: they are still on, and the next start of VORN Triagent switches them off");
}

void Fail::enter (LogCollector& c) const
{
    post (c, [] (LoggingPage& p) {
        p.setInstruction ("Something failed\n\nPress `RETRY` to start again\n\n");
        p.setActionButton ("RETRY", true);
        p.setCloseButton ("CLOSE", true);
        p.printMsg ("Failure encountered");
    });
}
} // namespace state
