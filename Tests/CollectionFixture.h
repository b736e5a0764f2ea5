#pragma once

// A logging page with recorded quit and reveal actions, driven by clicks as a
// user would: the fixture of the collection tests.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "Log/Log.h"
#include "LoggingPage.h"
#include "PageView.h"
#include "TestSupport.h"
#include "Util/UtilWindows.h"

namespace collection_fixture
{
using Clock = std::chrono::steady_clock;
using testing_support::pumpUntil;
using testing_support::touch;

inline juce::Array<juce::File> exportedZips()
{
    return util::getMakerDocFolder().findChildFiles (juce::File::findFiles, false, "VORN_LOG_*.zip");
}

class CollectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The tool's own log, the product's files and a DebugView stand-in.
        ASSERT_TRUE (util::getProductLogFolder().createDirectory().wasOk());
        lumo::log::setupLogging();
        touch (util::getProductDocFolder().getChildFile ("config.xml"), "<config/>");
        touch (util::getProductSettingFile(), "settings");
        touch (util::getCrashReportFolder().getChildFile ("VORN X.exe.4711.dmp"), "dump");
        debugView = testing_support::installFakeDebugView();
        makePage();
    }

    void TearDown() override
    {
        page.reset();
        util::stopDebugView();
        lumo::log::setSinks ({});
    }

    // What the quit and reveal cells do, recorded instead of a quit and a file manager.
    struct Actions : WizardActions
    {
        void quitApplication() override { ++quits; }
        void revealToUser (const juce::File& file) override
        {
            std::lock_guard lock (mutex);
            revealed.push_back (file);
        }
        size_t revealedCount()
        {
            std::lock_guard lock (mutex);
            return revealed.size();
        }
        std::atomic<int> quits { 0 };
        std::mutex mutex;
        std::vector<juce::File> revealed;
    };

    void makePage() { page = std::make_unique<LoggingPage> (&actions); }

    PageView ui() const { return PageView (*page); }

    juce::StringArray lines() const
    {
        auto result = juce::StringArray::fromLines (ui().log->getText());
        if (result.size() > 0 && result[result.size() - 1].isEmpty())
            result.remove (result.size() - 1);
        return result;
    }

    bool waitForLine (const juce::String& line, int occurrences = 1, int timeoutMs = 15000)
    {
        return pumpUntil ([&] {
            const auto all = lines();
            return std::count (all.begin(), all.end(), line) >= occurrences;
        }, timeoutMs);
    }

    bool waitForLineStarting (const juce::String& prefix, int timeoutMs = 15000)
    {
        return pumpUntil ([&] {
            for (const auto& l : lines())
                if (l.startsWith (prefix))
                    return true;
            return false;
        }, timeoutMs);
    }

    // triggerClick posts the click; run the message loop briefly to deliver it.
    void click (juce::Button& button)
    {
        button.triggerClick();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
    }

    // Waits until the action button shows the caption and can be clicked (a
    // countdown may still run), then clicks it as a user would.
    void clickAction (const juce::String& caption, int timeoutMs = 30000)
    {
        ASSERT_TRUE (pumpUntil ([&] { return ui().action->getButtonText() == caption && ui().action->isEnabled(); }, timeoutMs))
            << "the action button shows " << ui().action->getButtonText() << (ui().action->isEnabled() ? "" : " (disabled)");
        click (*ui().action);
    }

    // From the first screen to the reproduction screen.
    void enableDiagnostics()
    {
        ASSERT_TRUE (waitForLine ("VORN Triagent initialized"));
        clickAction ("NEXT");
        clickAction ("ENABLE LOGGING");
        ASSERT_TRUE (waitForLine ("Please run VORN until issues occur"));
    }

    double destroyPageTimed()
    {
        const auto start = Clock::now();
        page.reset();
        return std::chrono::duration<double> (Clock::now() - start).count();
    }

    Actions actions; // outlives the page
    std::unique_ptr<LoggingPage> page;
    juce::File debugView;
};
} // namespace collection_fixture
